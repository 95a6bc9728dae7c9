#include "platform/posix/posix_open.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/posix/posix_bundles.h"

namespace platform::posix {
namespace {

// The descriptors open now, from 3 up: the new process must not hold any of them (a pipe of our
// parent's among them would keep the parent waiting for the application).
std::vector<int> inheritedDescriptors() {
  std::vector<int> found;
  if (DIR* dir = opendir("/dev/fd")) {
    const int own = dirfd(dir);
    while (const dirent* entry = readdir(dir)) {
      char* end = nullptr;
      const long fd = std::strtol(entry->d_name, &end, 10);
      if (end != entry->d_name && *end == '\0' && fd >= 3 && fd != own) {
        found.push_back(static_cast<int>(fd));
      }
    }
    closedir(dir);
    return found;
  }
  const long limit = sysconf(_SC_OPEN_MAX);
  const int last = limit > 0 && limit < 65536 ? static_cast<int>(limit) : 65536;
  for (int fd = 3; fd < last; ++fd) found.push_back(fd);
  return found;
}

// A single path component: anything else would reach outside Contents/MacOS.
bool isPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

}  // namespace

std::optional<pid_t> startDetached(const std::string& executable) {
  // The child tells us through this pipe why exec failed; a pipe closed by exec means it ran.
  int report[2];
  if (pipe(report) != 0) return std::nullopt;
  for (int& end : report) {
    // With standard streams closed, the pipe may have got their numbers, which the child is about
    // to give to /dev/null: move it clear of them.
    const int moved = fcntl(end, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    close(end);
    end = moved;
  }
  if (report[0] < 0 || report[1] < 0) {
    for (const int end : report) {
      if (end >= 0) close(end);
    }
    return std::nullopt;
  }
  const std::vector<int> toClose = inheritedDescriptors();
  char* const argv[] = {const_cast<char*>(executable.c_str()), nullptr};

  const pid_t child = fork();
  if (child == 0) {
    // Only async-signal-safe calls from here to exec.
    setsid();
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, STDIN_FILENO);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
      if (null > STDERR_FILENO) close(null);
    }
    for (const int fd : toClose) {
      if (fd != report[1]) close(fd);
    }
    execv(executable.c_str(), argv);
    const int failure = errno;
    if (write(report[1], &failure, sizeof failure) < 0) {
    }
    _exit(127);
  }
  close(report[1]);
  if (child < 0) {
    close(report[0]);
    return std::nullopt;
  }
  int failure = 0;
  ssize_t n;
  while ((n = read(report[0], &failure, sizeof failure)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  if (n != 0) {
    // exec failed: this child never became the application, so it is ours to reap.
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    return std::nullopt;
  }
  return child;
}

void openApplication(const std::string& path, std::function<void(const OpenReport&)> completion) {
  const auto report = std::make_shared<std::function<void(const OpenReport&)>>(std::move(completion));
  const auto work = [path, report] {
    OpenReport outcome;
    const std::unique_ptr<Bundle> bundle = openBundle(path);
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
