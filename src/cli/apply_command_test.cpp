#include "cli/apply_command.h"
#include "cli/cli_test_support.h"

#include <gtest/gtest.h>

#include <sstream>

#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::MemoryFileSystem;
using testing::Outcome;
using testing::PlacedPart;
using testing::RunTool;
using testing::SchematicBuilder;
using testing::TextComponent;

std::vector<uint8_t> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

// The reference and block of every component, in file order.
std::vector<std::pair<std::string, int>> Annotation(const std::vector<uint8_t>& file) {
  SchematicDocument document;
  EXPECT_TRUE(document.loadImage(file));
  std::vector<std::pair<std::string, int>> annotation;
  for (const ComponentEntry& entry : document.entries()) {
    annotation.emplace_back(entry.reference(), entry.block());
  }
  return annotation;
}

TEST(ApplyMap, TheReportOfALibraryGuidedRunUndoesItReversed) {
  for (const bool twoSections : {false, true}) {
    SCOPED_TRACE(twoSections ? "two sections" : "one section");
    testing::TempFolder folder;
    testing::TextLibraryBuilder library;
    library.component(TextComponent{.name = "RES", .refPrefix = "R"})
        .component(TextComponent{.name = "QUAD", .blocks = 4, .refPrefix = "U"});
    testing::WriteBytes(folder.file("PARTS.LB3"), library.bytes());
    testing::WriteToskIni(folder.file("TOSK.INI"), {folder.file("PARTS.LB3")});
    SchematicBuilder board;
    board.header();
    for (int16_t i = 0; i < 9; ++i) {
      board.component(PlacedPart("QUAD", "U" + std::to_string(9 - i), static_cast<int16_t>(50 - i),
                                 0, static_cast<uint8_t>(i % 3)));
      board.component(PlacedPart("RES", "R" + std::to_string(i * 7), static_cast<int16_t>(i), 9));
    }
    if (twoSections) {
      board.header().component(PlacedPart("RES", "R3", 1, 1));
    }
    board.component(PlacedPart("QUAD", "U?", 2, 2));
    const std::string path = folder.file("B.CE2");
    testing::WriteBytes(path, board.bytes());
    const auto original = Annotation(board.bytes());

    const std::string report = folder.file("r.csv");
    ASSERT_EQ(RunTool(testing::RealFiles(), {"-q", "--auto", "--report", report, path}).status,
              kExitFinished);
    ASSERT_NE(Annotation(testing::ReadBytes(path)), Annotation(board.bytes()));
    // A second section was saved to a file of its own; the report's rows find it there.
    std::vector<std::string> arguments = {"--apply", report, "--reverse", path};
    if (twoSections) {
      arguments.push_back(path + "-01");
    }
    Outcome undo = RunTool(testing::RealFiles(), arguments);
    EXPECT_EQ(undo.status, kExitFinished);
    EXPECT_EQ(undo.err, "");
    std::vector<uint8_t> restored = testing::ReadBytes(path);
    if (twoSections) {
      const std::vector<uint8_t> second = testing::ReadBytes(path + "-01");
      restored.insert(restored.end(), second.begin(), second.end());
    }
    EXPECT_EQ(Annotation(restored), original);
  }
}

// A run's report, reversed, gives back exactly what it records as old: duplicates that
// the board held, gates beside a duplicate that stays, the later sections that the run
// saved to files of their own (naming FILE alone), and a clean field byte for byte.
TEST(ApplyMap, AReportReversedGivesTheBoardBackWhole) {
  struct Case {
    const char* name;
    std::vector<testing::ComponentRecord> first;
    std::vector<testing::ComponentRecord> second;  // a second section, if any
    std::vector<std::string> run;
  };
  const auto part = [](const char* tag, const char* reference, int16_t x, const char* name,
                       uint8_t block = 0) {
    return testing::ComponentRecord{.x = x,
                                    .block = block,
                                    .packageTag = tag,
                                    .reference = reference,
                                    .partName = name,
                                    .cleanReferenceField = true};
  };
  const Case cases[] = {
      {"a duplicate", {part("T1", "R5", 1, "RES"), part("T2", "R5", 2, "RES")}, {}, {"-a"}},
      {"a gate beside a duplicate",
       {part("A", "U2", 1, "QUAD"), part("B", "U2", 2, "QUAD"), part("A", "U??", 3, "QUAD", 3)},
       {},
       {"-k", "-a"}},
      {"later sections, longer references",
       {part("R", "R5", 1, "RES"), part("C", "C2", 2, "CAP")},
       {part("R", "R7", 1, "RES"), part("U", "U1", 5, "QUAD", 2)},
       {"-i", "100"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempFolder folder;
    SchematicBuilder builder;
    builder.header();
    for (const auto& record : c.first) {
      builder.component(record);
    }
    if (!c.second.empty()) {
      builder.header();
      for (const auto& record : c.second) {
        builder.component(record);
      }
    }
    const std::string path = folder.file("B.CE2");
    testing::WriteBytes(path, builder.bytes());
    const std::string report = folder.file("r.csv");
    std::vector<std::string> run = c.run;
    run.insert(run.end(), {"-q", "--report", report, path});
    ASSERT_EQ(RunTool(testing::RealFiles(), run).status, kExitFinished);
    ASSERT_NE(testing::ReadBytes(path), builder.bytes());

    Outcome undo = RunTool(testing::RealFiles(), {"-q", "--apply", report, "--reverse", path});
    EXPECT_EQ(undo.status, kExitFinished);
    EXPECT_EQ(undo.err, "");
    std::vector<uint8_t> restored = testing::ReadBytes(path);
    if (!c.second.empty()) {
      const std::vector<uint8_t> second = testing::ReadBytes(path + "-01");
      restored.insert(restored.end(), second.begin(), second.end());
    }
    EXPECT_EQ(restored, builder.bytes());
  }
}

// A board and a map in memory, for the refusals.
class AppliedMap : public ::testing::Test {
 protected:
  void SetUp() override {
    SchematicBuilder board;
    board.header()
        .component(PlacedPart("RES", "R1", 10, 0))
        .component(PlacedPart("RES", "R2", 20, 0))
        .component(PlacedPart("CAP", "C1", 30, 0));
    original_ = board.bytes();
    files_.files["A.CE2"] = original_;
  }

  Outcome apply(const std::string& map, std::vector<std::string> options = {}) {
    files_.files["m.csv"] = Bytes(map);
    std::vector<std::string> arguments = {"--apply", "m.csv"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    arguments.push_back("A.CE2");
    return RunTool(files_, arguments);
  }

  MemoryFileSystem files_;
  std::vector<uint8_t> original_;
};

TEST_F(AppliedMap, SwapsAtOnceAndWarnsOfRowsThatMatchNothing) {
  Outcome outcome = apply("old_reference,new_reference\nR1,R2\nR2,R1\nR9,R10\n");
  EXPECT_EQ(outcome.status, kExitFinished);
  EXPECT_EQ(outcome.out,
            "A.CE2: 2 references changed; wrote A.CE2; previous content in A.$E2\nFinished\n");
  EXPECT_EQ(outcome.err, "kerro-cli: warning: line 4 of m.csv matches no component\n");
  EXPECT_EQ(testing::ReferencesIn(files_.files["A.CE2"]),
            (std::vector<std::string>{"R2", "R1", "C1"}));
  EXPECT_EQ(files_.files["A.$E2"], original_);
}

TEST_F(AppliedMap, DryRunAndCheckShowTheRenamesAndWriteNothing) {
  Outcome dry = apply("old_reference,new_reference\nC1,C5\n", {"--dry-run"});
  EXPECT_EQ(dry.out,
            "A.CE2: section 1 at (30, 0) CAP [CAP]: C1 -> C5\n"
            "A.CE2: 1 reference would change; would write A.CE2; previous content would be "
            "kept in A.$E2\nFinished\n");
  Outcome check = apply("old_reference,new_reference\nC1,C5\n", {"-q", "--check"});
  EXPECT_EQ(check.status, kExitWouldChange);
  EXPECT_EQ(files_.files["A.CE2"], original_);
  EXPECT_FALSE(files_.files.contains("A.$E2"));
}

TEST_F(AppliedMap, RefusesWithExit2AndWritesNothing) {
  struct Case {
    const char* name;
    std::string map;
    std::string message;
  };
  const Case cases[] = {
      {"missing column", "old,new_reference\nR1,R5\n", "no column old_reference"},
      {"malformed row", "old_reference,new_reference\nR1,R5,X\n", "line 2 of the map"},
      {"one old, two new", "old_reference,new_reference\nR1,R5\nR1,R6\n", "otherwise than"},
      {"too long", "old_reference,new_reference\nR1,R12345678\n", "longer than 8"},
      {"new duplicate", "old_reference,new_reference\nR1,R2\n",
       "the map would give R2 to RES [RES] block 0 at (20, 0) and to RES [RES] block 0 at "
       "(10, 0), a duplicate the file does not hold now; nothing was written"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int changesBefore = files_.changeCount();
    Outcome outcome = apply(c.map);
    EXPECT_EQ(outcome.status, kExitUsage);
    EXPECT_EQ(outcome.out, "");
    EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
    EXPECT_EQ(files_.changeCount(), changesBefore);
    EXPECT_EQ(files_.files["A.CE2"], original_);
  }
  Outcome unreadable = RunTool(files_, {"--apply", "none.csv", "A.CE2"});
  EXPECT_EQ(unreadable.status, kExitReadError);
  EXPECT_EQ(unreadable.err, "kerro-cli: File read error. \"none.csv\": no such file\n");
}

}  // namespace
}  // namespace kerro
