#include "setup/console.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
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
void NameConsoleWindow() {}
void WaitForEnter(int /*exit_status*/) {}

// The standard streams, with standard output held until flushed on a
// terminal as on a pipe, so that the banner and the first question appear
// at once.
std::ostream& ConsoleOutput() {
  static std::ostream& output =
      (std::setvbuf(stdout, nullptr, _IOFBF, BUFSIZ), std::cout);
  return output;
}

int PrintOnConsole(Stream /*stream*/, std::string_view /*text*/) { return -1; }

std::string ErrorWords(int error) { return std::strerror(error); }

std::string TextOf(const std::filesystem::path& path) { return path.string(); }
