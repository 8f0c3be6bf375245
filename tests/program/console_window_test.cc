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
#include <utility>
#include <vector>

#include "gtest/gtest.h"
#include "support/expected_events.h"
#include "support/scratch_dir.h"

namespace fs = std::filesystem;

namespace {

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
                const std::wstring& args)
      // One window at a time, in all the test processes: each is told by
      // its title.
      : lock_(CreateMutexW(nullptr, FALSE, L"velmoria-console-window-test")) {
    WaitForSingleObject(lock_, INFINITE);
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
    // The test itself lets the Ctrl-C it sends go by. The console reads in
    // Japanese Windows' code page, where a letter of another alphabet is two
    // bytes, neither of them UTF-8's.
    SetConsoleCtrlHandler(nullptr, TRUE);
    SetConsoleCP(932);
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
    ReleaseMutex(lock_);
    CloseHandle(lock_);
  }
  ConsoleWindow(const ConsoleWindow&) = delete;
  ConsoleWindow& operator=(const ConsoleWindow&) = delete;

  // Waits until the screen shows `lines`, in this order, each of which may
  // go on from row to row, broken anywhere, or between words with the rest
  // of the row blank.
  bool WaitForScreen(const std::vector<std::wstring>& lines) {
    for (int i = 0; i < 200; ++i) {
      std::wstring screen = Screen();
      screen.erase(std::unique(screen.begin(), screen.end(),
                               [](wchar_t a, wchar_t b) {
                                 return a == L' ' && b == L' ';
                               }),
                   screen.end());
      size_t at = 0;
      for (const std::wstring& line : lines) {
        at = screen.find(line, at);
        if (at == std::wstring::npos) break;
        at += line.size();
      }
      if (at != std::wstring::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ADD_FAILURE() << "the screen shows:\n" << fs::path(Screen()).u8string();
    return false;
  }

  // Presses the keys of `keys`; '\r' is Enter, '\x03' Ctrl-C.
  void Type(const std::wstring& keys) {
    std::vector<INPUT_RECORD> records;
    for (wchar_t key : keys) {
      for (BOOL down : {TRUE, FALSE}) {
        INPUT_RECORD record = {};
        record.EventType = KEY_EVENT;
        KEY_EVENT_RECORD& event = record.Event.KeyEvent;
        event.bKeyDown = down;
        event.wRepeatCount = 1;
        event.wVirtualKeyCode = key == L'\r'     ? VK_RETURN
                                : key == L'\x03' ? 'C'
                                                 : LOBYTE(VkKeyScanW(key));
        event.dwControlKeyState = key == L'\x03' ? LEFT_CTRL_PRESSED : 0;
        event.uChar.UnicodeChar = key;
        records.push_back(record);
      }
    }
    DWORD written = 0;
    WriteConsoleInputW(in_, records.data(), static_cast<DWORD>(records.size()),
                       &written);
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
  HANDLE lock_;
};

enum class Where {
  kScenario,          // the scenario's folder, the program elsewhere
  kBesideTheProgram,  // a folder with nothing but the download
  kInsideTheZip,      // the temporary folder, as from inside a zip
  kDeep,              // a folder deeper than 260 characters
  kWindowsFolder,     // C:\Windows\System32, as elevated starts have it
};
enum class Old { kNone, kHandEdited, kOurs };  // events.txt before the run
enum class Hold {
  kNone,
  kGame,  // shared as the C runtime shares it, from the first question
  kGameFromTheStart,  // the same, from before the program starts
  kScanner,  // everything shared, from the start, as a virus scanner holds it
};
enum class Then {
  kEnter,           // Enter at the wait
  kLineThenEnter,   // a line with a letter at the wait, then Enter
  kCtrlC,           // Ctrl-C once the screen shows it all
  kCtrlCThenEnter,  // Ctrl-C as the file goes into place, then Enter
};

struct Row {
  const char* name;
  Where where;
  std::wstring args;
  Old old;
  const wchar_t* keys;
  std::vector<std::wstring> screen;  // what the screen shows, in order
  const wchar_t* absent;             // what it does not show, if anything
  Hold hold;
  Then then;
  DWORD exit_code;
  bool virtual_store;  // older games' copy of events.txt is in VirtualStore
};

// Runs the program in a window of its own as `row` says. Only a run that
// ends 0 writes anything. Every folder but the temporary one's is beside a
// temporary folder whose name begins like it, and is not in it.
void Check(const Row& row) {
  SCOPED_TRACE(row.name);
  ScratchDir scratch;
  WriteFile(scratch.root() / "turn 12.sav", "saved");
  WriteFile(scratch.root() / "turn 13.sav", "saved");
  const std::string old = row.old == Old::kOurs         ? ExpectedEvents("yyy")
                          : row.old == Old::kHandEdited ? "old\r\n"
                                                        : "";
  fs::path folder = scratch.scenario();
  const fs::path temp = row.where == Where::kInsideTheZip
                            ? scratch.root()
                            : scratch.root() / "scen";
  fs::create_directories(temp);
  SetEnvironmentVariableW(L"TMP", temp.c_str());
  fs::path program = fs::absolute(VELMORIA_SETUP_PROGRAM);
  std::wstring args = row.args;
  std::vector<std::wstring> screen = row.screen;
  wchar_t windows[MAX_PATH];
  GetWindowsDirectoryW(windows, MAX_PATH);
  if (row.where == Where::kBesideTheProgram) {
    fs::copy_file(program, folder / "velmoria-setup.exe");
    WriteFile(folder / "velmoria-setup.txt", "the guide");
    program = folder / "velmoria-setup.exe";
  } else if (row.where == Where::kDeep) {
    fs::path deep;
    while (folder.native().size() + deep.native().size() < 300) {
      deep /= L"a-folder-in-a-folder";
    }
    fs::create_directories(folder / deep);
    args = L"-C " + deep.wstring() + L" " + args;
    folder /= deep;
    screen.insert(screen.begin(),
                  L"events.txt is written in " + folder.wstring() + L".");
  } else if (row.where == Where::kWindowsFolder) {
    folder = fs::path(windows) / L"System32";  // refused before it writes
  }
  if (row.old != Old::kNone) WriteFile(folder / "events.txt", old);
  wchar_t local[MAX_PATH];
  GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH);
  const fs::path store =
      fs::path(local) / L"VirtualStore" / scratch.root().relative_path();
  if (row.virtual_store) {
    fs::create_directories(store / L"scenario");
    WriteFile(store / L"scenario" / L"events.txt", "older games' copy");
  }
  const auto hold = [&](DWORD sharing) {
    return CreateFileW((folder / "events.txt").c_str(), GENERIC_READ, sharing,
                       nullptr, OPEN_EXISTING, 0, nullptr);
  };
  HANDLE held =
      row.hold == Hold::kScanner
          ? hold(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)
      : row.hold == Hold::kGameFromTheStart
          ? hold(FILE_SHARE_READ | FILE_SHARE_WRITE)
          : INVALID_HANDLE_VALUE;
  ConsoleWindow window(
      program, row.where == Where::kWindowsFolder ? folder : scratch.scenario(),
      args);
  const ConsoleWindow::Shown shown = window.Show();
  SetEnvironmentVariableW(L"TMP", nullptr);
  if (shown == ConsoleWindow::kNoWindow) {
    GTEST_SKIP() << "no console window was shown in 10 seconds";
  }
  ASSERT_EQ(shown, ConsoleWindow::kShown) << "the program ended at once";
  if (row.hold == Hold::kGame) {  // as the C runtime opens a file
    ASSERT_TRUE(window.WaitForScreen({L"(y or n)"}));
    held = hold(FILE_SHARE_READ | FILE_SHARE_WRITE);
  }
  window.Type(row.keys);
  if (row.then == Then::kCtrlCThenEnter) {
    // Once the new file and the copy are closed (no handle forbids opening
    // them alone), they go into place, after the held file: Ctrl-C is let go.
    const auto closed = [&folder](const std::string& name) {
      const HANDLE file = CreateFileW((folder / name).c_str(), GENERIC_READ, 0,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
      return file != INVALID_HANDLE_VALUE && CloseHandle(file);
    };
    for (int i = 0; i < 1000; ++i, Sleep(10)) {
      const std::vector<std::string> names = ListDir(folder);
      if (names.size() == 3 && closed(names[1]) && closed(names[2])) break;
    }
    window.Type(L"\x03");
  }
  const auto typed = std::chrono::steady_clock::now();
  EXPECT_TRUE(window.WaitForScreen(screen));
  // A held file is waited for, about two seconds.
  if (row.hold == Hold::kScanner) {
    EXPECT_GT(std::chrono::steady_clock::now() - typed,
              std::chrono::seconds(1));
  }
  if (row.then == Then::kCtrlC) {
    window.Type(L"\x03");
  } else {
    EXPECT_TRUE(window.WaitForScreen({L"Press Enter to close this window."}));
    if (row.absent != nullptr) {
      EXPECT_EQ(window.Screen().find(row.absent), std::wstring::npos);
    }
    // Lines are broken between words, but where a word is longer than a
    // row, as the paths of the deep folder and of VirtualStore are.
    if (row.where != Where::kDeep && !row.virtual_store) {
      EXPECT_FALSE(window.BreaksAWord());
    }
    if (row.then == Then::kLineThenEnter) {
      window.Type(L"n\r");
      EXPECT_TRUE(window.WaitForScreen({L"Press Enter to close this window.n",
                                        L"Press Enter to close this window."}));
    }
    EXPECT_TRUE(window.StillRunningAfter(300));
    // Wine ends a program whose window is closed with 0, calling no
    // handler: only Enter.
    window.Type(L"\r");
  }
  EXPECT_EQ(window.ExitCode(), row.exit_code);
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  EXPECT_EQ(ReadFile(folder / "events.txt") == old, row.exit_code != 0);
  fs::remove_all(store);
}

// A window that closes at the end of the run keeps the outcome on screen
// until Enter is pressed on its own after it, not before, and the run then
// ends with its own status: the setup as the program took the answers (a
// letter of another alphabet, one answer whatever the code page); the file
// held for good, said after about two seconds, not a time a player takes for
// a hang; the file taken by
// another program, the game say, while a question waits; files dropped on the
// program, which get words for a mouse user and write nothing, and a mistake
// in a shortcut's Target, which gets the usual ones; the folder the download
// was unpacked into, said before the questions and at the end; a start
// inside the zip or in the Windows folder, refused before anything is asked;
// a shortcut that starts the program in another folder; a copy of events.txt
// that older games read instead. Ctrl-C at a prompt leaves the old file and
// ends with the status Windows gives a program stopped by Ctrl-C. The rows run
// one after another: the test tells the program's window by its title.
TEST(ConsoleWindowTest, EachOutcomeStaysOnScreen) {
  if (const char* why = NoConsoleWindow()) GTEST_SKIP() << why;
  // clang-format off
  const Row rows[] = {
      // First: under wine, Ctrl-C reaches only the first console a process
      // attaches to.
      {"Ctrl-C at the second question", Where::kScenario, L"", Old::kHandEdited, L"n\r",
       {L"Hafsids being played by a human?"}, nullptr,
       Hold::kNone, Then::kCtrlC, static_cast<DWORD>(STATUS_CONTROL_C_EXIT), false},
      {"n n y, and Enter typed ahead", Where::kScenario, L"", Old::kHandEdited, L"n\rn\ry\r\r",
       {L"Venetians: computer", L"Hafsids: computer", L"Teutonics: human", L"events.txt is written in ", L"The program itself is in "}, nullptr,
       Hold::kNone, Then::kEnter, 0, false},
      {"yes, then n at the wait", Where::kScenario, L"", Old::kHandEdited, L"yes\r",
       {L"Venetians: human", L"Hafsids: human", L"Teutonics: human"}, nullptr,
       Hold::kNone, Then::kLineThenEnter, 0, false},
      {"a letter of another alphabet", Where::kScenario, L"", Old::kHandEdited, L"\u3042\rn\ry\r",
       {L"Venetians: human", L"Hafsids: computer", L"Teutonics: human"}, nullptr,
       Hold::kNone, Then::kEnter, 0, false},
      {"in use", Where::kScenario, L"", Old::kHandEdited, L"y\rn\rn\r",
       {L"velmoria-setup: cannot write events.txt: it is in use by another program"}, nullptr,
       Hold::kGame, Then::kEnter, 1, false},
      {"held by a scanner for good", Where::kScenario, L"", Old::kHandEdited, L"y\rn\rn\r",
       {L"velmoria-setup: cannot put the new events.txt in place: it is in use by another program"}, nullptr,
       Hold::kScanner, Then::kEnter, 1, false},
      {"in use from the start", Where::kScenario, L"", Old::kHandEdited, L"",
       {L"velmoria-setup: cannot write events.txt: it is in use by another program"}, L"(y or n)",
       Hold::kGameFromTheStart, Then::kEnter, 1, false},
      {"files dropped", Where::kScenario, L"\"..\\turn 12.sav\" \"..\\turn 13.sav\"", Old::kHandEdited, L"",
       {L"velmoria-setup: files cannot be dropped on this program; double-click it in the scenario's folder instead"}, L"--help",
       Hold::kNone, Then::kEnter, 2, false},
      {"a mistake in a shortcut's Target", Where::kScenario, L"yxn", Old::kHandEdited, L"",
       {L"ANSWERS must be three letters", L"Try 'velmoria-setup --help' for more information."}, nullptr,
       Hold::kNone, Then::kEnter, 2, false},
      {"where the download was unpacked, a second run", Where::kBesideTheProgram, L"", Old::kOurs, L"n\rn\rn\r",
       {L"it looks like the folder the download was unpacked into", L"Welcome to the Setup Program", L"events.txt is written in ", L"it looks like the folder the download was unpacked into"}, L"The program itself",
       Hold::kNone, Then::kEnter, 0, false},
      {"inside the zip", Where::kInsideTheZip, L"", Old::kNone, L"",
       {L"the program was started from inside the zip", L"so nothing was written"}, L"(y or n)",
       Hold::kNone, Then::kEnter, 1, false},
      {"in the Windows folder", Where::kWindowsFolder, L"ynn", Old::kNone, L"",
       {L"velmoria-setup: it was started in ", L"outside the scenario's folder"}, L"(y or n)",
       Hold::kNone, Then::kEnter, 1, false},
      {"deeper than 260 characters, started elsewhere", Where::kDeep, L"nny", Old::kNone, L"",
       {L"The program itself is in ", L"There was no events.txt there before."}, L"move velmoria-setup.exe",
       Hold::kNone, Then::kEnter, 0, false},
      {"a copy in VirtualStore", Where::kScenario, L"nnn", Old::kHandEdited, L"",
       {L"events.txt hides this events.txt from older games"}, nullptr,
       Hold::kNone, Then::kEnter, 0, true},
      {"--status and a copy in VirtualStore", Where::kScenario, L"--status", Old::kHandEdited, L"",
       {L"events.txt hides this events.txt from older games", L"was not written by this version"}, nullptr,
       Hold::kNone, Then::kEnter, 1, true},
  };
  // clang-format on
  for (const Row& row : rows) Check(row);
}

// Ctrl-C as the new file goes into place, while the program waits for a
// file a virus scanner holds, is let go: the run finishes, and says that the
// file is still held. In a process of its own, which under wine is the only
// way a second Ctrl-C arrives.
TEST(ConsoleWindowTest, CtrlCWhileTheFileGoesIntoPlaceIsLetGo) {
  if (const char* why = NoConsoleWindow()) GTEST_SKIP() << why;
  Check({"Ctrl-C at the rename",
         Where::kScenario,
         L"",
         Old::kHandEdited,
         L"n\rn\rn\r",
         {L"velmoria-setup: cannot put the new events.txt in place: it is in "
          L"use by another program"},
         nullptr,
         Hold::kScanner,
         Then::kCtrlCThenEnter,
         1,
         false});
}

}  // namespace
