#include "setup/console.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>

const int kInterruptedExitStatus = static_cast<int>(STATUS_CONTROL_C_EXIT);

namespace {

DWORD g_exit_status = 0;

// Ctrl-C, Ctrl-Break or closing the window at the wait end the program with
// the run's own status, not the one of an interruption: the run is over.
BOOL WINAPI EndWithTheRunsStatus(DWORD /*event*/) {
  TerminateProcess(GetCurrentProcess(), g_exit_status);
  return TRUE;
}

// Returns `text` with each line end as Windows has it, CR LF.
template <typename Char>
std::basic_string<Char> WithCrLf(std::basic_string_view<Char> text) {
  std::basic_string<Char> with_cr;
  for (Char c : text) {
    if (c == '\n') with_cr += '\r';
    with_cr += c;
  }
  return with_cr;
}

// Breaks the lines of `text` between words so that none is longer than
// `width`. A word longer than that starts a row of its own, and the window
// breaks it where the rows end.
std::wstring Fitted(std::wstring_view text, size_t width) {
  std::wstring fitted;
  size_t column = 0;
  for (size_t end; !text.empty(); text.remove_prefix(end)) {
    end = std::min(text.find_first_of(L" \n"), text.size());
    const std::wstring_view word = text.substr(0, end);
    if (column > 0 && column + word.size() > width) {
      fitted.back() = L'\n';  // the blank before the word
      column = 0;
    }
    fitted += word;
    column = (column + word.size()) % (width + 1);
    if (end < text.size()) {
      fitted += text[end];
      column = text[end] == L'\n' ? 0 : column + 1;
      ++end;
    }
  }
  return fitted;
}

// The text of UTF-8 `text` for the console's wide calls.
std::wstring Wide(std::string_view text) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(static_cast<size_t>(MultiByteToWideChar(
      CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
      static_cast<int>(wide.size()))));
  return wide;
}

}  // namespace

// As the C runtime reads in text mode, a Ctrl-Z ends the input. Ctrl-C and
// Ctrl-Break end a console read with nothing and ERROR_OPERATION_ABORTED,
// which the runtime takes for the end of the input: the dialogue would then
// repeat the last answer, and a file of answers nobody gave could go in
// place.
size_t ReadStandardInput(char* buffer, size_t size, bool* last, int* error) {
  DWORD got = 0;
  SetLastError(ERROR_SUCCESS);
  if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer,
                static_cast<DWORD>(size), &got, nullptr) ||
      got == 0) {
    const DWORD reason = GetLastError();
    if (reason == ERROR_OPERATION_ABORTED) {
      *error = EINTR;
    } else if (reason != ERROR_SUCCESS && reason != ERROR_BROKEN_PIPE &&
               reason != ERROR_HANDLE_EOF && reason != ERROR_INVALID_HANDLE) {
      *error = EIO;  // the end of a pipe, and no input at all, are ends
    }
    return 0;
  }
  const char* end = std::find(buffer, buffer + got, '\x1a');
  *last = end != buffer + got;
  return static_cast<size_t>(end - buffer);
}

bool OwnsConsoleWindow() {
  static const bool owns = [] {
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
  }();
  return owns;
}

void NameConsoleWindow() { SetConsoleTitleW(L"Velmoria setup"); }

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

// The C runtime's standard input is not read; its standard output writes
// the prompts with the line ends of Windows, as the players have them.
std::ostream& ConsoleOutput() { return std::cout; }

int Print(Stream stream, std::string_view lines) {
  std::cout.flush();
  const HANDLE handle = GetStdHandle(
      stream == Stream::kError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  DWORD written = 0;
  bool written_all = true;
  CONSOLE_SCREEN_BUFFER_INFO screen;
  if (GetConsoleMode(handle, &mode)) {
    std::wstring wide = Wide(lines);
    // One column short of the width: a line that fills a row would wrap
    // before its line end, and leave an empty row.
    if (OwnsConsoleWindow() && GetConsoleScreenBufferInfo(handle, &screen)) {
      wide = Fitted(wide, static_cast<size_t>(screen.srWindow.Right -
                                              screen.srWindow.Left));
    }
    wide = WithCrLf<wchar_t>(wide);
    written_all =
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()),
                      &written, nullptr);
  } else {  // a file or a pipe: the bytes as they are, as std::cout writes
    const std::string text = WithCrLf<char>(lines);
    for (std::string_view rest = text; written_all && !rest.empty();
         rest.remove_prefix(written)) {
      written_all =
          WriteFile(handle, rest.data(), static_cast<DWORD>(rest.size()),
                    &written, nullptr);
    }
  }
  if (written_all) return 0;
  const DWORD error = GetLastError();
  if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) {
    return ENOSPC;
  }
  return error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA ? EPIPE : EIO;
}

std::string Shown(const std::filesystem::path& path) {
  const std::wstring& wide = path.native();
  // Without WC_ERR_INVALID_CHARS, what is not valid UTF-16 shows as U+FFFD.
  std::string shown(wide.size() * 3, '\0');
  shown.resize(static_cast<size_t>(WideCharToMultiByte(
      CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), shown.data(),
      static_cast<int>(shown.size()), nullptr, nullptr)));
  return shown;
}
