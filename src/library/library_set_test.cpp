#include "library/library_set.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>

#include "platform/text_compare.h"
#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::BinaryLibraryBuilder;
using testing::TempFolder;
using testing::TextComponent;
using testing::TextLibraryBuilder;
using testing::WriteBytes;
using testing::WriteToskIni;

// A schematic folder and a program folder, each able to hold a TOSK.INI, and the
// libraries the tests list in them.
class LibrarySetTest : public ::testing::Test {
 protected:
  LibrarySetTest()
      : set_([this](const std::string& path) { errors_.push_back(path); }, testing::RealFiles()) {
    set_.setProgramFolder(programFolder_.path());
  }

  std::string schematic() const { return schematicFolder_.file("BOARD.CE2"); }

  std::string textLibrary(const std::string& name, const std::vector<TextComponent>& parts,
                          const std::vector<std::pair<std::string, std::string>>& aliases = {}) {
    TextLibraryBuilder builder;
    for (const auto& part : parts) {
      builder.component(part);
    }
    for (const auto& [part, alias] : aliases) {
      builder.alias(part, alias);
    }
    const std::string path = libraryFolder_.file(name);
    WriteBytes(path, builder.bytes());
    return path;
  }

  // A binary library of single-block parts, except those named in `blocks`.
  std::string binaryLibrary(const std::string& name, const std::vector<std::string>& parts,
                            uint8_t blocks = 1) {
    BinaryLibraryBuilder builder;
    const int body = builder.body({.blockCount = blocks});
    for (const auto& part : parts) {
      builder.entry(part, body);
    }
    const std::string path = libraryFolder_.file(name);
    WriteBytes(path, builder.bytes());
    return path;
  }

  void listBesideSchematic(const std::vector<std::string>& libraries) {
    WriteToskIni(schematicFolder_.file("TOSK.INI"), libraries);
  }
  void listBesideProgram(const std::vector<std::string>& libraries) {
    WriteToskIni(programFolder_.file("TOSK.INI"), libraries);
  }

  TempFolder schematicFolder_;
  TempFolder programFolder_;
  TempFolder libraryFolder_;
  std::vector<std::string> errors_;
  LibrarySet set_;
};

TEST_F(LibrarySetTest, LoadsListedLibrariesAndFindsParts) {
  const std::string ttl =
      textLibrary("TTL.LB3", {{.name = "74LS00", .blocks = 4}, {.name = "R", .refPrefix = "R"}},
                  {{"74LS00", "7400"}});
  const std::string bin = binaryLibrary("OPAMP.LIB", {"LM358", "TL072"}, 2);
  listBesideSchematic({ttl, bin});
  EXPECT_TRUE(set_.loadLibraries(schematic()));
  EXPECT_TRUE(errors_.empty());
  ASSERT_EQ(set_.libraryCount(), 2);
  EXPECT_EQ(set_.library(0)->fileName(), ttl);
  EXPECT_EQ(set_.library(1)->fileName(), bin);
  EXPECT_EQ(set_.library(2), nullptr);

  struct Case {
    const char* name;
    int blocks;  // 0: not found
    int library;
    int entry;
  };
  for (const Case& c : std::vector<Case>{{"74LS00", 4, 0, 0},
                                         {"7400", 4, 0, 2},
                                         {"R", 1, 0, 1},
                                         {"TL072", 2, 1, 1},
                                         {"74ls00", 0, 0, 0},
                                         {"74LS00 ", 0, 0, 0},
                                         {"", 0, 0, 0},
                                         {"NE555", 0, 0, 0}}) {
    SCOPED_TRACE(c.name);
    const PartEntry* entry = set_.findPart(c.name);
    const auto location = set_.locatePart(c.name);
    if (c.blocks == 0) {
      EXPECT_EQ(entry, nullptr);
      EXPECT_FALSE(location.has_value());
      continue;
    }
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->blockCount(), c.blocks);
    ASSERT_TRUE(location.has_value());
    EXPECT_EQ(location->library, c.library);
    EXPECT_EQ(location->entry, c.entry);
  }

  set_.freeLibraries();
  EXPECT_EQ(set_.libraryCount(), 0);
  EXPECT_EQ(set_.findPart("74LS00"), nullptr);
  set_.freeLibraries();  // safe on an empty set
}

TEST_F(LibrarySetTest, SettingsBesideTheSchematicWinEvenWhenEmpty) {
  listBesideProgram({textLibrary("A.LB3", {{.name = "A"}})});
  listBesideSchematic({});
  EXPECT_TRUE(set_.loadLibraries(schematic()));
  EXPECT_EQ(set_.libraryCount(), 0);
  EXPECT_EQ(set_.settingsFileFor(schematic()), schematicFolder_.file("TOSK.INI"));
}

TEST_F(LibrarySetTest, SettingsBesideTheProgramWhenNoneBesideTheSchematic) {
  listBesideProgram({textLibrary("A.LB3", {{.name = "A"}})});
  EXPECT_TRUE(set_.loadLibraries(schematic()));
  EXPECT_EQ(set_.libraryCount(), 1);
  EXPECT_NE(set_.findPart("A"), nullptr);
}

TEST_F(LibrarySetTest, NoSettingsAnywhereLoadsNothing) {
  EXPECT_TRUE(set_.loadLibraries(schematic()));
  EXPECT_EQ(set_.libraryCount(), 0);
  EXPECT_TRUE(errors_.empty());
}

TEST_F(LibrarySetTest, KeysMustBeConsecutive) {
  const std::string text =
      "[LIBRARY]\r\nLIB0=\r\nLIB1=" + textLibrary("A.LB3", {{.name = "A"}}) + "\r\n";
  WriteBytes(schematicFolder_.file("TOSK.INI"), {text.begin(), text.end()});
  EXPECT_TRUE(set_.loadLibraries(schematic()));
  EXPECT_EQ(set_.libraryCount(), 0);
}

TEST_F(LibrarySetTest, OneFailingLibraryEmptiesTheSet) {
  const std::string good = textLibrary("GOOD.LB3", {{.name = "74LS00", .blocks = 4}});
  const std::string missing = libraryFolder_.file("MISSING.LB3");
  const std::string later = textLibrary("LATER.LB3", {{.name = "LATER"}});
  listBesideSchematic({good, missing, later, libraryFolder_.file("ALSO_MISSING.LIB")});
  EXPECT_FALSE(set_.loadLibraries(schematic()));
  EXPECT_EQ(errors_, std::vector<std::string>{missing});
  EXPECT_EQ(set_.libraryCount(), 0);
  EXPECT_EQ(set_.findPart("74LS00"), nullptr);
  EXPECT_EQ(set_.findPart("LATER"), nullptr);
}

TEST_F(LibrarySetTest, FileKindFollowsExtensionAndHeader) {
  BinaryLibraryBuilder binary;
  binary.entry("BIN", binary.body({.blockCount = 3}));
  const auto binaryBytes = binary.bytes();
  TextLibraryBuilder text;
  text.component({.name = "TXT", .blocks = 2});

  struct Case {
    const char* name;
    std::string file;
    std::vector<uint8_t> bytes;
    bool loads;
  };
  const std::vector<Case> cases = {
      {"text library in lower case", "ttl.lb3", text.bytes(), true},
      {"text library in mixed case", "ttl.Lb3", text.bytes(), true},
      {"binary library, any extension", "OPAMP.LIB", binaryBytes, true},
      {"binary library without extension", "OPAMP", binaryBytes, true},
      {"binary content named .LB3 is read as text", "OPAMP.LB3", binaryBytes, false},
      {"text content with another extension", "TTL.TXT", text.bytes(), false},
      {"binary shorter than its magic",
       "SHORT.LIB",
       {binaryBytes.begin(), binaryBytes.begin() + 15},
       false},
      {"extension .LB3X", "TTL.LB3X", text.bytes(), false},
      {"empty file", "EMPTY.LIB", {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = libraryFolder_.file(c.file);
    WriteBytes(path, c.bytes);
    PartLibrary library;
    EXPECT_EQ(library.loadLibrary(path, testing::RealFiles()), c.loads);
    EXPECT_EQ(library.fileName().has_value(), c.loads);

    errors_.clear();
    listBesideSchematic({path});
    EXPECT_EQ(set_.loadLibraries(schematic()), c.loads);
    EXPECT_EQ(errors_.size(), c.loads ? 0u : 1u);
  }
}

TEST_F(LibrarySetTest, ALibraryLoadsOnlyOnce) {
  const std::string a = textLibrary("A.LB3", {{.name = "A"}});
  const std::string b = textLibrary("B.LB3", {{.name = "B"}});
  PartLibrary library;
  ASSERT_TRUE(library.loadLibrary(a, testing::RealFiles()));
  EXPECT_FALSE(library.loadLibrary(b, testing::RealFiles()));
  EXPECT_EQ(library.fileName(), a);
  EXPECT_EQ(library.entryAt(0)->name, "A");
}

TEST_F(LibrarySetTest, FirstLibraryThenFirstEntryWins) {
  const std::string first = textLibrary(
      "FIRST.LB3", {{.name = "DUP", .blocks = 2}, {.name = "DUP", .blocks = 3}, {.name = "X"}});
  const std::string second = binaryLibrary("SECOND.LIB", {"ONLY2", "DUP"}, 5);
  const std::string third = textLibrary("THIRD.LB3", {{.name = "ONLY2", .blocks = 7}});
  const std::string fourth = textLibrary("FOURTH.LB3", {{.name = "SHARED", .blocks = 8}});
  listBesideSchematic(
      {textLibrary("SHARED.LB3", {{.name = "SHARED", .blocks = 4}}), first, second, third, fourth});
  ASSERT_TRUE(set_.loadLibraries(schematic()));
  EXPECT_EQ(set_.findPart("SHARED")->blockCount(), 4);  // LIB0 before LIB4
  EXPECT_EQ(set_.locatePart("SHARED")->library, 0);
  EXPECT_EQ(set_.findPart("DUP")->blockCount(), 2);
  EXPECT_EQ(set_.locatePart("DUP")->entry, 0);
  EXPECT_EQ(set_.findPart("ONLY2")->blockCount(), 5);

  // The lookup agrees with a plain search through every library in order.
  for (const std::string name : {"SHARED", "DUP", "X", "ONLY2", "NONE", "dup"}) {
    SCOPED_TRACE(name);
    const PartEntry* linear = nullptr;
    for (int i = 0; i < set_.libraryCount() && linear == nullptr; ++i) {
      for (int j = 0; j < set_.library(i)->entryCount(); ++j) {
        if (CompareText(name, set_.library(i)->entryAt(j)->name) == 0) {
          linear = set_.library(i)->entryAt(j);
          break;
        }
      }
    }
    EXPECT_EQ(set_.findPart(name), linear);
  }
}

// Random libraries of both kinds whose names repeat within and across them, with
// aliases: every name, and names in none of them, is found where a plain search through
// every library in order finds it.
TEST_F(LibrarySetTest, LookupAgreesWithASearchInOrderOnRandomLibraries) {
  std::mt19937 random(2026);
  // Lengths around 8 and 16 reach both halves of the hash's word loop. A comma is escaped
  // in a text library; a soft hyphen is a character a locale's comparison may ignore.
  auto randomName = [&] {
    std::string name(1 + random() % 19, 'A');
    for (char& c : name) {
      c = "Aa0,\xAD"[random() % 5];
    }
    return name;
  };
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE(round);
    std::vector<std::string> listed;
    for (int n = 0; n < 4; ++n) {
      const std::string file = "R" + std::to_string(round) + "_" + std::to_string(n);
      std::vector<std::string> names;
      for (int i = 0; i < 700; ++i) {
        names.push_back(randomName());
      }
      if (n % 2 == 0) {
        std::vector<TextComponent> parts;
        for (const auto& name : names) {
          parts.push_back({.name = name, .blocks = 1 + static_cast<int>(random() % 4)});
        }
        std::vector<std::pair<std::string, std::string>> aliases;
        for (int i = 0; i < 200; ++i) {
          aliases.emplace_back(names[random() % names.size()], randomName());
        }
        listed.push_back(textLibrary(file + ".LB3", parts, aliases));
      } else {
        listed.push_back(binaryLibrary(file + ".LIB", names, static_cast<uint8_t>(1 + n)));
      }
    }
    listBesideSchematic(listed);
    ASSERT_TRUE(set_.loadLibraries(schematic()));
    ASSERT_EQ(set_.libraryCount(), 4);
    // The first place of each name, libraries in order and entries in file order: on
    // either system CompareText finds texts equal only when their bytes are.
    std::map<std::string, std::pair<int, int>> first;
    for (int i = 0; i < set_.libraryCount(); ++i) {
      for (int j = 0; j < set_.library(i)->entryCount(); ++j) {
        first.try_emplace(set_.library(i)->entryAt(j)->name, i, j);
      }
    }
    for (int probe = 0; probe < 1500; ++probe) {
      const std::string name = randomName();
      const auto expected = first.find(name);
      const auto located = set_.locatePart(name);
      ASSERT_EQ(located.has_value(), expected != first.end()) << name;
      if (located) {
        ASSERT_EQ(std::pair(located->library, located->entry), expected->second) << name;
        EXPECT_EQ(set_.findPart(name), set_.library(located->library)->entryAt(located->entry));
      }
    }
  }
}

TEST_F(LibrarySetTest, AtMostSixteenLibraries) {
  std::vector<std::string> libraries;
  for (int i = 0; i < 17; ++i) {
    libraries.push_back(
        textLibrary("L" + std::to_string(i) + ".LB3", {{.name = "P" + std::to_string(i)}}));
  }
  libraries.push_back(libraryFolder_.file("MISSING.LB3"));  // LIB17 is never read
  listBesideSchematic(libraries);
  EXPECT_TRUE(set_.loadLibraries(schematic()));
  EXPECT_EQ(set_.libraryCount(), kMaxLibraries);
  EXPECT_NE(set_.findPart("P15"), nullptr);
  EXPECT_EQ(set_.findPart("P16"), nullptr);
  EXPECT_TRUE(errors_.empty());
}

TEST_F(LibrarySetTest, LoadingAgainReplacesTheSet) {
  listBesideSchematic({textLibrary("A.LB3", {{.name = "A"}})});
  ASSERT_TRUE(set_.loadLibraries(schematic()));
  listBesideSchematic({textLibrary("B.LB3", {{.name = "B"}})});
  ASSERT_TRUE(set_.loadLibraries(schematic()));
  EXPECT_EQ(set_.libraryCount(), 1);
  EXPECT_EQ(set_.findPart("A"), nullptr);
  EXPECT_NE(set_.findPart("B"), nullptr);
}

TEST_F(LibrarySetTest, EntryWithoutBodyCountsOneBlock) {
  BinaryLibraryBuilder builder;
  builder.entry("NOBODY", std::nullopt).entry("QUAD", builder.body({.blockCount = 4}));
  const std::string path = libraryFolder_.file("NOBODY.LIB");
  WriteBytes(path, builder.bytes());
  listBesideSchematic({path});
  ASSERT_TRUE(set_.loadLibraries(schematic()));
  const PartEntry* entry = set_.findPart("NOBODY");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->body, nullptr);
  EXPECT_EQ(entry->blockCount(), 1);
  EXPECT_EQ(set_.findPart("QUAD")->blockCount(), 4);
}

#ifndef _WIN32
// TOSK.INI from a Windows machine, on the disk of this one.
TEST_F(LibrarySetTest, WindowsPathsFindTheirFilesHere) {
  std::filesystem::create_directory(libraryFolder_.file("lib"));
  const std::string text = textLibrary("lib/DEMO.LB3", {{.name = "74LS00", .blocks = 4}});
  const std::string binary = binaryLibrary("lib/Opamp.Lib", {"LM358"}, 2);
  // The folder names its files "/tmp/.../lib/..."; TOSK.INI writes "\LIB\" and other case.
  const std::string windowsFolder = libraryFolder_.path() + "\\LIB\\";
  listBesideSchematic({windowsFolder + "demo.lb3", windowsFolder + "OPAMP.LIB"});
  ASSERT_TRUE(set_.loadLibraries(schematic()));
  EXPECT_TRUE(errors_.empty());
  EXPECT_EQ(set_.library(0)->fileName(), text);
  EXPECT_EQ(set_.library(1)->fileName(), binary);
  EXPECT_EQ(set_.findPart("LM358")->blockCount(), 2);

  // A drive path: found by file name in the library folders, or every path tried is named.
  listBesideSchematic({"C:\\TOSK\\LIB\\DEMO.LB3", "C:\\TOSK\\LIB\\opamp.lib"});
  set_.setLibraryFolders({libraryFolder_.path(), libraryFolder_.file("lib")});
  ASSERT_TRUE(set_.loadLibraries(schematic()));
  EXPECT_EQ(set_.library(1)->fileName(), binary);
  set_.setLibraryFolders({libraryFolder_.path()});
  EXPECT_FALSE(set_.loadLibraries(schematic()));
  EXPECT_EQ(errors_,
            std::vector<std::string>{"C:\\TOSK\\LIB\\DEMO.LB3\", \"C:/TOSK/LIB/DEMO.LB3\", \"" +
                                     libraryFolder_.file("DEMO.LB3")});
}
#endif

TEST(LibrarySet, ReadsEveryFileThroughItsFileSystem) {
  testing::MemoryFileSystem files;
  TempFolder folder;  // only for the settings file's text
  const std::string settings = "/board/TOSK.INI";
  const std::string binaryPath = "/libraries/OPAMP.LIB";
  const std::string textPath = "/libraries/TTL.LB3";
  BinaryLibraryBuilder binary;
  binary.entry("LM358", binary.body({.blockCount = 2}));
  files.files[binaryPath] = binary.bytes();
  files.files[textPath] = TextLibraryBuilder().component({.name = "74LS00", .blocks = 4}).bytes();
  WriteToskIni(folder.file("TOSK.INI"), {binaryPath, textPath});
  files.files[settings] = testing::ReadBytes(folder.file("TOSK.INI"));
  std::vector<std::string> failed;
  LibrarySet set([&](const std::string& path) { failed.push_back(path); }, files);
  ASSERT_TRUE(set.loadLibraries("/board/X.CE2"));
  EXPECT_EQ(set.findPart("LM358")->blockCount(), 2);
  EXPECT_EQ(set.findPart("74LS00")->blockCount(), 4);

  // A text library is shared with other readers; a binary one is not.
  files.lock(textPath);
  EXPECT_TRUE(set.loadLibraries("/board/X.CE2"));
  files.lock(binaryPath);
  EXPECT_FALSE(set.loadLibraries("/board/X.CE2"));
  EXPECT_EQ(set.findPart("LM358"), nullptr);
  EXPECT_EQ(failed, std::vector<std::string>{binaryPath});

  // Each read can fail: the settings file (then no library is listed), or a library.
  for (const std::string& path : {settings, binaryPath, textPath}) {
    SCOPED_TRACE(path);
    files.clearFaults();
    failed.clear();
    files.failOn(testing::FileOperation::Read, path);
    const bool listed = set.loadLibraries("/board/X.CE2");
    EXPECT_EQ(set.findPart("LM358"), nullptr);
    EXPECT_EQ(listed, path == settings);
    EXPECT_EQ(failed, path == settings ? std::vector<std::string>{} : std::vector{path});
  }
}

}  // namespace
}  // namespace kerro
