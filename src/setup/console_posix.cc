#include "setup/console.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <streambuf>

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

namespace {

// Writes all of `text` on `fd`; returns the error.
int WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = write(fd, text.data(), text.size());
    if (written < 0 && errno != EINTR) return errno;
    if (written > 0) text.remove_prefix(static_cast<size_t>(written));
  }
  return 0;
}

// Standard output, held until it is flushed and then written in one call.
class StandardOutput : public std::streambuf {
 public:
  StandardOutput() { setp(buffer_, buffer_ + sizeof buffer_); }

 protected:
  int_type overflow(int_type c) override {
    if (sync() != 0) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      sputc(traits_type::to_char_type(c));
    }
    return traits_type::not_eof(c);
  }
  int sync() override {
    const int error =
        WriteAll(STDOUT_FILENO, std::string_view(pbase(), pptr() - pbase()));
    setp(buffer_, buffer_ + sizeof buffer_);
    return error == 0 ? 0 : -1;
  }

 private:
  char buffer_[4096];
};

}  // namespace

std::ostream& ConsoleOutput() {
  static StandardOutput standard_output;
  static std::ostream output(&standard_output);
  return output;
}

int Print(Stream stream, std::string_view text) {
  return WriteAll(stream == Stream::kError ? STDERR_FILENO : STDOUT_FILENO,
                  text);
}

std::filesystem::path CurrentFolder() {
  std::error_code ec;
  std::filesystem::path folder = std::filesystem::current_path(ec);
  return ec ? "." : folder;
}

std::string Shown(const std::filesystem::path& path) { return path.string(); }

// What only Windows has.
std::filesystem::path ProgramFile() { return {}; }
bool IsInTemporaryFolder(const std::filesystem::path& /*folder*/) {
  return false;
}
std::filesystem::path VirtualStoreCopy(const std::filesystem::path& /*file*/) {
  return {};
}
