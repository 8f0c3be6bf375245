#include "scenario/plan.h"

#include "eventfile/blocks.h"
#include "scenario/barbarian_events.h"

namespace {

// The events every file opens with; they have no actions.
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

// What every file holds before the faction blocks.
std::string FileStart() {
  std::string start;
  WriteBeginEvents(&start);
  WriteOpeningEvents(&start);
  return start;
}

// What every file holds after the faction blocks.
std::string FileEnd() {
  std::string end;
  WriteBarbarianEvents(&end);
  WriteEndEvents(&end);
  return end;
}

// Takes `part` off the start of *content if it is there.
bool Take(std::string_view* content, std::string_view part) {
  if (content->substr(0, part.size()) != part) return false;
  content->remove_prefix(part.size());
  return true;
}

}  // namespace

std::string EventsFileFor(const ComputerPlayed& computer_played) {
  std::string events = FileStart();
  for (size_t i = 0; i < std::size(kFactions); ++i) {
    WriteFactionBlock(&events, kFactions[i], computer_played[i]);
  }
  return events + FileEnd();
}

// The eight files differ only in the faction blocks, so the setup is read
// off them in turn, each built once. A computer's block opens with a
// landing, a human's with the spy, so neither is the start of the other.
std::optional<ComputerPlayed> RecognizeEventsFile(std::string_view content) {
  if (!Take(&content, FileStart())) return std::nullopt;
  ComputerPlayed computer_played{};
  for (size_t i = 0; i < std::size(kFactions); ++i) {
    std::string computer;
    std::string human;
    WriteFactionBlock(&computer, kFactions[i], true);
    WriteFactionBlock(&human, kFactions[i], false);
    computer_played[i] = Take(&content, computer);
    if (!computer_played[i] && !Take(&content, human)) return std::nullopt;
  }
  if (content != FileEnd()) return std::nullopt;
  return computer_played;
}
