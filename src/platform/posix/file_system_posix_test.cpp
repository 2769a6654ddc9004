#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <optional>

#include "platform/file_system.h"
#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

TEST(PosixFileSystem, FileLockedByAnotherHolderCannotBeReadOrWritten) {
  TempFolder folder;
  const std::string path = folder.file("locked.CE2");
  WriteBytes(path, {1, 2, 3});
  int holder = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  EXPECT_FALSE(testing::RealFiles().readFile(path).has_value());
  EXPECT_FALSE(testing::RealFiles().writeFile(path, std::vector<uint8_t>{4}));
  EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{1, 2, 3}));  // not truncated
  ::close(holder);
  EXPECT_TRUE(testing::RealFiles().readFile(path).has_value());
}

TEST(PosixFileSystem, HasContentComparesEveryByte) {
  std::vector<uint8_t> large(3 * (1 << 20) + 17);
  for (size_t i = 0; i < large.size(); ++i) {
    large[i] = static_cast<uint8_t>(i * 7 + i / 251);
  }
  auto changedAt = [&](size_t at) {
    std::vector<uint8_t> bytes = large;
    bytes[at] ^= 0x40;
    return bytes;
  };
  struct Case {
    const char* name;
    std::optional<std::vector<uint8_t>> onDisk;  // none: no file
    std::vector<uint8_t> expected;
    bool same;
  };
  const Case cases[] = {
      {"equal", large, large, true},
      {"both empty", std::vector<uint8_t>{}, {}, true},
      {"first byte differs", changedAt(0), large, false},
      {"differs in a later piece", changedAt((1 << 20) + 5), large, false},
      {"last byte differs", changedAt(large.size() - 1), large, false},
      {"file shorter", std::vector<uint8_t>(large.begin(), large.end() - 1), large, false},
      {"file longer", large, std::vector<uint8_t>(large.begin(), large.end() - 1), false},
      {"no file", std::nullopt, {1}, false},
  };
  TempFolder folder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder.file("f");
    std::remove(path.c_str());
    if (c.onDisk) {
      WriteBytes(path, *c.onDisk);
    }
    EXPECT_EQ(testing::RealFiles().hasContent(path, c.expected), c.same);
  }
}

TEST(PosixFileSystem, ReadFileReturnsEveryByteOfFilesAroundThePieceSize) {
  constexpr size_t kMiB = size_t{1} << 20;
  TempFolder folder;
  const std::string path = folder.file("f");
  for (const size_t size : {size_t{0}, size_t{1}, kMiB - 1, kMiB, kMiB + 1, 3 * kMiB + 17}) {
    SCOPED_TRACE(size);
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) {
      bytes[i] = static_cast<uint8_t>(i * 7 + i / 251 + size);
    }
    WriteBytes(path, bytes);
    EXPECT_EQ(testing::RealFiles().readFile(path), bytes);
  }
}

TEST(PosixFileSystem, HasContentOfALockedFileIsFalse) {
  TempFolder folder;
  const std::string path = folder.file("locked");
  WriteBytes(path, {1, 2});
  int holder = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  EXPECT_FALSE(testing::RealFiles().hasContent(path, std::vector<uint8_t>{1, 2}));
  ::close(holder);
  EXPECT_TRUE(testing::RealFiles().hasContent(path, std::vector<uint8_t>{1, 2}));
}

TEST(PosixFileSystem, CreateFoldersMakesTheWholeChainOnce) {
  TempFolder folder;
  FileSystem& files = testing::RealFiles();
  const std::string nested = folder.file("a/b/c");
  EXPECT_TRUE(files.createFolders(nested));
  EXPECT_TRUE(std::filesystem::is_directory(nested));
  EXPECT_TRUE(files.createFolders(nested));  // already there
  EXPECT_TRUE(files.createFolders(nested + "/"));
  EXPECT_TRUE(files.writeFile(nested + "/KERRO.INI", std::vector<uint8_t>{'x'}));

  WriteBytes(folder.file("plain"), {});
  EXPECT_FALSE(files.createFolders(folder.file("plain")));        // a file holds the name
  EXPECT_FALSE(files.createFolders(folder.file("plain/below")));  // and stands in the way
  EXPECT_FALSE(files.createFolders(""));
}

}  // namespace
}  // namespace kerro
