#include <iostream>
#include <string>

#include "eventfile/replace_file.h"
#include "setup/run.h"

namespace {

// Written into the folder the program runs in: the scenario's folder.
constexpr char kEventsFileName[] = "events.txt";

int Fail(const std::string& err) {
  std::cerr << "velmoria-setup: " << err << '\n';
  return 1;
}

}  // namespace

int main() {
  // Only this program reads the console; C stdio need not see the same
  // buffers, and unsynchronised streams read long input much faster.
  std::ios::sync_with_stdio(false);

  // Made before the first question, so that a run which cannot write the file
  // says so before asking anything.
  FileReplacement events_file;
  std::string err;
  if (!BeginReplaceFile(kEventsFileName, &events_file, &err)) return Fail(err);

  const std::string events = EventsFileFor(AskPlayers(std::cin, std::cout));

  if (!FinishReplaceFile(&events_file, events, &err)) return Fail(err);
  return 0;
}
