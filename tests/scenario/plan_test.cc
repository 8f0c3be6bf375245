#include "scenario/plan.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"
#include "setup/command_line.h"
#include "support/expected_events.h"
#include "support/scratch_dir.h"

namespace fs = std::filesystem;

namespace {

// A line of a file as the failure shows it, its end named where it is not
// the file's own: CR LF if `crlf`, else LF.
std::string Shown(std::string_view line, bool crlf) {
  const bool lf = !line.empty() && line.back() == '\n';
  const bool cr = lf && line.size() >= 2 && line[line.size() - 2] == '\r';
  std::string text(line.substr(0, line.size() - lf - cr));
  if (!lf) return text + " [no line end]";
  if (cr != crlf) return text + (cr ? " [CR LF]" : " [LF without CR]");
  return text;
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
  const bool crlf = actual.find("\r\n") != std::string_view::npos;
  std::string said = "first difference at line " + std::to_string(line + 1);
  for (auto [whose, rest] : {std::pair{"; the reference file has\n", expected},
                             {"and the program writes\n", actual}}) {
    said += whose;
    for (size_t number = 0; !rest.empty() && number <= line + 3; ++number) {
      const size_t end = std::min(rest.find('\n'), rest.size() - 1) + 1;
      if (number + 3 >= line) {
        said += (number == line ? "  > " : "    ") +
                std::to_string(number + 1) + "  " +
                Shown(rest.substr(0, end), crlf) + "\n";
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

// What the program makes, by the name of its reference file in tests/data.
std::vector<std::pair<std::string, std::string>> Made() {
  std::vector<std::pair<std::string, std::string>> made = {
      {"console.txt", ExpectedConsole()}, {"help.txt", kHelpText}};
  for (const char* answers : kAnswerSets) {
    made.emplace_back(std::string("events-") + answers + ".txt",
                      ExpectedEvents(answers));
    made.emplace_back(std::string("status-") + answers + ".txt",
                      ExpectedStatus(answers));
  }
  return made;
}

// Returns what differs between what the program makes and the reference
// files in `data`, and what to do about it; nothing if they are the same.
// Players have a version's events files, which another version takes for
// hand-edited ones: they change only under a new version.
std::string ReferenceFilesProblem(const fs::path& data) {
  const std::string made_for = ReadFile(data / "version.txt");
  const bool raised = made_for != VELMORIA_VERSION "\n";
  std::string problem;
  if (raised) {
    problem = "tests/data was made for version " +
              made_for.substr(0, made_for.find('\n')) +
              ", not " VELMORIA_VERSION ". ";
  }
  bool events_changed = false;
  for (const auto& [name, made] : Made()) {
    const std::string difference = FirstDifference(ReadFile(data / name), made);
    if (difference.empty()) continue;
    problem += (data / name).string() +
               " is not what the program makes: " + difference;
    events_changed = events_changed || name.rfind("events-", 0) == 0;
  }
  if (problem.empty()) return "";
  if (events_changed && !raised) {
    return problem + "Players of " VELMORIA_VERSION
                     " have its events files, which another version keeps "
                     "as hand-edited: raise the version in CMakeLists.txt, "
                     "then remake the reference files.";
  }
  return problem + "Remake the reference files and review git diff tests/data.";
}

// The one place that knows what the program says and writes: each setup's
// events file and --status lines, the dialogue's console and --help are
// the reference files in tests/data, byte for byte, and the events files
// hold the facts the scenario is built on. A designer who changes the
// tables remakes the reference files (cmake --build --preset default
// --target reference-files) and reviews git diff tests/data.
TEST(ContentTest, EachOutputIsItsReferenceFile) {
  const std::string problem = ReferenceFilesProblem(VELMORIA_TEST_DATA);
  if (!problem.empty()) ADD_FAILURE() << problem;

  // Every file ends with the same barbarian events, and has none before
  // them; each faction has one spy, a veteran only if the computer plays it.
  const auto barbarians = [](const std::string& file) {
    std::vector<std::string> events = EventsOf(file);
    events.erase(events.begin(),
                 std::find_if(events.begin(), events.end(), [](auto& event) {
                   return event.find("owner=Barbarians") != std::string::npos;
                 }));
    return events;
  };
  const std::vector<std::string> nnn = barbarians(ExpectedEvents("nnn"));
  for (const char* answers : kAnswerSets) {
    const std::string file = ExpectedEvents(answers);
    EXPECT_TRUE(barbarians(file) == nnn)
        << answers << ": the barbarian events are not those of nnn";
    std::vector<std::string> spies;
    for (const std::string& event : EventsOf(file)) {
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

#ifndef _WIN32
// The designer's command remakes what the content test compares, and
// refuses to change an events file under the version it was made for; the
// content test then asks for a raise. Other words change under any version.
TEST(ContentTest, RemakeChangesEventsFilesOnlyUnderANewVersion) {
  const struct {
    const char* file;     // a reference file that is not what is made
    const char* version;  // the version tests/data was made for
    const char* asked;    // what the content test asks for
    bool remade;          // the remake writes the files
  } cases[] = {
      {"events-nyn.txt", VELMORIA_VERSION, "raise the version", false},
      {"events-nyn.txt", "0.9.0", "Remake the reference files", true},
      {"console.txt", VELMORIA_VERSION, "Remake the reference files", true},
      {"help.txt", "0.9.0", "made for version 0.9.0", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " under " + c.version);
    ScratchDir scratch;
    const fs::path data = scratch.root() / "data";
    fs::copy(VELMORIA_TEST_DATA, data);
    WriteFile(data / c.file, "an earlier version's\r\n");
    WriteFile(data / "version.txt", std::string(c.version) + "\n");
    EXPECT_NE(ReferenceFilesProblem(data).find(c.asked), std::string::npos)
        << ReferenceFilesProblem(data);
    const fs::path log = scratch.root() / "log";
    const std::string remake =
        "'" VELMORIA_CMAKE "' -DPROGRAM='" VELMORIA_SETUP_PROGRAM "' -DDATA='" +
        data.string() + "' -DWORK='" + (scratch.root() / "work").string() +
        "' -P '" VELMORIA_TEST_DATA
        "/../../cmake/remake_reference_files.cmake' >'" +
        log.string() + "' 2>&1";
    EXPECT_EQ(std::system(remake.c_str()) == 0, c.remade) << ReadFile(log);
    if (c.remade) {
      EXPECT_EQ(ReferenceFilesProblem(data), "");
    } else {
      EXPECT_NE(ReadFile(log).find("raise the version"), std::string::npos);
      EXPECT_EQ(ReadFile(data / c.file), "an earlier version's\r\n");
    }
  }
}
#endif

}  // namespace
