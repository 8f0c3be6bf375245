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
int g_read_error = 0;

bool IsConsole(HANDLE handle) {
  DWORD mode;
  return GetConsoleMode(handle, &mode) != 0;
}

// Reads standard input as the C runtime does in text mode, where Ctrl-Z
// ends the input, but tells apart what the runtime takes for the end of it:
// a read error, and Ctrl-C or Ctrl-Break, which end a console read with
// nothing and ERROR_OPERATION_ABORTED. The dialogue would then repeat the
// last answer and a file of answers nobody gave could go in place.
class StandardInput : public std::streambuf {
 public:
  explicit StandardInput(HANDLE input) : input_(input) {}

 protected:
  int_type underflow() override {
    if (ended_) return traits_type::eof();
    DWORD got = 0;
    SetLastError(ERROR_SUCCESS);
    if (!ReadFile(input_, buffer_, sizeof buffer_, &got, nullptr) || got == 0) {
      const DWORD error = GetLastError();
      g_read_interrupted = error == ERROR_OPERATION_ABORTED;
      // The end of a pipe, and no standard input at all, are ends.
      if (error != ERROR_SUCCESS && error != ERROR_BROKEN_PIPE &&
          error != ERROR_HANDLE_EOF && error != ERROR_INVALID_HANDLE &&
          !g_read_interrupted) {
        g_read_error = EIO;
      }
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
  HANDLE input_;
  bool ended_ = false;
  char buffer_[65536];
};

}  // namespace

void OpenConsoleInput() {
  static StandardInput standard_input(GetStdHandle(STD_INPUT_HANDLE));
  std::cin.rdbuf(&standard_input);
}

bool ConsoleReadInterrupted() { return g_read_interrupted; }

int ConsoleReadError() { return g_read_error; }

// Asked once, at the start: a process that attaches later does not make the
// window any less the program's own.
bool OwnsConsoleWindow() {
  static const bool owns = [] {
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
  }();
  return owns;
}

namespace {

DWORD g_exit_status = 0;

// Ctrl-C, Ctrl-Break or closing the window at the wait end the program with
// the run's own status, not the one of an interruption: the run is over.
BOOL WINAPI EndWithTheRunsStatus(DWORD /*event*/) {
  TerminateProcess(GetCurrentProcess(), g_exit_status);
  return TRUE;
}

}  // namespace

void WaitForEnter(int exit_status) {
  g_exit_status = static_cast<DWORD>(exit_status);
  // Called before any handler set earlier.
  SetConsoleCtrlHandler(EndWithTheRunsStatus, TRUE);
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
