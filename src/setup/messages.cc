#include "setup/messages.h"

#include <cerrno>

#include "setup/console.h"
#include "setup/places.h"

namespace fs = std::filesystem;

namespace {

// What a failure of each step says, and what it says after another
// failure, when undoing that found it: {0} is the file as the user knows
// it, {1} the file the step was about, {2} the folder that holds it, {3} the
// reason. A switch, so that a step without words does not build.
struct StepWords {
  const char* failed;
  const char* then;
};
// clang-format off
StepWords WordsOf(Step step) {
  switch (step) {
    case Step::kLook: return {"cannot write {0}: {3}", ""};
    case Step::kRead: return {"cannot read {0}: {3}", ""};
    case Step::kLookAtBackup: return {"cannot keep the previous {0} as {1}: {3}", ""};
    case Step::kMakeFile: return {"cannot write in the folder {2}: {3}", ""};
    case Step::kWrite: return {"cannot write {0}: {3}", ""};
    case Step::kSync: return {"cannot save {0} to the disk: {3}", ""};
    case Step::kPutInPlace: return {"cannot put the new {0} in place: {3}", ""};
    case Step::kKeepOld: return {"cannot keep the previous {0} as {1}: {3}", ""};
    case Step::kRestore: return {"", "it is in {1}"};
    case Step::kSyncFolder: return {"{0} is in place, but the disk reported an error: {3}", "the disk reported an error: {3}"};  // not on Windows
    case Step::kRemove: return {"cannot remove {1}: {3}", "{1} is left: {3}"};
  }
  return {"", ""};
}

// What kLook says of a link that another user may have planted.
constexpr char kLinkOfOtherWords[] = "{1} is a link owned by another user; not following it";  // not on Windows
// clang-format on

// Why a file could not be used: the system's words, but where they would
// mislead and where the program has its own.
std::string Reason(int error, const fs::path& folder) {
  switch (error) {
    case kInUse:  // only on Windows
      return "it is in use by another program; close it (the game?) and run "
             "the setup again";
    case kReadOnly:
      return "it is read-only; make it writable and run the setup again";
    case kNotRegular:
      return "it is not a regular file";
    case EISDIR:
      return "it is a folder, not a file";
    case EACCES:
      if (IsInProgramFiles(folder)) {  // only on Windows
        return "only an administrator may write there; right-click "
               "velmoria-setup.exe and choose \"Run as administrator\"";
      }
      break;
  }
  return ErrorWords(error);
}

}  // namespace

std::string Format(std::string_view words,
                   std::initializer_list<std::string_view> args) {
  std::string said;
  for (size_t at = 0; at < words.size(); ++at) {
    const size_t arg =
        at + 2 < words.size() && words[at] == '{' && words[at + 2] == '}'
            ? static_cast<size_t>(words[at + 1] - '0')
            : args.size();
    if (arg < args.size()) {
      said += args.begin()[arg];
      at += 2;
    } else {
      said += words[at];
    }
  }
  return said;
}

std::string DescribeFailure(const Failure& failure, std::string_view name,
                            const fs::path& folder) {
  const auto words = [&](const Failure& step, const char* said) {
    const fs::path in = (folder / step.file).lexically_normal().parent_path();
    return Format(
        said, {name, TextOf(step.file), TextOf(in), Reason(step.error, in)});
  };
  std::string said = words(failure, failure.error == kLinkOfOther
                                        ? kLinkOfOtherWords
                                        : WordsOf(failure.step).failed);
  for (const Failure& then : failure.then) {
    const bool restored = then.step == Step::kRestore && then.error == 0;
    said += "; " + words(then, restored ? "{0} is as it was"
                                        : WordsOf(then.step).then);
  }
  return said;
}

std::string SetupLines(const ComputerPlayed& computer_played) {
  std::string lines;
  for (size_t i = 0; i < std::size(kFactions); ++i) {
    lines += FactionName(kFactions[i]);
    lines += computer_played[i] ? ": computer\n" : ": human\n";
  }
  return lines;
}
