// The safe save on the real disk, watched after every file operation.

#include "renumber/safe_save.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::ReadBytes;
using testing::SchematicBuilder;
using testing::TempFolder;
using testing::WriteBytes;
using Bytes = std::vector<uint8_t>;

// The real file system, with a check run after every operation that changes files.
class WatchedFileSystem final : public FileSystem {
 public:
  explicit WatchedFileSystem(std::function<void(const std::string&)> check)
      : check_(std::move(check)) {}

  std::optional<std::vector<uint8_t>> readFile(const std::string& path) override {
    return real_.readFile(path);
  }
  std::optional<std::vector<uint8_t>> readFileShared(const std::string& path) override {
    return real_.readFileShared(path);
  }
  bool writeTemporary(const std::string& path, std::span<const uint8_t> bytes,
                      const std::string& permissionsOf) override {
    return after("write " + path, real_.writeTemporary(path, bytes, permissionsOf));
  }
  bool removeUnlessLocked(const std::string& path) override {
    return after("remove " + path, real_.removeUnlessLocked(path));
  }
  bool hasContent(const std::string& path, std::span<const uint8_t> bytes) override {
    return real_.hasContent(path, bytes);
  }
  bool writeFile(const std::string& path, std::span<const uint8_t> bytes) override {
    return after("write " + path, real_.writeFile(path, bytes));
  }
  bool removeFile(const std::string& path) override {
    return after("remove " + path, real_.removeFile(path));
  }
  bool renameFile(const std::string& from, const std::string& to) override {
    return after("rename " + from + " " + to, real_.renameFile(from, to));
  }
  bool linkFile(const std::string& from, const std::string& to) override {
    return after("link " + from + " " + to, real_.linkFile(from, to));
  }
  bool exists(const std::string& path) override { return real_.exists(path); }

 private:
  bool after(const std::string& operation, bool result) {
    check_(operation);
    return result;
  }

  FileSystem& real_ = testing::RealFiles();
  std::function<void(const std::string&)> check_;
};

std::optional<Bytes> Content(const std::string& path) {
  if (!std::filesystem::exists(path)) {
    return std::nullopt;
  }
  return ReadBytes(path);
}

Bytes Board(const std::string& reference) {
  SchematicBuilder builder;
  builder.header().component({.packageTag = "RES", .reference = reference, .partName = "RES"});
  return builder.bytes();
}

TEST(SafeSave, PathAndBackupHoldAWholeFileAfterEveryStep) {
  TempFolder folder;
  const std::string path = folder.file("S.CE2");
  const std::string backup = folder.file("S.$E2");
  const Bytes previous = Board("R7");
  const Bytes oldBackup = Board("R3");
  WriteBytes(path, previous);
  WriteBytes(backup, oldBackup);
  SchematicDocument document;
  ASSERT_TRUE(document.loadImage(Board("R1")));
  const Bytes next(document.image().begin(), document.image().end());

  int steps = 0;
  WatchedFileSystem fileSystem([&](const std::string& operation) {
    SCOPED_TRACE("after " + operation);
    ++steps;
    const auto atPath = Content(path);
    const auto atBackup = Content(backup);
    EXPECT_TRUE(atPath == previous || atPath == next) << "no whole file at the path";
    EXPECT_TRUE(atBackup == oldBackup || atBackup == previous) << "no whole backup";
  });
  ASSERT_TRUE(SaveWithBackup(fileSystem, document, path, backup));
  EXPECT_GE(steps, 3);
  EXPECT_EQ(Content(path), next);
  EXPECT_EQ(Content(backup), previous);
  EXPECT_EQ(folder.list(), (std::vector<std::string>{"S.$E2", "S.CE2"}));
}

TEST(SafeSave, BackupThatIsAlreadyALinkOfTheSchematicLeavesNoTemporary) {
  // Renaming one name of a file over another of the same file changes nothing and still
  // succeeds, which a second run at the same moment brings about.
  TempFolder folder;
  const std::string path = folder.file("S.CE2");
  const std::string backup = folder.file("S.$E2");
  WriteBytes(path, Board("R7"));
  std::filesystem::create_hard_link(path, backup);
  SchematicDocument document;
  ASSERT_TRUE(document.loadImage(Board("R1")));
  ASSERT_TRUE(SaveWithBackup(testing::RealFiles(), document, path, backup));
  EXPECT_EQ(Content(path), Board("R1"));
  EXPECT_EQ(Content(backup), Board("R7"));
  EXPECT_EQ(folder.list(), (std::vector<std::string>{"S.$E2", "S.CE2"}));
}

// Temporaries that no run holds were left by killed runs: the next save removes them,
// for the path and for the backup name.
TEST(SafeSave, TemporariesOfKilledRunsAreRemoved) {
  TempFolder folder;
  const std::string path = folder.file("S.CE2");
  const std::string backup = folder.file("S.$E2");
  WriteBytes(path, Board("R7"));
  for (int slot : {0, 1, kTemporarySlots - 1}) {
    WriteBytes(TemporaryName(path, slot), Board("R5"));
    WriteBytes(TemporaryName(backup, slot), Board("R5"));
  }
  SchematicDocument document;
  ASSERT_TRUE(document.loadImage(Board("R1")));
  ASSERT_TRUE(SaveWithBackup(testing::RealFiles(), document, path, backup));
  EXPECT_EQ(Content(path), Board("R1"));
  EXPECT_EQ(Content(backup), Board("R7"));
  EXPECT_EQ(folder.list(), (std::vector<std::string>{"S.$E2", "S.CE2"}));
}

// Another run at the same moment holds its temporary locked while it writes it.
TEST(SafeSave, TemporariesOfALiveRunAreLeftAlone) {
  TempFolder folder;
  const std::string path = folder.file("S.CE2");
  WriteBytes(path, Board("R7"));
  const std::string held = TemporaryName(path, 0);
  const Bytes othersBytes = Board("R2");
  std::unique_ptr<FileSystem> otherRun = CreateRealFileSystem();
  ASSERT_TRUE(otherRun->writeTemporary(held, othersBytes, {}));
  SchematicDocument document;
  ASSERT_TRUE(document.loadImage(Board("R1")));
  ASSERT_TRUE(SaveWithBackup(testing::RealFiles(), document, path, folder.file("S.$E2")));
  EXPECT_EQ(Content(path), Board("R1"));
  EXPECT_TRUE(otherRun->hasContent(held, othersBytes));

  otherRun.reset();  // the other run is killed
  ASSERT_TRUE(SaveWithBackup(testing::RealFiles(), document, path, folder.file("S.$E2")));
  EXPECT_EQ(folder.list(), (std::vector<std::string>{"S.$E2", "S.CE2"}));
}

// A run that dies right after creating a temporary leaves it empty. A fresh one may be a
// live run's that is not locked yet; an old one is removed, so that such files can never
// take every name and make the save fail.
TEST(SafeSave, EmptyTemporariesAreRemovedOnceOld) {
  TempFolder folder;
  const std::string path = folder.file("S.CE2");
  WriteBytes(path, Board("R7"));
  for (int slot = 0; slot < kTemporarySlots; ++slot) {
    WriteBytes(TemporaryName(path, slot), {});
    std::filesystem::last_write_time(TemporaryName(path, slot),
                                     std::filesystem::file_time_type::clock::now() -
                                         std::chrono::seconds(kFreshTemporarySeconds + 5));
  }
  // On Windows a run holds its temporary from the moment it creates it, so there an empty
  // one that nobody holds is a dead run's at any age.
#ifndef _WIN32
  const std::string fresh = TemporaryName(folder.file("T.CE2"), 0);
  WriteBytes(fresh, {});
  EXPECT_FALSE(testing::RealFiles().removeUnlessLocked(fresh));
#endif
  SchematicDocument document;
  ASSERT_TRUE(document.loadImage(Board("R1")));
  ASSERT_TRUE(SaveWithBackup(testing::RealFiles(), document, path, folder.file("S.$E2")));
  EXPECT_EQ(Content(path), Board("R1"));
  for (int slot = 0; slot < kTemporarySlots; ++slot) {
    EXPECT_FALSE(std::filesystem::exists(TemporaryName(path, slot)));
  }
#ifndef _WIN32
  EXPECT_TRUE(std::filesystem::exists(fresh));
#endif
}

// A path as long as the system lets a file have still leaves room for its temporaries:
// 259 characters on Windows, whose folders end 12 characters before that; a name of 255
// bytes elsewhere.
TEST(SafeSave, ThePathAtItsLongestCanBeSaved) {
  TempFolder folder;
#ifdef _WIN32
  std::string directory = folder.path();
  while (directory.size() < 247) {
    // The last folder takes what is left up to 247.
    const size_t room = 246 - directory.size();
    directory += "\\" + std::string(room > 100 ? 50 : room, 'D');
    std::filesystem::create_directory(directory);
  }
  const std::string path = directory + "\\" + std::string(259 - directory.size() - 5, 'S') + ".CE2";
#else
  const std::string path = folder.file(std::string(251, 'S') + ".CE2");
#endif
  WriteBytes(path, Board("R7"));
  SchematicDocument document;
  ASSERT_TRUE(document.load(testing::RealFiles(), path));
  const std::string backup = path.substr(0, path.size() - 3) + "$E2";
  ASSERT_TRUE(SaveWithBackup(testing::RealFiles(), document, path, backup));
  EXPECT_EQ(Content(backup), Board("R7"));
}

}  // namespace
}  // namespace kerro
