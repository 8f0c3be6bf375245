#ifndef SUPPORT_EXPECTED_EVENTS_H_
#define SUPPORT_EXPECTED_EVENTS_H_

#include <string>
#include <string_view>

#include "scenario/plan.h"

// What the program says and writes, made in the test's own process. Only
// ContentTest compares it with the reference files in tests/data; every
// other test takes its expected bytes from here, so that a change of content
// fails that test and no other.

// The eight answer sets, one letter a faction in question order: "n" for the
// computer, "y" for a human.
constexpr const char* kAnswerSets[] = {"nnn", "nny", "nyn", "nyy",
                                       "ynn", "yny", "yyn", "yyy"};

// Returns the setup that `answers` give.
ComputerPlayed SetupOf(std::string_view answers);

// Returns the events file the program writes for `answers`.
std::string ExpectedEvents(std::string_view answers);

// Returns what --status says of that file.
std::string ExpectedStatus(std::string_view answers);

// Returns the console text of a whole dialogue, the same for every answer.
std::string ExpectedConsole();

#endif  // SUPPORT_EXPECTED_EVENTS_H_
