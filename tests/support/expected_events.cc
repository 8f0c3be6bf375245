#include "support/expected_events.h"

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

const char kExpectedConsole[] =
    "Welcome to the Setup Program for Velmoria:\n"
    "\t-Answer in lowercase and follow up with an [Enter]\n"
    "\t-Run it again whenever needed\n"
    "\t-If it summons aliens from Alpha Centauri, it is not my fault\n"
    "\n"
    "\nAre Venetians being played by a human? (y or n)"
    "\nAre Hafsids being played by a human? (y or n)"
    "\nAre Teutonics being played by a human? (y or n)";
