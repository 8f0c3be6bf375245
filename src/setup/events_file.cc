#include "setup/events_file.h"

#include "eventfile/event_writer.h"
#include "setup/barbarian_events.h"

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

// What comes before the faction blocks, and after them: the same in every
// file.
void WriteHead(std::string* events) {
  WriteBeginEvents(events);
  WriteOpeningEvents(events);
}

void WriteTail(std::string* events) {
  WriteBarbarianEvents(events);
  WriteEndEvents(events);
}

// Removes the text written by `write` from the front of *content if it is
// there.
template <typename Writer>
bool Consume(std::string_view* content, Writer write) {
  std::string piece;
  write(&piece);
  if (content->substr(0, piece.size()) != piece) return false;
  content->remove_prefix(piece.size());
  return true;
}

bool ConsumeFactionBlock(std::string_view* content, Faction faction,
                         bool computer_played) {
  return Consume(content, [&](std::string* piece) {
    WriteFactionBlock(piece, faction, computer_played);
  });
}

}  // namespace

std::string EventsFileFor(const Players& players) {
  // Room for the largest file, 11 KB, so that it is never copied as it grows.
  std::string events;
  events.reserve(12 << 10);
  WriteHead(&events);
  for (size_t i = 0; i < std::size(kFactions); ++i) {
    WriteFactionBlock(&events, kFactions[i], players[i]);
  }
  WriteTail(&events);
  return events;
}

// Matches the file piece by piece rather than building all eight: the two
// blocks a faction may have begin differently, so at most one can match.
bool RecognizeEventsFile(std::string_view content, Players* players) {
  if (!Consume(&content, WriteHead)) return false;
  Players found{};
  for (size_t i = 0; i < std::size(kFactions); ++i) {
    found[i] = ConsumeFactionBlock(&content, kFactions[i], true);
    if (!found[i] && !ConsumeFactionBlock(&content, kFactions[i], false)) {
      return false;
    }
  }
  if (!Consume(&content, WriteTail) || !content.empty()) return false;
  if (players != nullptr) *players = found;
  return true;
}
