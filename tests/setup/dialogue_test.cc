#include "setup/dialogue.h"

#include <sstream>
#include <string>

#include "gtest/gtest.h"
#include "support/expected_events.h"

namespace {

// Each answer is the first character after white space; only "n" means the
// computer plays; at the end of the input the last answer holds.
TEST(DialogueTest, AnswerRule) {
  struct Case {
    std::string input;
    const char* answers;  // what the run must have taken them for
  };
  const Case cases[] = {
      {"no\ny\n", "nyy"},                     // "o" answers the second question
      {"nnn\n", "nnn"},                       // one line answers all three
      {"\n\n \t\nn\n\r\n\v\fy\n  n", "nyn"},  // white space is skipped
      {"N\nY\nx\n", "yyy"},      // only lower-case "n" is the computer
      {"", "yyy"},               // no input: the blank start value
      {"n", "nnn"},              // the end repeats the last answer
      {"\xd1\x82\nn\n", "ynn"},  // a letter of two bytes is one answer
      {"\xe2\x82\xac\xf0\x9f\x98\x80n", "yyn"},  // and of three or four
      // Odd bytes are answers like any other letter but "n".
      {std::string("\0\n\xff\n\x1a", 5), "yyy"},
  };
  for (const Case& c : cases) {
    std::istringstream in(c.input);
    std::ostringstream console;
    EXPECT_EQ(AskWhoPlays(in, console), SetupOf(c.answers))
        << "input: \"" << c.input << "\"";
  }
}

}  // namespace
