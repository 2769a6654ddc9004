#include <windows.h>

#include <gtest/gtest.h>

#include "platform/process_paths.h"
#include "platform/profile.h"
#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::TempFolder;

TEST(WindowsProfile, BareFileNameMeansTheCurrentDirectory) {
  TempFolder folder;
  const std::string before = CurrentDirectory();
  ASSERT_TRUE(::SetCurrentDirectoryA(folder.path().c_str()));
  const bool written = WriteProfileString(testing::RealFiles(), "BARE.INI", "S", "K", "v");
  const std::string read = ReadProfileString(testing::RealFiles(), "BARE.INI", "S", "K", "");
  ::SetCurrentDirectoryA(before.c_str());
  EXPECT_TRUE(written);
  EXPECT_EQ(read, "v");
  EXPECT_EQ(folder.list(), std::vector<std::string>{"BARE.INI"});
}

TEST(WindowsProfile, LongValueIsCutAtTheLimit) {
  TempFolder folder;
  const std::string file = folder.file("LONG.INI");
  const std::string value(300, 'x');
  ASSERT_TRUE(WriteProfileString(testing::RealFiles(), file, "Recent File List", "File0", value));
  EXPECT_EQ(ReadProfileString(testing::RealFiles(), file, "Recent File List", "File0", ""),
            value.substr(0, kProfileValueLimit));
  EXPECT_EQ(ReadProfileString(testing::RealFiles(), file, "recent file list", "FILE0", "").size(),
            kProfileValueLimit);
}

TEST(WindowsProfile, MissingFileOrKeyGivesTheDefault) {
  TempFolder folder;
  const std::string file = folder.file("NONE.INI");
  EXPECT_EQ(ReadProfileString(testing::RealFiles(), file, "S", "K", "def"), "def");
  ASSERT_TRUE(WriteProfileString(testing::RealFiles(), file, "S", "Other", "1"));
  EXPECT_EQ(ReadProfileString(testing::RealFiles(), file, "S", "K", ""), "");
  EXPECT_EQ(ReadProfileString(testing::RealFiles(), file, "S", "Other", ""), "1");
}

}  // namespace
}  // namespace kerro
