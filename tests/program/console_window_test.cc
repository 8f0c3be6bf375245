// The real .exe in a console window of its own, as a double click in
// Explorer starts it. The test attaches to that console to read the screen
// and to press keys, and sends it Ctrl-C.

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "support/scratch_dir.h"

namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

// The title the program gives a window of its own, once it knows it is.
constexpr wchar_t kTitle[] = L"Velmoria setup";

// Returns why no console window can be shown here, or null.
const char* NoConsoleWindow() {
  const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"),
                                   "wine_get_version") != nullptr;
  if (wine && GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0) {
    return "wine without a display shows no console window";
  }
  return nullptr;
}

class ConsoleWindow {
 public:
  enum Shown { kShown, kNoWindow, kEnded };

  // Starts the program in `dir` with `args` in a new console, once the
  // window of the one before has gone.
  ConsoleWindow(const fs::path& dir, const std::wstring& args) {
    for (int i = 0; i < 200 && FindWindowW(nullptr, kTitle); ++i) Sleep(50);
    const fs::path program = fs::absolute(VELMORIA_SETUP_PROGRAM);
    std::wstring command_line = L"\"" + program.wstring() + L"\" " + args;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr,
                   FALSE, CREATE_NEW_CONSOLE, nullptr, dir.c_str(), &startup,
                   &process_);
  }

  // Waits until the program has named its window, and so knows it is its
  // own, then attaches the test to its console to read it and type in it.
  Shown Show() {
    for (int i = 0; i < 200; ++i) {
      if (FindWindowW(nullptr, kTitle) != nullptr) break;
      if (WaitForSingleObject(process_.hProcess, 50) == WAIT_OBJECT_0) {
        return kEnded;
      }
    }
    FreeConsole();
    if (FindWindowW(nullptr, kTitle) == nullptr ||
        !AttachConsole(process_.dwProcessId)) {
      return kNoWindow;
    }
    in_ = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, 0, nullptr);
    out_ = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
    // The test itself lets the Ctrl-C it sends go by.
    SetConsoleCtrlHandler(nullptr, TRUE);
    return out_ != INVALID_HANDLE_VALUE ? kShown : kNoWindow;
  }

  ~ConsoleWindow() {
    if (in_ != INVALID_HANDLE_VALUE) CloseHandle(in_);
    if (out_ != INVALID_HANDLE_VALUE) CloseHandle(out_);
    FreeConsole();
    if (process_.hProcess != nullptr) {
      TerminateProcess(process_.hProcess, 1);
      CloseHandle(process_.hProcess);
      CloseHandle(process_.hThread);
    }
  }
  ConsoleWindow(const ConsoleWindow&) = delete;
  ConsoleWindow& operator=(const ConsoleWindow&) = delete;

  // Waits until the screen shows `text`, which may wrap from row to row.
  bool WaitForScreen(const std::wstring& text) {
    for (int i = 0; i < 200; ++i) {
      if (Screen().find(text) != std::wstring::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ADD_FAILURE() << "the screen shows:\n" << fs::path(Screen()).u8string();
    return false;
  }

  // Presses the keys of `keys`; '\r' is Enter.
  void Type(const std::wstring& keys) {
    std::vector<INPUT_RECORD> records;
    for (wchar_t key : keys) {
      for (BOOL down : {TRUE, FALSE}) {
        INPUT_RECORD record = {};
        record.EventType = KEY_EVENT;
        record.Event.KeyEvent.bKeyDown = down;
        record.Event.KeyEvent.wRepeatCount = 1;
        record.Event.KeyEvent.wVirtualKeyCode =
            key == L'\r' ? VK_RETURN : LOBYTE(VkKeyScanW(key));
        record.Event.KeyEvent.uChar.UnicodeChar = key;
        records.push_back(record);
      }
    }
    DWORD written = 0;
    WriteConsoleInputW(in_, records.data(), static_cast<DWORD>(records.size()),
                       &written);
  }

  void CtrlC() { GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0); }

  // Closes the window, as its close button does.
  void CloseWindow() { PostMessageW(GetConsoleWindow(), WM_CLOSE, 0, 0); }

  // Returns true if the program has not ended after `ms` milliseconds.
  bool StillRunningAfter(DWORD ms) {
    return WaitForSingleObject(process_.hProcess, ms) == WAIT_TIMEOUT;
  }

  DWORD ExitCode() {
    WaitForSingleObject(process_.hProcess, 10000);
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
  }

  // The screen's rows one after another, so that a wrapped line reads on.
  std::wstring Screen() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(out_, &info)) return L"";
    std::wstring screen(static_cast<size_t>(info.dwSize.X) * 50, L' ');
    DWORD got = 0;
    ReadConsoleOutputCharacterW(
        out_, screen.data(), static_cast<DWORD>(screen.size()), {0, 0}, &got);
    screen.resize(got);
    return screen;
  }

 private:
  PROCESS_INFORMATION process_ = {};
  HANDLE in_ = INVALID_HANDLE_VALUE;
  HANDLE out_ = INVALID_HANDLE_VALUE;
};

// A window that closes at the end of the run keeps the outcome on screen
// until Enter, and the run then ends with its own status, whatever ends the
// wait: the setup as the program took the answers; the file taken by
// another program, the game say, while a question waits; a file dropped on
// the program, which gets words for a mouse user and writes nothing. Ctrl-C
// at a prompt leaves the old file and ends with the status Windows gives a
// program stopped by Ctrl-C. The rows run one after another: the test tells
// the program's window by its title.
TEST(ConsoleWindowTest, EachOutcomeStaysOnScreen) {
  if (const char* why = NoConsoleWindow()) GTEST_SKIP() << why;
  enum class Then { kEnter, kCloseWindow, kCtrlC };
  const struct {
    const char* name;
    std::wstring args;
    const wchar_t* keys;
    std::vector<std::wstring> screen;
    Then then;  // what ends the run, once the screen shows it all
    DWORD exit_code;
    bool in_use;    // the game holds events.txt while a question waits
    bool replaced;  // events.txt holds the setup afterwards
  } rows[] = {
      {"n n y",
       L"",
       L"n\rn\ry\r",
       {L"Venetians: computer", L"Hafsids: computer", L"Teutonics: human",
        L"events.txt is written in "},
       Then::kEnter,
       0,
       false,
       true},
      {"no y",
       L"",
       L"no\ry\r",  // "o" answers the second question
       {L"Venetians: computer", L"Hafsids: human", L"Teutonics: human"},
       Then::kEnter,
       0,
       false,
       true},
      {"in use",
       L"",
       L"y\rn\rn\r",
       {L"velmoria-setup: cannot write events.txt: it is in use by another "
        L"program"},
       Then::kCloseWindow,
       1,
       true,
       false},
      {"a dropped file",
       L"\"..\\turn 12.sav\"",
       L"",
       {L"velmoria-setup: files cannot be dropped on this program; "
        L"double-click it in the scenario's folder instead"},
       Then::kEnter,
       2,
       false,
       false},
      {"Ctrl-C at the second question",
       L"",
       L"n\r",
       {L"Hafsids being played by a human?"},
       Then::kCtrlC,
       static_cast<DWORD>(STATUS_CONTROL_C_EXIT),
       false,
       false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ScratchDir scratch;
    WriteFile(scratch.events_file(), "old\r\n");
    WriteFile(scratch.root() / "turn 12.sav", "saved");
    ConsoleWindow window(scratch.scenario(), row.args);
    const ConsoleWindow::Shown shown = window.Show();
    if (shown == ConsoleWindow::kNoWindow) {
      GTEST_SKIP() << "no console window was shown in 10 seconds";
    }
    ASSERT_EQ(shown, ConsoleWindow::kShown) << "the program ended at once";
    HANDLE game = INVALID_HANDLE_VALUE;
    if (row.in_use) {  // as the C runtime opens a file
      ASSERT_TRUE(window.WaitForScreen(L"(y or n)"));
      game = CreateFileW(scratch.events_file().c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
    }
    window.Type(row.keys);
    for (const std::wstring& line : row.screen) {
      EXPECT_TRUE(window.WaitForScreen(line)) << fs::path(line).u8string();
    }
    if (row.then == Then::kCtrlC) {
      window.CtrlC();
    } else {
      EXPECT_TRUE(window.WaitForScreen(L"Press Enter to close this window."));
      EXPECT_EQ(window.Screen().find(L"--help"), std::wstring::npos);
      EXPECT_TRUE(window.StillRunningAfter(300));
      // Under wine a Ctrl-C made by the test does not reach the program at
      // the wait, and a pressed one was tried by hand; closing the window is.
      if (row.then == Then::kCloseWindow) {
        window.CloseWindow();
      } else {
        window.Type(L"\r");
      }
    }
    EXPECT_EQ(window.ExitCode(), row.exit_code);
    if (game != INVALID_HANDLE_VALUE) CloseHandle(game);
    EXPECT_EQ(ReadFile(scratch.events_file()) == "old\r\n", !row.replaced);
    EXPECT_EQ(ListDir(scratch.scenario()),
              row.replaced ? (Names{"events.txt", "events.txt.bak"})
                           : Names{"events.txt"});
  }
}

}  // namespace
