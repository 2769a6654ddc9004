#include "library/text_library.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>

#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::TextComponent;
using testing::TextLibraryBuilder;
using testing::TextPin;

std::span<const uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

std::optional<PartLibrary> Load(const std::string& text) {
  PartLibrary library;
  if (!LoadTextLibrary(library, Bytes(text))) {
    EXPECT_EQ(library.entryCount(), 0) << "a failed load keeps nothing";
    EXPECT_TRUE(library.bodies().empty());
    EXPECT_TRUE(library.patterns().empty());
    return std::nullopt;
  }
  return library;
}

// The magic line, then `body` with one field per line.
std::string Library(std::initializer_list<std::string> fields) {
  TextLibraryBuilder builder;
  builder.fields(fields);
  return builder.text();
}

TEST(TextLibrary, MalformedLibrariesFail) {
  struct Case {
    const char* name;
    std::string text;
  };
  const std::string magic = TextLibraryBuilder::kMagic + "\n";
  const std::string comp = "+COMP\nN:IC\nX:4\nY:4\nB:1\n";
  const std::vector<Case> cases = {
      {"empty file", ""},
      {"blank file", " \n\n"},
      {"other magic", "+TOSK3_LIB_V.1.1\n"},
      {"magic in lower case", "+tosk3_lib_v.1.0\n"},
      {"magic with a trailing blank", "+TOSK3_LIB_V.1.0 \n"},
      {"magic not first", "x\n" + magic},
      {"malformed escape before the magic", "%4\n" + magic},
      {"skipped section without closer", magic + "+FOO\nx\n-FOX\n"},
      {"skipped closer differs in case", magic + "+FOO\n-foo\n"},
      {"end inside +BMP", magic + "+PTN\nX:8\nY:1\nN:P\n+BMP\n@A\n"},
      {"end inside section skipped in +BMP", magic + "+PTN\nX:8\nY:1\nN:P\n+BMP\n+Q\n-BMP\n-PTN\n"},
      {"wrong closer in +BMP", magic + "+PTN\nX:8\nY:1\nN:P\n+BMP\n-PTN\n"},
      {"-PTN without bitmap", magic + "+PTN\nX:8\nY:1\nN:P\n-PTN\n"},
      {"+BMP before N skipped, so no bitmap",
       magic + "+PTN\nX:8\nY:1\n+BMP\n@A\n-BMP\nN:P\n-PTN\n"},
      {"+BMP with width 0 skipped", magic + "+PTN\nX:0\nY:1\nN:P\n+BMP\n-BMP\n-PTN\n"},
      {"wrong closer in +PTN", magic + "+PTN\n-COMP\n"},
      {"bitmap wider than 16 bits", magic + "+PTN\nX:65536\nY:1\nN:P\n+BMP\n-BMP\n-PTN\n"},
      {"negative X", magic + "+COMP\nN:IC\nX:-1\n"},
      {"negative Y", magic + "+COMP\nN:IC\nY:-40\n"},
      {"B above 256", magic + "+COMP\nB:257\n"},
      {"B far above 256", magic + "+COMP\nB:99999999999\n"},
      {"negative B", magic + "+COMP\nB:-1\n"},
      {"second non-zero B", magic + "+COMP\nB:2\nB:3\n"},
      {"zero B after non-zero", magic + "+COMP\nB:2\nB:0\n"},
      {"+PIN before B", magic + "+COMP\nN:IC\nX:4\nY:4\n+PIN\n-PIN\n-COMP\n"},
      {"+PIN before X", magic + "+COMP\nN:IC\nY:4\nB:1\n+PIN\n-PIN\n-COMP\n"},
      {"+PIN with Y of 0", magic + "+COMP\nN:IC\nX:4\nY:0\nB:1\n+PIN\n-PIN\n-COMP\n"},
      {"-COMP inside +PIN", magic + comp + "+PIN\n-COMP\n"},
      {"wrong closer in +PIN", magic + comp + "+PIN\n-PINS\n-COMP\n"},
      {"wrong closer in +COMP", magic + comp + "-ALIAS\n"},
      {"-COMP without name", magic + "+COMP\nX:4\nY:4\nB:1\n-COMP\n"},
      {"-COMP with X of 0", magic + "+COMP\nN:IC\nY:4\nB:1\n-COMP\n"},
      {"-COMP with B of 0", magic + "+COMP\nN:IC\nX:4\nY:4\nB:0\n-COMP\n"},
      {"unknown section in +COMP without closer", magic + comp + "+FOO\nN:X\n-COMP\n"},
      {"unknown section in +PIN without closer", magic + comp + "+PIN\n+FOO\n-PIN\n-COMP\n"},
      {"wrong closer in +ALIAS", magic + comp + "-COMP\n+ALIAS\nN:IC\nA:IC2\n-COMP\n"},
      {"-ALIAS without A", magic + comp + "-COMP\n+ALIAS\nN:IC\n-ALIAS\n"},
      {"-ALIAS without N", magic + comp + "-COMP\n+ALIAS\nA:IC2\n-ALIAS\n"},
      {"failure after good sections", magic + comp + "-COMP\n+COMP\nB:300\n-COMP\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(Load(c.text).has_value());
  }
}

TEST(TextLibrary, OnlyMagicIsAnEmptyLibrary) {
  for (const std::string& text : {TextLibraryBuilder::kMagic, TextLibraryBuilder::kMagic + "\r\n",
                                  TextLibraryBuilder::kMagic + ",x,-COMP,y:1\n"}) {
    auto library = Load(text);
    ASSERT_TRUE(library.has_value());
    EXPECT_EQ(library->entryCount(), 0);
    EXPECT_EQ(library->entryAt(0), nullptr);
  }
}

TEST(TextLibrary, ComponentWithPins) {
  auto library = Load(Library({"+COMP", "N:74LS00", "X:40", "Y:40", "B:4", "R:IC", "+PIN", "M:1",
                               "M:4", "M:9", "M:12", "-PIN", "-COMP"}));
  ASSERT_TRUE(library.has_value());
  ASSERT_EQ(library->entryCount(), 1);
  const PartEntry& entry = *library->entryAt(0);
  EXPECT_EQ(entry.name, "74LS00");
  ASSERT_EQ(library->bodies().size(), 1u);
  const PartBody& body = *entry.body;
  EXPECT_EQ(&body, library->bodies()[0].get());
  EXPECT_EQ(body.refPrefix, "IC");
  EXPECT_EQ(body.sizeX, 40);
  EXPECT_EQ(body.sizeY, 40);
  EXPECT_EQ(body.blockCount, 4);
  EXPECT_EQ(entry.blockCount(), 4);
  ASSERT_EQ(body.pinCount(), 1);
  const PartPin& pin = body.pins[0];
  EXPECT_EQ(pin.blockCount(), 4);
  EXPECT_EQ(pin.pinNumbers(), (std::vector<std::optional<std::string>>{"+1", "+4", "+9", "+12"}));
  EXPECT_FALSE(pin.pinName().has_value());
  EXPECT_EQ(body.pinSides, 1u);  // left
  EXPECT_EQ(body.pattern, nullptr);
  EXPECT_EQ(body.bitmap, nullptr);
}

TEST(TextLibrary, ComponentItems) {
  struct Case {
    const char* name;
    std::vector<std::string> items;  // between "+COMP" and "-COMP"
    std::string refPrefix;
    int32_t sizeX;
    int32_t blocks;
  };
  const std::vector<Case> cases = {
      {"default prefix", {"N:R", "X:4", "Y:4", "B:1"}, "U", 4, 1},
      {"later item replaces", {"N:R", "X:4", "X:9", "Y:4", "B:1", "R:Q", "R:RN"}, "RN", 9, 1},
      {"B 0 then 2", {"N:R", "X:4", "Y:4", "B:0", "B:2"}, "U", 4, 2},
      {"B 256", {"N:R", "X:4", "Y:4", "B:256"}, "U", 4, 256},
      {"atoi rules", {"N:R", "X: +12mm", "Y:4", "B:3x"}, "U", 12, 3},
      {"ignored items",
       {"N:R", "X:4", "X:", "Q:5", "no colon", ":7", "n:S", "NX:T", "Y:4", "B:1", "B:"},
       "U",
       4,
       1},
      {"value keeps later colons", {"N:R", "R:A:B", "X:4", "Y:4", "B:1"}, "A:B", 4, 1},
      {"nested unknown section skipped",
       {"N:R", "+FOO", "X:-5", "B:999", "-FOO", "X:4", "Y:4", "B:2"},
       "U",
       4,
       2},
      {"unknown section named like a closer",
       {"N:R", "+-COMP", "--COMP", "X:4", "Y:4", "B:1"},
       "U",
       4,
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TextLibraryBuilder builder;
    builder.field("+COMP");
    for (const auto& item : c.items) {
      builder.field(item);
    }
    builder.field("-COMP");
    auto library = Load(builder.text());
    ASSERT_TRUE(library.has_value());
    ASSERT_EQ(library->entryCount(), 1);
    const PartBody& body = *library->entryAt(0)->body;
    EXPECT_EQ(library->entryAt(0)->name, "R");
    EXPECT_EQ(body.refPrefix, c.refPrefix);
    EXPECT_EQ(body.sizeX, c.sizeX);
    EXPECT_EQ(body.blockCount, c.blocks);
  }
}

TEST(TextLibrary, PinItems) {
  struct Case {
    const char* name;
    std::vector<std::string> items;  // between "+PIN" and "-PIN" of a 2-block part
    uint32_t location;
    std::vector<std::optional<std::string>> numbers;
  };
  const std::vector<Case> cases = {
      {"right side", {"L:R12"}, 0x2000Cu, {std::nullopt, std::nullopt}},
      {"top and bottom", {"L:T3"}, 0x10003u, {std::nullopt, std::nullopt}},
      {"bottom", {"L:B0"}, 0x30000u, {std::nullopt, std::nullopt}},
      {"left offset out of range", {"L:L5", "L:L300"}, 5u, {std::nullopt, std::nullopt}},
      {"negative offset kept", {"L:T7", "L:L-1"}, 0x10007u, {std::nullopt, std::nullopt}},
      {"sides are ORed", {"L:T1", "L:R2"}, 0x30002u, {std::nullopt, std::nullopt}},
      {"unknown side letter", {"L:X9"}, 9u, {std::nullopt, std::nullopt}},
      {"flags", {"T:CxNS"}, kPinFlagC | kPinFlagN | kPinFlagS, {std::nullopt, std::nullopt}},
      {"numbers beyond the blocks ignored", {"M:1", "M:2", "M:3"}, 0, {"+1", "+2"}},
      {"hidden after m", {"M:1", "T:m", "M:2"}, 0, {"+1", "-2"}},
      {"empty M does not count", {"M:", "M:5"}, 0, {"+5", std::nullopt}},
      {"skipped section", {"+X", "M:9", "-X", "M:4"}, 0, {"+4", std::nullopt}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TextLibraryBuilder builder;
    builder.fields({"+COMP", "N:IC", "X:4", "Y:4", "B:2", "+PIN"});
    for (const auto& item : c.items) {
      builder.field(item);
    }
    builder.fields({"-PIN", "-COMP"});
    auto library = Load(builder.text());
    ASSERT_TRUE(library.has_value());
    const PartPin& pin = library->entryAt(0)->body->pins.at(0);
    EXPECT_EQ(pin.location, c.location);
    EXPECT_EQ(pin.pinNumbers(), c.numbers);
  }
}

TEST(TextLibrary, PinNamesAndSides) {
  TextLibraryBuilder builder;
  builder.component({.name = "IC",
                     .blocks = 1,
                     .pins = {{.name = "\\C\\S", .location = "T1"},
                              {.name = "A,B", .location = "B2"},
                              {.location = "T3"}}});
  auto library = Load(builder.text());
  ASSERT_TRUE(library.has_value());
  const PartBody& body = *library->entryAt(0)->body;
  ASSERT_EQ(body.pinCount(), 3);
  EXPECT_EQ(body.pins[0].pinName(), "\xC3\xD3");
  EXPECT_EQ(body.pins[1].pinName(), "A,B");
  EXPECT_EQ(body.pinSides, 2u | 8u);
}

TEST(TextLibrary, Aliases) {
  TextLibraryBuilder builder;
  builder
      .alias("74LS00", "EARLY")  // names a later component: adds nothing
      .component({.name = "74LS00", .blocks = 4})
      .component({.name = "R", .refPrefix = "R"})
      .alias("74LS00", "7400")
      .alias("7400", "SN7400")  // an alias of an alias
      .alias("MISSING", "X");
  auto library = Load(builder.text());
  ASSERT_TRUE(library.has_value());
  ASSERT_EQ(library->entryCount(), 4);
  EXPECT_EQ(library->entryAt(0)->name, "74LS00");
  EXPECT_EQ(library->entryAt(1)->name, "R");
  EXPECT_EQ(library->entryAt(2)->name, "7400");
  EXPECT_EQ(library->entryAt(3)->name, "SN7400");
  EXPECT_EQ(library->entryAt(2)->body, library->entryAt(0)->body);
  EXPECT_EQ(library->entryAt(3)->body, library->entryAt(0)->body);
  EXPECT_EQ(library->entryAt(3)->blockCount(), 4);
  EXPECT_EQ(library->bodies().size(), 2u);
}

TEST(TextLibrary, AliasTakesFirstEntryOfItsName) {
  TextLibraryBuilder builder;
  builder.component({.name = "DUP", .blocks = 2})
      .component({.name = "DUP", .blocks = 3})
      .alias("DUP", "D");
  auto library = Load(builder.text());
  ASSERT_TRUE(library.has_value());
  EXPECT_EQ(library->entryAt(2)->blockCount(), 2);
}

TEST(TextLibrary, EndOfFileInsideASectionKeepsIt) {
  {
    SCOPED_TRACE("component cut after its name");
    auto library = Load(Library({"+COMP", "N:7400"}));
    ASSERT_TRUE(library.has_value());
    ASSERT_EQ(library->entryCount(), 1);
    EXPECT_EQ(library->entryAt(0)->name, "7400");
    EXPECT_EQ(library->entryAt(0)->body->sizeX, 0);
    EXPECT_EQ(library->entryAt(0)->body->refPrefix, "U");
  }
  {
    SCOPED_TRACE("component cut inside a pin");
    auto library = Load(Library({"+COMP", "N:IC", "X:4", "Y:4", "B:2", "+PIN", "M:3"}));
    ASSERT_TRUE(library.has_value());
    const PartBody& body = *library->entryAt(0)->body;
    ASSERT_EQ(body.pinCount(), 1);
    EXPECT_EQ(body.pins[0].pinNumbers()[0], "+3");
    EXPECT_EQ(body.blockCount, 2);
  }
  {
    SCOPED_TRACE("alias cut before its closer");
    auto library =
        Load(Library({"+COMP", "N:IC", "X:4", "Y:4", "B:2", "-COMP", "+ALIAS", "N:IC", "A:IC2"}));
    ASSERT_TRUE(library.has_value());
    ASSERT_EQ(library->entryCount(), 2);
    EXPECT_EQ(library->entryAt(1)->blockCount(), 2);
  }
  {
    SCOPED_TRACE("pattern cut before its bitmap");
    auto library = Load(Library({"+PTN", "X:8", "N:P"}));
    ASSERT_TRUE(library.has_value());
    ASSERT_EQ(library->patterns().size(), 1u);
    EXPECT_EQ(library->patterns()[0]->name, "P");
    EXPECT_EQ(library->patterns()[0]->width, 8);
    EXPECT_EQ(library->patterns()[0]->height, 0);
    EXPECT_EQ(library->patterns()[0]->bitmap, nullptr);
  }
  {
    SCOPED_TRACE("a malformed escape ends the file");
    auto library = Load(Library({"+COMP", "N:IC", "X:%4", "-COMP", "+COMP", "N:LATER", "-COMP"}));
    ASSERT_TRUE(library.has_value());
    ASSERT_EQ(library->entryCount(), 1);
    EXPECT_EQ(library->entryAt(0)->name, "IC");
  }
  {
    SCOPED_TRACE("a malformed escape at top level");
    auto library = Load(Library({"%,", "+COMP", "B:999"}));
    ASSERT_TRUE(library.has_value());
    EXPECT_EQ(library->entryCount(), 0);
  }
}

TEST(TextLibrary, PatternsAndBitmaps) {
  TextLibraryBuilder builder;
  builder.fields({"+PTN", "X:9", "Y:3", "N:GATE", "+BMP", "@AO@PA", "OOOO", "-BMP", "+BMP", "@A",
                  "-BMP", "-PTN"});
  builder.pattern("WIDE", 17, 2, {{0x12, 0x34, 0x56}, {0xFF}});
  builder.pattern("GATE", 1, 1, {{0x80}});  // a second pattern of the same name
  builder.fields(
      {"+PTN", "X:8", "Y:2", "N:ROWS", "+BMP", "@A", "+Q", "@B", "-Q", "@C", "@D", "-BMP", "-PTN"});
  builder.component({.name = "NAND", .pattern = "GATE"});
  builder.component({.name = "UNKNOWN", .pattern = "NONE"});
  builder.component({.name = "LATER", .pattern = "AFTER"});
  builder.pattern("AFTER", 8, 1, {{1}});
  auto library = Load(builder.text());
  ASSERT_TRUE(library.has_value());
  ASSERT_EQ(library->patterns().size(), 5u);

  const PartPattern& gate = *library->patterns()[0];
  EXPECT_EQ(gate.name, "GATE");
  EXPECT_EQ(gate.width, 9);
  EXPECT_EQ(gate.height, 3);
  ASSERT_NE(gate.bitmap, nullptr);
  EXPECT_EQ(gate.bitmap->width, 9);
  EXPECT_EQ(gate.bitmap->height, 3);
  // 9 pixels: 2 bytes a row in the file and in memory; the third pair is past the row,
  // the third row is missing. The second +BMP is skipped.
  EXPECT_EQ(gate.bitmap->rows, (std::vector<uint8_t>{0x01, 0xF0, 0xFF, 0xFF, 0, 0}));

  const PartPattern& wide = *library->patterns()[1];
  ASSERT_NE(wide.bitmap, nullptr);
  EXPECT_EQ(wide.bitmap->rowBytes(), 4u);  // 3 bytes widened to 4
  EXPECT_EQ(wide.bitmap->rows, (std::vector<uint8_t>{0x12, 0x34, 0x56, 0, 0xFF, 0, 0, 0}));

  const PartPattern& rows = *library->patterns()[3];
  EXPECT_EQ(rows.bitmap->rows,
            (std::vector<uint8_t>{0x01, 0, 0x03, 0}));  // +Q skipped, @D past height

  ASSERT_EQ(library->entryCount(), 3);
  EXPECT_EQ(library->entryAt(0)->body->pattern, &gate);  // the first of its name
  EXPECT_EQ(library->entryAt(1)->body->pattern, nullptr);
  EXPECT_EQ(library->entryAt(2)->body->pattern, nullptr);  // patterns count only before
}

TEST(TextLibrary, BitmapPairs) {
  struct Case {
    const char* row;
    uint8_t byte;
  };
  for (const Case& c : std::vector<Case>{
           {"@A", 1}, {"O@", 240}, {"PA", 0}, {"A?", 0}, {"OO", 255}, {"\xC1\xC1", 0}, {"A", 0}}) {
    SCOPED_TRACE(c.row);
    auto library = Load(Library({"+PTN", "X:8", "Y:1", "N:P", "+BMP", c.row, "-BMP", "-PTN"}));
    ASSERT_TRUE(library.has_value());
    EXPECT_EQ(library->patterns()[0]->bitmap->rows, (std::vector<uint8_t>{c.byte, 0}));
  }
}

TEST(TextLibrary, LineEndsAndEscapesGiveTheSameLibrary) {
  auto build = [](bool crlf) {
    TextLibraryBuilder builder;
    builder.crlf(crlf);
    builder.component(
        {.name = "A,B%", .blocks = 2, .refPrefix = "Q", .pins = {{.numbers = {"1"}}}});
    builder.alias("A,B%", "C");
    return builder.text();
  };
  for (bool crlf : {false, true}) {
    SCOPED_TRACE(crlf);
    auto library = Load(build(crlf));
    ASSERT_TRUE(library.has_value());
    ASSERT_EQ(library->entryCount(), 2);
    EXPECT_EQ(library->entryAt(0)->name, "A,B%");
    EXPECT_EQ(library->entryAt(1)->blockCount(), 2);
  }
  // Fields share lines when separated by commas.
  auto oneLine = Load(TextLibraryBuilder::kMagic + ",+COMP,N:IC,X:1,Y:1,B:1,-COMP");
  ASSERT_TRUE(oneLine.has_value());
  EXPECT_EQ(oneLine->entryCount(), 1);
}

TEST(TextLibrary, TextEndsAtControlZ) {
  TextLibraryBuilder builder;
  builder.component({.name = "KEPT"});
  builder.raw("\x1A");
  builder.fields({"+COMP", "B:999"});
  auto library = Load(builder.text());
  ASSERT_TRUE(library.has_value());
  EXPECT_EQ(library->entryCount(), 1);
  // An escaped Ctrl-Z is an ordinary character.
  auto escaped = Load(Library({"+COMP", "N:A%1AB", "X:1", "Y:1", "B:1", "-COMP"}));
  ASSERT_TRUE(escaped.has_value());
  EXPECT_EQ(escaped->entryAt(0)->name,
            "A\x1A"
            "B");
}

TEST(TextLibrary, TenThousandParts) {
  TextLibraryBuilder builder;
  for (int i = 0; i < 10000; ++i) {
    builder.component(
        {.name = "PART" + std::to_string(i),
         .blocks = 1 + i % 4,
         .refPrefix = "U",
         .pins = {{.name = "A", .location = "L1", .numbers = {"1", "2", "3", "4"}},
                  {.name = "Y", .location = "R1", .numbers = {"3", "6", "8", "11"}}}});
    if (i % 10 == 0) {
      builder.alias("PART" + std::to_string(i), "ALIAS" + std::to_string(i));
    }
  }
  const auto bytes = builder.bytes();
  PartLibrary library;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(LoadTextLibrary(library, bytes));
  const std::chrono::duration<double, std::milli> elapsed =
      std::chrono::steady_clock::now() - start;
  std::printf("loading 10,000 parts (%zu bytes) took %.1f ms\n", bytes.size(), elapsed.count());
  EXPECT_EQ(library.entryCount(), 11000);
  EXPECT_EQ(library.entryAt(10990)->name, "ALIAS9990");
  EXPECT_EQ(library.entryAt(10990)->blockCount(), 1 + 9990 % 4);
  EXPECT_EQ(library.entryAt(10999)->name, "PART9999");
  EXPECT_LT(elapsed.count(), 5000.0);  // generous: sanitizer builds are slow

  // The same from the disk, as the library set loads it.
  testing::TempFolder folder;
  const std::string path = folder.file("BIG.LB3");
  testing::WriteBytes(path, bytes);
  PartLibrary fromDisk;
  const auto diskStart = std::chrono::steady_clock::now();
  ASSERT_TRUE(fromDisk.loadLibrary(path, testing::RealFiles()));
  const std::chrono::duration<double, std::milli> diskElapsed =
      std::chrono::steady_clock::now() - diskStart;
  std::printf("loadLibrary of the same file took %.1f ms\n", diskElapsed.count());
  EXPECT_EQ(fromDisk.entryCount(), 11000);
}

}  // namespace
}  // namespace kerro

namespace kerro {
namespace {

// Loaded without pins, `text` must give the same outcome and the same parts.
void ExpectSameWithoutPins(std::span<const uint8_t> text, const PartLibrary& full, bool loaded) {
  PartLibrary lean;
  ASSERT_EQ(LoadTextLibrary(lean, text, PartDetail::kWithoutPins), loaded);
  ASSERT_EQ(lean.entryCount(), full.entryCount());
  for (int32_t i = 0; i < full.entryCount(); ++i) {
    const PartEntry& a = *full.entryAt(i);
    const PartEntry& b = *lean.entryAt(i);
    ASSERT_EQ(a.name, b.name);
    ASSERT_EQ(a.blockCount(), b.blockCount());
    ASSERT_EQ(a.body->refPrefix, b.body->refPrefix);
    ASSERT_EQ(a.body->sizeX, b.body->sizeX);
    ASSERT_EQ(a.body->pattern == nullptr, b.body->pattern == nullptr);
    EXPECT_TRUE(b.body->pins.empty());
  }
}

TEST(TextLibrary, DamagedTextNeverReadsOutside) {
  // Under the sanitizers this shows that no cut or damaged text makes the reader read
  // outside its bytes; a load may succeed or fail, and fails or succeeds alike with and
  // without the pins.
  testing::TextLibraryBuilder builder;
  builder.pattern("GATE", 9, 2, {{0x12, 0x80}, {0xFF, 0x01}})
      .component(
          {.name = "74LS00",
           .blocks = 4,
           .refPrefix = "IC",
           .pattern = "GATE",
           .pins = {{.name = "\\C", .location = "R3", .flags = "Cm", .numbers = {"1", "2"}}}})
      .alias("74LS00", "7400")
      .fields({"+FOO", "X:1", "-FOO", "%41%"});
  const std::string good = builder.text();
  for (size_t length = 0; length <= good.size(); ++length) {
    PartLibrary library;
    const std::span<const uint8_t> cut(reinterpret_cast<const uint8_t*>(good.data()), length);
    ExpectSameWithoutPins(cut, library, LoadTextLibrary(library, cut));
  }
  std::mt19937 random(777);
  const std::string alphabet = "+-:,%\r\n\\0aF@OPNXYBMLT";
  for (int round = 0; round < 3000; ++round) {
    std::string text = good;
    for (int i = 0; i <= round % 3; ++i) {
      text[random() % text.size()] = alphabet[random() % alphabet.size()];
    }
    PartLibrary library;
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.data()),
                                         text.size());
    const bool loaded = LoadTextLibrary(library, bytes);
    ExpectSameWithoutPins(bytes, library, loaded);
    if (loaded) {
      for (const PartEntry& entry : library.entries()) {
        ASSERT_NE(entry.body, nullptr);
        EXPECT_GE(entry.blockCount(), 0);
      }
    }
  }
}

}  // namespace
}  // namespace kerro
