#include "support/expected_events.h"

#include <vector>

#include "support/scratch_dir.h"

namespace {

constexpr size_t kOpeningEvents = 3;
constexpr size_t kLandingEvents = 12;

// Splits an events file into its events, each from "@IF" to "@ENDIF".
std::vector<std::string> SplitEvents(const std::string& file) {
  std::vector<std::string> events;
  constexpr std::string_view kEnd = "@ENDIF\r\n";
  size_t begin = file.find("@IF\r\n");
  for (size_t end; (end = file.find(kEnd, begin)) != std::string::npos;
       begin = end + kEnd.size()) {
    events.push_back(file.substr(begin, end + kEnd.size() - begin));
  }
  return events;
}

std::string Join(const std::vector<std::string>& events, size_t begin,
                 size_t end) {
  std::string joined;
  for (size_t i = begin; i < end; ++i) joined += events[i];
  return joined;
}

}  // namespace

const char kExpectedConsole[] =
    "Welcome to the Setup Program for Velmoria:\n"
    "\t-Answer in lowercase and follow up with an [Enter]\n"
    "\t-Run it again whenever needed\n"
    "\t-If it summons aliens from Alpha Centauri, it is not my fault\n"
    "\n"
    "\nAre Venetians being played by a human? (y or n)"
    "\nAre Hafsids being played by a human? (y or n)"
    "\nAre Teutonics being played by a human? (y or n)";

std::string ExpectedEvents(std::string_view answers) {
  static const std::vector<std::string> computer =
      SplitEvents(ReadFile(VELMORIA_TEST_DATA "/events-nnn.txt"));
  static const std::vector<std::string> human =
      SplitEvents(ReadFile(VELMORIA_TEST_DATA "/events-yyy.txt"));

  std::string file = "@BEGINEVENTS\r\n" + Join(human, 0, kOpeningEvents);
  for (size_t i = 0; i < answers.size(); ++i) {
    if (answers[i] == 'n') {
      const size_t first = kOpeningEvents + i * kLandingEvents;
      file += Join(computer, first, first + kLandingEvents);
    } else {
      file += human[kOpeningEvents + i];
    }
  }
  file += Join(human, kOpeningEvents + answers.size(), human.size());
  return file + "@ENDEVENTS\r\n";
}
