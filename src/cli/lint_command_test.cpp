#include "cli/lint_command.h"
#include "cli/cli_test_support.h"

#include <gtest/gtest.h>

#include <sstream>

#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::Outcome;
using testing::PlacedPart;
using testing::RunTool;
using testing::SchematicBuilder;
using testing::TextComponent;

// A board with broken annotation beside its TOSK.INI and a text library, on the real disk:
// two R5 of different tags, one U?, and four blocks of a two-block part under U1.
class LintedBoard : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::TextLibraryBuilder library;
    library.component(TextComponent{.name = "RES", .refPrefix = "R"})
        .component(TextComponent{.name = "INV", .blocks = 6, .refPrefix = "U"})
        .component(TextComponent{.name = "DUAL", .blocks = 2, .refPrefix = "U"});
    testing::WriteBytes(folder_.file("PARTS.LB3"), library.bytes());
    testing::WriteToskIni(folder_.file("TOSK.INI"), {folder_.file("PARTS.LB3")});
    SchematicBuilder board;
    board.header()
        .component({.x = 10, .y = 5, .packageTag = "RES", .reference = "R5", .partName = "RES"})
        .component({.x = 20, .y = 5, .packageTag = "RES2", .reference = "R5", .partName = "RES"})
        .component(PlacedPart("INV", "U?", 30, 5));
    for (uint8_t block = 0; block < 4; ++block) {
      board.component(PlacedPart("DUAL", "U1", static_cast<int16_t>(40 + block), 5, block));
    }
    original_ = board.bytes();
    testing::WriteBytes(path_, original_);
  }

  testing::TempFolder folder_;
  std::string path_ = folder_.file("B.CE2");
  std::vector<uint8_t> original_;
};

TEST_F(LintedBoard, ReportsEachFindingThenNoneAfterLibraryGuidedNumbering) {
  Outcome before = RunTool(testing::RealFiles(), {"--lint", "--auto", path_});
  EXPECT_EQ(before.status, kExitFindings);
  const std::string& p = path_;
  EXPECT_EQ(before.out,
            p +
                ": section 1 at (20, 5) RES [RES2] R5 block 0: duplicate reference: also on RES "
                "[RES] section 1 at (10, 5)\n" +
                p + ": section 1 at (30, 5) INV [INV] U? block 0: unnumbered reference\n" + p +
                ": section 1 at (42, 5) DUAL [DUAL] U1 block 2: block beyond the part's "
                "block count: the part has 2 blocks\n" +
                p +
                ": section 1 at (42, 5) DUAL [DUAL] U1 block 2: more blocks than the part "
                "has: the part has 2 blocks; the first of them section 1 at (40, 5)\n" +
                p +
                ": section 1 at (43, 5) DUAL [DUAL] U1 block 3: block beyond the part's "
                "block count: the part has 2 blocks\n" +
                p +
                ": section 1 at (43, 5) DUAL [DUAL] U1 block 3: more blocks than the part "
                "has: the part has 2 blocks; the first of them section 1 at (40, 5)\n");
  EXPECT_EQ(before.err, "");
  EXPECT_EQ(folder_.list(), (std::vector<std::string>{"B.CE2", "PARTS.LB3", "TOSK.INI"}));

  // Without the libraries only what needs none.
  Outcome plain = RunTool(testing::RealFiles(), {"--lint", path_});
  EXPECT_EQ(plain.status, kExitFindings);
  EXPECT_NE(plain.out.find("duplicate reference"), std::string::npos);
  EXPECT_EQ(plain.out.find("block count"), std::string::npos);

  ASSERT_EQ(RunTool(testing::RealFiles(), {"-q", "--auto", path_}).status, kExitFinished);
  Outcome after = RunTool(testing::RealFiles(), {"--lint", "--auto", path_});
  EXPECT_EQ(after.status, kExitFinished);
  EXPECT_EQ(after.out, path_ + ": no findings\n");
}

TEST_F(LintedBoard, ReportIsCsvAndAFailingLibraryIsAFinding) {
  testing::WriteToskIni(folder_.file("TOSK.INI"), {folder_.file("GONE.LB3")});
  const std::string csvPath = folder_.file("lint.csv");
  Outcome outcome = RunTool(testing::RealFiles(), {"-q", "--lint", "--auto", "-r", csvPath, path_});
  EXPECT_EQ(outcome.status, kExitFindings);
  EXPECT_EQ(outcome.out, "");
  const std::vector<uint8_t> csv = testing::ReadBytes(csvPath);
  EXPECT_EQ(std::string(csv.begin(), csv.end()),
            "file,section,x,y,part,tag,reference,block,finding,detail\r\n" + path_ +
                ",,,,,,,,library fails to load," + folder_.file("GONE.LB3") + "\r\n" + path_ +
                ",1,20,5,RES,RES2,R5,0,duplicate reference,\"also on RES [RES] section 1 at "
                "(10, 5)\"\r\n" +
                path_ + ",1,30,5,INV,INV,U?,0,unnumbered reference,\r\n");
  EXPECT_EQ(testing::ReadBytes(path_), original_);
}

TEST_F(LintedBoard, AnUnreadableFileOutranksFindings) {
  Outcome outcome = RunTool(testing::RealFiles(), {"--lint", path_, folder_.file("NONE.CE2")});
  EXPECT_EQ(outcome.status, kExitReadError);
  EXPECT_EQ(outcome.err,
            "kerro-cli: File read error. \"" + folder_.file("NONE.CE2") + "\": no such file\n");
  EXPECT_NE(outcome.out.find("unnumbered reference"), std::string::npos);
}

}  // namespace
}  // namespace kerro

namespace kerro {
namespace {

TEST(LintTogether, FindsADuplicateAcrossTheSheetsOfOneDesign) {
  testing::MemoryFileSystem files;
  for (const auto& [path, part] : {std::pair{"A.CE2", "RES"}, std::pair{"A.CE2-01", "CAP"}}) {
    SchematicBuilder sheet;
    sheet.header().component(PlacedPart(part, "R1", 10, 5));
    files.files[path] = sheet.bytes();
  }
  std::ostringstream out;
  std::ostringstream err;
  CliEnvironment environment{files, out, err};
  // The section file beside A.CE2 is checked with it, whether named or not.
  const std::string finding =
      "A.CE2-01: section 1 at (10, 5) CAP [CAP] R1 block 0: duplicate reference: also on "
      "RES [RES] section 1 at (10, 5) of A.CE2\n";
  EXPECT_EQ(RunCli({"--lint", "A.CE2"}, environment), kExitFindings);
  EXPECT_EQ(RunCli({"--lint", "A.CE2", "A.CE2-01"}, environment), kExitFindings);
  EXPECT_EQ(RunCli({"--lint", "--together", "A.CE2", "A.CE2-01"}, environment), kExitFindings);
  EXPECT_EQ(out.str(), finding + finding + finding);
  out.str("");
  EXPECT_EQ(RunCli({"--lint", "A.CE2-01"}, environment), kExitFinished);
  EXPECT_EQ(out.str(), "A.CE2-01: no findings\n");
  EXPECT_EQ(err.str(), "");
}

// What boards get rejected for, each named beside the part it concerns.
TEST(LintFindings, WhatAssemblyHousesReject) {
  SchematicBuilder board;
  board.header()
      .component(PlacedPart("RES", "R3", 10, 0))
      .component(PlacedPart("RES", "R03", 20, 0))
      .component(PlacedPart("RES", "R-1", 30, 0))
      .component({.x = 40, .block = 0, .packageTag = "T", .reference = "U1", .partName = "A"})
      .component({.x = 50, .block = 1, .packageTag = "T", .reference = "U1", .partName = "B"});
  testing::MemoryFileSystem files;
  files.files["B.CE2"] = board.bytes();
  const testing::Outcome outcome = testing::RunTool(files, {"--lint", "B.CE2"});
  EXPECT_EQ(outcome.status, kExitFindings);
  EXPECT_EQ(outcome.out,
            "B.CE2: section 1 at (20, 0) RES [RES] R03 block 0: one number written two ways: as "
            "R3 section 1 at (10, 0)\n"
            "B.CE2: section 1 at (20, 0) RES [RES] R03 block 0: reference misread by placement "
            "software: a leading zero, or a character that reads as a list or a range\n"
            "B.CE2: section 1 at (30, 0) RES [RES] R-1 block 0: reference misread by placement "
            "software: a leading zero, or a character that reads as a list or a range\n"
            "B.CE2: section 1 at (50, 0) B [T] U1 block 1: parts differ within one package: the "
            "package's first block is A section 1 at (40, 0)\n");
}

}  // namespace
}  // namespace kerro
