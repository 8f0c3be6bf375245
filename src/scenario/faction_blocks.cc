#include "scenario/faction_blocks.h"

#include "eventfile/blocks.h"
#include "scenario/unit_events.h"

namespace {

// What sets the factions apart. Locations are "x,y" map coordinates. The
// two engineers that come on random turns land where those of turns 3 and 4
// did, so a place changed there moves them too.
struct FactionRow {
  const char* name;               // owner of its units; named in its question
  const char* turn1_message;      // "\n" starts a second line
  const char* turn1_engineer;     // where the turn 1 engineer lands
  const char* turn1_carrack;      // where the turn 1 carrack appears
  const char* turn3_message;      // shown on turn 3
  const char* turn3_landing;      // where the turn 3 engineer and pikemen land
  const char* turn4_message;      // shown on turn 4
  const char* turn4_landing;      // where the turn 4 engineer and pikemen land
  bool turn4_landing_first;       // the random engineers: turn 4's place first
  const char* muster_point;       // galleon, horse artillery, halberdiers, spy
  const char* human_spy_veteran;  // the spy's veteran value when a human plays
};

// One row per faction, in the order of enum Faction. Each row lists its
// values in the order of the fields above.
// clang-format off
constexpr FactionRow kFactionRows[] = {
    {"Venetians",
     "A Venetian expedition led by Ottavio Brascheri\n"
     " establishes a permanent settlement in Cuba.",
     "42,48", "42,46",
     "Venetians land in North America.",
     "26,40",
     "Venetians land in South America.",
     "52,60",
     true,  // the random engineers land at turn 4's place first
     "130,24",
     "no"},  // lower case is intended: the game reads the file as it stands
    {"Hafsids",
     "Hafsids wrest suzerainty of Cape Verde Islands from the Portuguese.",
     "97,59", "98,58",
     "Hafsids land in South America.",
     "84,74",
     "A second Hafsid settlement in South America is established.",
     "70,98",
     false,
     "128,36",
     "No"},
    {"Teutonics",
     "Teutonics land in Newfoundland.",
     "64,22", "64,24",
     "Teutonics land in North America.",
     "58,26",
     "Another Teuton group arrives in North America.",
     "46,30",
     false,
     "142,14",
     "No"},
};
// clang-format on

// The same for every faction: the landing turns, and the chance of a random
// arrival (one turn in so many).
constexpr int kFirstLandingTurn = 1;
constexpr int kSecondLandingTurn = 3;
constexpr int kThirdLandingTurn = 4;
constexpr int kEngineerDenominator = 3;
constexpr int kReinforcementDenominator = 4;

// Appends the two events of a landing turn: the message with an engineer,
// then the unit that comes with it.
void WriteLanding(std::string* out, const FactionRow& faction, int turn,
                  const char* message, const char* engineer_location,
                  const char* escort, const char* escort_location) {
  WriteIf(out);
  WriteTurnTrigger(out, turn);
  WriteThen(out);
  WriteText(out, message);
  WriteCreateUnit(out, faction.name, "Engineer", "No", kNoHomeCity,
                  engineer_location);
  WriteEndIf(out);

  WriteIf(out);
  WriteTurnTrigger(out, turn);
  WriteThen(out);
  WriteCreateUnit(out, faction.name, escort, "No", kNoHomeCity,
                  escort_location);
  WriteEndIf(out);
}

}  // namespace

const char* FactionName(Faction faction) {
  return kFactionRows[static_cast<int>(faction)].name;
}

void WriteFactionBlock(std::string* out, Faction faction,
                       bool computer_played) {
  const FactionRow& f = kFactionRows[static_cast<int>(faction)];
  if (computer_played) {
    WriteLanding(out, f, kFirstLandingTurn, f.turn1_message, f.turn1_engineer,
                 "Carrack", f.turn1_carrack);
    WriteLanding(out, f, kSecondLandingTurn, f.turn3_message, f.turn3_landing,
                 "Pikemen", f.turn3_landing);
    WriteLanding(out, f, kThirdLandingTurn, f.turn4_message, f.turn4_landing,
                 "Pikemen", f.turn4_landing);
    const bool turn4_first = f.turn4_landing_first;
    for (const char* location :
         {turn4_first ? f.turn4_landing : f.turn3_landing,
          turn4_first ? f.turn3_landing : f.turn4_landing}) {
      WriteRandomTurnUnitEvent(out, kEngineerDenominator, f.name, "Engineer",
                               "No", location);
    }
    for (const char* unit : {"Galleon", "Horse Artillery", "Halberdiers"}) {
      WriteRandomTurnUnitEvent(out, kReinforcementDenominator, f.name, unit,
                               "No", f.muster_point);
    }
  }
  // Every faction gets its spy; the computer's is a veteran.
  const char* veteran = computer_played ? "Yes" : f.human_spy_veteran;
  WriteRandomTurnUnitEvent(out, kReinforcementDenominator, f.name, "Spy",
                           veteran, f.muster_point);
}
