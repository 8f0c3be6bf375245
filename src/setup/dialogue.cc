#include "setup/dialogue.h"

#include <string_view>

namespace {

constexpr char kBanner[] =
    "Welcome to the Setup Program for Velmoria:\n"
    "\t-Answer in lowercase and follow up with an [Enter]\n"
    "\t-Run it again whenever needed\n"
    "\t-If it summons aliens from Alpha Centauri, it is not my fault\n\n";

// Skipped before an answer, whatever the locale.
constexpr std::string_view kWhiteSpace = " \t\n\v\f\r";

// Takes the first character after any white space and leaves the rest of the
// line for the next question, so "nny" answers three questions at once. A
// character of several bytes in UTF-8 is one answer, a human's. At the end
// of the input the answer keeps its value: a question left unanswered
// repeats the one before.
void ReadAnswer(std::istream& in, char* answer) {
  for (char c; in.get(c);) {
    if (kWhiteSpace.find(c) != std::string_view::npos) continue;
    *answer = c;
    const auto byte = static_cast<unsigned char>(c);
    int more = byte >= 0xf0 ? 3 : byte >= 0xe0 ? 2 : byte >= 0xc0 ? 1 : 0;
    for (; more > 0 && (in.peek() & 0xc0) == 0x80; --more) in.get();
    return;
  }
}

}  // namespace

ComputerPlayed AskWhoPlays(std::istream& console_in,
                           std::ostream& console_out) {
  console_out << kBanner;
  ComputerPlayed computer_played{};
  char answer = ' ';  // counts as human-played
  for (size_t i = 0; i < computer_played.size(); ++i) {
    console_out << "\nAre " << FactionName(kFactions[i])
                << " being played by a human? (y or n)" << std::flush;
    ReadAnswer(console_in, &answer);
    computer_played[i] = answer == 'n';
  }
  return computer_played;
}
