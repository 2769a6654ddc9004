#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

TEST(PosixFileSystem, WriteReadRenameRemove) {
  TempFolder folder;
  FileSystem& fileSystem = realFileSystem();
  const std::string a = folder.file("a.bin");
  const std::string b = folder.file("b.bin");
  const std::vector<uint8_t> bytes = {1, 2, 3, 0, 255};

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

TEST(PosixFileSystem, EmptyFileReadsAsEmpty) {
  TempFolder folder;
  WriteBytes(folder.file("e"), {});
  auto bytes = realFileSystem().readFile(folder.file("e"));
  ASSERT_TRUE(bytes.has_value());
  EXPECT_TRUE(bytes->empty());
}

TEST(PosixFileSystem, FolderIsNotReadAsFile) {
  TempFolder folder;
  EXPECT_FALSE(realFileSystem().readFile(folder.path()).has_value());
  EXPECT_FALSE(realFileSystem().writeFile(folder.path(), std::vector<uint8_t>{1}));
}

TEST(PosixFileSystem, FileLockedByAnotherHolderCannotBeReadOrWritten) {
  TempFolder folder;
  const std::string path = folder.file("locked.CE2");
  WriteBytes(path, {1, 2, 3});
  int holder = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  EXPECT_FALSE(realFileSystem().readFile(path).has_value());
  EXPECT_FALSE(realFileSystem().writeFile(path, std::vector<uint8_t>{4}));
  EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{1, 2, 3}));  // not truncated
  ::close(holder);
  EXPECT_TRUE(realFileSystem().readFile(path).has_value());
}

}  // namespace
}  // namespace kerro
