#include "eventfile/event_writer.h"

#include <functional>
#include <string>

#include "gtest/gtest.h"

namespace {

TEST(EventWriterTest, RandomTurnSpyEvent) {
  std::string out;
  WriteIf(&out);
  WriteRandomTurnTrigger(&out, 4);
  WriteThen(&out);
  WriteCreateUnit(&out, "Venetians", "Spy", "Yes", "NONE", "130,24");
  WriteEndIf(&out);
  EXPECT_EQ(out,
            "@IF\r\nRandomTurn\r\ndenominator=4\r\n@THEN\r\n"
            "CreateUnit\r\nowner=Venetians\r\nunit=Spy\r\nveteran=Yes\r\n"
            "homecity=NONE\r\nlocations\r\n130,24\r\nendlocations\r\n"
            "@ENDIF\r\n");
}

TEST(EventWriterTest, EmptyValueLeavesBareKey) {
  std::string out;
  WriteCreateUnit(&out, "", "Spy", "No", "", "1,2");
  EXPECT_EQ(out,
            "CreateUnit\r\nowner=\r\nunit=Spy\r\nveteran=No\r\n"
            "homecity=\r\nlocations\r\n1,2\r\nendlocations\r\n");
}

// A line feed inside a value starts a new line with the same CR LF end as
// any other; it must never reach the file as a bare LF.
TEST(EventWriterTest, LineFeedInValueEndsLineWithCrLf) {
  std::string out;
  WriteText(&out, "A Venetian expedition\n establishes a settlement.");
  EXPECT_EQ(out,
            "Text\r\nA Venetian expedition\r\n establishes a settlement.\r\n"
            "EndText\r\n");

  out.clear();
  WritePlayWaveFile(&out, "\nfanfare.wav\n");
  EXPECT_EQ(out, "PlayWaveFile\r\n\r\nfanfare.wav\r\n\r\n");

  out.clear();
  WriteText(&out, "");
  EXPECT_EQ(out, "Text\r\n\r\nEndText\r\n");
}

TEST(EventWriterTest, ValuesAreWrittenVerbatim) {
  std::string out;
  WriteNoSchismTrigger(&out, "  Mixed Case=Value  ");
  EXPECT_EQ(out, "NoSchism\r\ndefender=  Mixed Case=Value  \r\n");
}

// The vocabulary, including the blocks no run writes today.
TEST(EventWriterTest, EveryBlockWritesItsLinesInOrder) {
  struct Case {
    const char* name;
    std::function<void(std::string*)> write;
    const char* expected;
  };
  const Case cases[] = {
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
