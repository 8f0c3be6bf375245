#include "setup/console.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <streambuf>

const int kInterruptedExitStatus = 128 + SIGINT;

namespace {

int g_read_error = 0;

// Reads standard input directly, so that an error is told apart from the
// end of the input, which the standard streams take it for.
class StandardInput : public std::streambuf {
 protected:
  int_type underflow() override {
    for (;;) {
      const ssize_t got = read(STDIN_FILENO, buffer_, sizeof buffer_);
      if (got > 0) {
        setg(buffer_, buffer_, buffer_ + got);
        return traits_type::to_int_type(buffer_[0]);
      }
      if (got < 0 && errno == EINTR) continue;
      // A standard input closed from the start is no input at all, as
      // /dev/null is; one open for writing only (nohup) is an error.
      if (got < 0 && (errno != EBADF || fcntl(STDIN_FILENO, F_GETFL) >= 0)) {
        g_read_error = errno;
      }
      return traits_type::eof();
    }
  }

 private:
  char buffer_[65536];
};

}  // namespace

void OpenConsoleInput() {
  static StandardInput standard_input;
  std::cin.rdbuf(&standard_input);
}

bool ConsoleReadInterrupted() { return false; }

int ConsoleReadError() { return g_read_error; }

bool OwnsConsoleWindow() { return false; }

void WaitForEnter(int /*exit_status*/) {}

void PrintLine(std::ostream& out, const std::string& line) {
  out << (line + '\n') << std::flush;
}
