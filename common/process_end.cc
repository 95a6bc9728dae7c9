#include "common/process_end.h"

#include <fcntl.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstddef>

namespace common {
namespace {

// Clear from the start: a default-constructed flag is clear since C++20 (ATOMIC_FLAG_INIT is
// deprecated there, and libc++ refuses it under -Werror).
std::atomic_flag decided;

[[noreturn]] void waitForTheWinner() {
  // Another thread has decided and is ending the process; this one only waits for that.
  for (;;) pause();
}

void writeAll(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(STDOUT_FILENO, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;  // closed descriptor, reader gone, or another error: the line cannot be delivered
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

[[noreturn]] void finish(std::string_view text, bool withLine, int status) {
  if (decided.test_and_set(std::memory_order_acq_rel)) waitForTheWinner();
  if (withLine) {
    // A reader that has gone must cost us the line, not our status.
    std::signal(SIGPIPE, SIG_IGN);
    // One buffer, so a reader sees the line arrive in as few pieces as the pipe allows. A text
    // too long for the stack goes out in two writes; the line is still written completely.
    char buffer[1024];
    if (text.size() < sizeof buffer) {
      for (std::size_t i = 0; i < text.size(); ++i) buffer[i] = text[i];
      buffer[text.size()] = '\n';
      writeAll(buffer, text.size() + 1);
    } else {
      writeAll(text.data(), text.size());
      writeAll("\n", 1);
    }
  }
  _exit(status);
}

}  // namespace

void reserveStandardDescriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lower numbers are open by now, so the new descriptor takes this one.
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0 && null != fd) close(null);
  }
}

void endWithLine(std::string_view text, int status) { finish(text, true, status); }

void endSilently(int status) { finish({}, false, status); }

}  // namespace common
