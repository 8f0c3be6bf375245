#ifndef SETUP_EVENTS_FILE_H_
#define SETUP_EVENTS_FILE_H_

#include <array>
#include <iterator>
#include <string>
#include <string_view>

#include "setup/faction_blocks.h"

// Who plays each faction, in the order of kFactions: true where the computer
// does, false where a human does.
using Players = std::array<bool, std::size(kFactions)>;

// Returns the complete events file for `players`.
std::string EventsFileFor(const Players& players);

// Returns true if `content` is, byte for byte, the events file this version
// writes for one of the eight setups, and then stores that setup in *players
// (which may be null).
bool RecognizeEventsFile(std::string_view content, Players* players);

#endif  // SETUP_EVENTS_FILE_H_
