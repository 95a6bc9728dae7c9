// Both programs on input that any process or any user can hand them: huge and odd arguments,
// hostile application folders, and standard output that is closed or has no reader. Every run
// must end with its own answer and status, in time, without a word on standard error.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/support/bundle_builders.h"
#include "tests/support/child.h"
#include "tests/support/requests.h"
#include "tests/support/slowdown.h"

namespace {

using testing_support::failureLine;
using testing_support::installLaunchable;
using testing_support::kSlowdown;
using testing_support::me;
using testing_support::nameRequest;
using testing_support::StandardOutput;
using testing_support::TempFolder;
using testing_support::xmlInfoPlist;

const std::string kTovrin = TOVRIN_PATH;
const std::string kPelsor = PELSOR_PATH;
const std::string kFixtureApp = FIXTURE_APP_PATH;

// Sanitizers hold freed memory back: the memory bounds hold for the build as shipped.
constexpr bool kMeasuresMemory = !testing_support::kSanitized;

const testing_support::UniqueNames unique("hostile");

using Ended = testing_support::Outcome;

// Starts `program` with `args`, HOME at `home` and nothing else in its environment, standard input
// on /dev/null and standard output as `output` says, and waits for it, timing it. A child still
// running after 20 seconds is killed, so a hang fails the test rather than stopping the suite.
Ended run(const std::string& program, const std::vector<std::string>& args, const std::string& home,
          StandardOutput output = StandardOutput::pipe) {
  return testing_support::runBinary(
      program, args,
      {.environment = testing_support::onlyHome(home), .limit = 20, .output = output});
}

Ended runTovrin(const std::string& request, const std::string& home,
                StandardOutput output = StandardOutput::pipe) {
  return run(kTovrin, {request, me()}, home, output);
}

// Checks a success reply for `name` and stops the application it launched.
void expectLaunched(const Ended& run, const std::string& id, const std::string& name,
                    const std::string& what) {
  if (const std::optional<int> pid = testing_support::expectSuccessReply(run, id, name, what)) {
    kill(*pid, SIGKILL);
  }
}

// --- arguments ---

// Linux refuses a single argument of more than 128 KiB with its terminating NUL, so 128 KiB less
// one byte is the longest request a parent can pass here.
constexpr std::size_t kLongestArgument = 128 * 1024 - 1;

// `prefix`, padding, `suffix`: exactly the longest argument.
std::string padded(const std::string& prefix, char pad, const std::string& suffix) {
  return prefix + std::string(kLongestArgument - prefix.size() - suffix.size(), pad) + suffix;
}

TEST(HostileArguments, LongAndDeepRequestsGetTheirAnswerWithinASecond) {
  const TempFolder home;
  home.makeFolder("Applications");
  const std::size_t depth = (kLongestArgument - 64) / 2;
  const struct {
    std::string what;
    std::string request;
    std::string out;
  } cases[] = {
      {"long name", padded(R"({"name":")", 'n', R"("})"), failureLine("APPLICATION_NOT_FOUND")},
      {"long ignored member", padded(R"({"name":"Nope )" + me() + R"(","pad":")", 'p', R"("})"),
       failureLine("APPLICATION_NOT_FOUND")},
      {"long escapes",
       [] {
         std::string id = R"({"bundleId":")";
         while (id.size() + 8 < kLongestArgument) id += "\\u00e9";
         return id + R"("})";
       }(),
       failureLine("APPLICATION_NOT_FOUND")},
      {"U+0000 and controls in a name", R"({"name":"a\u0000b\u001f\t\u007f\ufffd"})",
       failureLine("APPLICATION_NOT_FOUND")},
      {"U+0000 and controls in an identifier", R"({"bundleId":"a\u0000b\n\r\ufffd"})",
       failureLine("APPLICATION_NOT_FOUND")},
      {"long whitespace", padded("", ' ', R"({"name":"Nope"})"),
       failureLine("APPLICATION_NOT_FOUND")},
      {"long number", padded(R"({"name":)", '9', "}"), failureLine("INVALID_PARAMS")},
      {"arrays at the top", std::string(depth, '[') + std::string(depth, ']'),
       failureLine("INVALID_PARAMS")},
      {"unclosed arrays at the top", std::string(kLongestArgument, '['),
       failureLine("INVALID_PARAMS")},
      {"objects at the top",
       [] {
         std::string s;
         while (s.size() + 6 < kLongestArgument) s += R"({"a":)";
         return s;
       }(),
       failureLine("INVALID_PARAMS")},
      {"arrays in an ignored member",
       R"({"x":)" + std::string(depth, '[') + std::string(depth, ']') + R"(,"name":"Nope"})",
       failureLine("APPLICATION_NOT_FOUND")},
      {"objects in an ignored member",
       [] {
         std::string open, close;
         while (open.size() * 2 + 64 < kLongestArgument) {
           open += R"({"a":)";
           close += '}';
         }
         return R"({"x":)" + open + "1" + close + R"(,"name":"Nope"})";
       }(),
       failureLine("APPLICATION_NOT_FOUND")},
      {"deep array under name",
       R"({"name":)" + std::string(depth, '[') + std::string(depth, ']') + "}",
       failureLine("INVALID_PARAMS")},
  };
  for (const auto& c : cases) {
    ASSERT_LE(c.request.size(), kLongestArgument) << c.what;
    const Ended result = runTovrin(c.request, home.path());
    EXPECT_EQ(result.out, c.out) << c.what;
    EXPECT_EQ(result.status, 1) << c.what;
    EXPECT_EQ(result.err, "") << c.what;
    EXPECT_LT(result.seconds, 1.0 * kSlowdown) << c.what;
  }
}

TEST(HostileArguments, APidArgumentOfAnyShapeIsRefusedWithinASecond) {
  const TempFolder home;
  const std::string valid = R"({"name":"Nope"})";
  const std::string cases[] = {
      std::string(kLongestArgument, '0'),            // zeros only: 0, below 2
      std::string(kLongestArgument - 1, '0') + "1",  // a long way to 1
      std::string(kLongestArgument, '9'),
      "+" + std::string(kLongestArgument - 1, '-'),
      std::string("\x01\x1f\x7f", 3) + me(),
      "\xEF\xBF\xBD" + me(),
      me() + "\xFF",
  };
  for (const std::string& pid : cases) {
    const Ended launcher = run(kTovrin, {valid, pid}, home.path());
    EXPECT_EQ(launcher.out, failureLine("PARENT_GONE")) << pid.substr(0, 20);
    EXPECT_EQ(launcher.status, 1);
    EXPECT_EQ(launcher.err, "");
    EXPECT_LT(launcher.seconds, 1.0 * kSlowdown);

    const Ended probe = run(kPelsor, {pid}, home.path());
    EXPECT_EQ(probe.out, "") << pid.substr(0, 20);
    EXPECT_EQ(probe.status, 1);
    EXPECT_EQ(probe.err, "");
    EXPECT_LT(probe.seconds, 1.0 * kSlowdown);
  }
}

// Leading zeros are allowed in any number: the longest argument still names the parent.
TEST(HostileArguments, APidArgumentOfLeadingZerosNamesTheParent) {
  const TempFolder home;
  const std::string pid = std::string(kLongestArgument - me().size(), '0') + me();
  const Ended launcher = run(kTovrin, {R"({"name":"Nope"})", pid}, home.path());
  EXPECT_EQ(launcher.out, failureLine("APPLICATION_NOT_FOUND"));
  EXPECT_EQ(launcher.status, 1);
  EXPECT_EQ(launcher.err, "");
  EXPECT_LT(launcher.seconds, 1.0 * kSlowdown);

  const Ended probe = run(kPelsor, {pid}, home.path());
  EXPECT_EQ(probe.out, "null\n");
  EXPECT_EQ(probe.status, 0);
  EXPECT_EQ(probe.err, "");
  EXPECT_LT(probe.seconds, 1.0 * kSlowdown);
}

// Names are compared and echoed as they are: every control character, U+FFFD and a name of
// 100 000 characters come back in the reply exactly, escaped as JSON needs.
TEST(HostileArguments, OddAndLongNamesComeBackExactly) {
  const TempFolder home;
  std::string controls = unique.name("Controls") + " ";
  for (char c = 1; c < 0x20; ++c) controls += c;
  controls += "\x7F \xEF\xBF\xBD /\\\"";
  // 100 000 characters, some of them outside ASCII, in under 128 KiB of request.
  std::string longName = unique.name("Long") + " ";
  for (int i = 0; i < 2000; ++i) longName += "\xC3\xA9";  // two bytes, one character
  std::size_t characters = 0;
  for (const unsigned char c : longName) characters += (c & 0xC0) != 0x80;
  longName.append(100000 - characters, 'z');
  characters = 0;
  for (const unsigned char c : longName) characters += (c & 0xC0) != 0x80;
  ASSERT_EQ(characters, 100000u);

  installLaunchable(home, "Applications/Controls.app",
                    {{"CFBundleIdentifier", unique.id("controls")}, {"CFBundleName", controls}},
                    kFixtureApp);
  installLaunchable(home, "Applications/Long.app",
                    {{"CFBundleIdentifier", unique.id("long")}, {"CFBundleName", longName}},
                    kFixtureApp);
  // An argument byte that is not UTF-8 becomes U+FFFD, and then names the same bundle.
  std::string raw = nameRequest(controls);
  raw.replace(raw.find("\xEF\xBF\xBD"), 3, "\xFF");

  const struct {
    std::string what;
    std::string request;
    std::string id;
    std::string name;
  } cases[] = {
      {"controls", nameRequest(controls), unique.id("controls"), controls},
      {"invalid byte", raw, unique.id("controls"), controls},
      {"100 000 characters", nameRequest(longName), unique.id("long"), longName},
  };
  for (const auto& c : cases) {
    ASSERT_LE(c.request.size(), kLongestArgument) << c.what;
    const Ended result = runTovrin(c.request, home.path());
    expectLaunched(result, c.id, c.name, c.what);
    EXPECT_LT(result.seconds, 1.0 * kSlowdown) << c.what;
    // The raw characters never reach the line: only their escapes do.
    for (char ch = 0; ch < 0x20; ++ch) {
      if (ch != '\n') {
        EXPECT_EQ(result.out.find(ch), std::string::npos) << c.what << int{ch};
      }
    }
  }
}

// --- application folders ---

TEST(HostileFolders, ALinkCycleAndFifosAreNoApplications) {
  const TempFolder home;
  const std::string apps = home.makeFolder("Applications");
  namespace fs = std::filesystem;
  fs::create_symlink("Self.app", apps + "/Self.app");
  fs::create_symlink("Ping.app", apps + "/Pong.app");
  fs::create_symlink("Pong.app", apps + "/Ping.app");
  // A bundle whose Contents leads back to itself, and one whose Info.plist is a link cycle.
  fs::create_directories(apps + "/Round.app");
  fs::create_directory_symlink(".", apps + "/Round.app/Contents");
  home.makeFolder("Applications/Knot.app/Contents");
  fs::create_symlink("Info.plist", apps + "/Knot.app/Contents/Info.plist");
  ASSERT_EQ(mkfifo((apps + "/X.app").c_str(), 0600), 0);
  home.makeFolder("Applications/Piped.app/Contents");
  ASSERT_EQ(mkfifo((apps + "/Piped.app/Contents/Info.plist").c_str(), 0600), 0);
  // A real one beside them still answers.
  installLaunchable(
      home, "Applications/Real.app",
      {{"CFBundleIdentifier", unique.id("real")}, {"CFBundleName", unique.name("Real")}},
      kFixtureApp);

  const Ended missing = runTovrin(nameRequest(unique.name("Missing")), home.path());
  EXPECT_EQ(missing.out, failureLine("APPLICATION_NOT_FOUND"));
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "");
  EXPECT_LT(missing.seconds, 1.0 * kSlowdown);

  const Ended real = runTovrin(nameRequest(unique.name("Real")), home.path());
  expectLaunched(real, unique.id("real"), unique.name("Real"), "real");
  EXPECT_LT(real.seconds, 1.0 * kSlowdown);
}

// Writes a small file with plain calls, which makes ten thousand bundles quickly.
void writeSmall(const std::string& path, const std::string& bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0) << path;
  ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  close(fd);
}

// Makes temporary folders in memory, where the system has such a place, while it lives: making
// and removing ten thousand bundles on a slow disk can take minutes.
class TemporaryFoldersInMemory {
 public:
  TemporaryFoldersInMemory() {
    if (const char* previous = std::getenv("TMPDIR")) saved_ = previous;
    if (access("/dev/shm", W_OK) == 0) setenv("TMPDIR", "/dev/shm", 1);
  }
  TemporaryFoldersInMemory(const TemporaryFoldersInMemory&) = delete;
  TemporaryFoldersInMemory& operator=(const TemporaryFoldersInMemory&) = delete;
  ~TemporaryFoldersInMemory() {
    if (saved_) {
      setenv("TMPDIR", saved_->c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }

 private:
  std::optional<std::string> saved_;
};

TEST(HostileFolders, TenThousandEntriesWithinFiveSeconds) {
  const TemporaryFoldersInMemory inMemory;
  const TempFolder home;
  const std::string apps = home.makeFolder("Applications");
  for (int i = 0; i < 10000; ++i) {
    const std::string word = "Many" + std::to_string(i);
    // Two of them share a name, so that every entry must be read before the answer.
    const std::string name = unique.name(i == 17 || i == 9999 ? "Twin" : word);
    const std::string bundle = apps + "/" + word + ".app";
    ASSERT_EQ(mkdir(bundle.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((bundle + "/Contents").c_str(), 0755), 0);
    writeSmall(bundle + "/Contents/Info.plist",
               xmlInfoPlist({{"CFBundleIdentifier", unique.id(word)}, {"CFBundleName", name}}));
  }
  const struct {
    std::string name;
    std::string out;
  } cases[] = {
      {unique.name("Twin"), failureLine("APPLICATION_NAME_AMBIGUOUS")},
      {unique.name("Nobody"), failureLine("APPLICATION_NOT_FOUND")},
  };
  for (const auto& c : cases) {
    const Ended result = runTovrin(nameRequest(c.name), home.path());
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "");
    EXPECT_LT(result.seconds, 5.0 * kSlowdown);
    std::cout << "[ info ] 10 000 entries, " << c.out.substr(0, c.out.size() - 1) << ": "
              << result.seconds << " s, peak " << result.maxRssKiB / 1024 << " MiB\n";
  }
}

constexpr std::size_t kHuge = 50 * 1024 * 1024;

// An Info.plist of exactly 50 MiB that names the bundle `name`, filled up by `padding`, which is
// given the number of bytes to fill and may give fewer.
std::string hugeInfoPlist(const std::string& name,
                          const std::function<std::string(std::size_t)>& padding) {
  std::string plist =
      xmlInfoPlist({{"CFBundleIdentifier", unique.id("huge")}, {"CFBundleName", name}});
  const std::size_t room = kHuge - plist.size();
  std::string fill = padding(room);
  fill.append(room - fill.size(), '\n');  // whitespace between elements
  plist.insert(plist.rfind("</dict>"), fill);
  return plist;
}

// Many small arrays of short strings: about as many elements as the size allows, in the shape
// the property-list reader handles best (it grows a single array a little at a time).
std::string denseElements(std::size_t bytes) {
  std::string inner = "<array>";
  for (int j = 0; j < 500; ++j) inner += "<string>x</string>";
  inner += "</array>";
  std::string padding = "<key>Padding</key><array>";
  while (padding.size() + inner.size() + 8 < bytes) padding += inner;
  return padding + "</array>";
}

std::string oneLongString(std::size_t bytes) {
  return "<key>Long</key><string>" + std::string(bytes - 64, 's') + "</string>";
}

// An Info.plist of 50 MiB is read within five seconds, and its name counts: beside a small bundle
// of the same name it makes the request ambiguous. Garbage of that size and a binary plist cut
// short hold no dictionary and leave the small bundle to answer alone. The launcher's peak memory
// is measured against the run with the truncated file; a forked child's peak counts what this
// process held at the fork, so each file is made, written and dropped before its run.
TEST(HostileFolders, HugeAndTruncatedInfoPlists) {
  const std::string name = unique.name("Huge");
  const std::string ambiguous = failureLine("APPLICATION_NAME_AMBIGUOUS");
  const std::string alone = failureLine("APPLICATION_LAUNCH_FAILED");  // it has no executable
  const struct {
    std::string what;
    std::function<std::string()> plist;
    std::string out;
    double memory;  // in multiples of the file: what the launcher may hold beyond the baseline
  } cases[] = {
      // The binary form of {"CFBundleName": name} without its offset table and trailer.
      {"truncated binary",
       [&] {
         return "bplist00\xD1\x01\x02\x5C"
                "CFBundleName\x5F\x10" +
                std::string(1, static_cast<char>(name.size())) + name;
       },
       alone, 0},
      {"garbage", [] { return std::string(kHuge, '\x80'); }, alone, 2},
      {"one long string", [&] { return hugeInfoPlist(name, oneLongString); }, ambiguous, 3},
      {"dense elements", [&] { return hugeInfoPlist(name, denseElements); }, ambiguous, 10},
  };
  long baselineKiB = 0;
  for (const auto& c : cases) {
    const TempFolder home;
    home.makeBundle(
        "Applications/Small.app",
        xmlInfoPlist({{"CFBundleIdentifier", unique.id("small")}, {"CFBundleName", name}}));
    home.makeBundle("Applications/Big.app", c.plist());
    const Ended result = runTovrin(nameRequest(name), home.path());
    EXPECT_EQ(result.out, c.out) << c.what;
    EXPECT_EQ(result.status, 1) << c.what;
    EXPECT_EQ(result.err, "") << c.what;
    EXPECT_LT(result.seconds, 5.0 * kSlowdown) << c.what;
    if (baselineKiB == 0) baselineKiB = result.maxRssKiB;
    const double beyond = static_cast<double>(result.maxRssKiB - baselineKiB) * 1024.0;
    if (kMeasuresMemory) {
      EXPECT_LE(beyond, c.memory * static_cast<double>(kHuge)) << c.what;
    }
    std::cout << "[ info ] " << c.what << ": " << result.seconds << " s, peak "
              << result.maxRssKiB / 1024 << " MiB (baseline " << baselineKiB / 1024 << " MiB)\n";
  }
}

// --- standard output ---

TEST(HostileOutput, ClosedOrReaderlessOutputKeepsTheStatus) {
  const TempFolder home;
  installLaunchable(
      home, "Applications/Runner.app",
      {{"CFBundleIdentifier", unique.id("runner")}, {"CFBundleName", unique.name("Runner")}},
      kFixtureApp);
  for (const StandardOutput output : {StandardOutput::closed, StandardOutput::readerGone}) {
    const char* what = output == StandardOutput::closed ? "closed" : "reader gone";
    const Ended refused = runTovrin("{nope", home.path(), output);
    EXPECT_EQ(refused.status, 1) << what;
    EXPECT_EQ(refused.signal, std::nullopt) << what;
    EXPECT_EQ(refused.err, "") << what;

    const Ended missing = runTovrin(nameRequest(unique.name("Missing")), home.path(), output);
    EXPECT_EQ(missing.status, 1) << what;
    EXPECT_EQ(missing.err, "") << what;

    // The success path keeps status 0 although nobody reads the line.
    const Ended launched = runTovrin(nameRequest(unique.name("Runner")), home.path(), output);
    EXPECT_EQ(launched.status, 0) << what;
    EXPECT_EQ(launched.signal, std::nullopt) << what;
    EXPECT_EQ(launched.err, "") << what;
    EXPECT_LT(launched.seconds, 1.0 * kSlowdown) << what;

    const Ended probe = run(kPelsor, {me()}, home.path(), output);
    EXPECT_EQ(probe.status, 0) << what;
    EXPECT_EQ(probe.signal, std::nullopt) << what;
    EXPECT_EQ(probe.err, "") << what;
  }
  // The launched runners were never reported; stop them by their executable.
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::error_code error;
    const auto image = std::filesystem::read_symlink(entry.path() / "exe", error);
    if (!error && image.string().starts_with(home.path())) {
      kill(std::stoi(entry.path().filename().string()), SIGKILL);
    }
  }
}

}  // namespace
