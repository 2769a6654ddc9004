// Rules of the profile functions that hold on every platform. On Windows these run
// against the system's own INI functions, so they assert only what both sides share.

#include "platform/profile.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

void WriteText(const std::string& path, const std::string& text) {
  WriteBytes(path, {text.begin(), text.end()});
}

std::string ReadText(const std::string& path) {
  const auto bytes = ReadBytes(path);
  return {bytes.begin(), bytes.end()};
}

// The file's non-empty lines, without line breaks.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      if (!line.empty()) {
        lines.push_back(line);
      }
      line.clear();
    } else {
      line.push_back(c);
    }
  }
  if (!line.empty()) {
    lines.push_back(line);
  }
  return lines;
}

TEST(Profile, ReadRules) {
  TempFolder folder;
  const std::string file = folder.file("RULES.INI");
  WriteText(file,
            "[Other]\r\n"
            "Key=other section\r\n"
            "[Library]\r\n"
            "Lib0=first\r\n"
            "LIB0=second\r\n"
            "  Spaced  =   value with  inner blanks  \r\n"
            "Empty=\r\n"
            "Path=C:\\TOSK\\LIB\\TTL.LB3\r\n"
            "Quoted=\"in quotes\"\r\n"
            "[LIBRARY]\r\n"
            "Late=in the second section of the name\r\n"
            "LIB0=third\r\n");
  struct Case {
    const char* name;
    const char* section;
    const char* key;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"exact", "Library", "Lib0", "first"},
      {"section and key in other case", "LIBRARY", "lib0", "first"},
      {"blanks around key and value", "library", "SPACED", "value with  inner blanks"},
      {"empty value", "Library", "Empty", ""},
      {"backslashes kept", "Library", "Path", "C:\\TOSK\\LIB\\TTL.LB3"},
      {"quotes dropped", "Library", "Quoted", "in quotes"},
      {"other section", "Other", "key", "other section"},
      {"missing key", "Library", "LIB1", "default"},
      {"missing section", "Printer", "Lib0", "default"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReadProfileString(testing::RealFiles(), file, c.section, c.key, "default"),
              c.expected);
  }
}

TEST(Profile, MissingFileGivesTheDefault) {
  TempFolder folder;
  EXPECT_EQ(ReadProfileString(testing::RealFiles(), folder.file("NONE.INI"), "LIBRARY", "LIB0", ""),
            "");
  EXPECT_EQ(
      ReadProfileString(testing::RealFiles(), folder.file("NONE.INI"), "LIBRARY", "LIB0", "x"),
      "x");
  EXPECT_TRUE(folder.list().empty());
}

TEST(Profile, ValuesAreCutAt259Characters) {
  TempFolder folder;
  const std::string file = folder.file("LONG.INI");
  const std::string exact(kProfileValueLimit, 'a');
  WriteText(file, "[S]\r\nExact=" + exact + "\r\nLong=" + exact + "bcd\r\n");
  EXPECT_EQ(ReadProfileString(testing::RealFiles(), file, "S", "Exact", ""), exact);
  EXPECT_EQ(ReadProfileString(testing::RealFiles(), file, "S", "Long", ""), exact);
}

TEST(Profile, WriteReplacesAKeyAndKeepsEveryOtherLine) {
  TempFolder folder;
  const std::string file = folder.file("KEEP.INI");
  WriteText(file,
            "; a comment\r\n"
            "[Recent File List]\r\n"
            "File0=C:\\A.CE2\r\n"
            "File1=C:\\B.CE2\r\n"
            "\r\n"
            "[Settings]\r\n"
            "Grid=10\r\n");
  ASSERT_TRUE(
      WriteProfileString(testing::RealFiles(), file, "recent file list", "FILE1", "C:\\NEW.CE2"));
  EXPECT_EQ(ReadProfileString(testing::RealFiles(), file, "Recent File List", "File1", ""),
            "C:\\NEW.CE2");
  EXPECT_EQ(ReadProfileString(testing::RealFiles(), file, "Recent File List", "File0", ""),
            "C:\\A.CE2");
  EXPECT_EQ(ReadProfileString(testing::RealFiles(), file, "Settings", "Grid", ""), "10");
  const auto lines = Lines(ReadText(file));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "; a comment"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Grid=10"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "File0=C:\\A.CE2"), 1);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& line) { return line.find("B.CE2") != line.npos; }),
            0);
  EXPECT_EQ(lines.size(), 6u);
}

TEST(Profile, WriteAddsKeysAndSections) {
  TempFolder folder;
  const std::string file = folder.file("ADD.INI");
  WriteText(file, "[Settings]\r\nGrid=10\r\n");
  ASSERT_TRUE(WriteProfileString(testing::RealFiles(), file, "Settings", "Snap", "1"));
  ASSERT_TRUE(
      WriteProfileString(testing::RealFiles(), file, "Recent File List", "File0", "C:\\A.CE2"));
  EXPECT_EQ(ReadProfileString(testing::RealFiles(), file, "Settings", "Grid", ""), "10");
  EXPECT_EQ(ReadProfileString(testing::RealFiles(), file, "Settings", "Snap", ""), "1");
  EXPECT_EQ(ReadProfileString(testing::RealFiles(), file, "Recent File List", "File0", ""),
            "C:\\A.CE2");
  // The new key went into its own section, not into the one after it.
  EXPECT_EQ(ReadProfileString(testing::RealFiles(), file, "Recent File List", "Snap", "none"),
            "none");
  EXPECT_EQ(Lines(ReadText(file)).size(), 5u);

  // Writing creates a missing file.
  const std::string fresh = folder.file("NEW.INI");
  ASSERT_TRUE(WriteProfileString(testing::RealFiles(), fresh, "LIBRARY", "LIB0", "TTL.LB3"));
  EXPECT_EQ(ReadProfileString(testing::RealFiles(), fresh, "library", "lib0", ""), "TTL.LB3");
}

// On any file system but the machine's, the profile goes through the FileSystem: a read
// that fails gives the default, and a write that fails leaves the file as it was and no
// temporary beside it.
TEST(Profile, ReadsAndWritesThroughTheFileSystem) {
  testing::MemoryFileSystem files;
  const std::string ini = "/cfg/KERRO.INI";
  const std::string text = "[Recent File List]\r\nFile0=C:\\A.CE2\r\n";
  files.files[ini] = std::vector<uint8_t>(text.begin(), text.end());
  EXPECT_EQ(ReadProfileString(files, ini, "recent file list", "file0", ""), "C:\\A.CE2");

  files.failOn(testing::FileOperation::Read, ini);
  EXPECT_EQ(ReadProfileString(files, ini, "Recent File List", "File0", "none"), "none");
  files.clearFaults();

  for (const auto fault : {testing::FileOperation::Write, testing::FileOperation::Flush,
                           testing::FileOperation::Rename}) {
    files.failOn(fault);
    EXPECT_FALSE(WriteProfileString(files, ini, "Recent File List", "File0", "C:\\B.CE2"));
    files.clearFaults();
    EXPECT_EQ(files.files.size(), 1u);
    EXPECT_EQ(files.files[ini], std::vector<uint8_t>(text.begin(), text.end()));
  }
  ASSERT_TRUE(WriteProfileString(files, ini, "Recent File List", "File0", "C:\\B.CE2"));
  EXPECT_EQ(ReadProfileString(files, ini, "Recent File List", "File0", ""), "C:\\B.CE2");
  EXPECT_EQ(files.files.size(), 1u);
}

}  // namespace
}  // namespace kerro
