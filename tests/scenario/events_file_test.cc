#include "scenario/events_file.h"

#include <string>

#include "gtest/gtest.h"
#include "support/expected_events.h"

namespace {

// The hand-checked files are recognised as the setups they were written for.
TEST(EventsFileTest, RecognizesEachOfTheEightFiles) {
  for (const char* answers :
       {"nnn", "nny", "nyn", "nyy", "ynn", "yny", "yyn", "yyy"}) {
    const std::optional<ComputerPlayed> computer_played =
        RecognizeEventsFile(ExpectedEvents(answers));
    ASSERT_TRUE(computer_played) << answers;
    for (size_t i = 0; i < computer_played->size(); ++i) {
      EXPECT_EQ((*computer_played)[i], answers[i] == 'n')
          << answers << " faction " << i;
    }
  }
}

// Any change, however small, makes it a file of someone else's, unless it
// is the shape a run stopped while writing in place leaves: one of the eight
// over another, up to some point, and the old one's text after it.
TEST(EventsFileTest, NearMissesAndCutFiles) {
  const std::string nnn = ExpectedEvents("nnn");
  const std::string nyn = ExpectedEvents("nyn");
  const std::string yyy = ExpectedEvents("yyy");
  std::string lf_only;
  for (char c : nyn) {
    if (c != '\r') lf_only += c;
  }
  std::string capital_no = ExpectedEvents("ynn");
  capital_no.replace(capital_no.find("veteran=no"), 10, "veteran=No");
  const struct {
    const char* name;
    std::string content;
    bool cut;  // else someone else's
  } cases[] = {
      {"empty", "", false},
      {"a byte more", nyn + "\n", false},
      {"LF line ends", lf_only, false},
      {"Venetian spy's veteran=no capitalised", capital_no, false},
      {"two files in one", nyn + nyn, false},
      {"barbarians missing",
       nyn.substr(0, nyn.find("UnitKilled")) + "@ENDEVENTS\r\n", false},
      {"a start shorter than any file", nnn.substr(0, yyy.size() - 1), false},
      {"last byte missing", nyn.substr(0, nyn.size() - 1), true},
      {"nnn over yyy, cut in the middle",
       nnn.substr(0, 3000) + yyy.substr(3000), true},
      {"nnn over yyy, cut past yyy's end", nnn.substr(0, yyy.size() + 7), true},
      {"yyy over nnn, not yet cut to its length", yyy + nnn.substr(yyy.size()),
       true},
      {"nyn over nnn, cut in the middle, a byte changed after",
       nyn.substr(0, 3000) + nnn.substr(3000, 5000) + "X" + nnn.substr(8001),
       false},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(RecognizeEventsFile(c.content)) << c.name;
    EXPECT_EQ(IsWrittenByThisVersion(c.content), c.cut) << c.name;
  }
  for (const char* answers : {"nnn", "yyy"}) {
    EXPECT_TRUE(IsWrittenByThisVersion(ExpectedEvents(answers))) << answers;
  }
}

}  // namespace
