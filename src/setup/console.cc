#include "setup/console.h"

#include <cerrno>
#include <iostream>
#include <streambuf>

namespace {

int g_read_error = 0;

class StandardInput : public std::streambuf {
 protected:
  int_type underflow() override {
    const size_t got = last_ ? 0
                             : ReadStandardInput(buffer_, sizeof buffer_,
                                                 &last_, &g_read_error);
    if (got == 0) return traits_type::eof();
    setg(buffer_, buffer_, buffer_ + got);
    return traits_type::to_int_type(buffer_[0]);
  }

 private:
  bool last_ = false;
  char buffer_[65536];
};

}  // namespace

std::istream& ConsoleInput() {
  static StandardInput standard_input;
  static std::istream input(&standard_input);
  return input;
}

int ConsoleReadError() { return g_read_error; }

int Print(Stream stream, std::string_view text) {
  ConsoleOutput().flush();
  if (const int error = PrintOnConsole(stream, text); error != -1) {
    return error;
  }
  std::ostream& out = stream == Stream::kError ? std::cerr : ConsoleOutput();
  errno = 0;
  if (out.write(text.data(), static_cast<std::streamsize>(text.size()))
          .flush()) {
    return 0;
  }
  out.clear();
  return errno != 0 ? errno : EIO;
}
