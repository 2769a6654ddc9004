#include "app/settings_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/process_paths.h"
#include "testing/code_page_932.h"
#include "testing/test_support.h"

namespace kerro {
namespace {

TEST(SettingsFile, CurrentDirectoryFirstThenBesideTheProgramOrInTheUsersFolder) {
  struct Case {
    const char* name;
    SettingsFilePlaces places;
    bool currentOpens;
    std::string expected;
  };
  constexpr SettingsHome kBeside = SettingsHome::BesideProgram;
  constexpr SettingsHome kUser = SettingsHome::UserConfigFolder;
  // A folder whose name ends in the byte of '\' (基板表 in code page 932).
  const std::string board = "C:\\" + std::string(cp932::kBoardTable);
  const Case cases[] = {
      {"windows: current directory",
       {"C:\\work", "D:\\bin\\KERRO.EXE", "", "", kBeside, PathStyle::Windows},
       true,
       "C:\\work\\KERRO.INI"},
      {"windows: beside the program",
       {"C:\\work", "D:\\bin\\KERRO.EXE", "", "", kBeside, PathStyle::Windows},
       false,
       "D:\\bin\\KERRO.INI"},
      {"windows: root keeps one separator",
       {"C:\\", "D:\\KERRO.EXE", "", "", kBeside, PathStyle::Windows},
       true,
       "C:\\KERRO.INI"},
      {"windows: root of the program's drive",
       {"C:\\", "D:\\KERRO.EXE", "", "", kBeside, PathStyle::Windows},
       false,
       "D:\\KERRO.INI"},
      {"windows: program name does not matter",
       {"C:\\w", "C:\\Program Files\\k\\renum.v2.exe", "", "", kBeside, PathStyle::Windows},
       false,
       "C:\\Program Files\\k\\KERRO.INI"},
      {"windows: the environment is not asked",
       {"C:\\w", "D:\\KERRO.EXE", "C:\\cfg", "C:\\home", kBeside, PathStyle::Windows},
       false,
       "D:\\KERRO.INI"},
      {"code page 932: current directory",
       {board, "D:\\KERRO.EXE", "", "", kBeside, PathStyle::WindowsCodePage932},
       true,
       board + "\\KERRO.INI"},
      {"code page 932: beside the program",
       {"C:\\", board + "\\KERRO.EXE", "", "", kBeside, PathStyle::WindowsCodePage932},
       false,
       board + "\\KERRO.INI"},
      {"posix beside the program",
       {"/home/u", "/usr/bin/kerro", "", "", kBeside, PathStyle::Posix},
       false,
       "/usr/bin/KERRO.INI"},
      {"user folder: current directory still wins",
       {"/home/u/boards", "/usr/bin/kerro", "/home/u/cfg", "/home/u", kUser, PathStyle::Posix},
       true,
       "/home/u/boards/KERRO.INI"},
      {"user folder: XDG_CONFIG_HOME",
       {"/home/u/boards", "/usr/bin/kerro", "/home/u/cfg", "/home/u", kUser, PathStyle::Posix},
       false,
       "/home/u/cfg/kerro/KERRO.INI"},
      {"user folder: XDG_CONFIG_HOME with a trailing slash",
       {"/w", "/usr/bin/kerro", "/home/u/cfg/", "/home/u", kUser, PathStyle::Posix},
       false,
       "/home/u/cfg/kerro/KERRO.INI"},
      {"user folder: ~/.config when XDG_CONFIG_HOME is unset",
       {"/w", "/usr/bin/kerro", "", "/home/u", kUser, PathStyle::Posix},
       false,
       "/home/u/.config/kerro/KERRO.INI"},
      {"user folder: a relative XDG_CONFIG_HOME is ignored",
       {"/w", "/usr/bin/kerro", "cfg", "/root", kUser, PathStyle::Posix},
       false,
       "/root/.config/kerro/KERRO.INI"},
      {"user folder: home is the root folder",
       {"/w", "/usr/bin/kerro", "", "/", kUser, PathStyle::Posix},
       false,
       "/.config/kerro/KERRO.INI"},
      {"user folder: neither variable, the current directory",
       {"/w", "/usr/bin/kerro", "", "", kUser, PathStyle::Posix},
       false,
       "/w/KERRO.INI"},
      {"user folder: nothing known at all",
       {"", "", "", "relative", kUser, PathStyle::Posix},
       false,
       "KERRO.INI"},
      {"unknown current directory",
       {"", "/opt/k/kerro", "", "", kBeside, PathStyle::Posix},
       true,
       "/opt/k/KERRO.INI"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> asked;
    const std::string chosen = ChooseSettingsFile(c.places, [&](const std::string& path) {
      asked.push_back(path);
      return c.currentOpens;
    });
    EXPECT_EQ(chosen, c.expected);
    EXPECT_LE(asked.size(), 1u);  // only the current directory's file is tried
  }
}

// On the real disk: a KERRO.INI in the current directory is used; without one, the file
// beside the program on Windows and one in a folder of its own elsewhere, neither of which
// need exist.
TEST(SettingsFile, ChoosesOnTheRealDisk) {
  namespace fs = std::filesystem;
  testing::TempFolder folder;
  const fs::path before = fs::current_path();
  fs::current_path(folder.path());
  const std::string withoutFile = ChooseSettingsFile(testing::RealFiles());
  testing::WriteBytes(folder.file("KERRO.INI"), {});
  const std::string withFile = ChooseSettingsFile(testing::RealFiles());
  fs::current_path(before);

  EXPECT_TRUE(fs::equivalent(withFile, folder.file("KERRO.INI"))) << withFile;
  if (kNativeSettingsHome == SettingsHome::BesideProgram) {
    EXPECT_EQ(withoutFile, DirectoryOf(ExecutablePath()) + "KERRO.INI");
  } else {
    EXPECT_TRUE(withoutFile.ends_with("/kerro/KERRO.INI")) << withoutFile;
  }
}

}  // namespace
}  // namespace kerro
