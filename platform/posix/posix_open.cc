#include "platform/posix/posix_open.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <memory>
#include <system_error>
#include <thread>

#include "platform/posix/posix_bundles.h"
#include "platform/posix/posix_launcher_services.h"

extern char** environ;

namespace platform::posix {
namespace {

// A single path component: anything else would reach outside Contents/MacOS.
bool isPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

// The attributes and file actions of one start, released however the start ends.
class SpawnSetup {
 public:
  SpawnSetup() = default;
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
  ~SpawnSetup() {
    if (actionsMade_) posix_spawn_file_actions_destroy(&actions_);
    if (attributesMade_) posix_spawnattr_destroy(&attributes_);
  }

  // A new session; no signal blocked, and every signal's handling the default, so that one our
  // parent ignores (SIGINT, SIGPIPE) is not ignored by the application too; standard input,
  // output and error on /dev/null; no other descriptor of ours (a pipe of our parent's among them
  // would keep the parent waiting for the application). False when any of it cannot be set up.
  bool make() {
    attributesMade_ = posix_spawnattr_init(&attributes_) == 0;
    if (!attributesMade_) return false;
    actionsMade_ = posix_spawn_file_actions_init(&actions_) == 0;
    if (!actionsMade_) return false;
    sigset_t none;
    sigset_t all;
    if (sigemptyset(&none) != 0 || sigfillset(&all) != 0) return false;
    const short flags = POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (posix_spawnattr_setflags(&attributes_, flags) != 0 ||
        posix_spawnattr_setsigmask(&attributes_, &none) != 0 ||
        posix_spawnattr_setsigdefault(&attributes_, &all) != 0) {
      return false;
    }
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
      if (posix_spawn_file_actions_addopen(&actions_, fd, "/dev/null", O_RDWR, 0) != 0) {
        return false;
      }
    }
    return posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1) == 0;
  }

  const posix_spawnattr_t* attributes() const { return &attributes_; }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }

 private:
  posix_spawnattr_t attributes_{};
  posix_spawn_file_actions_t actions_{};
  bool attributesMade_ = false;
  bool actionsMade_ = false;
};

}  // namespace

std::optional<pid_t> startDetached(const std::string& executable) {
  SpawnSetup setup;
  if (!setup.make()) return std::nullopt;
  char* const argv[] = {const_cast<char*>(executable.c_str()), nullptr};
  pid_t child = 0;
  // The C library reports a failed exec as the result of the call itself, and reaps the process
  // that could not become the application.
  if (posix_spawn(&child, executable.c_str(), setup.actions(), setup.attributes(), argv, environ) !=
      0) {
    return std::nullopt;
  }
  return child;
}

void PosixLauncherServices::openApplication(const std::string& path, const OpenConfiguration&,
                                            std::function<void(const OpenReport&)> completion) {
  const auto report =
      std::make_shared<std::function<void(const OpenReport&)>>(std::move(completion));
  const auto work = [path, report] {
    OpenReport outcome;
    // Bundles depend on no state of the services, so the thread depends on nothing the caller may
    // let go.
    const std::unique_ptr<Bundle> bundle = bundleAt(path);
    const InfoValue executable = bundle ? bundle->infoValue("CFBundleExecutable") : InfoValue{};
    std::optional<pid_t> pid;
    if (executable.kind == InfoValue::Kind::text && isPlainName(executable.text)) {
      pid = startDetached(path + "/Contents/MacOS/" + executable.text);
    }
    if (pid) {
      outcome.applicationPid = static_cast<std::int32_t>(*pid);
    } else {
      outcome.error = true;
    }
    (*report)(outcome);
  };
  try {
    std::thread(work).detach();
  } catch (const std::system_error&) {
    // No thread to report from: the launch cannot be made, and we say so from here.
    OpenReport outcome;
    outcome.error = true;
    (*report)(outcome);
  }
}

}  // namespace platform::posix
