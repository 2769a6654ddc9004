#include "cli/board_options.h"
#include "cli/cli_test_support.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::FileOperation;
using testing::MemoryFileSystem;
using testing::Outcome;
using testing::RunTool;

std::vector<uint8_t> Text(const std::string& text) {
  return {text.begin(), text.end()};
}

MemoryFileSystem Board(const std::string& placement = "Ref,X,Y\nR5,0,0\nR2,1,0\nC1,0,0\n") {
  MemoryFileSystem fileSystem;
  fileSystem.files["A.CE2"] = testing::SmallUnnumberedBoard();  // R5, R2, C1
  fileSystem.files["P.csv"] = Text(placement);
  return fileSystem;
}

TEST(KerroCliByBoard, RefusesBeforeAnythingIsWritten) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    std::string message;                                  // expected in the error output
    std::string placement = "Ref,X,Y\nR5,0,0\nR2,1,0\n";  // empty: none there
    int status = kExitUsage;
  };
  const Case cases[] = {
      {"lock", {"--lock", "R5"}, "--lock does not go with --by-board"},
      {"sheet base", {"--sheet-base", "100"}, "--sheet-base does not go with --by-board"},
      {"keep", {"-k"}, "--keep does not go with --by-board"},
      {"library-guided", {"--auto"}, "excludes"},
      {"order", {"--board-order", "diagonal"}, "--board-order takes rows or columns"},
      {"tolerance", {"--row-tolerance", "-1"}, "--row-tolerance takes a length"},
      {"tolerance unit", {"--row-tolerance", "2 furlong"}, "--row-tolerance takes a length"},
      {"bottom start", {"--bottom-start", "0"}, "--bottom-start takes a number from 1"},
      {"was/is format", {"--was-is", "W", "--was-is-format", "xml"}, "takes csv, pads or swap"},
      {"placement over itself", {"--placement-out", "P.csv"}, "\"P.csv\" would replace"},
      {"was/is over the backup", {"--was-is", "A.$E2"}, "\"A.$E2\" would replace"},
      {"report over the placement", {"-r", "P.csv"}, "\"P.csv\" would replace"},
      {"refused placement",
       {},
       "kerro-cli: P.csv: line 3: \"R5\" is on line 2 too; nothing was written",
       "Ref,X,Y\nR5,0,0\nR5,1,0\n"},
      {"no placement file", {}, "File read error. \"P.csv\"", "", kExitReadError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFileSystem fileSystem = Board(c.placement);
    if (c.placement.empty()) {
      fileSystem.files.erase("P.csv");
    }
    std::vector<std::string> arguments = {"--by-board", "P.csv"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    arguments.push_back("A.CE2");
    const Outcome outcome = RunTool(fileSystem, arguments);
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
    EXPECT_EQ(fileSystem.changeCount(), 0);
  }
  for (const char* needsBoard : {"--y-down", "--board-order=rows", "--was-is=W"}) {
    SCOPED_TRACE(needsBoard);
    MemoryFileSystem fileSystem = Board();
    EXPECT_EQ(RunTool(fileSystem, {needsBoard, "A.CE2"}).status, kExitUsage);
    EXPECT_EQ(fileSystem.changeCount(), 0);
  }
}

TEST(KerroCliByBoard, TheRecordsAreOnTheDiskBeforeTheSchematicIsReplaced) {
  MemoryFileSystem fileSystem = Board("Ref,X,Y\nR5,0,0\nR2,1,0\nC1,0,0\nMH1,5,5\n");
  fileSystem.failOn(FileOperation::Rename, "P-new.csv");
  const Outcome failed = RunTool(fileSystem, {"--by-board", "P.csv", "--was-is", "W.csv",
                                              "--placement-out", "P-new.csv", "A.CE2"});
  EXPECT_EQ(failed.status, kExitWriteError);
  EXPECT_EQ(testing::ReferencesIn(fileSystem.files["A.CE2"]),
            (std::vector<std::string>{"R5", "R2", "C1"}));
  EXPECT_FALSE(fileSystem.files.contains("A.$E2"));

  fileSystem.clearFaults();
  const Outcome outcome = RunTool(fileSystem, {"--by-board", "P.csv", "--was-is", "W.csv",
                                               "--placement-out", "P-new.csv", "A.CE2"});
  EXPECT_EQ(outcome.status, kExitFinished) << outcome.err;
  EXPECT_NE(outcome.err.find("warning: line 5 of P.csv: MH1 is no part of any FILE"),
            std::string::npos)
      << outcome.err;
  EXPECT_EQ(testing::ReferencesIn(fileSystem.files["A.CE2"]),
            (std::vector<std::string>{"R1", "R2", "C1"}));
  EXPECT_EQ(fileSystem.files["W.csv"], Text("old_reference,new_reference\r\nR5,R1\r\n"));
  EXPECT_EQ(fileSystem.files["P-new.csv"], Text("Ref,X,Y\nR1,0,0\nR2,1,0\nC1,0,0\nMH1,5,5\n"));
  const auto firstTouch = [&](const std::string& path) {
    for (size_t i = 0; i < fileSystem.log.size(); ++i) {
      if (fileSystem.log[i].starts_with("rename ") && fileSystem.log[i].ends_with(" " + path)) {
        return i;
      }
    }
    return fileSystem.log.size();
  };
  ASSERT_LT(firstTouch("A.$E2"), fileSystem.log.size());
  EXPECT_LT(firstTouch("W.csv"), firstTouch("A.$E2"));
}

// The renamed placement file is made from the placement file read again: one that changed
// or went away since the run read it first stops the run before anything is written.
TEST(KerroCliByBoard, APlacementFileThatChangedDuringTheRunStopsIt) {
  class ChangingPlacement : public MemoryFileSystem {
   public:
    std::optional<std::vector<uint8_t>> readFileShared(const std::string& path) override {
      std::optional<std::vector<uint8_t>> bytes = MemoryFileSystem::readFileShared(path);
      if (path == "P.csv" && reads++ > 0) {
        if (gone) {
          return std::nullopt;
        }
        bytes->back() = '9';  // the last row moved
      }
      return bytes;
    }
    bool gone = false;
    int reads = 0;
  };
  for (const bool gone : {false, true}) {
    SCOPED_TRACE(gone ? "gone" : "changed");
    ChangingPlacement fileSystem;
    fileSystem.gone = gone;
    fileSystem.files["A.CE2"] = testing::SmallUnnumberedBoard();
    fileSystem.files["P.csv"] = Text("Ref,X,Y\nR5,0,0\nR2,1,0\nC1,0,0\n");
    const Outcome outcome = RunTool(fileSystem, {"--by-board", "P.csv", "--was-is", "W.csv",
                                                 "--placement-out", "P-new.csv", "A.CE2"});
    EXPECT_EQ(outcome.status, kExitReadError);
    EXPECT_NE(
        outcome.err.find(gone ? "File read error. \"P.csv\""
                              : "kerro-cli: P.csv changed during the run; nothing was written"),
        std::string::npos)
        << outcome.err;
    EXPECT_EQ(fileSystem.changeCount(), 0);
  }
}

// A record applied line by line breaks a cycle through a name that neither a part of the
// FILEs (TMP1, not on the board) nor a row of the placement file (TMP2, no part) holds.
TEST(KerroCliByBoard, ATemporaryNameIsHeldByNoPartAndNoRow) {
  testing::SchematicBuilder board;
  board.header();
  for (const char* reference : {"R2", "R1", "TMP1"}) {
    board.component(testing::PlacedPart("RES", reference, 0, 0));
  }
  for (const bool quiet : {false, true}) {
    SCOPED_TRACE(quiet ? "quiet" : "not quiet");
    MemoryFileSystem fileSystem;
    fileSystem.files["A.CE2"] = board.bytes();
    fileSystem.files["P.csv"] = Text("Ref,X,Y\nR2,0,0\nR1,1,0\nTMP2,2,0\n");
    std::vector<std::string> arguments = {"--by-board", "P.csv",           "--was-is",
                                          "W.txt",      "--was-is-format", "pads"};
    if (quiet) {
      arguments.push_back("-q");
    }
    arguments.push_back("A.CE2");
    const Outcome outcome = RunTool(fileSystem, arguments);
    ASSERT_EQ(outcome.status, kExitFinished) << outcome.err;
    EXPECT_EQ(fileSystem.files["W.txt"],
              Text("*PADS-ECO*\r\n*RENPART*\r\nR2 TMP3\r\nR1 R2\r\nTMP3 R1\r\n*END*\r\n"));
  }
}

// Every row that names no part of the FILEs is warned of, once, in file order, whatever
// the number of rows and parts.
TEST(KerroCliByBoard, WarnsOfExactlyTheRowsThatNameNoPart) {
  std::mt19937 random(20261210);
  for (int round = 0; round < 20; ++round) {
    testing::SchematicBuilder board;
    board.header();
    std::string placement = "Ref,X,Y\n";
    std::string expected;
    const int parts = 1 + static_cast<int>(random() % 60);
    const int rows = static_cast<int>(random() % 80);
    int line = 1;
    for (int part = 0, row = 0; part < parts || row < rows;) {
      if (part < parts && (row == rows || random() % 2 == 0)) {
        const std::string reference = "R" + std::to_string(part + 1);
        board.component(testing::PlacedPart("RES", reference, 0, 0));
        if (random() % 4 != 0) {  // some parts have no row
          placement += reference + ",1,2\n";
          ++line;
        }
        ++part;
      } else {
        const std::string reference = "MH" + std::to_string(row + 1);
        placement += reference + ",3,4\n";
        ++line;
        expected += "kerro-cli: warning: line " + std::to_string(line) + " of P.csv: " + reference +
                    " is no part of any FILE\n";
        ++row;
      }
    }
    MemoryFileSystem fileSystem;
    fileSystem.files["A.CE2"] = board.bytes();
    fileSystem.files["P.csv"] = Text(placement);
    const Outcome outcome = RunTool(fileSystem, {"--by-board", "P.csv", "--dry-run", "A.CE2"});
    ASSERT_EQ(outcome.status, kExitFinished) << outcome.err;
    std::istringstream lines(outcome.err);
    std::string warnings;
    for (std::string text; std::getline(lines, text);) {
      if (text.find("warning: line") != std::string::npos) {
        warnings += text + "\n";
      }
    }
    EXPECT_EQ(warnings, expected) << "round " << round;
  }
}

}  // namespace
}  // namespace kerro
