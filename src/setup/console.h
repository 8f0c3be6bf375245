#ifndef SETUP_CONSOLE_H_
#define SETUP_CONSOLE_H_

#include <filesystem>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>

// The console, where Windows and POSIX differ. On POSIX these leave the
// console as it is: a signal ends a run, and a terminal outlives it.

// The exit status of a run that Ctrl-C stopped (on Windows, where the
// program may see it before it is ended).
extern const int kInterruptedExitStatus;

// Standard input and output as streams for the dialogue, made when first
// asked for, so that a run that asks nothing starts no streams. The input is
// read directly, so that an error, and on Windows a read ended by Ctrl-C or
// Ctrl-Break, is told apart from the end of the input, which the standard
// streams take them for. The output is written when flushed.
std::istream& ConsoleInput();
std::ostream& ConsoleOutput();

// Returns what ended the reading of standard input, if not its end: EINTR
// for Ctrl-C or Ctrl-Break, another errno value for an error; else 0.
int ConsoleReadError();

// Reads at most `size` bytes of standard input into `buffer` and returns how
// many; 0 at the end, or with the reason in *error. Sets *last if nothing
// after these bytes is input. Each system has its own.
size_t ReadStandardInput(char* buffer, size_t size, bool* last, int* error);

// Returns true when the program is alone in a console window that opened for
// it, as on a double click or a shortcut: the window closes when the program
// ends, and takes what it printed along. Asked first at the start; a process
// that attaches later does not change the answer.
bool OwnsConsoleWindow();

// Names a window of the program's own "Velmoria setup", for the player,
// rather than by the path of the program.
void NameConsoleWindow();

// Shows "Press Enter to close this window." and waits for Enter, or for the
// end of the input, ignoring what was typed before. Whatever else ends the
// wait (Ctrl-C, Ctrl-Break, closing the window) ends the program with
// `exit_status`, the run's own.
void WaitForEnter(int exit_status);

enum class Stream { kOutput, kError };

// Writes `text` on `stream` in one piece, after the dialogue's flushed
// prompts, so that lines of runs at once never interleave; returns the
// error. Nothing is allocated on POSIX, so that "out of memory" can be said.
int Print(Stream stream, std::string_view text);

// Writes `text` on `stream` if it is a Windows console, which shows every
// character whatever its code page, and in a window of the program's own
// breaks a line too long for it between words; returns the error. Returns
// -1 for any other stream, which the C runtime writes. Each system has its
// own.
int PrintOnConsole(Stream stream, std::string_view text);

// Returns the system's words for `error`: an errno value, or on Windows one
// of its own numbers that the program does not word itself.
std::string ErrorWords(int error);

// Returns `path` as the text the program handles: on POSIX its bytes, on
// Windows UTF-8, where a name that is not valid UTF-16 still gives one. It
// turns the names the program shows, and Windows' arguments.
std::string TextOf(const std::filesystem::path& path);

#endif  // SETUP_CONSOLE_H_
