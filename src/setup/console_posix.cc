#include "setup/console.h"

#include <signal.h>

const int kInterruptedExitStatus = 128 + SIGINT;

void OpenConsoleInput() {}

bool ConsoleReadInterrupted() { return false; }

bool OwnsConsoleWindow() { return false; }

void WaitForEnter() {}

void PrintLine(std::ostream& out, const std::string& line) {
  out << (line + '\n') << std::flush;
}
