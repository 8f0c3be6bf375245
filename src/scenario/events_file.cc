#include "scenario/events_file.h"

#include "eventfile/event_writer.h"
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

}  // namespace

const std::string& EventsFileFor(const ComputerPlayed& computer_played) {
  // Each file is built once, when first asked for: a run that recognises the
  // old file and writes the new one mostly asks for the same.
  static std::string built[1u << std::size(kFactions)];
  unsigned setup = 0;
  for (size_t i = 0; i < std::size(kFactions); ++i) {
    setup |= static_cast<unsigned>(computer_played[i]) << i;
  }
  std::string& events = built[setup];
  if (!events.empty()) return events;
  events.reserve(12 << 10);  // the largest file, 11 KB, is never copied
  WriteBeginEvents(&events);
  WriteOpeningEvents(&events);
  for (size_t i = 0; i < std::size(kFactions); ++i) {
    WriteFactionBlock(&events, kFactions[i], computer_played[i]);
  }
  WriteBarbarianEvents(&events);
  WriteEndEvents(&events);
  return events;
}

// Compared with each of the eight files in turn: a few microseconds each.
std::optional<ComputerPlayed> RecognizeEventsFile(std::string_view content) {
  for (unsigned setup = 0; setup < 1u << std::size(kFactions); ++setup) {
    ComputerPlayed computer_played{};
    for (size_t i = 0; i < std::size(kFactions); ++i) {
      computer_played[i] = (setup >> i & 1) != 0;
    }
    if (content == EventsFileFor(computer_played)) return computer_played;
  }
  return std::nullopt;
}
