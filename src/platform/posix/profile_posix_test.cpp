#include <gtest/gtest.h>

#include "platform/profile.h"
#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

std::string Written(const std::string& before, std::string_view section, std::string_view key,
                    std::string_view value) {
  TempFolder folder;
  const std::string file = folder.file("T.INI");
  if (!before.empty()) {
    WriteBytes(file, {before.begin(), before.end()});
  }
  EXPECT_TRUE(WriteProfileString(testing::RealFiles(), file, section, key, value));
  EXPECT_EQ(folder.list(), std::vector<std::string>{"T.INI"}) << "no temporary file is left";
  const auto bytes = ReadBytes(file);
  return {bytes.begin(), bytes.end()};
}

TEST(PosixProfile, WriteChangesOnlyItsLine) {
  struct Case {
    const char* name;
    std::string before;
    const char* section;
    const char* key;
    std::string after;
  };
  const std::vector<Case> cases = {
      {"replace keeps the key's spelling", "; c\n[A]\n Key = old \nX=1\n", "a", "KEY",
       "; c\n[A]\nKey=new\nX=1\n"},
      {"add after the last item", "[A]\nX=1\n\n[B]\nY=2\n", "A", "K",
       "[A]\nX=1\nK=new\n\n[B]\nY=2\n"},
      {"add to an empty section", "[A]\n[B]\n", "A", "K", "[A]\nK=new\n[B]\n"},
      {"CR LF file stays CR LF", "[A]\r\nX=1\r\n", "B", "K", "[A]\r\nX=1\r\n[B]\r\nK=new\r\n"},
      {"last line without break", "[A]\nX=1", "A", "K", "[A]\nX=1\nK=new\n"},
      {"new section after text without break", "[A]\nX=1", "B", "K", "[A]\nX=1\n[B]\nK=new\n"},
      {"only the first section of a name", "[A]\nX=1\n[A]\nK=2\n", "A", "K",
       "[A]\nX=1\nK=new\n[A]\nK=2\n"},
      {"new file", "", "A", "K", "[A]\nK=new\n"},
      // A last line ending in a lone CR is completed with LF alone: another CR would
      // become part of that line's value.
      {"last line ends in CR, CR LF file", "[A]\r\nX=1\r", "A", "K", "[A]\r\nX=1\r\nK=new\r\n"},
      {"last line ends in CR, new section", "[A]\nX=1\r", "B", "K", "[A]\nX=1\r\n[B]\nK=new\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Written(c.before, c.section, c.key, "new"), c.after);
  }
}

TEST(PosixProfile, WritingAKeyKeepsTheValueOfALastLineEndingInCR) {
  TempFolder folder;
  const std::string file = folder.file("T.INI");
  const std::string text = "[A]\r\nX=1\r";
  WriteBytes(file, {text.begin(), text.end()});
  ASSERT_EQ(ReadProfileString(testing::RealFiles(), file, "A", "X", ""), "1");
  ASSERT_TRUE(WriteProfileString(testing::RealFiles(), file, "A", "K", "new"));
  EXPECT_EQ(ReadProfileString(testing::RealFiles(), file, "A", "X", ""), "1");
  EXPECT_EQ(ReadProfileString(testing::RealFiles(), file, "A", "K", ""), "new");
}

TEST(PosixProfile, RefusesTextsThatWouldBreakLines) {
  TempFolder folder;
  const std::string file = folder.file("T.INI");
  EXPECT_FALSE(WriteProfileString(testing::RealFiles(), file, "A", "K", "two\nlines"));
  EXPECT_FALSE(WriteProfileString(testing::RealFiles(), file, "A", "K=", "v"));
  EXPECT_FALSE(WriteProfileString(testing::RealFiles(), file, "A]", "K", "v"));
  EXPECT_TRUE(folder.list().empty());
}

TEST(PosixProfile, FailedWriteLeavesNothing) {
  TempFolder folder;
  EXPECT_FALSE(
      WriteProfileString(testing::RealFiles(), folder.file("missing/T.INI"), "A", "K", "v"));
  EXPECT_TRUE(folder.list().empty());
}

TEST(PosixProfile, TrailingBlanksOfTheDefaultAreDropped) {
  TempFolder folder;
  EXPECT_EQ(ReadProfileString(testing::RealFiles(), folder.file("NONE.INI"), "A", "K", "def  "),
            "def");
  EXPECT_EQ(ReadProfileString(testing::RealFiles(), folder.file("NONE.INI"), "A", "K",
                              std::string(300, 'd'))
                .size(),
            kProfileValueLimit);
}

}  // namespace
}  // namespace kerro
