#include "library/binary_library.h"

#include <gtest/gtest.h>

#include <random>

#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::BinaryBitmap;
using testing::BinaryBody;
using testing::BinaryLibraryBuilder;
using testing::BinaryPin;

using Numbers = std::vector<std::optional<std::string>>;

std::optional<PartLibrary> Load(const std::vector<uint8_t>& bytes) {
  PartLibrary library;
  if (!LoadBinaryLibrary(library, bytes)) {
    EXPECT_EQ(library.entryCount(), 0) << "a failed load keeps nothing";
    EXPECT_TRUE(library.bodies().empty());
    return std::nullopt;
  }
  return library;
}

// A library with a bit of everything: a 4-gate part with an alias, a dual part with a
// bitmap, an entry without body, a single-block part.
BinaryLibraryBuilder RichLibrary() {
  BinaryLibraryBuilder builder;
  const uint16_t gateBitmap =
      builder.bitmap({.width = 17, .height = 2, .rows = {1, 2, 3, 4, 5, 6}});
  const int gates = builder.body(
      {.sizeX = 40,
       .sizeY = 30,
       .blockCount = 4,
       .refPrefix = "IC",
       .pattern = gateBitmap,
       .sides = 1 | 4,
       .pins = {
           {.location = 0x0005, .name = "A", .numbers = {0x0001, 0x0004, 0x0009, 0x000C}},
           {.location = 0x0203, .name = "\\C\\S", .numbers = {0x0403, 0x8005, 0x7DFF, 0x0200}}}});
  const int dual = builder.body(
      {.blockCount = 2, .refPrefix = "OP", .pins = {{.location = 0xFFFF, .numbers = {1, 7}}}});
  const int single = builder.body({.blockCount = 1, .refPrefix = "R"});
  builder.entry("74LS00", gates)
      .entry("LM358", dual)
      .entry("7400", gates)
      .entry("EMPTY", std::nullopt)
      .entry("RES", single)
      .entry("SN7400", gates);
  return builder;
}

TEST(BinaryLibrary, ReadsEntriesBodiesAndPins) {
  auto library = Load(RichLibrary().bytes());
  ASSERT_TRUE(library.has_value());
  ASSERT_EQ(library->entryCount(), 6);
  const std::vector<std::string> names = {"74LS00", "LM358", "7400", "EMPTY", "RES", "SN7400"};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(library->entryAt(i)->name, names[static_cast<size_t>(i)]);
  }
  EXPECT_EQ(library->entryAt(6), nullptr);

  // One body per distinct offset, in the order they are first met; aliases share it.
  ASSERT_EQ(library->bodies().size(), 3u);
  const PartBody* gates = library->entryAt(0)->body;
  EXPECT_EQ(gates, library->bodies()[0].get());
  EXPECT_EQ(library->entryAt(2)->body, gates);
  EXPECT_EQ(library->entryAt(5)->body, gates);
  EXPECT_EQ(library->entryAt(1)->body, library->bodies()[1].get());
  EXPECT_EQ(library->entryAt(3)->body, nullptr);
  EXPECT_EQ(library->entryAt(3)->blockCount(), 1);
  EXPECT_EQ(library->entryAt(5)->blockCount(), 4);
  EXPECT_EQ(library->entryAt(1)->blockCount(), 2);

  EXPECT_EQ(gates->refPrefix, "IC");
  EXPECT_EQ(gates->sizeX, 40);
  EXPECT_EQ(gates->sizeY, 30);
  EXPECT_EQ(gates->pinSides, 1u | 4u);
  ASSERT_EQ(gates->pinCount(), 2);
  EXPECT_EQ(gates->pins[0].location, 5u);
  EXPECT_EQ(gates->pins[0].pinName(), "A");
  EXPECT_EQ(gates->pins[0].pinNumbers(), (Numbers{"+1", "+4", "+9", "+12"}));
  EXPECT_EQ(gates->pins[1].location, 0x20003u);
  EXPECT_EQ(gates->pins[1].side(), 2);
  EXPECT_EQ(gates->pins[1].pinName(), "\xC3\xD3");  // marked like a text library's name
  // Letter codes, signs, the 9-bit number; bit 9 is ignored.
  EXPECT_EQ(gates->pins[1].pinNumbers(), (Numbers{"+A3", "-5", "+_511", "+0"}));

  ASSERT_NE(gates->bitmap, nullptr);
  EXPECT_EQ(gates->bitmap->width, 17);
  EXPECT_EQ(gates->bitmap->height, 2);
  EXPECT_EQ(gates->bitmap->rows, (std::vector<uint8_t>{1, 2, 3, 0, 4, 5, 6, 0}));

  const PartBody& dual = *library->entryAt(1)->body;
  EXPECT_EQ(dual.bitmap, nullptr);  // pattern 0xFFFF
  EXPECT_FALSE(dual.pins[0].pinName().has_value());
  EXPECT_EQ(dual.pins[0].location, 0xD00300FFu);  // flags S, C, N; bits 10, 11, 13 dropped
  EXPECT_EQ(dual.pins[0].pinNumbers(), (Numbers{"+1", "+7"}));
}

TEST(BinaryLibrary, Bitmaps) {
  struct Case {
    const char* name;
    uint16_t width;
    uint16_t height;
    std::vector<uint8_t> fileRows;
    std::vector<uint8_t> rows;  // empty: no bitmap
  };
  const std::vector<Case> cases = {
      {"9 pixels keep 2 bytes", 9, 2, {0x80, 0x80, 0xFF, 0x01}, {0x80, 0x80, 0xFF, 0x01}},
      {"8 pixels widened to 2", 8, 2, {0xAA, 0x55}, {0xAA, 0, 0x55, 0}},
      {"width 0", 0, 5, {}, {}},
      {"height 0", 5, 0, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BinaryLibraryBuilder builder;
    BinaryBitmap bitmap;
    bitmap.width = c.width;
    bitmap.height = c.height;
    bitmap.rows = c.fileRows;
    const uint16_t pattern = builder.bitmap(bitmap);
    builder.entry("P", builder.body({.pattern = pattern}));
    auto library = Load(builder.bytes());
    ASSERT_TRUE(library.has_value());
    const PartBody& body = *library->entryAt(0)->body;
    if (!c.rows.empty()) {
      ASSERT_NE(body.bitmap, nullptr);
      EXPECT_EQ(body.bitmap->rows, c.rows);
    } else {
      EXPECT_EQ(body.bitmap, nullptr);
    }
  }
}

TEST(BinaryLibrary, PinNameLengths) {
  struct Case {
    const char* name;
    std::string text;
    std::optional<uint8_t> lengthByte;
    std::string stored;
  };
  const std::string seventy(70, 'n');
  const std::vector<Case> cases = {
      {"as long as its length", "CLK", std::nullopt, "CLK"},
      {"empty", "", std::nullopt, ""},
      {"length 70 reads 63", seventy, 70, std::string(63, 'n')},
      {"top bit set reads empty", "ABC", 0x83, ""},
      {"shorter length", "ABCDEF", 2, "AB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BinaryLibraryBuilder builder;
    builder.entry("P", builder.body({.pins = {{.name = c.text, .nameLengthByte = c.lengthByte}}}));
    auto library = Load(builder.bytes());
    ASSERT_TRUE(library.has_value());
    EXPECT_EQ(library->entryAt(0)->body->pins[0].pinName(), c.stored);
  }
}

TEST(BinaryLibrary, MalformedLibrariesFail) {
  using Bytes = std::vector<uint8_t>;
  BinaryLibraryBuilder builder = RichLibrary();
  const Bytes good = builder.bytes();
  const auto layout = builder.layout();
  ASSERT_TRUE(Load(good).has_value());
  const uint32_t size = static_cast<uint32_t>(good.size());
  const size_t firstBody = layout.bodyOffsets[0];

  struct Case {
    const char* name;
    std::function<void(Bytes&)> breakIt;
  };
  auto put16 = [](size_t offset, uint16_t value) {
    return [=](Bytes& b) { BinaryLibraryBuilder::PutU16(b, offset, value); };
  };
  auto put32 = [](size_t offset, uint32_t value) {
    return [=](Bytes& b) { BinaryLibraryBuilder::PutU32(b, offset, value); };
  };
  const std::vector<Case> cases = {
      {"wrong magic", [](Bytes& b) { b[3] = 'x'; }},
      {"magic without 0x1A", [](Bytes& b) { b[13] = 0x1B; }},
      {"shorter than the magic", [](Bytes& b) { b.resize(15); }},
      {"ends inside the header", [](Bytes& b) { b.resize(53); }},
      {"ends right after the header", [](Bytes& b) { b.resize(54); }},
      {"three bytes after the header", [](Bytes& b) { b.resize(57); }},
      {"entry count 0", put16(BinaryLibraryBuilder::kEntryCountOffset, 0)},
      {"entry count too large", put16(BinaryLibraryBuilder::kEntryCountOffset, 0xFFFF)},
      {"name table past the end", put32(BinaryLibraryBuilder::kNameTableOffset, size)},
      {"name table far past the end", put32(BinaryLibraryBuilder::kNameTableOffset, 0xFFFFFFF0)},
      {"name table in the header", put32(BinaryLibraryBuilder::kNameTableOffset, 16)},
      {"body table past the end", put32(BinaryLibraryBuilder::kBodyTableOffset, size - 2)},
      {"string area past the end", put32(BinaryLibraryBuilder::kStringAreaOffset, 0xFFFFFFFF)},
      {"name offset past the end", put32(layout.nameTable + 4, 0x7FFFFFFF)},
      {"name without NUL", [](Bytes& b) { b.back() = 'x'; }},
      {"body area past the end", put32(BinaryLibraryBuilder::kBodyAreaOffset, size)},
      {"body offset past the end", put16(layout.bodyTable + 2, 0xFFFE)},
      {"pattern index past the table", put16(firstBody + 8, 500)},
      {"pattern table past the end", put32(BinaryLibraryBuilder::kPatternTableOffset, size)},
      {"bitmap area past the end", put32(BinaryLibraryBuilder::kBitmapAreaOffset, size - 2)},
      {"bitmap rows past the end",
       [&](Bytes& b) { BinaryLibraryBuilder::PutU16(b, layout.bitmapArea + 2, 0xFFFF); }},
      {"pin count past the end",
       [&](Bytes& b) { BinaryLibraryBuilder::PutU16(b, firstBody + 10, 0x0FFF); }},
      {"block count past the end", [&](Bytes& b) { b[firstBody + 2] = 255; }},
      {"prefix offset past the end", put16(firstBody + 6, 0xFFFE)},
      {"pin name past the end", put16(firstBody + 12 + 2, 0xFFFE)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes bytes = good;
    c.breakIt(bytes);
    EXPECT_FALSE(Load(bytes).has_value());
  }
}

TEST(BinaryLibrary, EveryTruncationFails) {
  // The string area comes last, so any cut leaves a string without its NUL or an offset
  // past the end.
  const auto good = RichLibrary().bytes();
  for (size_t length = 0; length < good.size(); ++length) {
    SCOPED_TRACE(length);
    EXPECT_FALSE(Load({good.begin(), good.begin() + static_cast<ptrdiff_t>(length)}).has_value());
  }
}

TEST(BinaryLibrary, DamagedBytesNeverReadOutside) {
  // Run under the sanitizers, this shows that no damaged file makes the reader read
  // outside its bytes; a load may succeed or fail.
  const auto good = RichLibrary().bytes();
  std::mt19937 random(12345);
  int loaded = 0;
  for (int round = 0; round < 3000; ++round) {
    auto bytes = good;
    const int flips = 1 + round % 4;
    for (int i = 0; i < flips; ++i) {
      const size_t at = 16 + random() % (bytes.size() - 16);
      bytes[at] = static_cast<uint8_t>(random());
    }
    PartLibrary library;
    if (LoadBinaryLibrary(library, bytes)) {
      ++loaded;
      for (const PartEntry& entry : library.entries()) {
        EXPECT_GE(entry.blockCount(), 0);
      }
    }
  }
  EXPECT_GT(loaded, 0);  // some damage lands in bytes that are not read
}

TEST(BinaryLibrary, FilesLargerThanTheEditorsBufferLoad) {
  BinaryLibraryBuilder builder;
  const int body = builder.body({.blockCount = 2, .refPrefix = "U"});
  for (int i = 0; i < 4000; ++i) {
    builder.entry("A_RATHER_LONG_PART_NAME_" + std::to_string(i), body);
  }
  const auto bytes = builder.bytes();
  ASSERT_GT(bytes.size(), 65589u);
  auto library = Load(bytes);
  ASSERT_TRUE(library.has_value());
  EXPECT_EQ(library->entryCount(), 4000);
  EXPECT_EQ(library->entryAt(3999)->name, "A_RATHER_LONG_PART_NAME_3999");
  EXPECT_EQ(library->entryAt(3999)->blockCount(), 2);
  EXPECT_EQ(library->bodies().size(), 1u);
}

}  // namespace
}  // namespace kerro
