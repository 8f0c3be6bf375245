#include "support/expected_events.h"

#include <sstream>

#include "setup/dialogue.h"
#include "setup/messages.h"

ComputerPlayed SetupOf(std::string_view answers) {
  ComputerPlayed computer_played{};
  for (size_t i = 0; i < computer_played.size(); ++i) {
    computer_played[i] = answers.at(i) == 'n';
  }
  return computer_played;
}

std::string ExpectedEvents(std::string_view answers) {
  return EventsFileFor(SetupOf(answers));
}

std::string ExpectedStatus(std::string_view answers) {
  return SetupLines(SetupOf(answers));
}

std::string ExpectedConsole() {
  std::istringstream in("nnn");
  std::ostringstream console;
  AskWhoPlays(in, console);
  return console.str();
}
