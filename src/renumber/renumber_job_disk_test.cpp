// The renumbering job on the real disk: the failures that only a real file system gives.

#include <gtest/gtest.h>

#include <filesystem>

#include "renumber/renumber_job.h"
#include "schematic/schematic_document.h"
#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::ComponentRecord;
using testing::ReadBytes;
using testing::SchematicBuilder;
using testing::TempFolder;
using testing::WriteBytes;

using Bytes = std::vector<uint8_t>;

// A small first section and a large second one, so that a file size limit can fall
// between them.
Bytes TwoSections(int secondSectionComponents) {
  SchematicBuilder builder;
  builder.header().component({.packageTag = "T", .reference = "R8"});
  builder.header();
  for (int i = 0; i < secondSectionComponents; ++i) {
    builder.component({.x = static_cast<int16_t>(i),
                       .packageTag = "T",
                       .reference = "C" + std::to_string(300 - i)});
  }
  return builder.bytes();
}

JobOutcome RunOnDisk(const std::string& path) {
  JobContext context{testing::RealFiles(), {}};
  return RenumberJob({.path = path}, context).outcome;
}

// Everything in the folder, name and bytes.
std::map<std::string, Bytes> Contents(const TempFolder& folder) {
  std::map<std::string, Bytes> contents;
  for (const std::string& name : folder.list()) {
    contents[name] = ReadBytes(folder.file(name));
  }
  return contents;
}

TEST(RenumberJobOnDisk, RenumbersAndKeepsTheBackup) {
  TempFolder folder;
  const Bytes original = TwoSections(3);
  WriteBytes(folder.file("X.CE2"), original);
  WriteBytes(folder.file("X.$E2"), {1, 2, 3});
  ASSERT_EQ(RunOnDisk(folder.file("X.CE2")), JobOutcome::Finished);
  EXPECT_EQ(folder.list(), (std::vector<std::string>{"X.$E2", "X.CE2", "X.CE2-01"}));
  EXPECT_EQ(ReadBytes(folder.file("X.$E2")), original);
  SchematicDocument renumbered;
  Bytes joined = ReadBytes(folder.file("X.CE2"));
  Bytes second = ReadBytes(folder.file("X.CE2-01"));
  joined.insert(joined.end(), second.begin(), second.end());
  ASSERT_TRUE(renumbered.loadImage(joined));
  EXPECT_EQ(renumbered.entries()[0].reference(), "R1");
  EXPECT_EQ(renumbered.entries()[1].reference(), "C3");
  EXPECT_EQ(renumbered.entries()[3].reference(), "C1");
}

TEST(RenumberJobOnDisk, FileLockedByAnotherProcessIsAReadError) {
  if (!testing::ChildProcessesSupported()) {
    GTEST_SKIP() << "no child processes on this platform";
  }
  TempFolder folder;
  WriteBytes(folder.file("L.CE2"), TwoSections(2));
  const auto before = Contents(folder);
  testing::FileLockedByChild holder(folder.file("L.CE2"));
  ASSERT_TRUE(holder.holding());
  JobContext context{testing::RealFiles(), {}};
  JobResult result = RenumberJob({.path = folder.file("L.CE2")}, context);
  EXPECT_EQ(result.outcome, JobOutcome::ReadError);
  EXPECT_EQ(result.errorPath, folder.file("L.CE2"));
  EXPECT_EQ(Contents(folder), before);
}

// A folder whose files can be read but in which no file can be created. As root, folder
// permissions do not apply, so the job runs in a child process as the user "nobody".
TEST(RenumberJobOnDisk, ReadOnlyFolderIsAWriteErrorAndLosesNothing) {
  if (!testing::ChildProcessesSupported()) {
    GTEST_SKIP() << "no child processes on this platform";
  }
  namespace fs = std::filesystem;
  TempFolder folder;
  WriteBytes(folder.file("R.CE2"), TwoSections(2));
  WriteBytes(folder.file("R.$E2"), {4, 5});
  const auto before = Contents(folder);
  fs::permissions(folder.path(),
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  constexpr int kCannotDrop = 99;
  const int status = testing::RunInChildProcess([&] {
    if (!testing::DropRootPrivileges()) {
      return kCannotDrop;
    }
    return static_cast<int>(RunOnDisk(folder.file("R.CE2")));
  });
  fs::permissions(folder.path(), fs::perms::owner_write, fs::perm_options::add);
  if (status == kCannotDrop) {
    GTEST_SKIP() << "running as root and cannot become an unprivileged user";
  }
  EXPECT_EQ(status, static_cast<int>(JobOutcome::WriteError));
  EXPECT_EQ(Contents(folder), before);
}

TEST(RenumberJobOnDisk, DiskFullIsAWriteErrorAndLosesNothing) {
  if (!testing::ChildProcessesSupported()) {
    GTEST_SKIP() << "no child processes on this platform";
  }
  struct Case {
    const char* name;
    uint64_t limit;
  };
  // The first section is 120 bytes, the second 60 + 200 * 60.
  const Case cases[] = {
      {"nothing fits", 0},
      {"first temporary fails half way", 100},
      {"second temporary fails", 4096},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    WriteBytes(folder.file("F.CE2"), TwoSections(200));
    WriteBytes(folder.file("F.$E2"), {6});
    const auto before = Contents(folder);
    const int status = testing::RunInChildProcess([&] {
      if (!testing::LimitFileSize(c.limit)) {
        return 98;
      }
      return static_cast<int>(RunOnDisk(folder.file("F.CE2")));
    });
    EXPECT_EQ(status, static_cast<int>(JobOutcome::WriteError));
    EXPECT_EQ(Contents(folder), before);
  }
}

#ifndef _WIN32

namespace fs = std::filesystem;

fs::perms Permissions(const std::string& path) {
  return fs::status(path).permissions() & fs::perms::mask;
}

// A schematic reached through links (a relative link in another folder, a chain ending in
// an absolute link, a design given through a link) is renumbered where the links lead: the
// backup and the temporaries go beside the target, and every link stays as it was.
TEST(RenumberJobOnDisk, LinkIsRenumberedWhereItPoints) {
  struct Case {
    const char* name;
    bool chain;
    bool design;
  };
  const Case cases[] = {
      {"relative link in another folder", false, false},
      {"chain of a relative and an absolute link", true, false},
      {"design given through a link", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder boards;
    TempFolder links;
    const std::string real = boards.file("real.CE2");
    WriteBytes(real, testing::SmallUnnumberedBoard());
    const fs::path relative = fs::relative(real, links.path());
    fs::create_symlink(relative, links.file("link.CE2"));
    std::string given = links.file("link.CE2");
    if (c.chain) {
      fs::create_symlink(links.file("link.CE2"), links.file("chain.CE2"));
      given = links.file("chain.CE2");
    }
    const std::vector<std::string> linksBefore = links.list();

    JobContext context{testing::RealFiles(), {}};
    JobRequest request{.path = given};
    if (c.design) {
      request.controls.locks = {"X*"};  // a controlled run that numbers as the default one
    }
    ASSERT_EQ(RenumberJob(request, context).outcome, JobOutcome::Finished);

    EXPECT_EQ(testing::ReferencesIn(ReadBytes(real)), (std::vector<std::string>{"R2", "R1", "C1"}));
    EXPECT_EQ(boards.list(), (std::vector<std::string>{"real.$E2", "real.CE2"}));
    EXPECT_EQ(ReadBytes(boards.file("real.$E2")), testing::SmallUnnumberedBoard());
    EXPECT_EQ(links.list(), linksBefore);
    EXPECT_TRUE(fs::is_symlink(links.file("link.CE2")));
    EXPECT_EQ(fs::read_symlink(links.file("link.CE2")), relative);
  }
}

// The new file, and a section file that is new, get the original's permission bits, not
// the defaults.
TEST(RenumberJobOnDisk, PermissionBitsAreKept) {
  TempFolder folder;
  WriteBytes(folder.file("P.CE2"), TwoSections(2));
  const fs::perms bits = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(folder.file("P.CE2"), bits);
  ASSERT_EQ(RunOnDisk(folder.file("P.CE2")), JobOutcome::Finished);
  EXPECT_EQ(Permissions(folder.file("P.CE2")), bits);
  EXPECT_EQ(Permissions(folder.file("P.CE2-01")), bits);
  EXPECT_EQ(Permissions(folder.file("P.$E2")), bits);
}

// A rename would replace a file that no one may write without asking; the job refuses it
// instead (also when root, who may write anything) and touches nothing, nor, in a design,
// any other file.
TEST(RenumberJobOnDisk, ReadOnlyFileIsAWriteErrorAndUntouched) {
  TempFolder folder;
  WriteBytes(folder.file("R.CE2"), TwoSections(2));
  WriteBytes(folder.file("A.CE2"), testing::SmallUnnumberedBoard());
  const fs::perms readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
  fs::permissions(folder.file("R.CE2"), readOnly);
  const auto before = Contents(folder);

  JobContext context{testing::RealFiles(), {}};
  JobResult single = RenumberJob({.path = folder.file("R.CE2")}, context);
  EXPECT_EQ(single.outcome, JobOutcome::WriteError);
  EXPECT_EQ(single.errorPath, folder.file("R.CE2"));
  EXPECT_EQ(Contents(folder), before);

  JobResult design =
      RenumberJob({.path = folder.file("A.CE2"), .together = {folder.file("R.CE2")}}, context);
  EXPECT_EQ(design.outcome, JobOutcome::WriteError);
  EXPECT_EQ(design.errorPath, folder.file("R.CE2"));
  EXPECT_TRUE(design.save.replaced.empty());
  EXPECT_EQ(Contents(folder), before);
  EXPECT_EQ(Permissions(folder.file("R.CE2")), readOnly);
}

#endif  // _WIN32

}  // namespace
}  // namespace kerro
