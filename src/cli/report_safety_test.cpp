// The report is the undo record: on the disk, whole, before any schematic is replaced.

#include <gtest/gtest.h>

#include <filesystem>

#include "cli/cli.h"
#include "cli/cli_test_support.h"
#include "testing/crash_model_file_system.h"
#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::CrashModelFileSystem;
using testing::DiskState;
using testing::FileOperation;
using testing::MemoryFileSystem;
using testing::Outcome;
using testing::RunTool;
using Bytes = std::vector<uint8_t>;

constexpr std::string_view kHeader =
    "file,section,x,y,part,tag,old_reference,new_reference,old_block,new_block\r\n";

Bytes TwoSections() {
  testing::SchematicBuilder builder;
  builder.header()
      .component({.x = 10, .packageTag = "RES", .reference = "R5", .partName = "RES"})
      .header()
      .component({.x = 20, .packageTag = "RES", .reference = "R9", .partName = "RES"});
  return builder.bytes();
}

TEST(Report, ThatCannotBeWrittenStopsTheRunBeforeAnySchematicIsTouched) {
  MemoryFileSystem memory;
  memory.files["A.CE2"] = testing::SmallUnnumberedBoard();
  memory.failOn(FileOperation::Rename, "r.csv");
  Outcome failed = RunTool(memory, {"-r", "r.csv", "A.CE2"});
  EXPECT_EQ(failed.status, kExitWriteError);
  EXPECT_EQ(failed.out, "");
  EXPECT_EQ(failed.err, "kerro-cli: File write error. \"r.csv\"\n");
  EXPECT_EQ(memory.files.size(), 1u);  // no backup, no temporary
  EXPECT_EQ(memory.files["A.CE2"], testing::SmallUnnumberedBoard());

  testing::TempFolder folder;
  const std::string path = folder.file("A.CE2");
  testing::WriteBytes(path, testing::SmallUnnumberedBoard());
  const std::string nowhere = folder.file("no/such/folder/x.csv");
  EXPECT_EQ(RunTool(testing::RealFiles(), {"-q", "-r", nowhere, path}).status, kExitWriteError);
  EXPECT_EQ(testing::ReadBytes(path), testing::SmallUnnumberedBoard());
  EXPECT_EQ(folder.list(), std::vector<std::string>{"A.CE2"});
}

TEST(Report, OnStandardOutputIsTheCsvAlone) {
  MemoryFileSystem memory;
  memory.files["A.CE2"] = testing::SmallUnnumberedBoard();
  for (const char* option : {"--dry-run", "--auto", "--keep"}) {
    SCOPED_TRACE(option);
    memory.files["A.CE2"] = testing::SmallUnnumberedBoard();
    Outcome outcome = RunTool(memory, {option, "-r", "-", "A.CE2"});
    ASSERT_EQ(outcome.status, kExitFinished) << outcome.err;
    EXPECT_TRUE(outcome.out.starts_with(kHeader)) << outcome.out;
    EXPECT_EQ(outcome.out.find("Finished"), std::string::npos);
    EXPECT_NE(outcome.err.find("Finished\n"), std::string::npos);
  }
  Outcome lint = RunTool(memory, {"--lint", "-r", "-", "A.CE2"});
  EXPECT_TRUE(lint.out.starts_with("file,section,x,y,part,tag,reference,block,finding,detail\r\n"));
  EXPECT_EQ(lint.out.find("A.CE2:"), std::string::npos) << "a finding line on standard output";
}

// Every state a power loss can leave, for a run of one job (the report made from its own
// change list) and of several (the report made first from a pass in memory): wherever a
// schematic holds new content, the report is whole; the report is never a part of itself.
TEST(Report, IsOnTheDiskWholeBeforeTheFirstSchematicIsReplaced) {
  const std::vector<std::vector<std::string>> runs = {
      {"board/S.CE2"},
      {"board/S.CE2", "board/T.CE2"},
      {"--together", "board/S.CE2", "board/T.CE2"},
  };
  for (const std::vector<std::string>& files : runs) {
    SCOPED_TRACE(files.size() == 1 ? "one file" : files.front());
    DiskState start;
    start.put("board/S.CE2", TwoSections());
    start.put("board/S.CE2-01", {1, 2, 3});
    start.put("board/T.CE2", testing::SmallUnnumberedBoard());
    const Bytes oldReport = {'o', 'l', 'd'};
    start.put("out/r.csv", oldReport);
    CrashModelFileSystem run(start);
    std::vector<std::string> arguments = {"-q", "-r", "out/r.csv"};
    arguments.insert(arguments.end(), files.begin(), files.end());
    ASSERT_EQ(RunTool(run, arguments).status, kExitFinished);
    const Bytes report = *run.state().content("out/r.csv");
    ASSERT_TRUE(std::string(report.begin(), report.end()).starts_with(kHeader));
    ASSERT_NE(run.state().content("board/S.CE2"), TwoSections());

    int schematicReplaced = 0;
    const int states =
        testing::ForEachCrashState(start, run.log(), [&](const DiskState& state, size_t done) {
          SCOPED_TRACE("power lost after " + std::to_string(done) + " operations");
          const auto atReport = state.content("out/r.csv");
          EXPECT_TRUE(atReport == report || atReport == oldReport)
              << "the report is neither the old one nor whole";
          bool replaced = false;
          for (const char* schematic : {"board/S.CE2", "board/S.CE2-01", "board/T.CE2"}) {
            replaced = replaced || state.content(schematic) != start.content(schematic);
          }
          if (replaced) {
            ++schematicReplaced;
            EXPECT_EQ(atReport, report) << "a schematic was replaced before its undo record";
          }
        });
    EXPECT_GT(states, 0);
    EXPECT_GT(schematicReplaced, 0);
  }
}

}  // namespace
}  // namespace kerro
