#include "app/settings_store.h"

#include <gtest/gtest.h>

#include <vector>

#include "testing/test_support.h"

namespace kerro {
namespace {

constexpr const char* kFolder = "/home/u/.config/kerro";
constexpr const char* kFile = "/home/u/.config/kerro/KERRO.INI";

struct UserSettingsTest : ::testing::Test {
  UserSettingsTest() {
    files.foldersMustExist = true;
    files.folders = {"/home", "/home/u"};
  }
  UserSettingsStore store() {
    return UserSettingsStore(files, kFile,
                             [this](const std::string& file) { reported.push_back(file); });
  }
  // What one Quit of the dialog writes.
  static int writeHistory(SettingsStore& settings, const std::string& first) {
    int written = 0;
    for (const char* key : {"File0", "File1", "File2", "File3"}) {
      written += settings.writeString("Recent File List", key,
                                      std::string_view(key) == "File0" ? first : "")
                     ? 1
                     : 0;
    }
    return written;
  }

  testing::MemoryFileSystem files;
  std::vector<std::string> reported;
};

// The first start writes into a folder that is not there yet; the next start reads it back.
TEST_F(UserSettingsTest, FirstWriteMakesTheFolderAndTheNextStartReadsIt) {
  {
    UserSettingsStore first = store();
    EXPECT_EQ(first.readString("Recent File List", "File0"), "");
    EXPECT_EQ(writeHistory(first, "/boards/A.CE2"), 4);
  }
  EXPECT_EQ(files.folders.count("/home/u/.config"), 1u);
  EXPECT_EQ(files.folders.count(kFolder), 1u);
  UserSettingsStore second = store();
  EXPECT_EQ(second.readString("Recent File List", "File0"), "/boards/A.CE2");
  EXPECT_EQ(writeHistory(second, "/boards/B.CE2"), 4);
  EXPECT_EQ(store().readString("Recent File List", "File0"), "/boards/B.CE2");
  EXPECT_TRUE(reported.empty());
}

// However the write fails, the user hears of it once per run, with the file's path; the
// store still says which writes failed.
TEST_F(UserSettingsTest, AFailedWriteIsReportedOnceWithThePath) {
  struct Case {
    const char* name;
    void (*breakIt)(testing::MemoryFileSystem&);
  };
  const Case cases[] = {
      {"the folder cannot be made",
       [](testing::MemoryFileSystem& f) { f.failOn(testing::FileOperation::CreateFolder); }},
      {"a file is where the folder should be",
       [](testing::MemoryFileSystem& f) { f.files["/home/u/.config"] = {}; }},
      {"the file itself cannot be written",
       [](testing::MemoryFileSystem& f) { f.failOn(testing::FileOperation::Write); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    files = testing::MemoryFileSystem();
    files.foldersMustExist = true;
    files.folders = {"/home", "/home/u"};
    reported.clear();
    c.breakIt(files);
    UserSettingsStore settings = store();
    EXPECT_EQ(writeHistory(settings, "/boards/A.CE2"), 0);
    EXPECT_EQ(writeHistory(settings, "/boards/A.CE2"), 0);
    EXPECT_EQ(reported, std::vector<std::string>{kFile});
  }
}

// A KERRO.INI found in the current folder is written where it is.
TEST_F(UserSettingsTest, AFileInTheCurrentFolderNeedsNoFolderMade) {
  files.foldersMustExist = false;
  files.files["KERRO.INI"] = {};
  UserSettingsStore settings(files, "KERRO.INI",
                             [this](const std::string& file) { reported.push_back(file); });
  EXPECT_EQ(writeHistory(settings, "A.CE2"), 4);
  EXPECT_EQ(settings.readString("Recent File List", "File0"), "A.CE2");
  EXPECT_TRUE(reported.empty());
  for (const std::string& entry : files.log) {
    EXPECT_FALSE(entry.starts_with("create ")) << entry;
  }
}

}  // namespace
}  // namespace kerro
