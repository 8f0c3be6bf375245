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

class ConsoleWindow {
 public:
  // Starts the program in `dir` with `args` in a new console.
  ConsoleWindow(const fs::path& dir, const std::wstring& args)
      : folder_changes_(FindFirstChangeNotificationW(
            dir.c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME)) {
    const fs::path program = fs::absolute(VELMORIA_SETUP_PROGRAM);
    std::wstring command_line = L"\"" + program.wstring() + L"\" " + args;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr,
                   FALSE, CREATE_NEW_CONSOLE, nullptr, dir.c_str(), &startup,
                   &process_);
  }

  // Returns true once the program has checked that the folder takes a new
  // file: it has started, and is about to ask.
  bool WaitForCheck() {
    return WaitForSingleObject(folder_changes_, 10000) == WAIT_OBJECT_0;
  }

  // Attaches the test to the program's console, to read it and type in it.
  // Only once the program runs: it looks at who else is attached when it
  // starts.
  bool Attach() {
    FreeConsole();
    if (!AttachConsole(process_.dwProcessId)) return false;
    in_ = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, 0, nullptr);
    out_ = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
    // The test itself lets the Ctrl-C it sends go by.
    SetConsoleCtrlHandler(nullptr, TRUE);
    return out_ != INVALID_HANDLE_VALUE;
  }

  ~ConsoleWindow() {
    if (in_ != INVALID_HANDLE_VALUE) CloseHandle(in_);
    if (out_ != INVALID_HANDLE_VALUE) CloseHandle(out_);
    FreeConsole();
    FindCloseChangeNotification(folder_changes_);
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
  HANDLE folder_changes_;
  PROCESS_INFORMATION process_ = {};
  HANDLE in_ = INVALID_HANDLE_VALUE;
  HANDLE out_ = INVALID_HANDLE_VALUE;
};

// Starts the dialogue in a window of its own in `scratch`, and attaches.
#define START_DIALOGUE(window, scratch)                               \
  ConsoleWindow window((scratch).scenario(), L"");                    \
  ASSERT_TRUE(window.WaitForCheck());                                 \
  if (!window.Attach()) {                                             \
    GTEST_SKIP() << "no console window to attach to (wine without a " \
                    "display makes none)";                            \
  }                                                                   \
  ASSERT_TRUE(window.WaitForScreen(L"Venetians being played by a human?"))

// A window that closes at the end of the run names the setup as the program
// took the answers, and keeps the outcome on screen until Enter; the run
// then ends with its own status, whatever ends the wait. The failure: the
// file is taken by another program, the game say, while a question waits.
TEST(ConsoleWindowTest, OutcomeStaysOnScreenUntilEnter) {
  const struct {
    const wchar_t* keys;
    std::vector<std::wstring> screen;
    bool in_use;
  } cases[] = {
      {L"n\rn\ry\r",
       {L"Venetians: computer", L"Hafsids: computer", L"Teutonics: human"},
       false},
      {L"no\ry\r",  // "o" answers the second question
       {L"Venetians: computer", L"Hafsids: human", L"Teutonics: human"},
       false},
      {L"y\rn\rn\r",
       {L"velmoria-setup: cannot write events.txt: it is in use by another "
        L"program"},
       true},
  };
  for (const auto& c : cases) {
    ScratchDir scratch;
    WriteFile(scratch.events_file(), "old\r\n");
    START_DIALOGUE(window, scratch);
    HANDLE game = INVALID_HANDLE_VALUE;
    if (c.in_use) {  // as the C runtime opens a file
      game = CreateFileW(scratch.events_file().c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
    }
    window.Type(c.keys);
    for (const std::wstring& line : c.screen) {
      EXPECT_TRUE(window.WaitForScreen(line)) << c.keys;
    }
    if (!c.in_use) {
      EXPECT_TRUE(window.WaitForScreen(L"events.txt is written in " +
                                       scratch.scenario().wstring() + L"."));
    }
    EXPECT_TRUE(window.WaitForScreen(L"Press Enter to close this window."));
    EXPECT_TRUE(window.StillRunningAfter(300));
    // Under wine a Ctrl-C made by the test does not reach the program at
    // the wait, and a pressed one was tried by hand; closing the window is.
    if (c.in_use) {
      window.CloseWindow();
    } else {
      window.Type(L"\r");
    }
    EXPECT_EQ(window.ExitCode(), c.in_use ? 1u : 0u) << c.keys;
    if (game != INVALID_HANDLE_VALUE) CloseHandle(game);
    EXPECT_EQ(ReadFile(scratch.events_file()) == "old\r\n", c.in_use);
    EXPECT_EQ(ListDir(scratch.scenario()),
              c.in_use ? Names{"events.txt"}
                       : (Names{"events.txt", "events.txt.bak"}));
  }
}

// A file dropped on the program in Explorer gets words for a mouse user,
// not for a command line; nothing is written, and the window waits.
TEST(ConsoleWindowTest, DroppedFileGetsPlainWords) {
  ScratchDir scratch;
  const fs::path saved_game = scratch.root() / "turn 12.sav";
  WriteFile(saved_game, "saved");
  // Nothing on disk shows that the program has started. Attached too soon,
  // the test shares the window, so the program does not wait: once more,
  // later.
  for (DWORD wait_ms : {500, 2000, 6000}) {
    ConsoleWindow window(scratch.scenario(),
                         L"\"" + saved_game.wstring() + L"\"");
    Sleep(wait_ms);
    if (!window.Attach()) GTEST_SKIP() << "no console window to attach to";
    if (!window.StillRunningAfter(300)) continue;
    EXPECT_TRUE(window.WaitForScreen(
        L"velmoria-setup: files cannot be dropped on this program; "
        L"double-click it in the scenario's folder instead"));
    EXPECT_TRUE(window.WaitForScreen(L"Press Enter to close this window."));
    EXPECT_EQ(window.Screen().find(L"--help"), std::wstring::npos);
    window.Type(L"\r");
    EXPECT_EQ(window.ExitCode(), 2u);
    EXPECT_EQ(ListDir(scratch.scenario()), Names{});
    return;
  }
  FAIL() << "the program never waited for Enter";
}

// Ctrl-C at a prompt: the old file stays, the temporary file goes, and the
// run ends with the status Windows gives a program stopped by Ctrl-C.
TEST(ConsoleWindowTest, CtrlCAtAPromptLeavesTheOldFile) {
  ScratchDir scratch;
  WriteFile(scratch.events_file(), "old\r\n");
  START_DIALOGUE(window, scratch);
  window.Type(L"n\r");
  ASSERT_TRUE(window.WaitForScreen(L"Hafsids being played by a human?"));
  window.CtrlC();
  EXPECT_EQ(window.ExitCode(), static_cast<DWORD>(STATUS_CONTROL_C_EXIT));
  EXPECT_EQ(ReadFile(scratch.events_file()), "old\r\n");
  EXPECT_EQ(ListDir(scratch.scenario()), Names{"events.txt"});
}

}  // namespace
