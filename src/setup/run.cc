#include "setup/run.h"

#include <string_view>

#include "eventfile/event_writer.h"
#include "setup/barbarian_events.h"
#include "setup/faction_blocks.h"

namespace {

constexpr char kBanner[] =
    "Welcome to the Setup Program for Velmoria:\n"
    "\t-Answer in lowercase and follow up with an [Enter]\n"
    "\t-Run it again whenever needed\n"
    "\t-If it summons aliens from Alpha Centauri, it is not my fault\n\n";

// Skipped before an answer, whatever the locale.
constexpr std::string_view kWhiteSpace = " \t\n\v\f\r";

// The events every run opens with; they have no actions.
void WriteOpeningEvents(std::string* events) {
  WriteIf(events);
  WriteNoSchismTrigger(events, "ANYBODY");
  WriteThen(events);
  WriteEndIf(events);

  WriteIf(events);
  WriteNegotiationTrigger(events, "Independents", "HUMANORCOMPUTER", "ANYBODY",
                          "HUMANORCOMPUTER");
  WriteThen(events);
  WriteEndIf(events);

  WriteIf(events);
  WriteNegotiationTrigger(events, "ANYBODY", "HUMANORCOMPUTER", "Independents",
                          "HUMANORCOMPUTER");
  WriteThen(events);
  WriteEndIf(events);
}

// Takes the first character after any white space and leaves the rest of the
// line for the next question, so "nny" answers three questions at once. At
// the end of the input the answer keeps its value: a question left unanswered
// repeats the one before.
void ReadAnswer(std::istream& in, char* answer) {
  for (char c; in.get(c);) {
    if (kWhiteSpace.find(c) == std::string_view::npos) {
      *answer = c;
      return;
    }
  }
}

}  // namespace

void RunSetup(std::istream& console_in, std::ostream& console_out,
              std::string* events) {
  console_out << kBanner;
  WriteBeginEvents(events);
  WriteOpeningEvents(events);

  char answer = ' ';  // counts as human-played
  for (Faction faction : kFactions) {
    console_out << "\nAre " << FactionName(faction)
                << " being played by a human? (y or n)" << std::flush;
    ReadAnswer(console_in, &answer);
    WriteFactionBlock(events, faction, answer == 'n');
  }

  WriteBarbarianEvents(events);
  WriteEndEvents(events);
}
