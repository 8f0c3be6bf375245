#include "setup/console.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>

const int kInterruptedExitStatus = 128 + SIGINT;

size_t ReadStandardInput(char* buffer, size_t size, bool* /*last*/,
                         int* error) {
  for (;;) {
    const ssize_t got = read(STDIN_FILENO, buffer, size);
    if (got >= 0) return static_cast<size_t>(got);
    if (errno == EINTR) continue;
    // A standard input closed from the start is no input at all, as
    // /dev/null is; one open for writing only (nohup) is an error.
    if (errno != EBADF || fcntl(STDIN_FILENO, F_GETFL) >= 0) *error = errno;
    return 0;
  }
}

bool OwnsConsoleWindow() { return false; }

void WaitForEnter(int /*exit_status*/) {}

int Print(Stream stream, std::string_view text) {
  std::cout.flush();
  const int fd = stream == Stream::kError ? STDERR_FILENO : STDOUT_FILENO;
  while (!text.empty()) {
    const ssize_t written = write(fd, text.data(), text.size());
    if (written < 0 && errno != EINTR) return errno;
    if (written > 0) text.remove_prefix(static_cast<size_t>(written));
  }
  return 0;
}

std::filesystem::path CurrentFolder() {
  std::error_code ec;
  std::filesystem::path folder = std::filesystem::current_path(ec);
  return ec ? "." : folder;
}

std::string Shown(const std::filesystem::path& path) { return path.string(); }
