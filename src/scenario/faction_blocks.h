#ifndef SCENARIO_FACTION_BLOCKS_H_
#define SCENARIO_FACTION_BLOCKS_H_

#include <string>

// The factions a human may play, in the order the setup asks about them.
enum class Faction { kVenetians, kHafsids, kTeutonics };
constexpr Faction kFactions[] = {Faction::kVenetians, Faction::kHafsids,
                                 Faction::kTeutonics};

// Returns the faction's name as the events file and the questions spell it.
const char* FactionName(Faction faction);

// Appends the faction's events: for a computer-played faction its landing
// sequence, ending with a veteran spy; for a human-played one only the spy
// event.
void WriteFactionBlock(std::string* out, Faction faction, bool computer_played);

#endif  // SCENARIO_FACTION_BLOCKS_H_
