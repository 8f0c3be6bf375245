#include "setup/console.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <string>

const int kInterruptedExitStatus = static_cast<int>(STATUS_CONTROL_C_EXIT);

namespace {

bool g_read_interrupted = false;

bool IsConsole(HANDLE handle) {
  DWORD mode;
  return GetConsoleMode(handle, &mode) != 0;
}

// Reads a console as the C runtime does in text mode, where Ctrl-Z ends the
// input, but tells Ctrl-C and Ctrl-Break apart: they end the read with
// nothing and ERROR_OPERATION_ABORTED, which the runtime takes for the end of
// the input. The dialogue would then repeat the last answer and a file of
// answers nobody gave could go in place before the interruption arrives.
class ConsoleInput : public std::streambuf {
 public:
  explicit ConsoleInput(HANDLE console) : console_(console) {}

 protected:
  int_type underflow() override {
    if (ended_) return traits_type::eof();
    DWORD got = 0;
    SetLastError(ERROR_SUCCESS);
    if (!ReadFile(console_, buffer_, sizeof buffer_, &got, nullptr) ||
        got == 0) {
      g_read_interrupted = GetLastError() == ERROR_OPERATION_ABORTED;
      ended_ = true;
      return traits_type::eof();
    }
    char* end = std::find(buffer_, buffer_ + got, '\x1a');
    ended_ = end != buffer_ + got;
    if (end == buffer_) return traits_type::eof();
    setg(buffer_, buffer_, end);
    return traits_type::to_int_type(buffer_[0]);
  }

 private:
  HANDLE console_;
  bool ended_ = false;
  char buffer_[4096];
};

}  // namespace

void OpenConsoleInput() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (!IsConsole(input)) return;  // a file or a pipe: the runtime reads it
  static ConsoleInput console_input(input);
  std::cin.rdbuf(&console_input);
}

bool ConsoleReadInterrupted() { return g_read_interrupted; }

// Asked once, at the start: a process that attaches later does not make the
// window any less the program's own.
bool OwnsConsoleWindow() {
  static const bool owns = [] {
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
  }();
  return owns;
}

void WaitForEnter() {
  std::cout << "Press Enter to close this window." << std::flush;
  const HANDLE input =
      CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (input == INVALID_HANDLE_VALUE) return;
  // Only a key pressed from now on counts, not the rest of an answer's line.
  FlushConsoleInputBuffer(input);
  char line[256];
  DWORD got = 0;
  while (ReadFile(input, line, sizeof line, &got, nullptr) && got > 0 &&
         std::memchr(line, '\n', got) == nullptr) {
  }
  CloseHandle(input);
}

void PrintLine(std::ostream& out, const std::string& line) {
  const HANDLE handle =
      GetStdHandle(&out == &std::cerr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  if (!IsConsole(handle)) {
    out << (line + '\n') << std::flush;
    return;
  }
  out.flush();
  const std::string text = line + "\r\n";
  std::wstring wide(text.size(), L'\0');
  wide.resize(static_cast<size_t>(MultiByteToWideChar(
      CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
      static_cast<int>(wide.size()))));
  DWORD written = 0;
  WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written,
                nullptr);
}
