#include "cli/numbering_options.h"
#include "cli/cli_test_support.h"

#include <gtest/gtest.h>

#include <sstream>

#include "cli/cli.h"
#include "schematic/schematic_document.h"
#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::ComponentRecord;
using testing::FileOperation;
using testing::MemoryFileSystem;
using testing::Outcome;
using testing::PlacedPart;
using testing::ReferencesIn;
using testing::RunTool;
using testing::SchematicBuilder;

using Bytes = std::vector<uint8_t>;
using Texts = std::vector<std::string>;

// One file of resistors in file order, each sheet a list of references.
Bytes Resistors(const std::vector<Texts>& sheets) {
  SchematicBuilder builder;
  int16_t x = 0;
  for (const Texts& sheet : sheets) {
    builder.header();
    for (const std::string& reference : sheet) {
      builder.component(PlacedPart("RES", reference, x += 10, 0));
    }
  }
  return builder.bytes();
}

// The references of a file of several sections, as written back: FILE, FILE-01 ...
Texts ReferencesOf(MemoryFileSystem& fileSystem, const std::string& path) {
  Bytes joined;
  for (int section = 0;; ++section) {
    auto file = fileSystem.files.find(SchematicDocument::SectionFileName(path, section));
    if (file == fileSystem.files.end()) {
      break;
    }
    joined.insert(joined.end(), file->second.begin(), file->second.end());
  }
  return ReferencesIn(joined);
}

TEST(NumberingOptions, PlainExamples) {
  struct Case {
    const char* name;
    Texts options;
    std::vector<Texts> sheets;
    Texts expected;
  };
  const Case cases[] = {
      {"keep", {"-k"}, {{"R1", "R?", "R3", "R", "C?"}}, {"R1", "R2", "R3", "R4", "C1"}},
      {"keep from 10 by 10",
       {"--keep", "-i", "10", "-s", "10"},
       {{"R1", "R?", "R3", "R", "C?"}},
       {"R1", "R10", "R3", "R20", "C10"}},
      {"lock", {"--lock", "R5"}, {{"R5", "R2", "R9"}}, {"R5", "R1", "R2"}},
      {"a locked number is skipped",
       {"-L", "R3"},
       {{"R6", "R5", "R4", "R3", "R2", "R1"}},
       {"R6", "R5", "R4", "R3", "R2", "R1"}},
      {"patterns",
       {"--lock", "J*", "--lock", "TP1"},
       {{"J5", "J2", "TP1", "TP7", "R3"}},
       {"J5", "J2", "TP1", "TP2", "R1"}},
      {"sheet ranges", {"--sheet-base", "100"}, {{"R7", "R2"}, {"R1"}}, {"R102", "R101", "R201"}},
      {"fix duplicates: the first holder keeps it",
       {"--fix-duplicates"},
       {{"R5", "R5", "R2", "R?"}},
       {"R5", "R3", "R2", "R1"}},
      {"new numbers after the highest",
       {"-k", "--new-numbers", "after"},
       {{"R1", "R?", "R7"}},
       {"R1", "R8", "R7"}},
      {"a reference across sheets stays shared",
       {"--sheet-base", "100"},
       {{"R4", "U3"}, {"U5", "U3"}},
       {"R101", "U101", "U201", "U101"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFileSystem fileSystem;
    fileSystem.files["A.CE2"] = Resistors(c.sheets);
    Texts arguments = c.options;
    arguments.push_back("A.CE2");
    const Outcome outcome = RunTool(fileSystem, arguments);
    EXPECT_EQ(outcome.status, kExitFinished) << outcome.err;
    EXPECT_TRUE(outcome.out.ends_with("\nFinished\n")) << outcome.out;
    EXPECT_EQ(ReferencesOf(fileSystem, "A.CE2"), c.expected);
    // A board that stays as it was is not written at all.
    const bool written = c.sheets.size() > 1 || c.expected != c.sheets.front();
    EXPECT_EQ(fileSystem.files.count("A.$E2"), written ? 1u : 0u);
    if (written) {
      EXPECT_EQ(fileSystem.files["A.$E2"], Resistors(c.sheets));
    }
  }
}

// The default modes never give a reference that a part left alone holds, nor one that the
// 8-character cut makes the same as an earlier one; a prefix that runs out stops the job.
TEST(NumberingOptions, DefaultModesMakeNoDuplicate) {
  struct Case {
    const char* name;
    Texts options;
    std::vector<ComponentRecord> parts;
    Texts expected;  // empty: out of numbers, nothing written
  };
  std::vector<ComponentRecord> cut;
  for (int i = 0; i < 10; ++i) {
    cut.push_back({.x = static_cast<int16_t>(i),
                   .packageTag = "T" + std::to_string(i),
                   .reference = "ABCDEFG" + std::to_string(i),
                   .partName = "RES"});
  }
  const Case cases[] = {
      {"a part without a tag keeps its reference",
       {},
       {{.x = 1, .reference = "J1", .partName = "CON"},
        {.x = 2, .packageTag = "T", .reference = "J99", .partName = "CON"}},
       {"J1", "J2"}},
      {"unnumbered parts each take a number",
       {},
       {PlacedPart("RES", "R", 1, 0), PlacedPart("RES", "R", 2, 0), PlacedPart("RES", "R5", 3, 0)},
       {"R1", "R2", "R3"}},
      {"the cut", {}, cut, {}},
      {"a power symbol keeps its reference",
       {"-a"},
       {{.x = 1, .packageTag = "G", .reference = "U1", .partName = "GND"},
        {.x = 2, .packageTag = "T", .reference = "U7", .partName = "RES"}},
       {"U1", "U2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SchematicBuilder builder;
    builder.header();
    for (const ComponentRecord& part : c.parts) {
      builder.component(part);
    }
    MemoryFileSystem fileSystem;
    fileSystem.files["A.CE2"] = builder.bytes();
    Texts arguments = c.options;
    arguments.push_back("A.CE2");
    const Outcome outcome = RunTool(fileSystem, arguments);
    if (c.expected.empty()) {
      EXPECT_EQ(outcome.status, kExitUsage);
      EXPECT_EQ(outcome.err.substr(0, outcome.err.find('\n')),
                "kerro-cli: No free reference for \"ABCDEFG\". \"A.CE2\"");
      EXPECT_EQ(fileSystem.files.size(), 1u);
      EXPECT_EQ(fileSystem.files["A.CE2"], builder.bytes());
      continue;
    }
    EXPECT_EQ(outcome.status, kExitFinished) << outcome.err;
    EXPECT_EQ(ReferencesOf(fileSystem, "A.CE2"), c.expected);
  }
}

TEST(NumberingOptions, SheetOutOfNumbersStopsBeforeWriting) {
  MemoryFileSystem fileSystem;
  const Bytes original = Resistors({{"R1", "R2", "R3", "R4"}, {"R5"}});
  fileSystem.files["A.CE2"] = original;
  const Outcome outcome = RunTool(fileSystem, {"--sheet-base", "10", "-s", "4", "A.CE2"});
  EXPECT_EQ(outcome.status, kExitUsage);
  EXPECT_EQ(outcome.err,
            "kerro-cli: sheet 1 of \"A.CE2\" needs more \"R\" numbers than fit from 11 to 20; "
            "nothing was written\n");
  EXPECT_EQ(fileSystem.files.size(), 1u);
  EXPECT_EQ(fileSystem.files["A.CE2"], original);
}

TEST(NumberingOptions, BadValuesAreRefusedBeforeAnyFile) {
  struct Case {
    Texts arguments;
    std::string message;
  };
  const Case cases[] = {
      {{"--sheet-base", "0", "A.CE2"}, "Sheet base is out of range."},
      {{"--sheet-base", "100001", "A.CE2"}, "Sheet base is out of range."},
      {{"--sheet-base", "1x", "A.CE2"}, "Sheet base is out of range."},
      {{"-a", "--order", "diagonal", "A.CE2"}, "--order takes columns or rows"},
      {{"--order", "rows", "A.CE2"}, "--auto"},
      {{"--list", "--together", "A.CE2"}, "excludes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    MemoryFileSystem fileSystem;
    fileSystem.files["A.CE2"] = Resistors({{"R1"}});
    const Outcome outcome = RunTool(fileSystem, c.arguments);
    EXPECT_EQ(outcome.status, kExitUsage);
    EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
    EXPECT_TRUE(fileSystem.log.empty());
  }
}

// A design saved as several files; the second holds two sections.
MemoryFileSystem SavedSections() {
  MemoryFileSystem fileSystem;
  fileSystem.files["S.CE2"] = Resistors({{"R1", "R2"}});
  fileSystem.files["S.CE2-01"] = Resistors({{"R5", "R6"}, {"R7"}});
  fileSystem.files["S.CE2-02"] = Resistors({{"R9"}});
  return fileSystem;
}

TEST(NumberingOptions, TogetherNumbersTheFilesAsOneDesign) {
  MemoryFileSystem fileSystem = SavedSections();
  const Outcome outcome = RunTool(fileSystem, {"--together", "S.CE2", "S.CE2-01", "S.CE2-02"});
  EXPECT_EQ(outcome.status, kExitFinished) << outcome.err;
  EXPECT_EQ(outcome.out,
            "S.CE2: nothing changed; nothing written\n"
            "S.CE2-01: 3 references changed; wrote S.CE2-01, S.CE2-01-01; previous content in "
            "S.$E2-01\n"
            "S.CE2-02: 1 reference changed; wrote S.CE2-02; previous content in S.$E2-02\n"
            "Finished\n");
  EXPECT_EQ(ReferencesIn(fileSystem.files["S.CE2"]), (Texts{"R1", "R2"}));
  // A file of two sections keeps them: S.CE2-01 and S.CE2-01-01.
  EXPECT_EQ(ReferencesOf(fileSystem, "S.CE2-01"), (Texts{"R3", "R4", "R5"}));
  EXPECT_EQ(ReferencesIn(fileSystem.files["S.CE2-02"]), (Texts{"R6"}));
  EXPECT_EQ(fileSystem.files["S.$E2-01"], SavedSections().files["S.CE2-01"]);

  fileSystem = SavedSections();
  RunTool(fileSystem, {"--together", "--sheet-base", "100", "S.CE2", "S.CE2-01", "S.CE2-02"});
  EXPECT_EQ(ReferencesOf(fileSystem, "S.CE2-01"), (Texts{"R201", "R202", "R301"}));
  EXPECT_EQ(ReferencesIn(fileSystem.files["S.CE2-02"]), (Texts{"R401"}));
}

TEST(NumberingOptions, TogetherShowsReportsAndChecksEveryFile) {
  MemoryFileSystem fileSystem = SavedSections();
  Outcome outcome = RunTool(fileSystem, {"--together", "--check", "-r", "-", "S.CE2", "S.CE2-02"});
  EXPECT_EQ(outcome.status, kExitWouldChange);
  EXPECT_NE(outcome.out.find("S.CE2-02"), std::string::npos);
  EXPECT_NE(outcome.out.find("S.CE2-02,1,10,0,RES,RES,R9,R3,0,0\r\n"), std::string::npos)
      << outcome.out;
  EXPECT_EQ(fileSystem.files.size(), 3u);

  outcome = RunTool(fileSystem, {"--together", "-n", "S.CE2", "S.CE2-01"});
  EXPECT_EQ(outcome.status, kExitFinished);
  EXPECT_NE(outcome.out.find("R6 -> R4"), std::string::npos) << outcome.out;
  EXPECT_EQ(fileSystem.files.size(), 3u);
  EXPECT_EQ(RunTool(fileSystem, {"--keep", "--check", "S.CE2"}).status, kExitFinished);
}

TEST(NumberingOptions, TogetherWritesNothingUntilAllAreNumbered) {
  MemoryFileSystem fileSystem = SavedSections();
  Outcome outcome = RunTool(fileSystem, {"--together", "S.CE2", "MISSING.CE2"});
  EXPECT_EQ(outcome.status, kExitReadError);
  EXPECT_EQ(outcome.err, "kerro-cli: File read error. \"MISSING.CE2\": no such file\n");
  // S.CE2-01 holds two sections, so it writes S.CE2-01-01 ... but never another given file.
  fileSystem.files["T.CE2"] = Resistors({{"R1"}, {"R2"}});
  fileSystem.files["T.CE2-01"] = Resistors({{"R1"}});
  outcome = RunTool(fileSystem, {"--together", "T.CE2", "T.CE2-01"});
  EXPECT_EQ(outcome.status, kExitUsage);
  EXPECT_EQ(outcome.err,
            "kerro-cli: \"T.CE2\" and \"T.CE2-01\" would write the same file; nothing was "
            "written\n");
  EXPECT_EQ(fileSystem.files.size(), 5u);
  EXPECT_TRUE(std::none_of(fileSystem.log.begin(), fileSystem.log.end(),
                           [](const std::string& entry) { return entry.starts_with("write"); }));
}

// Numbered one by one, S.CE2 (two sections) would write S.CE2-01 over the second file.
TEST(NumberingOptions, FilesOfOneCallThatWouldMeetAreRefused) {
  MemoryFileSystem fileSystem;
  fileSystem.files["S.CE2"] = Resistors({{"R2", "R1"}, {"R4"}});
  fileSystem.files["S.CE2-01"] = Resistors({{"R7"}});
  const MemoryFileSystem original = fileSystem;
  const Outcome outcome = RunTool(fileSystem, {"S.CE2", "S.CE2-01"});
  EXPECT_EQ(outcome.status, kExitUsage);
  EXPECT_EQ(outcome.err,
            "kerro-cli: \"S.CE2\" and \"S.CE2-01\" would write the same file; nothing was "
            "written\n");
  EXPECT_EQ(fileSystem.files, original.files);
  EXPECT_EQ(RunTool(fileSystem, {"-n", "S.CE2", "S.CE2-01"}).status, kExitFinished);
}

TEST(NumberingOptions, TogetherNamesTheFilesAFailedWriteReplacedAndLeft) {
  MemoryFileSystem fileSystem = SavedSections();
  fileSystem.files["S.CE2"] = Resistors({{"R4", "R3"}});  // so that it changes
  const MemoryFileSystem original = fileSystem;
  fileSystem.failOn(FileOperation::Rename, "S.CE2-01");
  const Outcome outcome = RunTool(fileSystem, {"--together", "S.CE2", "S.CE2-01", "S.CE2-02"});
  EXPECT_EQ(outcome.status, kExitWriteError);
  EXPECT_EQ(outcome.err,
            "kerro-cli: File write error. \"S.CE2-01\"\n"
            "kerro-cli: replaced \"S.CE2\"; left as they were \"S.CE2-01\", \"S.CE2-02\"\n");
  EXPECT_EQ(fileSystem.files["S.$E2"], original.files.at("S.CE2"));
  EXPECT_EQ(fileSystem.files["S.CE2-01"], original.files.at("S.CE2-01"));
  EXPECT_EQ(fileSystem.files["S.CE2-02"], original.files.at("S.CE2-02"));
  EXPECT_EQ(fileSystem.files.size(), 4u);  // no temporaries, no further backups
}

TEST(NumberingOptions, HelpShowsEachOptionWithAnExample) {
  MemoryFileSystem fileSystem;
  const Outcome help = RunTool(fileSystem, {"--help"});
  for (const char* text :
       {"-k,--keep", "-L,--lock", "--sheet-base", "--order", "--together", "kerro-cli -k SHEET.CE2",
        "kerro-cli --lock 'J*' --lock TP1 SHEET.CE2", "kerro-cli --sheet-base 100 SHEET.CE2",
        "kerro-cli -a --order rows SHEET.CE2",
        "kerro-cli --together SHEET.CE2 SHEET.CE2-01 SHEET.CE2-02"}) {
    EXPECT_NE(help.out.find(text), std::string::npos) << text;
  }
}

// Library-guided examples, on the real disk beside a TOSK.INI and a text library.
class LibraryExamples : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::TextLibraryBuilder library;
    library.component({.name = "74LS00", .blocks = 4, .refPrefix = "U"})
        .component({.name = "RES", .refPrefix = "R"});
    testing::WriteBytes(folder_.file("PARTS.LB3"), library.bytes());
    testing::WriteToskIni(folder_.file("TOSK.INI"), {folder_.file("PARTS.LB3")});
  }

  using Sheet = std::vector<ComponentRecord>;

  // Runs the tool on a board of these sheets; gives the references and blocks written.
  std::vector<std::pair<std::string, int>> run(const Texts& options,
                                               const std::vector<Sheet>& sheets) {
    SchematicBuilder builder;
    for (const Sheet& sheet : sheets) {
      builder.header();
      for (const ComponentRecord& record : sheet) {
        builder.component(record);
      }
    }
    const std::string path = folder_.file("B.CE2");
    testing::WriteBytes(path, builder.bytes());
    Texts arguments = options;
    arguments.push_back(path);
    const Outcome outcome = RunTool(testing::RealFiles(), arguments);
    EXPECT_EQ(outcome.status, kExitFinished) << outcome.err;
    std::vector<std::pair<std::string, int>> result;
    SchematicDocument document;
    Bytes joined;
    for (int section = 0; section < static_cast<int>(sheets.size()); ++section) {
      const Bytes bytes = testing::ReadBytes(SchematicDocument::SectionFileName(path, section));
      joined.insert(joined.end(), bytes.begin(), bytes.end());
    }
    EXPECT_TRUE(document.loadImage(joined));
    for (const ComponentEntry& c : document.entries()) {
      result.emplace_back(std::string(c.reference()), c.block());
    }
    return result;
  }

  testing::TempFolder folder_;
};

using Numbered = std::vector<std::pair<std::string, int>>;

TEST_F(LibraryExamples, KeepCompletesPackagesAndOpensNewOnes) {
  const Numbered result = run({"-a", "--keep"}, {{PlacedPart("74LS00", "U1", 10, 0, 0),
                                                  PlacedPart("74LS00", "U1", 20, 0, 1),
                                                  PlacedPart("RES", "R?", 25, 0),
                                                  PlacedPart("74LS00", "U?", 30, 0, 7),
                                                  PlacedPart("74LS00", "U??", 40, 0, 7),
                                                  PlacedPart("74LS00", "U", 50, 0, 7),
                                                  PlacedPart("GND", "U?", 55, 0),
                                                  {.x = 60,
                                                   .block = 5,
                                                   .packageTag = "74LS00",
                                                   .reference = "U?",
                                                   .partName = "VCC_74LS00"}}});
  EXPECT_EQ(
      result,
      (Numbered{
          {"U1", 0}, {"U1", 1}, {"R1", 0}, {"U1", 2}, {"U1", 3}, {"U2", 0}, {"U?", 0}, {"U1", 5}}));
}

TEST_F(LibraryExamples, FixDuplicatesMovesOnlyThePackageThatCannotJoin) {
  testing::TextLibraryBuilder library;
  library.component({.name = "DUAL", .blocks = 2, .refPrefix = "U"})
      .component({.name = "SINGLE", .refPrefix = "U"});
  testing::WriteBytes(folder_.file("PARTS.LB3"), library.bytes());
  const auto part = [](const char* name, const char* tag, int16_t x, uint8_t block) {
    return ComponentRecord{
        .x = x, .block = block, .packageTag = tag, .reference = "U3", .partName = name};
  };
  EXPECT_EQ(run({"-a", "--fix-duplicates"},
                {{part("DUAL", "A", 10, 0), part("DUAL", "A", 20, 1), part("SINGLE", "B", 5, 0)}}),
            (Numbered{{"U3", 0}, {"U3", 1}, {"U1", 0}}));
  // A third gate of the two-block part is one too many: it moves, and takes the next.
  EXPECT_EQ(run({"-a", "--fix-duplicates", "--new-numbers", "after"},
                {{part("DUAL", "A", 10, 0), part("DUAL", "A", 20, 1), part("DUAL", "A", 30, 2),
                  part("SINGLE", "B", 5, 0)}}),
            (Numbered{{"U3", 0}, {"U3", 1}, {"U4", 2}, {"U5", 0}}));
}

TEST_F(LibraryExamples, LocksOrderAndSheetRanges) {
  const Sheet gates = {PlacedPart("74LS00", "U7", 30, 10), PlacedPart("74LS00", "U7", 10, 20),
                       PlacedPart("74LS00", "U7", 20, 0)};
  EXPECT_EQ(run({"-a"}, {gates}), (Numbered{{"U1", 2}, {"U1", 0}, {"U1", 1}}));
  EXPECT_EQ(run({"-a", "--order", "rows"}, {gates}), (Numbered{{"U1", 1}, {"U1", 2}, {"U1", 0}}));
  EXPECT_EQ(run({"-a", "--order", "columns", "--lock", "U7"}, {gates}),
            (Numbered{{"U7", 0}, {"U7", 0}, {"U7", 0}}));
  // A package never spans two sheets.
  EXPECT_EQ(run({"-a", "--sheet-base", "100"}, {gates, {PlacedPart("74LS00", "U1", 5, 0)}}),
            (Numbered{{"U101", 2}, {"U101", 0}, {"U101", 1}, {"U201", 0}}));
}

}  // namespace
}  // namespace kerro
