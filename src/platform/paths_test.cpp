#include "platform/paths.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "testing/code_page_932.h"

namespace kerro {
namespace {

struct SplitCase {
  const char* name;
  PathStyle style;
  std::string path;
  PathParts parts;
};

std::string Joined(std::initializer_list<std::string_view> pieces) {
  std::string result;
  for (std::string_view piece : pieces) {
    result += piece;
  }
  return result;
}

TEST(Paths, SplitAndJoin) {
  using cp932::kBoardTable;
  using cp932::kSo;
  using cp932::kTable;
  const PathStyle dbcs = PathStyle::WindowsCodePage932;
  const SplitCase cases[] = {
      {"posix full", PathStyle::Posix, "/home/a/SHEET.CE2", {"", "/home/a/", "SHEET", ".CE2"}},
      {"posix bare", PathStyle::Posix, "NOTE", {"", "", "NOTE", ""}},
      {"posix dotted folder", PathStyle::Posix, "a.b/NOTE", {"", "a.b/", "NOTE", ""}},
      {"posix two dots", PathStyle::Posix, "x/a.b.c", {"", "x/", "a.b", ".c"}},
      {"posix only dot", PathStyle::Posix, "A.", {"", "", "A", "."}},
      {"posix backslash is a name", PathStyle::Posix, "a\\b.X", {"", "", "a\\b", ".X"}},
      {"posix keeps plain bytes",
       PathStyle::Posix,
       Joined({"/d/", kTable, ".CE2"}),
       {"", "/d/", std::string(kTable), ".CE2"}},
      {"windows drive", PathStyle::Windows, "C:\\work\\A.CE2", {"C:", "\\work\\", "A", ".CE2"}},
      {"windows slashes", PathStyle::Windows, "C:/w\\x/B.lb3", {"C:", "/w\\x/", "B", ".lb3"}},
      {"windows relative", PathStyle::Windows, "D:A.X", {"D:", "", "A", ".X"}},
      {"windows no folder", PathStyle::Windows, "A.CE2", {"", "", "A", ".CE2"}},
      {"932 name ends in 0x5C",
       dbcs,
       Joined({"Z:\\", kBoardTable, "\\", kTable, ".CE2"}),
       {"Z:", Joined({"\\", kBoardTable, "\\"}), std::string(kTable), ".CE2"}},
      {"932 folder ends in 0x5C",
       dbcs,
       Joined({"C:\\", kSo, "\\NOTE"}),
       {"C:", Joined({"\\", kSo, "\\"}), "NOTE", ""}},
      {"932 name only", dbcs, Joined({kTable, ".X"}), {"", "", std::string(kTable), ".X"}},
      {"932 lead byte at the end", dbcs, "C:\\a\\B\x95", {"C:", "\\a\\", "B\x95", ""}},
      {"932 lead byte before a separator", dbcs, "C:\\a\x95/b.X", {"C:", "\\", "a\x95/b", ".X"}},
      {"932 lead byte is no drive", dbcs, "\x95:x", {"", "", "\x95:x", ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PathParts parts = SplitPath(c.path, c.style);
    EXPECT_EQ(parts.drive, c.parts.drive);
    EXPECT_EQ(parts.directory, c.parts.directory);
    EXPECT_EQ(parts.baseName, c.parts.baseName);
    EXPECT_EQ(parts.extension, c.parts.extension);
    EXPECT_EQ(JoinPath(parts), c.path);
  }
}

// Random Windows paths built from pieces whose role is known, among them characters whose
// second byte is 0x5C: the split must find exactly the separators and the dot placed.
TEST(Paths, SplitFindsOnlyRealSeparatorsInCodePage932) {
  const std::vector<std::string_view> nameCharacters = {
      "A", "z", "0", "_", " ", cp932::kTable, cp932::kSo, cp932::kNo, "\x8A\xEE", "\x81\x40"};
  std::mt19937 random(932);
  auto pick = [&](size_t count) { return static_cast<size_t>(random() % count); };
  auto name = [&](size_t minimum) {
    std::string text;
    for (size_t n = minimum + pick(4); n > 0; --n) {
      text += nameCharacters[pick(nameCharacters.size())];
    }
    return text;
  };
  for (int round = 0; round < 2000; ++round) {
    PathParts expected;
    if (pick(2) == 0) {
      expected.drive = "C:";
    }
    for (size_t folders = pick(4); folders > 0; --folders) {
      expected.directory += name(1) + (pick(2) == 0 ? "\\" : "/");
    }
    expected.baseName = name(pick(2));
    if (pick(3) != 0) {
      expected.extension = "." + name(0);
    }
    const std::string path = JoinPath(expected);
    SCOPED_TRACE(path);
    const PathParts parts = SplitPath(path, PathStyle::WindowsCodePage932);
    ASSERT_EQ(parts.drive, expected.drive);
    ASSERT_EQ(parts.directory, expected.directory);
    ASSERT_EQ(parts.baseName, expected.baseName);
    ASSERT_EQ(parts.extension, expected.extension);
  }
}

TEST(Paths, DirectoryOf) {
  EXPECT_EQ(DirectoryOf("/a/b/C.CE2", PathStyle::Posix), "/a/b/");
  EXPECT_EQ(DirectoryOf("C.CE2", PathStyle::Posix), "");
  EXPECT_EQ(DirectoryOf("C:\\x\\C.CE2", PathStyle::Windows), "C:\\x\\");
}

TEST(Paths, WithTrailingSeparator) {
  const PathStyle dbcs = PathStyle::WindowsCodePage932;
  EXPECT_EQ(WithTrailingSeparator("", PathStyle::Posix), "");
  EXPECT_EQ(WithTrailingSeparator("/opt/k", PathStyle::Posix), "/opt/k/");
  EXPECT_EQ(WithTrailingSeparator("/", PathStyle::Posix), "/");
  EXPECT_EQ(WithTrailingSeparator("C:", PathStyle::Windows), "C:");
  EXPECT_EQ(WithTrailingSeparator("C:\\w\\", PathStyle::Windows), "C:\\w\\");
  EXPECT_EQ(WithTrailingSeparator("C:\\w", PathStyle::Windows), "C:\\w\\");
  EXPECT_EQ(WithTrailingSeparator(Joined({"C:\\", cp932::kBoardTable}), dbcs),
            Joined({"C:\\", cp932::kBoardTable, "\\"}));
}

}  // namespace
}  // namespace kerro
