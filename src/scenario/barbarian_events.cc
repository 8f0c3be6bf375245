#include "scenario/barbarian_events.h"

#include "eventfile/blocks.h"
#include "scenario/unit_events.h"

namespace {

// Barbarians that appear at a fixed place when a unit of a given type is
// killed anywhere, by anybody.
struct KillReaction {
  const char* killed;    // unit whose loss triggers the event
  const char* created;   // barbarian unit that appears
  const char* location;  // "x,y"
};

constexpr KillReaction kKillReactions[] = {
    {"Lancers", "Hussars", "21,31"},  {"Lancers", "Hussars", "16,24"},
    {"Culverin", "Pikemen", "42,22"}, {"Halberdiers", "Bowmen", "37,31"},
    {"Culverin", "Pikemen", "53,69"}, {"Halberdiers", "Bowmen", "64,78"},
    {"Culverin", "Pikemen", "64,78"}, {"Halberdiers", "Bowmen", "57,103"},
};

// The frontier: each location gets both of the reactions below, in order.
constexpr const char* kFrontierLocations[] = {
    "129,71", "134,78", "143,95", "154,84", "148,68", "139,69", "146,54",
};

struct FrontierReaction {
  const char* killed;   // unit whose loss triggers the event
  const char* created;  // barbarian unit that appears at the location
};

constexpr FrontierReaction kFrontierReactions[] = {
    {"Lancers", "Pikemen"},
    {"Culverin", "Bowmen"},
};

// Barbarians that appear at a fixed place on a random turn.
struct RandomRaid {
  const char* created;   // barbarian unit that appears
  const char* location;  // "x,y"
};

// clang-format off
constexpr RandomRaid kRandomRaids[] = {
    {"Pikemen", "148,68"},
    {"Bowmen", "139,69"},
    {"Pikemen", "37,31"},
    {"Bowmen", "43,21"},
    {"Pikemen", "53,69"},
    {"Bowmen", "64,78"},
};
// clang-format on

// A raid comes one turn in so many.
constexpr int kRaidDenominator = 4;

void WriteKillReaction(std::string* out, const char* killed,
                       const char* created, const char* location) {
  WriteIf(out);
  WriteUnitKilledTrigger(out, killed, "ANYBODY", "ANYBODY");
  WriteThen(out);
  WriteCreateUnit(out, "Barbarians", created, "No", kNoHomeCity, location);
  WriteEndIf(out);
}

}  // namespace

void WriteBarbarianEvents(std::string* out) {
  for (const KillReaction& r : kKillReactions) {
    WriteKillReaction(out, r.killed, r.created, r.location);
  }
  for (const char* location : kFrontierLocations) {
    for (const FrontierReaction& r : kFrontierReactions) {
      WriteKillReaction(out, r.killed, r.created, location);
    }
  }
  for (const RandomRaid& r : kRandomRaids) {
    WriteRandomTurnUnitEvent(out, kRaidDenominator, "Barbarians", r.created,
                             "No", r.location);
  }
}
