#ifndef SETUP_CONSOLE_H_
#define SETUP_CONSOLE_H_

#include <ostream>
#include <string>

// The console, where Windows and POSIX differ. On POSIX these leave the
// console as it is: a signal ends a run, and a terminal outlives it.

// The exit status of a run that Ctrl-C stopped (on Windows, where the
// program may see it before it is ended).
extern const int kInterruptedExitStatus;

// Prepares standard input for the dialogue: it is read directly, so that an
// error, and on Windows a read ended by Ctrl-C or Ctrl-Break, is told apart
// from the end of the input, which the standard streams take them for.
void OpenConsoleInput();

// Returns what ended the reading of standard input, if not its end: EINTR
// for Ctrl-C or Ctrl-Break, another errno value for an error; else 0.
int ConsoleReadError();

// Reads at most `size` bytes of standard input into `buffer` and returns how
// many; 0 at the end, or with the reason in *error. Sets *last if nothing
// after these bytes is input. Each system has its own.
size_t ReadStandardInput(char* buffer, size_t size, bool* last, int* error);

// Returns true when the program is alone in a console window that opened for
// it, as on a double click or a shortcut: the window closes when the program
// ends, and takes what it printed along.
bool OwnsConsoleWindow();

// Shows "Press Enter to close this window." and waits for Enter, or for the
// end of the input, ignoring what was typed before. Whatever else ends the
// wait (Ctrl-C, Ctrl-Break, closing the window) ends the program with
// `exit_status`, the run's own.
void WaitForEnter(int exit_status);

// Writes `line` and a line end to `out`, std::cout or std::cerr, in one
// piece. A Windows console shows every character of it whatever its code
// page; elsewhere the bytes go as they are.
void PrintLine(std::ostream& out, const std::string& line);

#endif  // SETUP_CONSOLE_H_
