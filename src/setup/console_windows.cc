#include "setup/console.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cwchar>
#include <iostream>
#include <string>

#include "replace/errors.h"

const int kInterruptedExitStatus = static_cast<int>(STATUS_CONTROL_C_EXIT);

namespace {

DWORD g_exit_status = 0;

// Ctrl-C, Ctrl-Break or closing the window at the wait end the program with
// the run's own status, not the one of an interruption: the run is over.
BOOL WINAPI EndWithTheRunsStatus(DWORD /*event*/) {
  TerminateProcess(GetCurrentProcess(), g_exit_status);
  return TRUE;
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
// place. A console is read in UTF-16, whatever its code page, and handed on
// in UTF-8, so that a letter of any alphabet is one character, one answer.
size_t ReadStandardInput(char* buffer, size_t size, bool* last, int* error) {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  DWORD got = 0;
  SetLastError(ERROR_SUCCESS);
  if (GetConsoleMode(input, &mode)) {
    std::wstring typed(size / 3, L'\0');
    if (ReadConsoleW(input, typed.data(), static_cast<DWORD>(typed.size()),
                     &got, nullptr) &&
        got > 0) {
      got = static_cast<DWORD>(WideCharToMultiByte(
          CP_UTF8, 0, typed.data(), static_cast<int>(got), buffer,
          static_cast<int>(size), nullptr, nullptr));
    }
  } else if (!ReadFile(input, buffer, static_cast<DWORD>(size), &got,
                       nullptr)) {
    got = 0;
  }
  if (got == 0) {
    const DWORD reason = GetLastError();
    if (reason == ERROR_OPERATION_ABORTED) {
      *error = EINTR;
    } else if (reason != ERROR_SUCCESS && reason != ERROR_BROKEN_PIPE &&
               reason != ERROR_HANDLE_EOF && reason != ERROR_INVALID_HANDLE) {
      // The end of a pipe, and no input at all, are ends.
      *error = kWindowsError + static_cast<int>(reason);
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
  const HANDLE input =
      CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL, nullptr);
  // Only what is typed from now on counts, not the rest of an answer's line;
  // and only Enter on its own closes the window: a line with letters, as for
  // a question already answered, leaves the outcome on the screen.
  FlushConsoleInputBuffer(input);
  bool blank = false;
  for (char line[256]; !blank;) {
    std::cout << "Press Enter to close this window." << std::flush;
    blank = true;
    for (DWORD got = 0; ReadFile(input, line, sizeof line, &got, nullptr);) {
      const auto end = std::find(line, line + got, '\n');
      blank = blank && std::all_of(line, end, [](char c) { return c == '\r'; });
      if (got == 0 || end != line + got) break;
    }
  }
  CloseHandle(input);
}

// The C runtime's standard input is not read; its standard output writes
// the prompts with the line ends of Windows, as the players have them.
std::ostream& ConsoleOutput() { return std::cout; }

int PrintOnConsole(Stream stream, std::string_view lines) {
  const HANDLE handle = GetStdHandle(
      stream == Stream::kError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(handle, &mode)) return -1;
  std::wstring wide = Wide(lines);
  // One column short of the width: a line that fills a row would wrap
  // before its line end, and leave an empty row.
  CONSOLE_SCREEN_BUFFER_INFO screen;
  if (OwnsConsoleWindow() && GetConsoleScreenBufferInfo(handle, &screen)) {
    wide = Fitted(wide, static_cast<size_t>(screen.srWindow.Right -
                                            screen.srWindow.Left));
  }
  DWORD written = 0;
  return WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()),
                       &written, nullptr)
             ? 0
             : kWindowsError + static_cast<int>(GetLastError());
}

std::string TextOf(const std::filesystem::path& path) {
  const std::wstring& wide = path.native();
  // Without WC_ERR_INVALID_CHARS, what is not valid UTF-16 shows as U+FFFD.
  std::string shown(wide.size() * 3, '\0');
  shown.resize(static_cast<size_t>(WideCharToMultiByte(
      CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), shown.data(),
      static_cast<int>(shown.size()), nullptr, nullptr)));
  return shown;
}

std::string ErrorWords(int error) {
  if (error < kWindowsError) return std::strerror(error);
  wchar_t* words = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                     FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, static_cast<DWORD>(error - kWindowsError), 0,
                 reinterpret_cast<wchar_t*>(&words), 0, nullptr);
  std::wstring said = words != nullptr ? words : L"";
  LocalFree(words);
  // The program's lines end without the system's stop and line end.
  while (!said.empty() && std::wcschr(L". \r\n", said.back()) != nullptr) {
    said.pop_back();
  }
  if (said.empty())
    return "Windows error " + std::to_string(error - kWindowsError);
  return TextOf(said);
}
