#include "tests/support/child.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <csignal>

#include <cstdlib>
#include <stdexcept>

namespace testing_support {

namespace {

// Reads the child's standard output and error pipes to their ends, then reaps it. A child still
// running `limit` seconds after `start` is killed (and reported as killed by SIGKILL). Closes both
// pipe ends.
Outcome collect(pid_t child, int outFd, int errFd, std::chrono::steady_clock::time_point start,
                std::optional<double> limit) {
  Outcome outcome;
  const auto deadline = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                    std::chrono::duration<double>(limit.value_or(0)));
  // Read both pipes together, so that a child filling one of them never blocks.
  pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  std::string* sinks[2] = {&outcome.out, &outcome.err};
  int open = 2;
  bool killed = false;
  while (open > 0) {
    int timeout = -1;
    if (limit) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        kill(child, SIGKILL);
        killed = true;
        break;
      }
      timeout = static_cast<int>(left.count());
    }
    const int ready = poll(fds, 2, timeout);
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[65536];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (const pollfd& fd : fds) {
    if (fd.fd >= 0) close(fd.fd);
  }
  int raw = 0;
  rusage usage{};
  while (wait4(child, &raw, 0, &usage) < 0 && errno == EINTR) {
  }
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  outcome.maxRssKiB = usage.ru_maxrss;
  if (WIFEXITED(raw)) outcome.status = WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) outcome.signal = WTERMSIG(raw);
  if (killed) outcome.signal = SIGKILL;
  return outcome;
}

Outcome forkWith(const std::function<void()>& inChild, std::optional<double> limit = std::nullopt) {
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe");
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork");
  if (child == 0) {
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    close(out[0]);
    close(out[1]);
    close(err[0]);
    close(err[1]);
    inChild();
    _exit(99);
  }
  close(out[1]);
  close(err[1]);
  return collect(child, out[0], err[0], start, limit);
}

}  // namespace

Outcome runInChild(const std::function<void()>& body) { return forkWith(body); }

void directStandardOutput(StandardOutput output) {
  if (output == StandardOutput::closed) {
    close(STDOUT_FILENO);
  } else if (output == StandardOutput::readerGone) {
    int gone[2];
    if (pipe(gone) != 0) _exit(97);
    close(gone[0]);
    dup2(gone[1], STDOUT_FILENO);
    close(gone[1]);
  }
}

Outcome runBinary(const std::string& path, const std::vector<std::string>& args,
                  const ProgramSettings& settings) {
  // Everything exec needs is prepared before the fork.
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  if (settings.environment) {
    for (const std::string& entry : *settings.environment) {
      envp.push_back(const_cast<char*>(entry.c_str()));
    }
    envp.push_back(nullptr);
  }
  return forkWith(
      [&] {
        const int null = open("/dev/null", O_RDONLY);
        if (null > STDIN_FILENO) {
          dup2(null, STDIN_FILENO);
          close(null);
        }
        directStandardOutput(settings.output);
        if (settings.prepare) settings.prepare();
        if (settings.environment) {
          execve(path.c_str(), argv.data(), envp.data());
        } else {
          execv(path.c_str(), argv.data());
        }
        _exit(98);
      },
      settings.limit);
}

std::vector<std::string> onlyHome(const std::string& home) { return {"HOME=" + home}; }

std::string me() { return std::to_string(getpid()); }

std::string readAll(int fd) {
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      return text;
    }
  }
}

}  // namespace testing_support
