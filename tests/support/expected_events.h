#ifndef SUPPORT_EXPECTED_EVENTS_H_
#define SUPPORT_EXPECTED_EVENTS_H_

#include <string>
#include <string_view>

#include "scenario/plan.h"

// The eight answer sets, one letter a faction in question order: "n" for the
// computer, "y" for a human.
constexpr const char* kAnswerSets[] = {"nnn", "nny", "nyn", "nyy",
                                       "ynn", "yny", "yyn", "yyy"};

// Returns the setup that `answers` give.
ComputerPlayed SetupOf(std::string_view answers);

// Returns the events file the program writes for `answers`. What it holds is
// checked against tests/data by PlanTest alone; every other test takes
// its expected bytes from here, so that a change of the scenario fails that
// test and no other.
std::string ExpectedEvents(std::string_view answers);

// The console text of a whole run, the same for every answer.
extern const char kExpectedConsole[];

#endif  // SUPPORT_EXPECTED_EVENTS_H_
