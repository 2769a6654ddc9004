#include "library/library_path.h"

#include <gtest/gtest.h>

#include <random>

#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::MemoryFileSystem;
using Paths = std::vector<std::string>;

std::string RandomName(std::mt19937& random) {
  static constexpr std::string_view kChars = "abcxyzABCXYZ_09-.";
  std::string name;
  const int length = std::uniform_int_distribution(1, 6)(random);
  for (int i = 0; i < length; ++i) {
    name += kChars[std::uniform_int_distribution<size_t>(0, kChars.size() - 1)(random)];
  }
  return name == "." || name == ".." ? name + "x" : name;
}

// The path as a Windows user may have typed it: any letter in the other case, any
// separator as '\'.
std::string AsTypedOnWindows(const std::string& path, std::mt19937& random) {
  std::string typed = path;
  std::bernoulli_distribution coin;
  for (char& c : typed) {
    if (c == '/' && coin(random)) {
      c = '\\';
    } else if (std::isalpha(static_cast<unsigned char>(c)) && coin(random)) {
      c = static_cast<char>(std::islower(static_cast<unsigned char>(c)) ? std::toupper(c)
                                                                        : std::tolower(c));
    }
  }
  return typed;
}

TEST(FindLibraryFile, FindsAWindowsPathWhateverItsCaseAndSeparators) {
  std::mt19937 random(17);
  for (int round = 0; round < 500; ++round) {
    MemoryFileSystem files;
    std::string stored = std::bernoulli_distribution()(random) ? "/" : "";
    const int depth = std::uniform_int_distribution(0, 3)(random);
    for (int i = 0; i <= depth; ++i) {
      // Neighbours whose names differ from the wanted one by more than case.
      std::string name = RandomName(random);
      files.files[stored + name + "~"] = {1};
      files.files[stored + "~" + name + "/X.LB3"] = {1};
      stored += name + (i < depth ? "/" : "");
    }
    files.files[stored] = {2};
    const std::string listed = AsTypedOnWindows(stored, random);
    SCOPED_TRACE(listed + " for " + stored);

    std::string asPosix = listed;
    std::replace(asPosix.begin(), asPosix.end(), '\\', '/');
    // The path as written is looked for first, then with '/' for '\\', each also in any case.
    Paths readings = {listed};
    if (asPosix != listed) {
      readings.push_back(asPosix);
    }
    const LibraryFileSearch search = FindLibraryFile(listed, {}, files, {}, PathStyle::Posix);
    EXPECT_EQ(search.found, stored);
    Paths tried = readings;
    if (tried.back() != stored) {
      tried.push_back(stored);
    }
    EXPECT_EQ(search.tried, tried);

    // One letter more in the file name and nothing is found.
    const LibraryFileSearch missing =
        FindLibraryFile(listed + "Q", {}, files, {}, PathStyle::Posix);
    EXPECT_FALSE(missing.found.has_value());
    for (std::string& reading : readings) {
      reading += "Q";
    }
    EXPECT_EQ(missing.tried, readings);
  }
}

TEST(FindLibraryFile, ExactNamesWinAndTheLowestOfSeveralMatches) {
  MemoryFileSystem files;
  files.files["lib/Demo.lb3"] = {1};
  files.files["lib/DEMO.LB3"] = {2};
  files.files["lib/demo.lb3"] = {3};
  EXPECT_EQ(FindIgnoringCase("lib/demo.lb3", files), "lib/demo.lb3");
  EXPECT_EQ(FindIgnoringCase("LIB/Demo.Lb3", files), "lib/DEMO.LB3");
  // '.' and '..' are taken as they stand: no folder lists them.
  files.files["./lib/../lib/DEMO.LB3"] = {4};
  EXPECT_EQ(FindIgnoringCase("./LIB/../lib/DEMO.lb3", files), "./lib/../lib/DEMO.LB3");
}

TEST(FindLibraryFile, LooksInTheLibraryFoldersByFileName) {
  struct Case {
    const char* name;
    PathStyle style;
    std::string listed;
    Paths folders;
    std::optional<std::string> found;
    Paths tried;
  };
  const Case cases[] = {
      {"drive path found in the second folder, ignoring case",
       PathStyle::Posix,
       "C:\\TOSK\\LIB\\std.lb3",
       {"/none", "/opt/tosk/"},
       "/opt/tosk/STD.LB3",
       {"C:\\TOSK\\LIB\\std.lb3", "C:/TOSK/LIB/std.lb3", "/none/std.lb3", "/opt/tosk/std.lb3",
        "/opt/tosk/STD.LB3"}},
      {"a file where TOSK.INI says wins over the folders",
       PathStyle::Posix,
       "lib\\OPAMP.LIB",
       {"/opt/tosk"},
       "lib/OPAMP.LIB",
       {"lib\\OPAMP.LIB", "lib/OPAMP.LIB"}},
      {"a '\\' byte of a POSIX name",
       PathStyle::Posix,
       "lib\\OPAMP.LIB\\",
       {},
       "lib\\OPAMP.LIB\\",
       {"lib\\OPAMP.LIB\\"}},
      {"names in code page 932, whose second bytes may be '\\'",
       PathStyle::Posix,
       "\x95\\\\\x83\\.LB3",  // 表\ソ.LB3
       {},
       "\x95\\/\x83\\.LB3",
       {"\x95\\\\\x83\\.LB3", "\x95//\x83/.LB3", "\x95\\/\x83\\.LB3"}},
      {"a Latin-1 name ending in a lead byte of code page 932",
       PathStyle::Posix,
       "Biblioth\xE8\\STD.LB3",
       {},
       "Biblioth\xE8/STD.LB3",
       {"Biblioth\xE8\\STD.LB3", "Biblioth\xE8/STD.LB3"}},
      {"found nowhere: every path tried is named",
       PathStyle::Posix,
       "C:\\TOSK\\LIB\\GONE.LB3",
       {"/opt/tosk", "rel"},
       std::nullopt,
       {"C:\\TOSK\\LIB\\GONE.LB3", "C:/TOSK/LIB/GONE.LB3", "/opt/tosk/GONE.LB3", "rel/GONE.LB3"}},
      {"no file name, no folder is searched",
       PathStyle::Posix,
       "C:\\TOSK\\",
       {"/opt/tosk"},
       std::nullopt,
       {"C:\\TOSK\\", "C:/TOSK/"}},
      {"Windows keeps the path as written and ignores no case itself",
       PathStyle::Windows,
       "C:\\TOSK\\LIB\\std.lb3",
       {"D:\\none", "/opt/tosk", "E:"},
       std::nullopt,
       {"C:\\TOSK\\LIB\\std.lb3", "D:\\none\\std.lb3", "/opt/tosk\\std.lb3", "E:std.lb3"}},
      {"Windows finds the exact name in a folder",
       PathStyle::Windows,
       "C:\\TOSK\\LIB\\STD.LB3",
       {"/opt/tosk/"},
       "/opt/tosk/STD.LB3",
       {"C:\\TOSK\\LIB\\STD.LB3", "/opt/tosk/STD.LB3"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFileSystem files;
    files.files["/opt/tosk/STD.LB3"] = {1};
    files.files["lib/OPAMP.LIB"] = {1};
    files.files["lib\\OPAMP.LIB\\"] = {1};
    files.files["\x95\\/\x83\\.LB3"] = {1};
    files.files["Biblioth\xE8/STD.LB3"] = {1};
    const LibraryFileSearch search = FindLibraryFile(c.listed, c.folders, files, {}, c.style);
    EXPECT_EQ(search.found, c.found);
    EXPECT_EQ(search.tried, c.tried);
  }
}

// Started from another folder, the program still finds what TOSK.INI lists relative to its
// own folder; the current folder comes first, and a rooted path is never moved.
TEST(FindLibraryFile, ARelativePathIsTriedFromTheSettingsFolderAfterTheCurrentOne) {
  MemoryFileSystem files;
  files.files["board/lib/A.LB3"] = {1};
  files.files["board/lib/B.LB3"] = {1};
  files.files["lib/B.LB3"] = {1};
  files.files["board\\lib\\A.LB3"] = {1};
  const LibraryFileSearch besideSettings =
      FindLibraryFile("lib\\A.LB3", {}, files, "board", PathStyle::Posix);
  EXPECT_EQ(besideSettings.found, "board/lib/A.LB3");
  EXPECT_EQ(besideSettings.tried,
            (Paths{"lib\\A.LB3", "board/lib\\A.LB3", "lib/A.LB3", "board/lib/A.LB3"}));
  EXPECT_EQ(FindLibraryFile("lib/B.LB3", {}, files, "board/", PathStyle::Posix).found, "lib/B.LB3");
  EXPECT_EQ(FindLibraryFile("/lib/A.LB3", {}, files, "board", PathStyle::Posix).tried,
            Paths{"/lib/A.LB3"});
  EXPECT_EQ(FindLibraryFile("C:lib/A.LB3", {}, files, "board", PathStyle::Posix).tried,
            Paths{"C:lib/A.LB3"});
  EXPECT_EQ(FindLibraryFile("lib\\A.LB3", {}, files, "board", PathStyle::Windows).found,
            "board\\lib\\A.LB3");
}

TEST(FindLibraryFile, TriedPathsStandEachBetweenTheMessagesQuotes) {
  EXPECT_EQ(JoinTriedPaths(Paths{"lib\\A.LB3"}), "lib\\A.LB3");
  EXPECT_EQ(JoinTriedPaths(Paths{"a", "b", "c"}), "a\", \"b\", \"c");
}

}  // namespace
}  // namespace kerro
