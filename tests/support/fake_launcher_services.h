#pragma once

#include <unistd.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/launcher_services.h"

namespace testing_support {

inline platform::InfoValue textValue(std::string text) {
  return {platform::InfoValue::Kind::text, std::move(text)};
}

/// A value of some type other than text (a number, a list, ...).
inline platform::InfoValue otherValue() { return {platform::InfoValue::Kind::other, {}}; }

/// The recorded calls that begin with `prefix` ("open ", "info /A/X.app"), in their order.
inline std::vector<std::string> startingWith(const std::vector<std::string>& calls,
                                             const std::string& prefix) {
  std::vector<std::string> result;
  for (const std::string& call : calls) {
    if (call.rfind(prefix, 0) == 0) result.push_back(call);
  }
  return result;
}

/// What a fake bundle answers.
struct FakeBundle {
  std::optional<std::string> identifier;
  std::map<std::string, platform::InfoValue> info;  ///< keys left out are absent
};

// Launcher services whose parent and run loop are scripted: the parent pid is `parent` until the
// run loop runs; then the open call's completion gets `openReport`, if there is one, and each
// tick first takes the next pid of `parentDuringRun` and runs everything scheduled. When the
// script is used up, `run` returns.
//
// Its applications live in maps: `listings` says what each folder lists (a folder that is not
// there cannot be listed), `bundles` what opens at each path (a path that is not there makes no
// bundle) and `registry` what the lookup by identifier gives (matched exactly as keyed). Every
// call is recorded in `calls`, one line each ("open /A/X.app", "info /A/X.app CFBundleName"), and
// also written to `traceFd` when it is set, so that a child that ends the process still leaves
// its record behind.
class FakeLauncherServices : public platform::LauncherServices {
 public:
  std::int32_t parent = 4242;
  std::vector<std::int32_t> parentDuringRun;

  std::vector<double> intervals;  ///< what was scheduled, in order

  std::optional<std::string> home = "/Users/me";
  std::map<std::string, std::vector<std::string>> listings;
  std::map<std::string, FakeBundle> bundles;
  std::map<std::string, std::string> registry;

  /// What the system reports for an open call, as soon as the run loop runs; none: it never
  /// answers.
  std::optional<platform::OpenReport> openReport;

  std::vector<std::string> calls;
  int traceFd = -1;

  /// Puts a bundle at `folder`/`entry` and adds it to the folder's listing.
  void addApplication(const std::string& folder, const std::string& entry, FakeBundle bundle) {
    const std::string path = folder + "/" + entry;
    listings[folder].push_back(path);
    bundles[path] = std::move(bundle);
  }

  std::int32_t parentPid() override { return parent; }

  void scheduleRepeating(double interval, std::function<void()> tick) override {
    record("schedule");
    intervals.push_back(interval);
    scheduled_.push_back(std::move(tick));
  }

  void run() override {
    record("run");
    if (openReport && completion_) completion_(*openReport);
    for (const std::int32_t next : parentDuringRun) {
      parent = next;
      for (const auto& tick : scheduled_) tick();
    }
  }

  std::optional<std::string> applicationForIdentifier(const std::string& bundleId) override {
    record("lookup " + bundleId);
    const auto found = registry.find(bundleId);
    if (found == registry.end()) return std::nullopt;
    return found->second;
  }

  std::optional<std::string> homeFolder() override {
    record("home");
    return home;
  }

  std::vector<std::string> folderEntries(const std::string& folder) override {
    record("list " + folder);
    const auto found = listings.find(folder);
    if (found == listings.end()) return {};
    return found->second;
  }

  std::string pathExtension(const std::string& path) override {
    record("extension " + path);
    // As both backends have it: a dot that opens the name only hides it (".app" has none).
    const std::string last = path.substr(path.rfind('/') + 1);
    const auto dot = last.rfind('.');
    return dot == std::string::npos || dot == 0 ? std::string() : last.substr(dot + 1);
  }

  std::unique_ptr<platform::Bundle> openBundle(const std::string& path) override {
    record("open " + path);
    const auto found = bundles.find(path);
    if (found == bundles.end()) return nullptr;
    return std::make_unique<Opened>(*this, path, found->second);
  }

  void openApplication(const std::string& path, const platform::OpenConfiguration& configuration,
                       std::function<void(const platform::OpenReport&)> completion) override {
    record("launch " + path + (configuration.activates ? " activating it" : " in the background"));
    completion_ = std::move(completion);
  }

  void record(const std::string& call) {
    calls.push_back(call);
    if (traceFd >= 0) {
      const std::string line = call + "\n";
      if (write(traceFd, line.data(), line.size()) < 0) _exit(97);
    }
  }

 protected:
  std::vector<std::function<void()>> scheduled_;
  std::function<void(const platform::OpenReport&)> completion_;

 private:
  // A bundle as it was when it was opened.
  class Opened final : public platform::Bundle {
   public:
    Opened(FakeLauncherServices& services, std::string path, FakeBundle bundle)
        : services_(services), path_(std::move(path)), bundle_(std::move(bundle)) {}

    std::optional<std::string> identifier() override {
      services_.record("identifier " + path_);
      return bundle_.identifier;
    }

    platform::InfoValue infoValue(const std::string& key) override {
      services_.record("info " + path_ + " " + key);
      const auto found = bundle_.info.find(key);
      if (found == bundle_.info.end()) return {};
      return found->second;
    }

   private:
    FakeLauncherServices& services_;
    std::string path_;
    FakeBundle bundle_;
  };
};

}  // namespace testing_support
