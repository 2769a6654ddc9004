#include "renumber/renumber_by_library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>

#include "renumber/reference.h"
#include "renumber/renumber_job.h"
#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::ComponentRecord;
using testing::SchematicBuilder;

struct Placed {
  int16_t x;
  int16_t y;
  std::string tag;
  std::string reference;
  std::string partName;
  uint8_t block = 0;
};

SchematicDocument Build(const std::vector<std::vector<Placed>>& sections) {
  SchematicBuilder builder;
  for (const auto& section : sections) {
    builder.header();
    for (const Placed& p : section) {
      builder.component({.x = p.x,
                         .y = p.y,
                         .block = p.block,
                         .packageTag = p.tag,
                         .reference = p.reference,
                         .partName = p.partName});
    }
  }
  SchematicDocument document;
  EXPECT_TRUE(document.loadImage(builder.bytes()));
  return document;
}

BlockCountLookup Blocks(std::map<std::string, int> counts) {
  return [counts = std::move(counts)](std::string_view name) -> std::optional<int> {
    auto it = counts.find(std::string(name));
    return it == counts.end() ? std::nullopt : std::optional<int>(it->second);
  };
}

std::vector<std::string> References(SchematicDocument& document) {
  std::vector<std::string> references;
  for (const ComponentEntry& component : document.entries()) {
    references.emplace_back(component.reference());
  }
  return references;
}

std::vector<int> Blocks(SchematicDocument& document) {
  std::vector<int> blocks;
  for (const ComponentEntry& component : document.entries()) {
    blocks.push_back(component.block());
  }
  return blocks;
}

TEST(RenumberByLibrary, NumbersByPositionNotByPresentNumber) {
  SchematicDocument document =
      Build({{{10, 0, "R", "R7", "RES"}, {30, 0, "R", "R3", "RES"}, {20, 0, "R", "R1", "RES"}}});
  RenumberByLibrary(document, 1, 1, Blocks({}));
  EXPECT_EQ(References(document), (std::vector<std::string>{"R1", "R3", "R2"}));
}

TEST(RenumberByLibrary, SectionsFollowOneAnother) {
  // The second section's components sort after every first-section component whose
  // position is below their own plus 5000.
  SchematicDocument document = Build({{{4000, 0, "R", "R1", "RES"}, {6000, 0, "R", "R2", "RES"}},
                                      {{900, 0, "R", "R3", "RES"}, {1100, 0, "R", "R4", "RES"}}});
  RenumberByLibrary(document, 1, 1, Blocks({}));
  EXPECT_EQ(References(document), (std::vector<std::string>{"R1", "R3", "R2", "R4"}));
}

TEST(RenumberByLibrary, PacksBlocksIntoPackages) {
  std::vector<Placed> gates;
  for (int16_t i = 0; i < 5; ++i) {
    gates.push_back({static_cast<int16_t>(10 * i), 0, "74LS00", "U9", "74LS00", 7});
  }
  SchematicDocument document = Build({gates});
  RenumberByLibrary(document, 1, 1, Blocks({{"74LS00", 4}}));
  EXPECT_EQ(References(document), (std::vector<std::string>{"U1", "U1", "U1", "U1", "U2"}));
  EXPECT_EQ(Blocks(document), (std::vector<int>{0, 1, 2, 3, 0}));
}

TEST(RenumberByLibrary, PackagesOfOneTagAreKeptApartByPrefix) {
  // Under one tag, a U package and an IC package each count their own blocks; keyed by tag
  // alone, IC1 would get block 1 of U1's package and U2 three blocks of a 2-block part.
  SchematicDocument document = Build({{{0, 0, "T", "U1", "Q4", 9},
                                       {1, 0, "T", "IC1", "Q4", 9},
                                       {2, 0, "T", "U1", "Q2", 9},
                                       {3, 0, "T", "U1", "Q2", 9},
                                       {4, 0, "T", "U1", "Q4", 9}}});
  RenumberByLibrary(document, 1, 1, Blocks({{"Q4", 4}, {"Q2", 2}}));
  EXPECT_EQ(References(document), (std::vector<std::string>{"U1", "IC1", "U1", "U2", "U2"}));
  EXPECT_EQ(Blocks(document), (std::vector<int>{0, 0, 1, 0, 1}));
}

TEST(RenumberByLibrary, UnknownAndSingleBlockPartsTakeNewNumbers) {
  SchematicDocument document = Build({{{0, 0, "X", "U5", "MYSTERY", 3},
                                       {1, 0, "X", "U5", "MYSTERY", 3},
                                       {2, 0, "Y", "U5", "SINGLE", 2}}});
  RenumberByLibrary(document, 1, 1, Blocks({{"SINGLE", 1}}));
  EXPECT_EQ(References(document), (std::vector<std::string>{"U1", "U2", "U3"}));
  EXPECT_EQ(Blocks(document), (std::vector<int>{0, 0, 0}));
}

TEST(RenumberByLibrary, PowerNamesDecideByExactBytes) {
  SchematicDocument document = Build(
      {{{0, 0, "P", "P7", "GND", 5}, {1, 0, "P", "P7", "vcc", 5}, {2, 0, "P", "P7", "VCC_A", 5}}});
  RenumberByLibrary(document, 1, 1, Blocks({}));
  // The power block shares the number of the ordinary package of its tag and prefix.
  EXPECT_EQ(References(document), (std::vector<std::string>{"P7", "P1", "P1"}));
  // The power symbol keeps its block, the ordinary part gets 0, a power block keeps its.
  EXPECT_EQ(Blocks(document), (std::vector<int>{5, 0, 5}));
}

TEST(RenumberByLibrary, PowerBlocksFollowTheirPackages) {
  std::vector<Placed> parts;
  for (int16_t i = 0; i < 8; ++i) {
    parts.push_back({i, 0, "74LS00", "U1", "74LS00"});
  }
  parts.push_back({100, 0, "R", "U4", "RES"});  // takes U3, the next free U number
  for (int16_t i = 0; i < 3; ++i) {
    parts.push_back({static_cast<int16_t>(200 + i), 0, "74LS00", "U9", "VCC_74LS00", 9});
  }
  SchematicDocument document = Build({parts});
  RenumberByLibrary(document, 1, 1, Blocks({{"74LS00", 4}}));
  auto references = References(document);
  EXPECT_EQ(references[0], "U1");
  EXPECT_EQ(references[7], "U2");
  EXPECT_EQ(references[8], "U3");
  EXPECT_EQ(references[9], "U1");
  EXPECT_EQ(references[10], "U2");
  EXPECT_EQ(references[11], "U4");
  EXPECT_EQ(document.entries()[9].block(), 9);
}

TEST(RenumberByLibrary, SkipsEmptyTagsAndReferences) {
  SchematicDocument document = Build({{{0, 0, "", "R5", "RES", 2},
                                       {1, 0, "R", "", "RES", 2},
                                       {2, 0, "R", "R5", "RES", 2},
                                       {3, 0, "", "U5", "VCC_X", 2}}});
  RenumberByLibrary(document, 1, 1, Blocks({}));
  EXPECT_EQ(References(document), (std::vector<std::string>{"R5", "", "R1", "U5"}));
  EXPECT_EQ(Blocks(document), (std::vector<int>{2, 2, 0, 2}));
}

TEST(RenumberByLibrary, InitialAndStepAndLongReferences) {
  SchematicDocument document =
      Build({{{0, 0, "A", "ABCDEFG1", "X"}, {1, 0, "A", "ABCDEFG2", "X"}, {2, 0, "C", "C", "X"}}});
  RenumberByLibrary(document, 100, 20, Blocks({}));
  // ABCDEFG120 would be cut to ABCDEFG1 again: the next number that shows another
  // reference is 200.
  EXPECT_EQ(References(document), (std::vector<std::string>{"ABCDEFG1", "ABCDEFG2", "C100"}));
}

TEST(RenumberByLibrary, ChangesOnlyReferenceAndBlockBytes) {
  SchematicDocument document = Build({{{5, 5, "74LS00", "U3", "74LS00", 3},
                                       {6, 5, "74LS00", "U3", "VCC_74LS00", 3},
                                       {7, 5, "G", "G1", "GND", 1}}});
  std::vector<uint8_t> before(document.image().begin(), document.image().end());
  RenumberByLibrary(document, 1, 1, Blocks({{"74LS00", 4}}));
  auto after = document.image();
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < before.size(); ++i) {
    if (before[i] == after[i])
      continue;
    const size_t inRecord = (i - 60) % 60;
    EXPECT_TRUE(inRecord == 11 || (inRecord >= 32 && inRecord < 41)) << "byte " << i;
  }
}

}  // namespace
}  // namespace kerro

namespace kerro {
namespace {

using testing::TempFolder;
using testing::TextComponent;
using testing::TextLibraryBuilder;

// A schematic beside its TOSK.INI and one text library, on the real disk.
class LibraryGuidedJob : public ::testing::Test {
 protected:
  void SetUp() override {
    TextLibraryBuilder library;
    library.component(TextComponent{.name = "74LS00", .blocks = 4, .refPrefix = "U"})
        .component(TextComponent{.name = "RES", .refPrefix = "R"})
        .alias("74LS00", "7400");
    testing::WriteBytes(folder_.file("PARTS.LB3"), library.bytes());
    SchematicBuilder schematic;
    schematic.header();
    for (int16_t i = 0; i < 5; ++i) {
      schematic.component({.x = static_cast<int16_t>(100 - i),
                           .block = 9,
                           .packageTag = "G",
                           .reference = "U7",
                           .partName = "7400"});
    }
    schematic.component({.x = 200, .packageTag = "R", .reference = "R4", .partName = "RES"});
    schematicPath_ = folder_.file("BOARD.CE2");
    original_ = schematic.bytes();
    testing::WriteBytes(schematicPath_, original_);
  }

  JobResult run(std::vector<std::string>* failedLibraries) {
    JobContext context{testing::RealFiles(),
                       [&](const std::string& path) { failedLibraries->push_back(path); }};
    return RenumberJob(
        {.path = schematicPath_, .initial = 1, .step = 1, .mode = NumberingMode::ByLibrary},
        context);
  }

  std::vector<std::pair<std::string, int>> result() {
    SchematicDocument document;
    EXPECT_TRUE(document.load(testing::RealFiles(), schematicPath_));
    std::vector<std::pair<std::string, int>> numbered;
    for (const ComponentEntry& c : document.entries()) {
      numbered.emplace_back(std::string(c.reference()), c.block());
    }
    return numbered;
  }

  TempFolder folder_;
  std::string schematicPath_;
  std::vector<uint8_t> original_;
};

TEST_F(LibraryGuidedJob, PacksGatesWithTheLibrariesOfToskIni) {
  testing::WriteToskIni(folder_.file("TOSK.INI"), {folder_.file("PARTS.LB3")});
  std::vector<std::string> failed;
  EXPECT_EQ(run(&failed).outcome, JobOutcome::Finished);
  EXPECT_TRUE(failed.empty());
  // Sorted by x the gates run backwards through the file.
  using Numbered = std::vector<std::pair<std::string, int>>;
  EXPECT_EQ(result(), (Numbered{{"U2", 0}, {"U1", 3}, {"U1", 2}, {"U1", 1}, {"U1", 0}, {"R1", 0}}));
  EXPECT_EQ(testing::ReadBytes(folder_.file("BOARD.$E2")), original_);
}

// On double-byte Windows the folder and file names below end in the byte of '\'. The
// TOSK.INI beside the schematic must still be found, and the library it lists by a path
// relative to the current directory must load.
TEST_F(LibraryGuidedJob, FolderAndFileNamesInCodePage932) {
  KERRO_SKIP_UNLESS_CODE_PAGE_932_NAMES();
  namespace fs = std::filesystem;
  const std::string board = folder_.makeFolder(std::string(cp932::kBoardTable));
  const std::string separator = kNativePathStyle == PathStyle::Posix ? "/" : "\\";
  const std::string library =
      std::string(cp932::kBoardTable) + separator + std::string(cp932::kSo) + ".LB3";
  testing::WriteBytes(folder_.file(library), testing::ReadBytes(folder_.file("PARTS.LB3")));
  testing::WriteToskIni(board + separator + "TOSK.INI", {library});
  schematicPath_ = board + separator + std::string(cp932::kTable) + ".CE2";
  testing::WriteBytes(schematicPath_, original_);

  const fs::path before = fs::current_path();
  fs::current_path(folder_.path());
  std::vector<std::string> failed;
  const JobOutcome outcome = run(&failed).outcome;
  fs::current_path(before);
  EXPECT_EQ(outcome, JobOutcome::Finished);
  EXPECT_TRUE(failed.empty());
  using Numbered = std::vector<std::pair<std::string, int>>;
  EXPECT_EQ(result(), (Numbered{{"U2", 0}, {"U1", 3}, {"U1", 2}, {"U1", 1}, {"U1", 0}, {"R1", 0}}));
  EXPECT_EQ(testing::ReadBytes(board + separator + std::string(cp932::kTable) + ".$E2"), original_);
}

TEST_F(LibraryGuidedJob, AFailingLibraryIsReportedAndTheJobGoesOn) {
  const std::string missing = folder_.file("MISSING.LB3");
  testing::WriteToskIni(folder_.file("TOSK.INI"), {folder_.file("PARTS.LB3"), missing});
  std::vector<std::string> failed;
  EXPECT_EQ(run(&failed).outcome, JobOutcome::Finished);
  EXPECT_EQ(failed, std::vector<std::string>{missing});
  // With the set emptied no part is known: every gate takes a number of its own.
  using Numbered = std::vector<std::pair<std::string, int>>;
  EXPECT_EQ(result(), (Numbered{{"U5", 0}, {"U4", 0}, {"U3", 0}, {"U2", 0}, {"U1", 0}, {"R1", 0}}));
}

}  // namespace
}  // namespace kerro
