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

constexpr unsigned kSetups = 1u << std::size(kFactions);

// The setup with bits 0, 1 and 2 of `setup` for the three factions.
ComputerPlayed SetupNumbered(unsigned setup) {
  ComputerPlayed computer_played{};
  for (size_t i = 0; i < std::size(kFactions); ++i) {
    computer_played[i] = (setup >> i & 1) != 0;
  }
  return computer_played;
}

// The eight files, by setup number; built when first asked for.
const std::array<std::string, kSetups>& TheFiles() {
  static const std::array<std::string, kSetups> files = [] {
    std::array<std::string, kSetups> built;
    for (unsigned setup = 0; setup < kSetups; ++setup) {
      built[setup] = EventsFileFor(SetupNumbered(setup));
    }
    return built;
  }();
  return files;
}

}  // namespace

std::string EventsFileFor(const ComputerPlayed& computer_played) {
  std::string events;
  WriteBeginEvents(&events);
  WriteOpeningEvents(&events);
  for (size_t i = 0; i < std::size(kFactions); ++i) {
    WriteFactionBlock(&events, kFactions[i], computer_played[i]);
  }
  WriteBarbarianEvents(&events);
  WriteEndEvents(&events);
  return events;
}

std::optional<ComputerPlayed> RecognizeEventsFile(std::string_view content) {
  for (unsigned setup = 0; setup < kSetups; ++setup) {
    if (TheFiles()[setup] == content) return SetupNumbered(setup);
  }
  return std::nullopt;
}
