#include "platform/paths.h"

#include <gtest/gtest.h>

namespace kerro {
namespace {

struct SplitCase {
  const char* name;
  PathStyle style;
  const char* path;
  PathParts parts;
};

TEST(Paths, SplitAndJoin) {
  const SplitCase cases[] = {
      {"posix full", PathStyle::Posix, "/home/a/SHEET.CE2", {"", "/home/a/", "SHEET", ".CE2"}},
      {"posix bare", PathStyle::Posix, "NOTE", {"", "", "NOTE", ""}},
      {"posix dotted folder", PathStyle::Posix, "a.b/NOTE", {"", "a.b/", "NOTE", ""}},
      {"posix two dots", PathStyle::Posix, "x/a.b.c", {"", "x/", "a.b", ".c"}},
      {"posix only dot", PathStyle::Posix, "A.", {"", "", "A", "."}},
      {"posix backslash is a name", PathStyle::Posix, "a\\b.X", {"", "", "a\\b", ".X"}},
      {"windows drive", PathStyle::Windows, "C:\\work\\A.CE2", {"C:", "\\work\\", "A", ".CE2"}},
      {"windows slashes", PathStyle::Windows, "C:/w\\x/B.lb3", {"C:", "/w\\x/", "B", ".lb3"}},
      {"windows relative", PathStyle::Windows, "D:A.X", {"D:", "", "A", ".X"}},
      {"windows no folder", PathStyle::Windows, "A.CE2", {"", "", "A", ".CE2"}},
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

TEST(Paths, DirectoryOf) {
  EXPECT_EQ(DirectoryOf("/a/b/C.CE2", PathStyle::Posix), "/a/b/");
  EXPECT_EQ(DirectoryOf("C.CE2", PathStyle::Posix), "");
  EXPECT_EQ(DirectoryOf("C:\\x\\C.CE2", PathStyle::Windows), "C:\\x\\");
}

}  // namespace
}  // namespace kerro
