#include "app/settings_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/process_paths.h"
#include "testing/code_page_932.h"
#include "testing/test_support.h"

namespace kerro {
namespace {

TEST(SettingsFile, CurrentDirectoryFirstThenBesideTheProgram) {
  struct Case {
    const char* name;
    PathStyle style;
    std::string current;
    std::string executable;
    bool currentOpens;
    std::string expected;
  };
  // A folder whose name ends in the byte of '\' (基板表 in code page 932).
  const std::string board = "C:\\" + std::string(cp932::kBoardTable);
  const Case cases[] = {
      {"windows: current directory", PathStyle::Windows, "C:\\work", "D:\\bin\\KERRO.EXE", true,
       "C:\\work\\KERRO.INI"},
      {"windows: beside the program", PathStyle::Windows, "C:\\work", "D:\\bin\\KERRO.EXE", false,
       "D:\\bin\\KERRO.INI"},
      {"windows: root keeps one separator", PathStyle::Windows, "C:\\", "D:\\KERRO.EXE", true,
       "C:\\KERRO.INI"},
      {"windows: root of the program's drive", PathStyle::Windows, "C:\\", "D:\\KERRO.EXE", false,
       "D:\\KERRO.INI"},
      {"windows: program name does not matter", PathStyle::Windows, "C:\\w",
       "C:\\Program Files\\k\\renum.v2.exe", false, "C:\\Program Files\\k\\KERRO.INI"},
      {"posix: current directory", PathStyle::Posix, "/home/u", "/usr/bin/kerro", true,
       "/home/u/KERRO.INI"},
      {"posix: beside the program", PathStyle::Posix, "/home/u", "/usr/bin/kerro", false,
       "/usr/bin/KERRO.INI"},
      {"unknown current directory", PathStyle::Posix, "", "/opt/k/kerro", true, "/opt/k/KERRO.INI"},
      {"code page 932: current directory", PathStyle::WindowsCodePage932, board, "D:\\KERRO.EXE",
       true, board + "\\KERRO.INI"},
      {"code page 932: beside the program", PathStyle::WindowsCodePage932, "C:\\",
       board + "\\KERRO.EXE", false, board + "\\KERRO.INI"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> asked;
    const std::string chosen = ChooseSettingsFile(
        c.current, c.executable,
        [&](const std::string& path) {
          asked.push_back(path);
          return c.currentOpens;
        },
        c.style);
    EXPECT_EQ(chosen, c.expected);
    EXPECT_LE(asked.size(), 1u);  // only the current directory's file is tried
  }
}

// On the real disk: a KERRO.INI in the current directory is used; without one, the file
// beside the program, which need not exist.
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
  EXPECT_EQ(withoutFile, DirectoryOf(ExecutablePath()) + "KERRO.INI");
}

}  // namespace
}  // namespace kerro
