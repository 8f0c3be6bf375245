#include "setup/dialogue.h"

#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <string_view>

#include "gtest/gtest.h"
#include "support/expected_events.h"

namespace {

// Returns the events file of a run fed with `input`.
std::string EventsFor(const std::string& input) {
  std::istringstream in(input);
  std::ostringstream console;
  return EventsFileFor(AskWhoPlays(in, console));
}

int CountEvents(const std::string& events) {
  int count = 0;
  for (size_t at = 0; (at = events.find("@IF\r\n", at)) != std::string::npos;
       ++at) {
    ++count;
  }
  return count;
}

TEST(DialogueTest, EventCounts) {
  EXPECT_EQ(CountEvents(EventsFor("n\nn\nn\n")), 67);
  EXPECT_EQ(CountEvents(EventsFor("y\ny\ny\n")), 34);
  EXPECT_EQ(CountEvents(EventsFor("n\ny\nn\n")), 56);
}

// Each answer is the first character after white space; only "n" means the
// computer plays; at the end of the input the last answer holds.
TEST(DialogueTest, AnswerRule) {
  struct Case {
    const char* input;
    const char* answers;  // what the run must have taken them for
  };
  const Case cases[] = {
      {"no\ny\n", "nyy"},                     // "o" answers the second question
      {"nnn\n", "nnn"},                       // one line answers all three
      {"\n\n \t\nn\n\r\n\v\fy\n  n", "nyn"},  // white space is skipped
      {"N\nY\nx\n", "yyy"},  // only lower-case "n" is the computer
      {"n y\tn", "nyn"},     // no line end needed
      {"", "yyy"},           // no input: the blank start value
      {"   \n\t", "yyy"},
      {"n", "nnn"},  // the end repeats the last answer
      {"y\nn\n", "ynn"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EventsFor(c.input), ExpectedEvents(c.answers))
        << "input: \"" << c.input << "\"";
  }
  // Odd bytes are answers like any other letter but "n".
  EXPECT_EQ(EventsFor(std::string("\0\n\xff\n\x1a", 5)), ExpectedEvents("yyy"));
  EXPECT_EQ(EventsFor(std::string("\0n\xff", 3)), ExpectedEvents("yny"));
}

TEST(DialogueTest, RestOfTheLineStaysInTheInput) {
  std::istringstream in("nnyxyz\n");
  std::ostringstream out;
  AskWhoPlays(in, out);
  std::string rest;
  std::getline(in, rest);
  EXPECT_EQ(rest, "xyz");
}

// The answer rule, restated on its own: the first three characters that are
// not white space answer the questions; unanswered questions repeat the last
// answer, or count as human-played when there is none.
std::string AnswersTakenFrom(std::string_view input) {
  std::string answers;
  for (char c : input) {
    if (answers.size() == 3) break;
    if (std::string_view(" \t\n\v\f\r").find(c) == std::string_view::npos) {
      answers += c == 'n' ? 'n' : 'y';
    }
  }
  while (answers.size() < 3) answers += answers.empty() ? 'y' : answers.back();
  return answers;
}

std::string Printable(std::string_view input) {
  std::string shown;
  for (unsigned char c : input) {
    if (c >= 0x21 && c < 0x7f) {
      shown += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      shown += hex;
    }
  }
  return shown;
}

// Random input drawn from white space, letters and odd bytes. Set
// VELMORIA_TEST_SEED to repeat a failing run.
TEST(DialogueTest, RandomInputGivesTheFileOfTheAnswersTaken) {
  const char* seed_text = std::getenv("VELMORIA_TEST_SEED");
  const unsigned seed = seed_text != nullptr
                            ? static_cast<unsigned>(std::stoul(seed_text))
                            : std::random_device()();
  std::mt19937 random(seed);
  static constexpr char kBytes[] = " \t\n\v\f\r nnnyyNYo\0\xff\x1a\x85\xa0";
  constexpr std::string_view kAlphabet(kBytes, sizeof kBytes - 1);
  std::uniform_int_distribution<size_t> pick(0, kAlphabet.size() - 1);
  std::uniform_int_distribution<int> length(0, 12);
  for (int i = 0; i < 2000; ++i) {
    std::string input;
    for (int n = length(random); n > 0; --n) input += kAlphabet[pick(random)];
    const std::string answers = AnswersTakenFrom(input);
    ASSERT_EQ(EventsFor(input), ExpectedEvents(answers))
        << "seed " << seed << ", input \"" << Printable(input) << "\", answers "
        << answers;
  }
}

}  // namespace
