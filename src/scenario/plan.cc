#include "scenario/plan.h"

#include <algorithm>

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

// The file in the order it is written: what every setup shares, and between
// them each faction's block for either answer. Built once, when first asked
// for; a file is these pieces end to end.
struct Pieces {
  std::string head;  // "@BEGINEVENTS" and the opening events
  std::string blocks[std::size(kFactions)][2];  // [faction][computer played]
  std::string tail;  // the barbarian events and "@ENDEVENTS"
};

const Pieces& ThePieces() {
  static const Pieces pieces = [] {
    Pieces built;
    WriteBeginEvents(&built.head);
    WriteOpeningEvents(&built.head);
    for (size_t i = 0; i < std::size(kFactions); ++i) {
      for (bool computer_played : {false, true}) {
        WriteFactionBlock(&built.blocks[i][computer_played], kFactions[i],
                          computer_played);
      }
    }
    WriteBarbarianEvents(&built.tail);
    WriteEndEvents(&built.tail);
    return built;
  }();
  return pieces;
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

// The file of the setup, as its pieces in the order they are written.
std::array<std::string_view, 2 + std::size(kFactions)> PiecesOf(
    const ComputerPlayed& computer_played) {
  const Pieces& pieces = ThePieces();
  std::array<std::string_view, 2 + std::size(kFactions)> of{};
  of.front() = pieces.head;
  for (size_t i = 0; i < std::size(kFactions); ++i) {
    of[1 + i] = pieces.blocks[i][computer_played[i]];
  }
  of.back() = pieces.tail;
  return of;
}

size_t LengthOf(const ComputerPlayed& computer_played) {
  size_t length = 0;
  for (std::string_view piece : PiecesOf(computer_played)) {
    length += piece.size();
  }
  return length;
}

// Returns how long a start `content` shares with the file of the setup. A
// piece is compared whole, which is fast; only one that differs is walked.
size_t SharedStart(std::string_view content,
                   const ComputerPlayed& computer_played) {
  size_t at = 0;
  for (std::string_view piece : PiecesOf(computer_played)) {
    const std::string_view rest = content.substr(at, piece.size());
    if (rest == piece) {
      at += piece.size();
      continue;
    }
    return at +
           static_cast<size_t>(
               std::mismatch(rest.begin(), rest.end(), piece.begin()).first -
               rest.begin());
  }
  return at;
}

}  // namespace

std::string EventsFileFor(const ComputerPlayed& computer_played) {
  std::string events;
  events.reserve(LengthOf(computer_played));
  for (std::string_view piece : PiecesOf(computer_played)) events += piece;
  return events;
}

std::optional<ComputerPlayed> RecognizeEventsFile(std::string_view content) {
  for (unsigned setup = 0; setup < kSetups; ++setup) {
    const ComputerPlayed computer_played = SetupNumbered(setup);
    if (LengthOf(computer_played) == content.size() &&
        SharedStart(content, computer_played) == content.size()) {
      return computer_played;
    }
  }
  return std::nullopt;
}

bool IsWrittenByThisVersion(std::string_view content) {
  // Written over a file: the new file's start, then the old one's end if
  // the old one was longer; a whole file is cut at its end. A start of any of
  // the eight at least as long as the shortest is the first; the second has the
  // old file's length and ends as it does from where the new text stops
  // matching.
  size_t shared = 0;
  size_t shortest = content.size() + 1;
  for (unsigned setup = 0; setup < kSetups; ++setup) {
    shared = std::max(shared, SharedStart(content, SetupNumbered(setup)));
    shortest = std::min(shortest, LengthOf(SetupNumbered(setup)));
  }
  if (shared == content.size()) return content.size() >= shortest;
  for (unsigned setup = 0; setup < kSetups; ++setup) {
    const ComputerPlayed old = SetupNumbered(setup);
    if (LengthOf(old) == content.size() &&
        content.substr(shared) == EventsFileFor(old).substr(shared)) {
      return true;
    }
  }
  return false;
}
