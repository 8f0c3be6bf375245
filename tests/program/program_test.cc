// The real program, run in a scratch folder as a player runs it.

#include "support/program.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "support/expected_events.h"
#include "support/scratch_dir.h"

namespace fs = std::filesystem;

namespace {

using ProgramTest = ScenarioFolderTest;

// A file the program did not write is kept, in place of an older backup.
TEST_F(ProgramTest, HandEditedFileIsKeptAsBak) {
  const fs::path backup = scratch_.scenario() / "events.txt.bak";
  const std::string edited = ExpectedEvents("nyn") + "@DEBUG\r\n";
  WriteFile(scratch_.events_file(), edited);
  ProgramResult result = Run("y\ny\ny\n");
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err,
            "velmoria-setup: kept the previous events.txt as "
            "events.txt.bak\n");
  EXPECT_EQ(ReadFile(backup), edited);
  EXPECT_EQ(Events(), ExpectedEvents("yyy"));

  // One of the eight without what comes before its first landing.
  const std::string nyn = ExpectedEvents("nyn");
  WriteFile(scratch_.events_file(), nyn.substr(nyn.find("@IF\r\nTurn")));
  result = Run("n\nn\nn\n");
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(ReadFile(backup), nyn.substr(nyn.find("@IF\r\nTurn")));
  EXPECT_EQ(Files(), (Names{"events.txt", "events.txt.bak"}));

  // A user's own files of like names are theirs, whatever they hold: a run
  // says nothing of them, succeeding or refusing before it asks, and leaves
  // them as they are.
  const Names mine = {"events.txt.backup", "events.txt.bak.Xy12Zw",
                      "events.txt.orig01"};
  WriteFile(scratch_.scenario() / mine[0], Events());
  WriteFile(scratch_.scenario() / mine[1], ExpectedEvents("yyy"));
  WriteFile(scratch_.scenario() / mine[2], "");
  result = RunWith({"nnn"});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err, "");
  fs::remove(scratch_.events_file());
  fs::create_directory(scratch_.events_file());
  result = Run("n\nn\nn\n");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "velmoria-setup: cannot write events.txt: it is a folder, not a "
            "file\n");
  EXPECT_EQ(Files(), (Names{"events.txt", "events.txt.backup", "events.txt.bak",
                            "events.txt.bak.Xy12Zw", "events.txt.orig01"}));
  EXPECT_EQ(ReadFile(scratch_.scenario() / mine[0]), ExpectedEvents("nnn"));
}

// Refused before the first question, root too: a folder where the copy of
// a hand-edited file would go, which no permission bit lets a file replace
// (events.txt itself, above), and a link that leads only to itself.
TEST_F(ProgramTest, WhatNoFileCanReplaceIsRefusedBeforeAsking) {
  WriteFile(scratch_.events_file(), "mine\r\n");
  fs::create_directory(scratch_.scenario() / "events.txt.bak");
  ProgramResult result = Run("n\nn\nn\n");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "velmoria-setup: cannot keep the previous events.txt as "
            "events.txt.bak: it is a folder, not a file\n");
  EXPECT_EQ(Events(), "mine\r\n");
  EXPECT_EQ(Files(), (Names{"events.txt", "events.txt.bak"}));

#ifndef _WIN32
  fs::remove(scratch_.events_file());
  fs::create_symlink("events.txt", scratch_.events_file());
  result = Run("n\nn\nn\n");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "velmoria-setup: cannot write events.txt: Too many levels of "
            "symbolic links\n");
#endif
}

// Standard input as the program reads it from a pipe: megabytes to skip,
// odd bytes, and a Ctrl-Z byte, which ends piped input on Windows, as the C
// runtime's text mode does, and elsewhere is a character like any other.
TEST_F(ProgramTest, ConsoleInputEdges) {
#ifdef _WIN32
  const char* const kAfterCtrlZ = "yyy";
#else
  const char* const kAfterCtrlZ = "yyn";
#endif
  for (const auto& [input, answers] :
       {std::pair{std::string(6 << 20, ' ') + "\n\t\r\nn", "nnn"},
        {std::string("y\n\x1an\nn\n"), kAfterCtrlZ}}) {
    const ProgramResult result = Run(input);
    EXPECT_EQ(result.exit_code, 0) << answers;
    EXPECT_EQ(result.out, ExpectedConsole()) << answers;
    EXPECT_EQ(Events(), ExpectedEvents(answers)) << answers;
  }
}

#ifndef _WIN32
// What the old file holds is judged again after the answers: one the
// program wrote, edited while a question waits, is kept.
TEST_F(ProgramTest, FileEditedWhileAQuestionWaitsIsKept) {
  ASSERT_EQ(Run("y\ny\ny\n").exit_code, 0);
  Child child = StartProgram(scratch_.scenario());
  ASSERT_TRUE(WaitForOutput(child, "(y or n)"));
  WriteFile(scratch_.events_file(), "mine\r\n");
  SendInput(&child, "n\nn\nn\n");
  const ProgramResult result = WaitProgram(&child);
  EXPECT_EQ(result.err,
            "velmoria-setup: kept the previous events.txt as "
            "events.txt.bak\n");
  EXPECT_EQ(ReadFile(scratch_.scenario() / "events.txt.bak"), "mine\r\n");
  EXPECT_EQ(Events(), ExpectedEvents("nnn"));
}

#endif

}  // namespace
