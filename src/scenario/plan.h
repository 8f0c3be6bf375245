#ifndef SCENARIO_PLAN_H_
#define SCENARIO_PLAN_H_

#include <array>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "scenario/faction_blocks.h"

// For each faction, in the order of kFactions, whether the computer plays it
// (true) or a human does (false).
using ComputerPlayed = std::array<bool, std::size(kFactions)>;

// Returns the complete events file for the setup `computer_played`.
std::string EventsFileFor(const ComputerPlayed& computer_played);

// Returns the setup whose events file `content` is, byte for byte, if it is
// one of the eight this version writes.
std::optional<ComputerPlayed> RecognizeEventsFile(std::string_view content);

#endif  // SCENARIO_PLAN_H_
