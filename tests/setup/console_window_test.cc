// The real .exe in a console window of its own, as a double click in
// Explorer starts it. The test attaches to that console to read the screen
// and to press keys, and sends it Ctrl-C.

#ifdef _WIN32

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

 private:
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

// A window that closes at the end of the run keeps the outcome on screen
// until Enter, and the run then ends with the status it has anyway. The
// failure is the one that used to look like a success: the file is held open
// by another program, the game say, when the answers are given.
TEST(ConsoleWindowTest, OutcomeStaysOnScreenUntilEnter) {
  for (bool in_use : {false, true}) {
    ScratchDir scratch;
    WriteFile(scratch.events_file(), "old\r\n");
    START_DIALOGUE(window, scratch);
    HANDLE game = INVALID_HANDLE_VALUE;
    if (in_use) {
      game = CreateFileW(scratch.events_file().c_str(), GENERIC_READ, 0,
                         nullptr, OPEN_EXISTING, 0, nullptr);
    }
    window.Type(L"y\rn\rn\r");
    EXPECT_TRUE(window.WaitForScreen(
        in_use ? L"velmoria-setup: cannot write events.txt: it is in use by "
                 L"another program"
               : L"events.txt is written in " + scratch.scenario().wstring() +
                     L"."));
    EXPECT_TRUE(window.WaitForScreen(L"Press Enter to close this window."));
    EXPECT_TRUE(window.StillRunningAfter(300));
    window.Type(L"\r");
    EXPECT_EQ(window.ExitCode(), in_use ? 1u : 0u);
    if (game != INVALID_HANDLE_VALUE) CloseHandle(game);
    EXPECT_EQ(ReadFile(scratch.events_file()) == "old\r\n", in_use);
    EXPECT_EQ(
        ListDir(scratch.scenario()),
        in_use ? Names{"events.txt"} : (Names{"events.txt", "events.txt.bak"}));
  }
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

#endif  // _WIN32
