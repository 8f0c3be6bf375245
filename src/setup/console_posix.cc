#include "setup/console.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

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

void PrintLine(std::ostream& out, const std::string& line) {
  out << (line + '\n') << std::flush;
}
