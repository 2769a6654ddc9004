#include <windows.h>

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "platform/process_paths.h"
#include "testing/test_support.h"

namespace kerro {
namespace {

TEST(WindowsProcessPaths, ExecutableIsTheTestProgram) {
  const std::string path = ExecutablePath();
  const PathParts parts = SplitPath(path);
  EXPECT_FALSE(parts.drive.empty()) << path;
  EXPECT_EQ(::lstrcmpiA(parts.baseName.c_str(), "kerro_test"), 0) << path;
  EXPECT_EQ(::lstrcmpiA(parts.extension.c_str(), ".exe"), 0) << path;
}

TEST(WindowsProcessPaths, CurrentDirectoryFollowsTheProcess) {
  const std::string before = CurrentDirectory();
  ASSERT_FALSE(before.empty());
  testing::TempFolder folder;
  ASSERT_TRUE(::SetCurrentDirectoryA(folder.path().c_str()));
  const std::string inside = CurrentDirectory();
  ::SetCurrentDirectoryA(before.c_str());
  EXPECT_EQ(::lstrcmpiA(inside.c_str(), folder.path().c_str()), 0)
      << inside << " vs " << folder.path();
  EXPECT_EQ(CurrentDirectory(), before);
}

}  // namespace
}  // namespace kerro
