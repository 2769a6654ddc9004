#include "renumber/renumber_job.h"

#include <gtest/gtest.h>

#include <climits>

#include "renumber/safe_save.h"
#include "schematic/schematic_document.h"
#include "testing/code_page_932.h"
#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::ComponentRecord;
using testing::FileOperation;
using testing::MemoryFileSystem;
using testing::ReferencesIn;
using testing::SchematicBuilder;

using Bytes = std::vector<uint8_t>;

Bytes OneSection() {
  return testing::SmallUnnumberedBoard();
}

// Three sections; the components of the second and third need renumbering.
SchematicBuilder ThreeSections() {
  SchematicBuilder builder;
  builder.header().component({.x = 1, .y = 2, .packageTag = "T", .reference = "R1"});
  builder.header().component({.x = -3, .y = 4, .packageTag = "T", .reference = "R9"});
  builder.header().fixedRecord(2).component(
      {.x = 5, .y = -6, .packageTag = "T", .reference = "R7", .partName = "RES"});
  return builder;
}

JobResult RunJob(MemoryFileSystem& fileSystem, JobRequest request) {
  JobContext context{fileSystem, {}};
  return RenumberJob(request, context);
}

bool HasTemporaries(const MemoryFileSystem& fileSystem) {
  for (const auto& [name, bytes] : fileSystem.files) {
    if (name.find('~') != std::string::npos) {
      return true;
    }
  }
  return false;
}

TEST(RenumberJob, RangesAreCheckedFirstAndTouchNothing) {
  struct Case {
    const char* name;
    int initial;
    int step;
    JobOutcome expected;
  };
  const Case cases[] = {
      {"initial 0", 0, 1, JobOutcome::InitialOutOfRange},
      {"initial 1001", 1001, 1, JobOutcome::InitialOutOfRange},
      {"initial negative", -5, 1, JobOutcome::InitialOutOfRange},
      {"initial lowest int", INT_MIN, 1, JobOutcome::InitialOutOfRange},
      {"initial wins over step", 0, 0, JobOutcome::InitialOutOfRange},
      {"step 0", 1, 0, JobOutcome::StepOutOfRange},
      {"step 21", 1, 21, JobOutcome::StepOutOfRange},
      {"step negative", 1000, -1, JobOutcome::StepOutOfRange},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFileSystem fileSystem;
    fileSystem.files["A.CE2"] = OneSection();
    JobResult result = RunJob(fileSystem, {.path = "A.CE2", .initial = c.initial, .step = c.step});
    EXPECT_EQ(result.outcome, c.expected);
    EXPECT_TRUE(fileSystem.log.empty());
  }
}

TEST(RenumberJob, HighestValuesAreAccepted) {
  MemoryFileSystem fileSystem;
  fileSystem.files["A.CE2"] = OneSection();
  JobResult result = RunJob(fileSystem, {.path = "A.CE2", .initial = 1000, .step = 20});
  EXPECT_EQ(result.outcome, JobOutcome::Finished);
  EXPECT_EQ(ReferencesIn(fileSystem.files["A.CE2"]),
            (std::vector<std::string>{"R1020", "R1000", "C1000"}));
}

TEST(RenumberJob, EmptyPathDoesNothing) {
  MemoryFileSystem fileSystem;
  JobResult result = RunJob(fileSystem, {.path = ""});
  EXPECT_EQ(result.outcome, JobOutcome::EmptyPath);
  EXPECT_TRUE(fileSystem.log.empty());
}

TEST(RenumberJob, UnreadableFilesAreReadErrorsAndChangeNothing) {
  struct Case {
    const char* name;
    bool exists;
    Bytes bytes;
    bool locked;
  };
  const Case cases[] = {
      {"missing", false, {}, false},
      {"not a schematic", true, Bytes{'+', 'T', 'O', 'S', 'K', '3'}, false},
      {"empty", true, {}, false},
      {"locked by another process", true, OneSection(), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFileSystem fileSystem;
    fileSystem.files["old.$E2"] = {1, 2, 3};
    if (c.exists) {
      fileSystem.files["old.CE2"] = c.bytes;
    }
    if (c.locked) {
      fileSystem.lock("old.CE2");
    }
    const auto before = fileSystem.files;
    JobResult result = RunJob(fileSystem, {.path = "old.CE2"});
    EXPECT_EQ(result.outcome, JobOutcome::ReadError);
    EXPECT_EQ(result.errorPath, "old.CE2");
    EXPECT_EQ(fileSystem.files, before);
    EXPECT_EQ(fileSystem.changeCount(), 0);
  }
}

TEST(RenumberJob, RenumbersInPlaceAndKeepsTheBackup) {
  MemoryFileSystem fileSystem;
  const Bytes original = OneSection();
  fileSystem.files["dir/X.CE2"] = original;
  fileSystem.files["dir/X.$E2"] = {9, 9, 9};  // an older backup, replaced
  JobResult result = RunJob(fileSystem, {.path = "dir/X.CE2"});
  EXPECT_EQ(result.outcome, JobOutcome::Finished);
  ASSERT_EQ(fileSystem.files.size(), 2u);
  EXPECT_EQ(fileSystem.files["dir/X.$E2"], original);
  EXPECT_EQ(ReferencesIn(fileSystem.files["dir/X.CE2"]),
            (std::vector<std::string>{"R2", "R1", "C1"}));
  EXPECT_TRUE(result.changes.empty());  // not asked for
}

TEST(RenumberJob, PathWithoutExtensionGetsDollarBackup) {
  MemoryFileSystem fileSystem;
  fileSystem.files["NOTE"] = OneSection();
  EXPECT_EQ(RunJob(fileSystem, {.path = "NOTE"}).outcome, JobOutcome::Finished);
  EXPECT_EQ(fileSystem.files["NOTE.$"], OneSection());
  EXPECT_EQ(fileSystem.files.size(), 2u);
}

// A run that changes nothing writes nothing: the backup holds what it held, which may be
// the only copy of an earlier original. A file of several sections is always written, as
// the save splits it.
TEST(RenumberJob, NoChangeNoWrite) {
  SchematicBuilder empty;
  empty.header().fixedRecord(4).variableRecord(77, 30);
  SchematicBuilder numbered;
  numbered.header()
      .component(testing::PlacedPart("RES", "R1", 1, 0))
      .component(testing::PlacedPart("RES", "R2", 2, 0));
  for (const Bytes& board : {empty.bytes(), numbered.bytes()}) {
    MemoryFileSystem fileSystem;
    fileSystem.files["E.CE2"] = board;
    fileSystem.files["E.$E2"] = {1, 2, 3};
    const JobResult result = RunJob(fileSystem, {.path = "E.CE2"});
    EXPECT_EQ(result.outcome, JobOutcome::Finished);
    EXPECT_TRUE(result.written.empty());
    EXPECT_EQ(fileSystem.changeCount(), 0);
    EXPECT_EQ(fileSystem.files["E.$E2"], (Bytes{1, 2, 3}));
  }
  // A temporary that a killed run left beside it still goes.
  MemoryFileSystem withLitter;
  withLitter.files["E.CE2"] = numbered.bytes();
  withLitter.files[TemporaryName("E.CE2", 3)] = {7};
  EXPECT_TRUE(RunJob(withLitter, {.path = "E.CE2"}).written.empty());
  EXPECT_EQ(withLitter.files.size(), 1u);

  SchematicBuilder split;
  split.header().component(testing::PlacedPart("RES", "R1", 1, 0));
  split.header().component(testing::PlacedPart("RES", "R2", 1, 0));
  MemoryFileSystem fileSystem;
  fileSystem.files["S.CE2"] = split.bytes();
  const JobResult result = RunJob(fileSystem, {.path = "S.CE2", .writeFiles = false});
  EXPECT_EQ(result.written, (std::vector<std::string>{"S.CE2"}));
}

TEST(RenumberJob, SectionsAreWrittenToFilesOfTheirOwn) {
  SchematicBuilder builder = ThreeSections();
  MemoryFileSystem fileSystem;
  fileSystem.files["S.CE2"] = builder.bytes();
  fileSystem.files["S.CE2-01"] = {7};  // from an earlier run, replaced, kept at its backup
  EXPECT_EQ(RunJob(fileSystem, {.path = "S.CE2"}).outcome, JobOutcome::Finished);
  EXPECT_EQ(fileSystem.files.size(), 5u);
  EXPECT_EQ(fileSystem.files["S.$E2"], builder.bytes());
  EXPECT_EQ(fileSystem.files["S.$E2-01"], Bytes{7});
  Bytes joined;
  for (const char* name : {"S.CE2", "S.CE2-01", "S.CE2-02"}) {
    const Bytes& part = fileSystem.files[name];
    joined.insert(joined.end(), part.begin(), part.end());
  }
  EXPECT_EQ(ReferencesIn(joined), (std::vector<std::string>{"R1", "R3", "R2"}));
}

// Such a path is refused only once it has loaded: one that is not there, or not a
// schematic, is a read error like any other.
TEST(RenumberJob, PathThatIsItsOwnBackupIsRefusedUntouched) {
  for (const char* path : {"X.$E2", "dir/Y.$", "Z.$$$"}) {
    SCOPED_TRACE(path);
    MemoryFileSystem fileSystem;
    EXPECT_EQ(RunJob(fileSystem, {.path = path}).outcome, JobOutcome::ReadError);
    fileSystem.files[path] = {'+', 'T'};
    EXPECT_EQ(RunJob(fileSystem, {.path = path}).outcome, JobOutcome::ReadError);
    fileSystem.files[path] = OneSection();
    JobResult result = RunJob(fileSystem, {.path = path});
    EXPECT_EQ(result.outcome, JobOutcome::WriteError);
    EXPECT_EQ(result.errorPath, path);
    EXPECT_EQ(fileSystem.changeCount(), 0);
    EXPECT_EQ(fileSystem.files.size(), 1u);
    EXPECT_EQ(fileSystem.files[path], OneSection());
  }
}

TEST(RenumberJob, DryRunReportsChangesAndWritesNothing) {
  SchematicBuilder builder = ThreeSections();
  MemoryFileSystem fileSystem;
  fileSystem.files["S.CE2"] = builder.bytes();
  JobResult result =
      RunJob(fileSystem, {.path = "S.CE2", .writeFiles = false, .collectChanges = true});
  EXPECT_EQ(result.outcome, JobOutcome::Finished);
  EXPECT_EQ(fileSystem.changeCount(), 0);
  EXPECT_EQ(fileSystem.files.size(), 1u);
  // R1 keeps its reference and has no row; the others are in file order.
  ASSERT_EQ(result.changes.size(), 1u);
  EXPECT_EQ(result.changes[0].path, "S.CE2");
  const std::vector<ComponentChange>& changes = result.changes[0].changes;
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(result.written, (std::vector<std::string>{"S.CE2"}));
  const ComponentChange& first = changes[0];
  EXPECT_EQ(first.section, 1);
  EXPECT_EQ(first.x, -3);  // as stored, without the section offset
  EXPECT_EQ(first.y, 4);
  EXPECT_EQ(first.packageTag, "T");
  EXPECT_EQ(first.oldReference, "R9");
  EXPECT_EQ(first.newReference, "R3");
  EXPECT_EQ(first.oldBlock, first.newBlock);
  const ComponentChange& second = changes[1];
  EXPECT_EQ(second.section, 2);
  EXPECT_EQ(second.x, 5);
  EXPECT_EQ(second.y, -6);
  EXPECT_EQ(second.partName, "RES");
  EXPECT_EQ(second.oldReference, "R7");
  EXPECT_EQ(second.newReference, "R2");
}

TEST(RenumberJob, ChangesOfAWrittenJobMatchTheFile) {
  MemoryFileSystem fileSystem;
  fileSystem.files["A.CE2"] = OneSection();
  JobResult result = RunJob(fileSystem, {.path = "A.CE2", .collectChanges = true});
  EXPECT_EQ(result.outcome, JobOutcome::Finished);
  ASSERT_EQ(result.changes.size(), 1u);
  const std::vector<ComponentChange>& changes = result.changes[0].changes;
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0].oldReference, "R5");
  EXPECT_EQ(changes[0].newReference, "R2");
  EXPECT_EQ(changes[0].section, 0);
  EXPECT_EQ(changes[1].oldReference, "R2");
  EXPECT_EQ(changes[1].newReference, "R1");
}

TEST(MakeBackupName, ReplacesTheFirstCharacterOfTheExtension) {
  struct Case {
    const char* path;
    const char* expected;
  };
  const Case cases[] = {
      {"SHEET.CE2", "SHEET.$E2"},   {"A.X", "A.$"},
      {"NOTE", "NOTE.$"},           {"NOTE.", "NOTE.$"},
      {"a/b.c.CE2", "a/b.c.$E2"},   {"dir.v2/NOTE", "dir.v2/NOTE.$"},
      {"/abs/x.ce2", "/abs/x.$e2"}, {".CE2", ".$E2"},
      {"X.$E2", "X.$E2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(MakeBackupName(c.path), c.expected);
  }
}

// On double-byte Windows the name may end in a byte 0x5C (表 is 0x95 0x5C), and the first
// character of the extension may take two bytes; POSIX paths stay plain bytes.
TEST(MakeBackupName, DoubleByteCharactersStayWhole) {
  using cp932::kBoardTable;
  using cp932::kSo;
  using cp932::kTable;
  struct Case {
    const char* name;
    PathStyle style;
    std::string path;
    std::string expected;
  };
  const std::string board = "Z:\\" + std::string(kBoardTable) + "\\" + std::string(kTable);
  const Case cases[] = {
      {"name ends in 0x5C", PathStyle::WindowsCodePage932, board + ".CE2", board + ".$E2"},
      {"no extension", PathStyle::WindowsCodePage932, board, board + ".$"},
      {"two-byte first character", PathStyle::WindowsCodePage932,
       "C:\\A." + std::string(kSo) + "E2", "C:\\A.$E2"},
      {"two-byte only character", PathStyle::WindowsCodePage932, "A." + std::string(kTable), "A.$"},
      {"posix bytes", PathStyle::Posix, "/d/A." + std::string(kSo) + "E2",
       "/d/A.$" + std::string(kSo.substr(1)) + "E2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(MakeBackupName(c.path, c.style), c.expected);
  }
}

// The world of the fault tests: a schematic of three sections, an old backup, and a stale
// section file from an earlier run.
struct FaultWorld {
  MemoryFileSystem fileSystem;
  Bytes original = ThreeSections().bytes();

  FaultWorld() {
    fileSystem.files["S.CE2"] = original;
    fileSystem.files["S.$E2"] = {1, 1, 1};
    fileSystem.files["S.CE2-01"] = {2, 2};
  }

  // A failed job must report a write error naming the path, leave no temporary behind and
  // keep the previous content at the path or at the backup name.
  void expectFailedSafely(const JobResult& result) {
    EXPECT_EQ(result.outcome, JobOutcome::WriteError);
    EXPECT_EQ(result.errorPath, "S.CE2");
    EXPECT_FALSE(HasTemporaries(fileSystem));
    const bool atPath = fileSystem.files.count("S.CE2") && fileSystem.files["S.CE2"] == original;
    const bool atBackup = fileSystem.files.count("S.$E2") && fileSystem.files["S.$E2"] == original;
    EXPECT_TRUE(atPath || atBackup);
  }
};

TEST(RenumberJobFaults, FailureOfAnyChangeLosesNothing) {
  // A clean run gives the number of changes (this file system has no links): three
  // temporary writes, then for the path and for S.CE2-01 the rename to the backup name and
  // the temporary's rename into place, and the rename of S.CE2-02's temporary.
  int total = 0;
  {
    FaultWorld world;
    ASSERT_EQ(RunJob(world.fileSystem, {.path = "S.CE2"}).outcome, JobOutcome::Finished);
    total = world.fileSystem.changeCount();
    ASSERT_EQ(total, 8);
  }
  for (int n = 0; n < total; ++n) {
    SCOPED_TRACE("change " + std::to_string(n) + " fails");
    FaultWorld world;
    const auto before = world.fileSystem.files;
    world.fileSystem.failNthChange(n);
    JobResult result = RunJob(world.fileSystem, {.path = "S.CE2"});
    world.expectFailedSafely(result);
    if (n <= 3) {
      // A temporary write or the path's move to its backup name: nothing has changed.
      EXPECT_EQ(world.fileSystem.files, before);
    } else if (n == 4) {
      // The path's new content did not arrive: the previous content is back at the path.
      EXPECT_EQ(world.fileSystem.files["S.CE2"], world.original);
    } else {
      // The path is replaced, its previous content at the backup; S.CE2-01 holds its own
      // previous content, at its path or its backup name.
      EXPECT_EQ(world.fileSystem.files["S.$E2"], world.original);
      const bool sectionKept = world.fileSystem.files["S.CE2-01"] == Bytes{2, 2} ||
                               world.fileSystem.files["S.$E2-01"] == Bytes{2, 2};
      EXPECT_TRUE(sectionKept);
    }
  }
}

TEST(RenumberJobFaults, FlushReadBackAndCorruptionOfEachTemporary) {
  for (const char* target : {"S.CE2", "S.CE2-01", "S.CE2-02"}) {
    const std::string temporary = TemporaryName(target, 0);
    for (int kind = 0; kind < 3; ++kind) {
      SCOPED_TRACE(std::string(target) + " fault " + std::to_string(kind));
      FaultWorld world;
      const auto before = world.fileSystem.files;
      if (kind == 0) {
        world.fileSystem.failOn(FileOperation::Flush, temporary);
      } else if (kind == 1) {
        world.fileSystem.failOn(FileOperation::Read, temporary);
      } else {
        world.fileSystem.corruptWritesTo(temporary);
      }
      world.expectFailedSafely(RunJob(world.fileSystem, {.path = "S.CE2"}));
      EXPECT_EQ(world.fileSystem.files, before);
    }
  }
}

TEST(RenumberJobFaults, FinalRenameAndRestoreBothFailing) {
  // The first section's rename (change 4) and the move back (change 5) both fail: the
  // previous content stays at the backup name.
  FaultWorld world;
  world.fileSystem.failNthChange(4);
  world.fileSystem.failNthChange(5);
  world.expectFailedSafely(RunJob(world.fileSystem, {.path = "S.CE2"}));
  EXPECT_EQ(world.fileSystem.files.count("S.CE2"), 0u);
  EXPECT_EQ(world.fileSystem.files["S.$E2"], world.original);
}

TEST(RenumberJobFaults, LockedBackupIsNotOverwritten) {
  FaultWorld world;
  world.fileSystem.lock("S.$E2");
  const auto before = world.fileSystem.files;
  world.expectFailedSafely(RunJob(world.fileSystem, {.path = "S.CE2"}));
  EXPECT_EQ(world.fileSystem.files, before);
}

// The inspection sees the numbered design before anything is saved, with what each
// component held before the run; it runs once per job, dry runs too, and not at all for a
// job that stops before numbering is done.
TEST(RenumberJob, InspectionSeesTheNumberedDesignBeforeTheSave) {
  for (const bool writeFiles : {true, false}) {
    SCOPED_TRACE(writeFiles);
    MemoryFileSystem fileSystem;
    fileSystem.files["A.CE2"] = OneSection();  // R5, R2, C1 become R2, R1, C1
    int calls = 0;
    JobRequest request{.path = "A.CE2", .writeFiles = writeFiles};
    request.inspect = [&](const NumberedDesign& design) {
      ++calls;
      EXPECT_EQ(fileSystem.log.size(), 1u) << "only the read before the inspection";
      ASSERT_EQ(design.documents.size(), 1u);
      ASSERT_EQ(design.paths.front(), "A.CE2");
      std::vector<std::string> now;
      std::vector<std::string> before;
      for (size_t e = 0; e < design.documents[0].entries().size(); ++e) {
        now.emplace_back(design.documents[0].entries()[e].reference());
        before.emplace_back(design.before[0].referenceBefore(e));
      }
      EXPECT_EQ(now, (std::vector<std::string>{"R2", "R1", "C1"}));
      EXPECT_EQ(before, (std::vector<std::string>{"R5", "R2", "C1"}));
    };
    EXPECT_EQ(RunJob(fileSystem, request).outcome, JobOutcome::Finished);
    EXPECT_EQ(calls, 1);
  }
  MemoryFileSystem fileSystem;
  SchematicBuilder full;
  full.header();
  for (int i = 0; i < 10; ++i) {
    full.component({.packageTag = "T", .reference = "ABCDEFG" + std::to_string(i)});
  }
  fileSystem.files["F.CE2"] = full.bytes();
  JobRequest request{.path = "F.CE2"};
  request.inspect = [](const NumberedDesign&) { ADD_FAILURE() << "inspected"; };
  EXPECT_EQ(RunJob(fileSystem, request).outcome, JobOutcome::OutOfNumbers);
}

}  // namespace
}  // namespace kerro
