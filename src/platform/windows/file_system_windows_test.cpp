#include <windows.h>

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/windows/win32_handle.h"
#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

TEST(WindowsFileSystem, FileHeldByAnotherOpenerIsNeitherReadNorWrittenNorTruncated) {
  TempFolder folder;
  const std::string path = folder.file("held.CE2");
  WriteBytes(path, {1, 2, 3});
  for (DWORD share : {DWORD{0}, DWORD{FILE_SHARE_READ}}) {
    SCOPED_TRACE(share);
    // Even a holder that lets others read is refused: we open with share mode 0, which
    // conflicts with any other open handle.
    Win32Handle holder(::CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder.valid());
    EXPECT_FALSE(testing::RealFiles().readFile(path).has_value());
    EXPECT_FALSE(testing::RealFiles().writeFile(path, std::vector<uint8_t>{4}));
  }
  EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_TRUE(testing::RealFiles().readFile(path).has_value());
}

TEST(WindowsFileSystem, BothSeparatorsWork) {
  TempFolder folder;
  std::string path = folder.file("sep.bin");
  for (char& c : path) {
    c = c == '\\' ? '/' : c;
  }
  ASSERT_TRUE(testing::RealFiles().writeFile(path, std::vector<uint8_t>{5}));
  EXPECT_EQ(ReadBytes(folder.file("sep.bin")), std::vector<uint8_t>{5});
}

// Where the save cannot link (FAT, some shares), one ReplaceFile call puts the new file in
// place and the previous one at its backup name, over an old backup or where none was.
TEST(WindowsFileSystem, ReplaceWithBackupKeepsThePreviousFileAtTheBackupName) {
  for (const bool oldBackup : {true, false}) {
    SCOPED_TRACE(oldBackup ? "over an old backup" : "no backup yet");
    TempFolder folder;
    const std::string path = folder.file("S.CE2");
    const std::string backup = folder.file("S.$E2");
    const std::string temporary = TemporaryName(path, 0);
    WriteBytes(path, {1});
    if (oldBackup) {
      WriteBytes(backup, {9});
    }
    ASSERT_TRUE(testing::RealFiles().writeTemporary(temporary, std::vector<uint8_t>{2}, path));
    ASSERT_TRUE(testing::RealFiles().replaceWithBackup(temporary, path, backup));
    EXPECT_EQ(ReadBytes(path), std::vector<uint8_t>{2});
    EXPECT_EQ(ReadBytes(backup), std::vector<uint8_t>{1});
    EXPECT_FALSE(testing::RealFiles().exists(temporary));
  }
}

TEST(WindowsFileSystem, CreateFoldersMakesTheWholeChainWithEitherSeparator) {
  TempFolder folder;
  FileSystem& files = testing::RealFiles();
  const std::string nested = folder.file("a\\b/c");
  EXPECT_TRUE(files.createFolders(nested));
  EXPECT_TRUE(files.createFolders(nested));  // already there
  EXPECT_TRUE(files.writeFile(nested + "\\KERRO.INI", std::vector<uint8_t>{'x'}));

  WriteBytes(folder.file("plain"), {});
  EXPECT_FALSE(files.createFolders(folder.file("plain")));  // a file holds the name
  EXPECT_FALSE(files.createFolders(folder.file("plain\\below")));
}

}  // namespace
}  // namespace kerro
