#ifndef SUPPORT_EXPECTED_EVENTS_H_
#define SUPPORT_EXPECTED_EVENTS_H_

#include <string>
#include <string_view>

// The complete events file for the answers `answers`, one letter a faction in
// question order, "n" for computer-played and "y" for human-played. It is
// pieced together from two files checked by hand against the scenario's
// tables: the one for "nnn" and the one for "yyy".
std::string ExpectedEvents(std::string_view answers);

// The console text of a whole run, the same for every answer.
extern const char kExpectedConsole[];

#endif  // SUPPORT_EXPECTED_EVENTS_H_
