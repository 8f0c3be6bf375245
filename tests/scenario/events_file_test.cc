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

// Any change, however small, makes it a file of someone else's.
TEST(EventsFileTest, NearMissesAreNotRecognized) {
  const std::string nyn = ExpectedEvents("nyn");
  std::string lf_only;
  for (char c : nyn) {
    if (c != '\r') lf_only += c;
  }
  std::string capital_no = ExpectedEvents("ynn");
  capital_no.replace(capital_no.find("veteran=no"), 10, "veteran=No");
  const struct {
    const char* name;
    std::string content;
  } cases[] = {
      {"empty", ""},
      {"last byte missing", nyn.substr(0, nyn.size() - 1)},
      {"a byte more", nyn + "\n"},
      {"LF line ends", lf_only},
      {"Venetian spy's veteran=no capitalised", capital_no},
      {"two files in one", nyn + nyn},
      {"barbarians missing",
       nyn.substr(0, nyn.find("UnitKilled")) + "@ENDEVENTS\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(RecognizeEventsFile(c.content)) << c.name;
  }
}

}  // namespace
