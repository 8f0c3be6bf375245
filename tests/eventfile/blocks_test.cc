#include "eventfile/blocks.h"

#include <functional>
#include <string>

#include "gtest/gtest.h"

namespace {

// Each block appends its lines, CR LF ended, with its values as they are
// given; a line feed in a value starts a new line, never a bare LF.
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
      {"empty text", [](std::string* o) { WriteText(o, ""); },
       "Text\r\n\r\nEndText\r\n"},
      {"line feeds at the ends",
       [](std::string* o) { WritePlayWaveFile(o, "\nfanfare.wav\n"); },
       "PlayWaveFile\r\n\r\nfanfare.wav\r\n\r\n"},
      {"verbatim",
       [](std::string* o) { WriteNoSchismTrigger(o, "  Mixed Case=V  "); },
       "NoSchism\r\ndefender=  Mixed Case=V  \r\n"},
      {"BeginEvents", WriteBeginEvents, "@BEGINEVENTS\r\n"},
      {"EndEvents", WriteEndEvents, "@ENDEVENTS\r\n"},
      {"Debug", WriteDebug, "@DEBUG\r\n"},
      {"Turn", [](std::string* o) { WriteTurnTrigger(o, 3); },
       "Turn\r\nturn=3\r\n"},
      {"RandomTurnLarge",
       [](std::string* o) { WriteRandomTurnTrigger(o, 120); },
       "RandomTurn\r\ndenominator=120\r\n"},
      {"UnitKilled",
       [](std::string* o) { WriteUnitKilledTrigger(o, "Lancers", "A", "D"); },
       "UnitKilled\r\nunit=Lancers\r\nattacker=A\r\ndefender=D\r\n"},
      {"Negotiation",
       [](std::string* o) { WriteNegotiationTrigger(o, "T", "TT", "L", "LT"); },
       "Negotiation\r\ntalker=T\r\ntalkertype=TT\r\nlistener=L\r\n"
       "listenertype=LT\r\n"},
      {"CityTaken",
       [](std::string* o) { WriteCityTakenTrigger(o, "Havana", "A", "D"); },
       "CityTaken\r\ncity=Havana\r\nattacker=A\r\ndefender=D\r\n"},
      {"ScenarioLoaded", WriteScenarioLoadedTrigger, "ScenarioLoaded\r\n"},
      {"JustOnce", WriteJustOnce, "JustOnce\r\n"},
      {"PlayWaveFile", [](std::string* o) { WritePlayWaveFile(o, "a.wav"); },
       "PlayWaveFile\r\na.wav\r\n"},
  };
  for (const Case& c : cases) {
    std::string out = "kept\r\n";
    c.write(&out);
    EXPECT_EQ(out, std::string("kept\r\n") + c.expected) << c.name;
  }
}

}  // namespace
