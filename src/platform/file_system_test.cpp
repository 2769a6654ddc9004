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

// Temporaries written, then flushed and compared together (the flushes and the
// comparisons may run at once) hold their bytes, stay held by this run, and are never
// written over; one that holds other bytes than those given fails the whole call.
TEST(RealFileSystem, TemporariesFlushedTogetherHoldTheirBytesAndStayHeld) {
  TempFolder folder;
  FileSystem& fileSystem = testing::RealFiles();
  std::vector<std::vector<uint8_t>> contents;
  std::vector<TemporaryBytes> temporaries;
  for (const size_t size :
       {size_t{0}, size_t{1}, size_t{4093}, (size_t{3} << 20) + 17, size_t{65536}, size_t{7},
        size_t{100}, size_t{2}, size_t{9}, size_t{333}, size_t{12}}) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < bytes.size(); ++i) {
      bytes[i] = static_cast<uint8_t>(i * 13 + i / 509 + contents.size());
    }
    contents.push_back(std::move(bytes));
  }
  for (size_t i = 0; i < contents.size(); ++i) {
    const std::string path = folder.file("~T.KR" + std::to_string(i));
    ASSERT_TRUE(fileSystem.writeTemporaryUnflushed(path, contents[i], ""));
    temporaries.push_back({path, contents[i]});
  }
  ASSERT_TRUE(fileSystem.flushTemporariesVerified(temporaries));
  for (const TemporaryBytes& temporary : temporaries) {
    EXPECT_TRUE(fileSystem.hasContent(temporary.path, temporary.bytes));
    EXPECT_FALSE(fileSystem.removeUnlessLocked(temporary.path));
    EXPECT_FALSE(fileSystem.writeTemporaryUnflushed(temporary.path, contents[2], ""));
  }
  const std::vector<uint8_t> other = {1, 2, 3};
  temporaries[5].bytes = other;
  EXPECT_FALSE(fileSystem.flushTemporariesVerified(temporaries));
  temporaries[5].bytes = contents[5];
  const std::vector<uint8_t> longer(contents[3].size() + 1, 0);
  temporaries[3].bytes = longer;
  EXPECT_FALSE(fileSystem.flushTemporariesVerified(temporaries));
  for (const TemporaryBytes& temporary : temporaries) {
    EXPECT_TRUE(fileSystem.removeFile(temporary.path));
  }
  EXPECT_TRUE(folder.list().empty());
  EXPECT_FALSE(fileSystem.flushTemporariesVerified(temporaries)) << "no longer held";
}

}  // namespace
}  // namespace kerro
