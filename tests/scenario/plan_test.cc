#include "scenario/plan.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "support/expected_events.h"
#include "support/scratch_dir.h"

namespace {

// A line of a file as the failure shows it: its CR LF taken off, any other
// end named.
std::string Shown(std::string_view line) {
  if (line.size() >= 2 && line.substr(line.size() - 2) == "\r\n") {
    return std::string(line.substr(0, line.size() - 2));
  }
  if (!line.empty() && line.back() == '\n') {
    return std::string(line.substr(0, line.size() - 1)) + " [LF without CR]";
  }
  return std::string(line) + " [no line end]";
}

// Returns the line where `actual` first differs from `expected`, with a few
// lines around it from both; empty if they are the same.
std::string FirstDifference(std::string_view expected,
                            std::string_view actual) {
  if (expected == actual) return "";
  const auto at = std::mismatch(expected.begin(), expected.end(),
                                actual.begin(), actual.end())
                      .first;
  const auto line = static_cast<size_t>(std::count(expected.begin(), at, '\n'));
  std::string said = "first difference at line " + std::to_string(line + 1);
  for (auto [whose, rest] : {std::pair{"; the reference file has\n", expected},
                             {"and the program writes\n", actual}}) {
    said += whose;
    for (size_t number = 0; !rest.empty() && number <= line + 3; ++number) {
      const size_t end = std::min(rest.find('\n'), rest.size() - 1) + 1;
      if (number + 3 >= line) {
        said += (number == line ? "  > " : "    ") +
                std::to_string(number + 1) + "  " + Shown(rest.substr(0, end)) +
                "\n";
      }
      rest.remove_prefix(end);
    }
  }
  return said;
}

// The events of an events file, each from "@IF" to "@ENDIF".
std::vector<std::string> EventsOf(const std::string& file) {
  std::vector<std::string> events;
  constexpr std::string_view kEnd = "@ENDIF\r\n";
  size_t begin = file.find("@IF\r\n");
  for (size_t end; (end = file.find(kEnd, begin)) != std::string::npos;
       begin = end + kEnd.size()) {
    events.push_back(file.substr(begin, end + kEnd.size() - begin));
  }
  return events;
}

// The one place that knows what the program says and writes: each setup's
// events file and --status lines, and the dialogue's console, are the
// reference files in tests/data, byte for byte, and the events files hold
// the facts the scenario is built on. A designer who changes the tables
// remakes the reference files (cmake --build --preset default --target
// reference-files), reviews git diff tests/data, and, as players have the
// released version's files, raises the version in CMakeLists.txt.
TEST(ContentTest, EachOutputIsItsReferenceFile) {
  const auto compare = [](const std::string& name, const std::string& made) {
    const std::string reference = VELMORIA_TEST_DATA "/" + name;
    const std::string difference = FirstDifference(ReadFile(reference), made);
    if (!difference.empty()) {
      ADD_FAILURE() << reference
                    << " is not what the program makes: " << difference
                    << "If the change is meant, remake the reference files "
                       "and review git diff tests/data.";
    }
  };
  compare("console.txt", ExpectedConsole());
  for (const char* answers : kAnswerSets) {
    compare(std::string("events-") + answers + ".txt", ExpectedEvents(answers));
    compare(std::string("status-") + answers + ".txt", ExpectedStatus(answers));
  }
  const std::string made_for = ReadFile(VELMORIA_TEST_DATA "/version.txt");
  EXPECT_FALSE(made_for.rfind(VELMORIA_VERSION " ", 0) == 0 &&
               made_for.find("\nchanged") != std::string::npos)
      << "The reference files changed under version " VELMORIA_VERSION
         ", whose players have the old ones, and the program takes a file "
         "that is not one of its own for a hand-edited one and keeps it as "
         ".bak: raise the version in CMakeLists.txt.";

  // Every file ends with the same barbarian events, and has none before
  // them; each faction has one spy, a veteran only if the computer plays it.
  const std::vector<std::string> nnn = EventsOf(ExpectedEvents("nnn"));
  const auto barbarian = [](const std::string& event) {
    return event.find("owner=Barbarians") != std::string::npos;
  };
  const auto first = std::find_if(nnn.begin(), nnn.end(), barbarian);
  const std::vector<std::string> barbarians(first, nnn.end());
  for (const char* answers : kAnswerSets) {
    const std::vector<std::string> events = EventsOf(ExpectedEvents(answers));
    EXPECT_EQ(std::vector<std::string>(
                  std::find_if(events.begin(), events.end(), barbarian),
                  events.end()),
              barbarians)
        << answers;
    std::vector<std::string> spies;
    for (const std::string& event : events) {
      if (event.find("unit=Spy\r\n") != std::string::npos) {
        spies.push_back(event);
      }
    }
    ASSERT_EQ(spies.size(), 3u) << answers;
    for (size_t i = 0; i < spies.size(); ++i) {
      EXPECT_EQ(spies[i].find("veteran=Yes\r\n") != std::string::npos,
                answers[i] == 'n')
          << answers << ": the spy of faction " << i << " is\n"
          << spies[i];
    }
  }
}

// Any change, however small, makes it a file of someone else's: a byte
// more or less, other line ends, one of the eight cut short or over another.
TEST(PlanTest, NearMissesAreNotOurs) {
  const std::string nnn = ExpectedEvents("nnn");
  const std::string nyn = ExpectedEvents("nyn");
  const std::string yyy = ExpectedEvents("yyy");
  std::string lf_only;
  std::remove_copy(nyn.begin(), nyn.end(), std::back_inserter(lf_only), '\r');
  std::string changed = nyn;
  changed[changed.size() / 2] ^= 0x20;
  for (const std::string& near_miss :
       {std::string(), nyn + "\n", lf_only, changed, nyn + nyn,
        nyn.substr(0, nyn.size() - 1), nnn.substr(0, 3000) + yyy.substr(3000),
        yyy + nnn.substr(yyy.size())}) {
    EXPECT_FALSE(IsWrittenByThisVersion(near_miss)) << near_miss;
  }
  EXPECT_TRUE(IsWrittenByThisVersion(nnn));
}

}  // namespace
