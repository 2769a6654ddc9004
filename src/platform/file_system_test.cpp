// What every platform's FileSystem must do; the platform folders test their locking.
#include "platform/file_system.h"

#include <gtest/gtest.h>

#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

TEST(RealFileSystem, WriteReadRenameRemove) {
  TempFolder folder;
  FileSystem& fileSystem = testing::RealFiles();
  const std::string a = folder.file("a.bin");
  const std::string b = folder.file("b.bin");
  // Binary: no CR/LF or Ctrl-Z translation.
  const std::vector<uint8_t> bytes = {1, 2, 3, 0, 255, 26, 13, 10};

  EXPECT_FALSE(fileSystem.exists(a));
  EXPECT_FALSE(fileSystem.readFile(a).has_value());
  ASSERT_TRUE(fileSystem.writeFile(a, bytes));
  EXPECT_TRUE(fileSystem.exists(a));
  EXPECT_EQ(fileSystem.readFile(a), bytes);

  // A shorter write truncates.
  ASSERT_TRUE(fileSystem.writeFile(a, std::vector<uint8_t>{9}));
  EXPECT_EQ(ReadBytes(a), std::vector<uint8_t>{9});

  WriteBytes(b, {7, 7});
  ASSERT_TRUE(fileSystem.renameFile(a, b));  // replaces b
  EXPECT_FALSE(fileSystem.exists(a));
  EXPECT_EQ(ReadBytes(b), std::vector<uint8_t>{9});
  EXPECT_FALSE(fileSystem.renameFile(a, b));

  EXPECT_TRUE(fileSystem.removeFile(b));
  EXPECT_FALSE(fileSystem.removeFile(b));
  EXPECT_TRUE(folder.list().empty());
}

TEST(RealFileSystem, EmptyFileReadsAsEmpty) {
  TempFolder folder;
  WriteBytes(folder.file("e"), {});
  auto bytes = testing::RealFiles().readFile(folder.file("e"));
  ASSERT_TRUE(bytes.has_value());
  EXPECT_TRUE(bytes->empty());
}

TEST(RealFileSystem, FolderIsNotAFile) {
  TempFolder folder;
  EXPECT_TRUE(testing::RealFiles().exists(folder.path()));
  EXPECT_FALSE(testing::RealFiles().readFile(folder.path()).has_value());
  EXPECT_FALSE(testing::RealFiles().writeFile(folder.path(), std::vector<uint8_t>{1}));
}

// What kerro-cli adds to "File read error.": why the file could not be read.
TEST(RealFileSystem, SaysWhyAFileCannotBeRead) {
  TempFolder folder;
  FileSystem& fileSystem = testing::RealFiles();
  EXPECT_EQ(fileSystem.whyUnreadable(folder.file("missing")), "no such file");
  EXPECT_EQ(fileSystem.whyUnreadable(folder.file("missing/deeper")), "no such file");
  EXPECT_EQ(fileSystem.whyUnreadable(folder.path()), "is a folder");
  ASSERT_TRUE(fileSystem.writeTemporary(folder.file("held"), std::vector<uint8_t>{1}, ""));
  EXPECT_EQ(fileSystem.whyUnreadable(folder.file("held")), "held by another program");
  EXPECT_TRUE(fileSystem.removeFile(folder.file("held")));
}

// A temporary written and compared in one call (the flush and the comparison may run at
// once) holds the bytes, stays held by this run, and is never written over.
TEST(RealFileSystem, VerifiedTemporaryHoldsItsBytesAndStaysHeld) {
  TempFolder folder;
  FileSystem& fileSystem = testing::RealFiles();
  const std::string path = folder.file("~T.KR0");
  std::vector<uint8_t> bytes((size_t{3} << 20) + 17);
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<uint8_t>(i * 13 + i / 509);
  }
  ASSERT_TRUE(fileSystem.writeTemporaryVerified(path, bytes, ""));
  EXPECT_TRUE(fileSystem.hasContent(path, bytes));
  EXPECT_FALSE(fileSystem.removeUnlessLocked(path));
  EXPECT_FALSE(fileSystem.writeTemporaryVerified(path, std::vector<uint8_t>{1}, ""));
  EXPECT_TRUE(fileSystem.hasContent(path, bytes));
  EXPECT_TRUE(fileSystem.removeFile(path));
  EXPECT_TRUE(folder.list().empty());
}

}  // namespace
}  // namespace kerro
