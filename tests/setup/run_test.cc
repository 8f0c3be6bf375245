#include "setup/run.h"

#include <sstream>
#include <string>

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

}  // namespace
