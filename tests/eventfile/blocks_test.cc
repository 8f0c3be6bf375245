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
      {"a whole event",
       [](std::string* o) {
         WriteIf(o);
         WriteRandomTurnTrigger(o, 4);
         WriteThen(o);
         WriteCreateUnit(o, "Venetians", "Spy", "Yes", "NONE", "130,24");
         WriteEndIf(o);
       },
       "@IF\r\nRandomTurn\r\ndenominator=4\r\n@THEN\r\nCreateUnit\r\n"
       "owner=Venetians\r\nunit=Spy\r\nveteran=Yes\r\nhomecity=NONE\r\n"
       "locations\r\n130,24\r\nendlocations\r\n@ENDIF\r\n"},
      {"empty values",
       [](std::string* o) { WriteCreateUnit(o, "", "Spy", "No", "", "1,2"); },
       "CreateUnit\r\nowner=\r\nunit=Spy\r\nveteran=No\r\nhomecity=\r\n"
       "locations\r\n1,2\r\nendlocations\r\n"},
      {"two lines",
       [](std::string* o) { WriteText(o, "A Venetian\n establishes."); },
       "Text\r\nA Venetian\r\n establishes.\r\nEndText\r\n"},
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
