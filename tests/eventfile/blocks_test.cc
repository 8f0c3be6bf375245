#include "eventfile/blocks.h"

#include <functional>
#include <string>

#include "gtest/gtest.h"

namespace {

// Each block appends its lines, CR LF ended, with its values as they are
// given; a line feed in a value starts a new line, never a bare LF. Which
// blocks the scenario writes, and how, the reference files show.
TEST(BlocksTest, EveryBlockWritesItsLinesInOrder) {
  struct Case {
    const char* name;
    std::function<void(std::string*)> write;
    const char* expected;
  };
  const Case cases[] = {
      {"empty values",
       [](std::string* o) { WriteCreateUnit(o, "", "Spy", "No", "", "1,2"); },
       "CreateUnit\r\nowner=\r\nunit=Spy\r\nveteran=No\r\nhomecity=\r\n"
       "locations\r\n1,2\r\nendlocations\r\n"},
      {"line feeds at the ends",
       [](std::string* o) { WritePlayWaveFile(o, "\nfanfare.wav\n"); },
       "PlayWaveFile\r\n\r\nfanfare.wav\r\n\r\n"},
      {"verbatim",
       [](std::string* o) { WriteNoSchismTrigger(o, "  Mixed Case=V  "); },
       "NoSchism\r\ndefender=  Mixed Case=V  \r\n"},
  };
  for (const Case& c : cases) {
    std::string out = "kept\r\n";
    c.write(&out);
    EXPECT_EQ(out, std::string("kept\r\n") + c.expected) << c.name;
  }
}

}  // namespace
