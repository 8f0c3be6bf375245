#include "setup/run.h"

#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <string_view>

#include "gtest/gtest.h"
#include "support/expected_events.h"

namespace {

struct Outcome {
  std::string console;
  std::string events;
};

Outcome RunWithInput(const std::string& input) {
  std::istringstream in(input);
  std::ostringstream out;
  Outcome run;
  RunSetup(in, out, &run.events);
  run.console = out.str();
  return run;
}

int CountEvents(const std::string& events) {
  int count = 0;
  for (size_t at = 0; (at = events.find("@IF\r\n", at)) != std::string::npos;
       ++at) {
    ++count;
  }
  return count;
}

TEST(RunTest, AllEightAnswerSetsGiveTheCompleteFile) {
  for (const char* answers :
       {"nnn", "nny", "nyn", "nyy", "ynn", "yny", "yyn", "yyy"}) {
    const std::string input = std::string() + answers[0] + "\n" + answers[1] +
                              "\n" + answers[2] + "\n";
    const Outcome run = RunWithInput(input);
    EXPECT_EQ(run.events, ExpectedEvents(answers)) << answers;
    EXPECT_EQ(run.console, kExpectedConsole) << answers;
  }
}

TEST(RunTest, EventCounts) {
  EXPECT_EQ(CountEvents(RunWithInput("n\nn\nn\n").events), 67);
  EXPECT_EQ(CountEvents(RunWithInput("y\ny\ny\n").events), 34);
  EXPECT_EQ(CountEvents(RunWithInput("n\ny\nn\n").events), 56);
}

TEST(RunTest, FileStartsWithOpeningEventsAndEndsWithMarker) {
  const std::string events = RunWithInput("y\nn\ny\n").events;
  EXPECT_EQ(
      events.rfind("@BEGINEVENTS\r\n"
                   "@IF\r\nNoSchism\r\ndefender=ANYBODY\r\n@THEN\r\n@ENDIF\r\n"
                   "@IF\r\nNegotiation\r\ntalker=Independents\r\n"
                   "talkertype=HUMANORCOMPUTER\r\nlistener=ANYBODY\r\n"
                   "listenertype=HUMANORCOMPUTER\r\n@THEN\r\n@ENDIF\r\n"
                   "@IF\r\nNegotiation\r\ntalker=ANYBODY\r\n"
                   "talkertype=HUMANORCOMPUTER\r\nlistener=Independents\r\n"
                   "listenertype=HUMANORCOMPUTER\r\n@THEN\r\n@ENDIF\r\n"
                   "@IF\r\n",
                   0),
      0u);
  const std::string tail = "@ENDIF\r\n@ENDEVENTS\r\n";
  ASSERT_GE(events.size(), tail.size());
  EXPECT_EQ(events.substr(events.size() - tail.size()), tail);
}

// Each answer is the first character after white space; only "n" means the
// computer plays; at the end of the input the last answer holds.
TEST(RunTest, AnswerRule) {
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
    EXPECT_EQ(RunWithInput(c.input).events, ExpectedEvents(c.answers))
        << "input: \"" << c.input << "\"";
  }
  // Odd bytes are answers like any other letter but "n".
  EXPECT_EQ(RunWithInput(std::string("\0\n\xff\n\x1a", 5)).events,
            ExpectedEvents("yyy"));
  EXPECT_EQ(RunWithInput(std::string("\0n\xff", 3)).events,
            ExpectedEvents("yny"));
}

TEST(RunTest, RestOfTheLineStaysInTheInput) {
  std::istringstream in("nnyxyz\n");
  std::ostringstream out;
  std::string events;
  RunSetup(in, out, &events);
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
TEST(RunTest, RandomInputGivesTheFileOfTheAnswersTaken) {
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
    ASSERT_EQ(RunWithInput(input).events, ExpectedEvents(answers))
        << "seed " << seed << ", input \"" << Printable(input) << "\", answers "
        << answers;
  }
}

}  // namespace
