#include "cli/cli.h"
#include "cli/cli_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "preview/svg_preview.h"
#include "schematic/schematic_document.h"
#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::FileOperation;
using testing::MemoryFileSystem;
using testing::Outcome;
using testing::ReferencesIn;
using testing::RunTool;
using testing::SchematicBuilder;

using Bytes = std::vector<uint8_t>;

Bytes Unnumbered() {
  return testing::SmallUnnumberedBoard();
}

Bytes Numbered() {
  SchematicBuilder builder;
  builder.header()
      .component({.packageTag = "RES", .reference = "R1", .partName = "RES"})
      .component({.packageTag = "RES", .reference = "R2", .partName = "RES"});
  return builder.bytes();
}

TEST(KerroCli, BadUsageAndValuesOutOfRangeTouchNothing) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    std::string message;  // expected in the error output
  };
  const std::string initial = "kerro-cli: Initial value is out of range. (1 to 1000; got \"";
  const std::string step = "kerro-cli: Step value is out of range. (1 to 20; got \"";
  const Case cases[] = {
      {"no file", {}, "FILE is required"},
      {"initial 0", {"-i", "0", "A.CE2"}, initial},
      {"initial 1001", {"--initial=1001", "A.CE2"}, initial},
      {"initial negative", {"-i", "-5", "A.CE2"}, initial},
      {"initial not a number", {"-i", "abc", "A.CE2"}, initial + "abc\")\n"},
      {"initial with trailing text", {"-i", "5x", "A.CE2"}, initial},
      {"initial fraction", {"-i", "1.5", "A.CE2"}, initial},
      {"initial huge", {"-i", "99999999999", "A.CE2"}, initial},
      {"initial empty", {"-i", "", "A.CE2"}, initial},
      {"step 0", {"-s", "0", "A.CE2"}, step},
      {"step 21", {"--step", "21", "A.CE2"}, step},
      {"initial is checked first", {"-i", "0", "-s", "0", "A.CE2"}, initial},
      {"unknown option", {"--bogus", "A.CE2"}, "--bogus"},
      {"near an option", {"--dryrun", "A.CE2"}, "did you mean --dry-run?\n"},
      {"near an option with a value", {"--inital=3", "A.CE2"}, "did you mean --initial?\n"},
      {"list with dry run", {"--list", "--dry-run", "A.CE2"}, "excludes"},
      {"lint with check", {"--lint", "--check", "A.CE2"}, "excludes"},
      {"empty file name", {"A.CE2", ""}, "empty FILE"},
      {"report over the schematic", {"-r", "A.CE2", "A.CE2"}, "report would replace"},
      {"report over the backup", {"--report", "A.$E2", "A.CE2"}, "report would replace"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFileSystem fileSystem;
    fileSystem.files["A.CE2"] = Unnumbered();
    Outcome outcome = RunTool(fileSystem, c.arguments);
    EXPECT_EQ(outcome.status, kExitUsage);
    EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
    std::istringstream lines(outcome.err);
    for (std::string line; std::getline(lines, line);) {
      EXPECT_EQ(line.rfind("kerro-cli: ", 0), 0u) << line;
    }
    EXPECT_TRUE(fileSystem.log.empty());
  }
}

TEST(KerroCli, HelpFitsEightyColumns) {
  MemoryFileSystem fileSystem;
  const Outcome outcome = RunTool(fileSystem, {"--help"});
  EXPECT_EQ(outcome.status, kExitFinished);
  EXPECT_EQ(outcome.err, "");
  EXPECT_NE(outcome.out.find("--dry-run"), std::string::npos);
  EXPECT_EQ(outcome.out.find("Excludes"), std::string::npos);
  std::istringstream lines(outcome.out);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_LE(line.size(), 80u) << line;
  }
}

TEST(KerroCli, RenumbersAndSaysFinished) {
  MemoryFileSystem fileSystem;
  fileSystem.files["A.CE2"] = Unnumbered();
  Outcome outcome = RunTool(fileSystem, {"-i", "10", "--step=5", "A.CE2"});
  EXPECT_EQ(outcome.status, kExitFinished);
  EXPECT_EQ(outcome.out,
            "A.CE2: 3 references changed; wrote A.CE2; previous content in A.$E2\nFinished\n");
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(ReferencesIn(fileSystem.files["A.CE2"]),
            (std::vector<std::string>{"R15", "R10", "C10"}));
  EXPECT_EQ(fileSystem.files["A.$E2"], Unnumbered());
}

TEST(KerroCli, QuietPrintsErrorsOnly) {
  MemoryFileSystem fileSystem;
  fileSystem.files["A.CE2"] = Unnumbered();
  Outcome outcome = RunTool(fileSystem, {"-q", "-n", "A.CE2", "M.CE2"});
  EXPECT_EQ(outcome.status, kExitReadError);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, "kerro-cli: File read error. \"M.CE2\": no such file\n");
}

TEST(KerroCli, ExitStatusIsTheWorstOverAllFiles) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    int status;
  };
  const Case cases[] = {
      {"all finished", {"A.CE2", "B.CE2"}, kExitFinished},
      {"one missing", {"A.CE2", "M.CE2", "B.CE2"}, kExitReadError},
      {"write error outranks read error", {"M.CE2", "W.$E2", "A.CE2"}, kExitWriteError},
      {"check: one would change", {"-c", "B.CE2", "A.CE2"}, kExitWouldChange},
      {"check: nothing would change", {"--check", "B.CE2"}, kExitFinished},
      {"check: read error outranks a change", {"-c", "A.CE2", "M.CE2"}, kExitReadError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFileSystem fileSystem;
    fileSystem.files["A.CE2"] = Unnumbered();
    fileSystem.files["B.CE2"] = Numbered();
    fileSystem.files["W.$E2"] = Unnumbered();
    EXPECT_EQ(RunTool(fileSystem, c.arguments).status, c.status);
  }
}

TEST(KerroCli, EveryFileIsTriedInTurnWithItsOwnMessage) {
  MemoryFileSystem fileSystem;
  fileSystem.files["A.CE2"] = Unnumbered();
  fileSystem.files["W.$E2"] = Unnumbered();
  Outcome outcome = RunTool(fileSystem, {"M.CE2", "W.$E2", "A.CE2"});
  EXPECT_EQ(outcome.err,
            "kerro-cli: File read error. \"M.CE2\": no such file\nkerro-cli: File write error. "
            "\"W.$E2\"\n");
  EXPECT_EQ(outcome.out,
            "A.CE2: 2 references changed; wrote A.CE2; previous content in A.$E2\nFinished\n");
  EXPECT_EQ(ReferencesIn(fileSystem.files["A.CE2"]), (std::vector<std::string>{"R2", "R1", "C1"}));
  EXPECT_EQ(fileSystem.files["W.$E2"], Unnumbered());
}

TEST(KerroCli, FailedWriteIsNeverFinished) {
  MemoryFileSystem fileSystem;
  fileSystem.files["A.CE2"] = Unnumbered();
  fileSystem.failOn(FileOperation::Rename);
  Outcome outcome = RunTool(fileSystem, {"A.CE2"});
  EXPECT_EQ(outcome.status, kExitWriteError);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, "kerro-cli: File write error. \"A.CE2\"\n");
  EXPECT_EQ(fileSystem.files["A.CE2"], Unnumbered());
}

TEST(KerroCli, DryRunAndCheckShowChangesAndWriteNothing) {
  for (const char* option : {"--dry-run", "--check"}) {
    SCOPED_TRACE(option);
    MemoryFileSystem fileSystem;
    fileSystem.files["A.CE2"] = Unnumbered();
    Outcome outcome = RunTool(fileSystem, {option, "A.CE2"});
    EXPECT_EQ(outcome.out,
              "A.CE2: section 1 at (10, 20) RES [RES]: R5 -> R2\n"
              "A.CE2: section 1 at (30, 40) RES [RES]: R2 -> R1\n"
              "A.CE2: 2 references would change; would write A.CE2; previous content would "
              "be kept in A.$E2\n"
              "Finished\n");
    EXPECT_EQ(fileSystem.changeCount(), 0);
    EXPECT_EQ(fileSystem.files.size(), 1u);
  }
}

TEST(KerroCli, ReportIsCsvOfEveryFinishedFile) {
  SchematicBuilder builder;
  builder.header();
  builder.header().component(
      {.x = -7, .y = 8, .packageTag = "A,\"B\"", .reference = "U9", .partName = "74LS00"});
  MemoryFileSystem fileSystem;
  fileSystem.files["A.CE2"] = Unnumbered();
  fileSystem.files["two, sections.CE2"] = builder.bytes();
  Outcome outcome = RunTool(fileSystem, {"-r", "out.csv", "A.CE2", "M.CE2", "two, sections.CE2"});
  EXPECT_EQ(outcome.status, kExitReadError);
  // The list itself only with -n or -c.
  EXPECT_EQ(outcome.out,
            "A.CE2: 2 references changed; wrote A.CE2; previous content in A.$E2\nFinished\n"
            "two, sections.CE2: 1 reference changed; wrote two, sections.CE2, "
            "two, sections.CE2-01; previous content in two, sections.$E2\nFinished\n");
  const Bytes& csv = fileSystem.files["out.csv"];
  EXPECT_EQ(std::string(csv.begin(), csv.end()),
            "file,section,x,y,part,tag,old_reference,new_reference,old_block,new_block\r\n"
            "A.CE2,1,10,20,RES,RES,R5,R2,0,0\r\n"
            "A.CE2,1,30,40,RES,RES,R2,R1,0,0\r\n"
            "\"two, sections.CE2\",2,-7,8,74LS00,\"A,\"\"B\"\"\",U9,U1,0,0\r\n");
}

TEST(KerroCli, ReportToStandardOutputAndItsWriteError) {
  MemoryFileSystem fileSystem;
  fileSystem.files["B.CE2"] = Numbered();
  Outcome toOut = RunTool(fileSystem, {"-q", "-c", "-r", "-", "B.CE2"});
  EXPECT_EQ(toOut.status, kExitFinished);
  EXPECT_EQ(toOut.out,
            "file,section,x,y,part,tag,old_reference,new_reference,old_block,new_block\r\n");

  fileSystem.failOn(FileOperation::Rename, "r.csv");
  Outcome failed = RunTool(fileSystem, {"-q", "-n", "-r", "r.csv", "B.CE2"});
  EXPECT_EQ(failed.status, kExitWriteError);
  EXPECT_EQ(failed.err, "kerro-cli: File write error. \"r.csv\"\n");
}

// Each use of a repeatable option takes one value: the FILEs after it stay FILEs.
TEST(KerroCli, RepeatableOptionsTakeOneValueEachAndAnUnmatchedLockIsNamed) {
  MemoryFileSystem fileSystem;
  fileSystem.files["A.CE2"] = Unnumbered();
  fileSystem.files["B.CE2"] = Unnumbered();
  for (const char* option : {"-L", "--lock", "--lib-dir"}) {
    SCOPED_TRACE(option);
    Outcome outcome = RunTool(fileSystem, {"-n", option, "J*", "A.CE2", "B.CE2"});
    EXPECT_EQ(outcome.status, kExitFinished);
    EXPECT_NE(outcome.out.find("A.CE2: section 1"), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("B.CE2: section 1"), std::string::npos) << outcome.out;
  }
  Outcome locked = RunTool(fileSystem, {"-n", "-L", "R5", "-L", "r*", "-L", "J*", "A.CE2"});
  EXPECT_EQ(locked.err,
            "kerro-cli: warning: --lock r* matches no reference in any FILE\n"
            "kerro-cli: warning: --lock J* matches no reference in any FILE\n");
  EXPECT_EQ(RunTool(fileSystem, {"-q", "-n", "-L", "J*", "A.CE2"}).err, "");
}

TEST(KerroCli, ListShowsComponentsAndChangesNothing) {
  SchematicBuilder builder;
  builder.header().component(
      {.x = 10, .y = 20, .packageTag = "RES", .reference = "R5", .partName = "RES"});
  builder.header().component({.x = -30,
                              .y = 40,
                              .block = 2,
                              .packageTag = "74LS00",
                              .reference = "U\x1b[2J",
                              .partName = "74LS00"});
  // Escaped control characters make the longest line: shown whole.
  builder.component({.packageTag = std::string(15, '\x01'),
                     .reference = std::string(8, '\x02'),
                     .partName = std::string(16, '\x03')});
  const auto escaped = [](int count, const char* one) {
    std::string text;
    for (int i = 0; i < count; ++i) {
      text += one;
    }
    return text;
  };
  MemoryFileSystem fileSystem;
  fileSystem.files["A.CE2"] = builder.bytes();
  Outcome outcome = RunTool(fileSystem, {"--list", "A.CE2", "M.CE2"});
  EXPECT_EQ(outcome.status, kExitReadError);
  EXPECT_EQ(outcome.out,
            "A.CE2\n"
            "  section      x      y block  tag              ref       part\n"
            "        1     10     20     0  RES              R5        RES\n"
            "        2    -30     40     2  74LS00           U\\x1B[2J  74LS00\n"
            "        2      0      0     0  " +
                escaped(15, "\\x01") + "  " + escaped(8, "\\x02") + "  " + escaped(16, "\\x03") +
                "\n");
  EXPECT_EQ(outcome.err, "kerro-cli: File read error. \"M.CE2\": no such file\n");
  EXPECT_EQ(fileSystem.changeCount(), 0);
}

TEST(KerroCli, AFileGivenTwiceIsRenumberedOnce) {
  MemoryFileSystem fileSystem;
  fileSystem.files["A.CE2"] = Unnumbered();
  Outcome outcome = RunTool(fileSystem, {"A.CE2", "A.CE2"});
  EXPECT_EQ(outcome.status, kExitFinished);
  EXPECT_EQ(outcome.out,
            "A.CE2: 2 references changed; wrote A.CE2; previous content in A.$E2\nFinished\n");
  EXPECT_EQ(fileSystem.files["A.$E2"], Unnumbered());  // the backup is the original
}

TEST(KerroCli, HelpAndVersion) {
  MemoryFileSystem fileSystem;
  Outcome version = RunTool(fileSystem, {"--version"});
  EXPECT_EQ(version.status, kExitFinished);
  EXPECT_EQ(version.out, "kerro-cli 0.91e\n");

  Outcome help = RunTool(fileSystem, {"--help"});
  EXPECT_EQ(help.status, kExitFinished);
  for (const char* text :
       {"--initial", "--step", "--auto", "--dry-run", "--report", "--list", "--check", "--quiet",
        "Exit status", "file,section,x,y,part,tag,old_reference,new_reference"}) {
    EXPECT_NE(help.out.find(text), std::string::npos) << text;
  }
  EXPECT_TRUE(fileSystem.log.empty());
}

TEST(KerroCli, WorksOnTheRealDisk) {
  testing::TempFolder folder;
  testing::WriteBytes(folder.file("D.CE2"), Unnumbered());
  Outcome outcome =
      RunTool(testing::RealFiles(), {"-r", folder.file("r.csv"), folder.file("D.CE2")});
  EXPECT_EQ(outcome.status, kExitFinished);
  EXPECT_EQ(folder.list(), (std::vector<std::string>{"D.$E2", "D.CE2", "r.csv"}));
  EXPECT_EQ(testing::ReadBytes(folder.file("D.$E2")), Unnumbered());
  EXPECT_EQ(ReferencesIn(testing::ReadBytes(folder.file("D.CE2"))),
            (std::vector<std::string>{"R2", "R1", "C1"}));
}

// The backup must stay the file as it was before the run, however often the file is named.
TEST(KerroCli, AFileNamedTwiceIsRenumberedOnce) {
  testing::TempFolder folder;
  testing::WriteBytes(folder.file("D.CE2"), Unnumbered());
  std::vector<std::string> arguments{folder.file("D.CE2"), folder.path() + "/./D.CE2"};
#ifndef _WIN32
  std::filesystem::create_symlink("D.CE2", folder.file("L.CE2"));
  arguments.push_back(folder.file("L.CE2"));
#endif
  const Outcome outcome = RunTool(testing::RealFiles(), arguments);
  EXPECT_EQ(outcome.status, kExitFinished);
  EXPECT_EQ(testing::ReadBytes(folder.file("D.$E2")), Unnumbered());
  EXPECT_EQ(ReferencesIn(testing::ReadBytes(folder.file("D.CE2"))),
            (std::vector<std::string>{"R2", "R1", "C1"}));
}

TEST(KerroCli, PreviewWithDryRunWritesThePictureAndNothingElse) {
  MemoryFileSystem fileSystem;
  fileSystem.files["A.CE2"] = Unnumbered();
  const Outcome outcome = RunTool(fileSystem, {"--dry-run", "--preview", "A.svg", "A.CE2"});
  EXPECT_EQ(outcome.status, kExitFinished) << outcome.err;
  EXPECT_EQ(fileSystem.files.size(), 2u);
  EXPECT_EQ(fileSystem.files["A.CE2"], Unnumbered());
  const Bytes& svg = fileSystem.files["A.svg"];
  const std::string picture(svg.begin(), svg.end());
  EXPECT_TRUE(picture.starts_with("<?xml")) << picture.substr(0, 80);
  // R5 became R2: the picture shows the numbering that the run would write.
  EXPECT_NE(picture.find(">R2</text>"), std::string::npos);
  EXPECT_NE(picture.find(">R5</text>"), std::string::npos);
}

TEST(KerroCli, PreviewIsRefusedBeforeAnythingIsWritten) {
  SchematicBuilder twoSections;
  twoSections.header().component({.packageTag = "T", .reference = "R2"}).header();
  SchematicBuilder huge;
  huge.header();
  for (size_t i = 0; i <= kMaxComponents; ++i) {
    huge.component({.packageTag = "T", .reference = "R1"});
  }
  struct Case {
    const char* name;
    std::string preview;
    Bytes file;
    std::string message;
  };
  const Case cases[] = {
      {"the file itself", "A.CE2", twoSections.bytes(), "would replace \"A.CE2\""},
      {"its backup", "A.$E2", twoSections.bytes(), "would replace"},
      {"its second section", "A.CE2-01", twoSections.bytes(), "would replace"},
      {"too many components", "A.svg", huge.bytes(), "at most 200000 components"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFileSystem fileSystem;
    fileSystem.files["A.CE2"] = c.file;
    const Outcome outcome = RunTool(fileSystem, {"--preview", c.preview, "A.CE2"});
    EXPECT_EQ(outcome.status, kExitUsage);
    EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
    EXPECT_EQ(fileSystem.files.size(), 1u);
    EXPECT_EQ(fileSystem.files["A.CE2"], c.file);
  }
}

}  // namespace
}  // namespace kerro

namespace kerro {
namespace {

TEST(KerroCli, SaysWhenSectionFilesBesideAFileAreLeftOut) {
  testing::MemoryFileSystem fileSystem;
  fileSystem.files["S.CE2"] = testing::SmallUnnumberedBoard();
  fileSystem.files["S.CE2-01"] = testing::SmallUnnumberedBoard();
  const std::string note =
      "kerro-cli: note: S.CE2-01 beside S.CE2 look like its other sheets, numbered on their "
      "own; to number them as one design: kerro-cli --together S.CE2 S.CE2-01\n";
  EXPECT_EQ(testing::RunTool(fileSystem, {"-n", "S.CE2"}).err, note);
  EXPECT_EQ(testing::RunTool(fileSystem, {"-q", "-n", "S.CE2"}).err, "");
  EXPECT_EQ(testing::RunTool(fileSystem, {"-n", "S.CE2", "S.CE2-01"}).err, "");
  // -q leaves the list: it is what was asked for.
  EXPECT_NE(testing::RunTool(fileSystem, {"-q", "--list", "S.CE2"}).out.find("R5"),
            std::string::npos);
}

}  // namespace
}  // namespace kerro

namespace kerro {
namespace {

// Library-guided numbering without the libraries it was told to use would put gates into
// the wrong packages, so kerro-cli stops before writing; settings that do nothing are said.
TEST(KerroCli, LibrarySettingsThatCannotBeTrustedAreSaid) {
  const auto ini = [](const std::string& lines) {
    const std::string text = "[LIBRARY]\r\n" + lines;
    return std::vector<uint8_t>(text.begin(), text.end());
  };
  testing::MemoryFileSystem fileSystem;
  fileSystem.files["A.CE2"] = testing::SmallUnnumberedBoard();
  Outcome noSettings = testing::RunTool(fileSystem, {"-a", "-n", "A.CE2"});
  EXPECT_EQ(noSettings.status, kExitFinished);
  EXPECT_EQ(noSettings.err,
            "kerro-cli: note: no TOSK.INI beside A.CE2 or the program: numbering goes by "
            "position, without part libraries\n");
  EXPECT_EQ(testing::RunTool(fileSystem, {"-n", "--lib-dir", "x", "A.CE2"}).err,
            "kerro-cli: warning: --lib-dir is used only with --auto\n");

  fileSystem.files["TOSK.INI"] = ini("LIB0=GONE.LB3\r\n");
  Outcome missing = testing::RunTool(fileSystem, {"-a", "A.CE2"});
  EXPECT_EQ(missing.status, kExitReadError);
  EXPECT_EQ(missing.err, "kerro-cli: File read error. \"GONE.LB3\": no such file\n");
  EXPECT_EQ(fileSystem.changeCount(), 0);

  fileSystem.files["TOSK.INI"] = ini("LIB16=LATE.LB3\r\n");
  EXPECT_EQ(testing::RunTool(fileSystem, {"-a", "-n", "A.CE2"}).err,
            "kerro-cli: warning: TOSK.INI lists LIB16; only LIB0 to LIB15 are read\n");
}

}  // namespace
}  // namespace kerro
