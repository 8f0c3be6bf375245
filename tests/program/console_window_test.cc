// The real .exe in a console window of its own, as a double click in
// Explorer starts it. The test attaches to that console to read the screen
// and to press keys, and sends it Ctrl-C.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cwctype>
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

  // Starts `program` in `dir` with `args` in a new console, once the
  // window of the one before has gone.
  ConsoleWindow(const fs::path& program, const fs::path& dir,
                const std::wstring& args) {
    for (int i = 0; i < 200 && FindWindowW(nullptr, kTitle); ++i) Sleep(50);
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

  // Waits until the screen shows `text`, which may go on from row to row,
  // broken anywhere, or between words with the rest of the row blank.
  bool WaitForScreen(const std::wstring& text) {
    for (int i = 0; i < 200; ++i) {
      std::wstring screen = Screen();
      screen.erase(std::unique(screen.begin(), screen.end(),
                               [](wchar_t a, wchar_t b) {
                                 return a == L' ' && b == L' ';
                               }),
                   screen.end());
      if (screen.find(text) != std::wstring::npos) return true;
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

  // Presses Ctrl-C.
  void CtrlC() {
    INPUT_RECORD record = {};
    record.EventType = KEY_EVENT;
    record.Event.KeyEvent.bKeyDown = TRUE;
    record.Event.KeyEvent.wRepeatCount = 1;
    record.Event.KeyEvent.wVirtualKeyCode = 'C';
    record.Event.KeyEvent.uChar.UnicodeChar = 3;
    record.Event.KeyEvent.dwControlKeyState = LEFT_CTRL_PRESSED;
    DWORD written = 0;
    WriteConsoleInputW(in_, &record, 1, &written);
  }

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

  // Returns true if a row of the screen ends inside a word that goes on in
  // the next row.
  bool BreaksAWord() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    const std::wstring screen = Screen();
    if (!GetConsoleScreenBufferInfo(out_, &info)) return false;
    for (size_t end = info.dwSize.X; end < screen.size();
         end += info.dwSize.X) {
      if (iswalnum(screen[end - 1]) && iswalnum(screen[end])) return true;
    }
    return false;
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
// until Enter, and the run then ends with its own status: the setup as the
// program took the answers; the file taken by another program, the game say,
// while a question waits; files dropped on the program, which get words for a
// mouse user and write nothing; where there was no events.txt, a line that says
// where the program seems to run: the folder the download was unpacked into,
// the temporary one of a program started inside the zip, or another; a copy of
// events.txt that older games read instead. Ctrl-C at a prompt leaves the old
// file and ends with the status Windows gives a program stopped by Ctrl-C. The
// rows run one after another: the test tells the program's window by its title.
TEST(ConsoleWindowTest, EachOutcomeStaysOnScreen) {
  if (const char* why = NoConsoleWindow()) GTEST_SKIP() << why;
  enum class Then { kEnter, kCtrlC };
  enum class Where { kScenario, kBesideTheProgram, kInsideTheZip, kDeep };
  const struct {
    const char* name;
    Where where;  // the folder it runs in
    std::wstring args;
    const wchar_t* keys;
    std::vector<std::wstring> screen;
    Then then;  // what ends the run, once the screen shows it all
    DWORD exit_code;
    bool old;            // there is an events.txt before the run
    bool in_use;         // the game holds it while a question waits
    bool virtual_store;  // and older games' copy of it is in VirtualStore
  } rows[] = {
      // clang-format off
      // First: under wine, Ctrl-C reaches only the first console the test
      // attaches to.
      {"Ctrl-C at the second question", Where::kScenario, L"", L"n\r",
       {L"Hafsids being played by a human?"},
       Then::kCtrlC, static_cast<DWORD>(STATUS_CONTROL_C_EXIT), true, false, false},
      {"n n y", Where::kScenario, L"", L"n\rn\ry\r",
       {L"Venetians: computer", L"Hafsids: computer", L"Teutonics: human", L"events.txt is written in "},
       Then::kEnter, 0, true, false, false},
      {"no y", Where::kScenario, L"", L"no\ry\r",  // "o" answers the second
       {L"Venetians: computer", L"Hafsids: human", L"Teutonics: human"},
       Then::kEnter, 0, true, false, false},
      {"in use", Where::kScenario, L"", L"y\rn\rn\r",
       {L"velmoria-setup: cannot write events.txt: it is in use by another program"},
       Then::kEnter, 1, true, true, false},
      {"files dropped", Where::kScenario, L"\"..\\turn 12.sav\" \"..\\turn 13.sav\"", L"",
       {L"velmoria-setup: files cannot be dropped on this program; double-click it in the scenario's folder instead"},
       Then::kEnter, 2, true, false, false},
      {"where the download was unpacked", Where::kBesideTheProgram, L"ynn", L"",
       {L"it looks like the folder the download was unpacked into"},
       Then::kEnter, 0, false, false, false},
      {"inside the zip", Where::kInsideTheZip, L"ynn", L"",
       {L"the program was started from inside the zip"},
       Then::kEnter, 0, false, false, false},
      {"deeper than 260 characters", Where::kDeep, L"", L"", {},
       Then::kEnter, 0, false, false, false},
      {"a copy in VirtualStore", Where::kScenario, L"nnn", L"",
       {L"events.txt hides this events.txt from older games"},
       Then::kEnter, 0, true, false, true},
      // clang-format on
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ScratchDir scratch;
    WriteFile(scratch.root() / "turn 12.sav", "saved");
    WriteFile(scratch.root() / "turn 13.sav", "saved");
    if (row.old) WriteFile(scratch.events_file(), "old\r\n");
    // The user's temporary folder, where Windows unpacks what is run inside
    // a zip: the scratch folder for that row, else a folder beside it.
    const fs::path temp = row.where == Where::kInsideTheZip
                              ? scratch.root()
                              : scratch.root() / "temp";
    fs::create_directories(temp);
    SetEnvironmentVariableW(L"TMP", temp.c_str());
    fs::path program = fs::absolute(VELMORIA_SETUP_PROGRAM);
    if (row.where == Where::kBesideTheProgram) {
      fs::copy_file(program, scratch.scenario() / "velmoria-setup.exe");
      WriteFile(scratch.scenario() / "README.txt", "the guide");
      program = scratch.scenario() / "velmoria-setup.exe";
    }
    fs::path folder = scratch.scenario();
    std::wstring args = row.args;
    std::vector<std::wstring> screen = row.screen;
    if (row.where == Where::kDeep) {
      fs::path deep;
      while (folder.native().size() + deep.native().size() < 300) {
        deep /= L"a-folder-in-a-folder";
      }
      fs::create_directories(folder / deep);
      folder /= deep;
      args = L"-C " + deep.wstring() + L" nny";
      screen = {L"events.txt is written in " + folder.wstring() + L".",
                L"There was no events.txt here before."};
    }
    wchar_t local[MAX_PATH];
    GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH);
    const fs::path store =
        fs::path(local) / L"VirtualStore" / scratch.root().relative_path();
    if (row.virtual_store) {
      fs::create_directories(store / L"scenario");
      WriteFile(store / L"scenario" / L"events.txt", "older games' copy");
    }
    ConsoleWindow window(program, scratch.scenario(), args);
    const ConsoleWindow::Shown shown = window.Show();
    SetEnvironmentVariableW(L"TMP", nullptr);
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
    for (const std::wstring& line : screen) {
      EXPECT_TRUE(window.WaitForScreen(line)) << fs::path(line).u8string();
    }
    if (row.then == Then::kCtrlC) {
      window.CtrlC();
    } else {
      EXPECT_TRUE(window.WaitForScreen(L"Press Enter to close this window."));
      EXPECT_EQ(window.Screen().find(L"--help"), std::wstring::npos);
      // Lines are broken between words, but where a word is longer than a
      // row, as the paths of the deep folder and of VirtualStore are.
      if (row.where != Where::kDeep && !row.virtual_store) {
        EXPECT_FALSE(window.BreaksAWord());
      }
      EXPECT_TRUE(window.StillRunningAfter(300));
      // Wine ends a program whose window is closed with 0, calling no
      // handler, and a Ctrl-C at the wait does not reach it: only Enter.
      window.Type(L"\r");
    }
    EXPECT_EQ(window.ExitCode(), row.exit_code);
    if (game != INVALID_HANDLE_VALUE) CloseHandle(game);
    // Only a run that ends 0 has written anything.
    EXPECT_EQ(ReadFile(folder / "events.txt") == (row.old ? "old\r\n" : ""),
              row.exit_code != 0);
    fs::remove_all(store);
  }
}

}  // namespace
