#include "library/part_model.h"

#include <gtest/gtest.h>

namespace kerro {
namespace {

TEST(PartPin, PrepareNumbersOnlyOnce) {
  PartPin pin;
  EXPECT_EQ(pin.blockCount(), 0);
  EXPECT_EQ(pin.prepareNumbers(0), 0);
  EXPECT_EQ(pin.prepareNumbers(-3), 0);
  EXPECT_EQ(pin.prepareNumbers(3), 3);
  EXPECT_EQ(pin.blockCount(), 3);
  pin.setNumber(1, true, "7");
  EXPECT_EQ(pin.prepareNumbers(5), 0);
  EXPECT_EQ(pin.blockCount(), 3);
  EXPECT_EQ(pin.pinNumbers()[1], "+7");
  EXPECT_FALSE(pin.pinNumbers()[0].has_value());
}

TEST(PartPin, SetNumber) {
  PartPin pin;
  pin.prepareNumbers(2);
  pin.setNumber(0, false, "12");
  EXPECT_EQ(pin.pinNumbers()[0], "-12");
  pin.setNumber(0, true, "A3");
  EXPECT_EQ(pin.pinNumbers()[0], "+A3");
  pin.setNumber(1, true, std::string_view("4\0x", 3));
  EXPECT_EQ(pin.pinNumbers()[1], "+4");
  pin.setNumber(1, true, std::nullopt);
  EXPECT_FALSE(pin.pinNumbers()[1].has_value());
  // Outside the prepared numbers: ignored.
  pin.setNumber(2, true, "9");
  pin.setNumber(-1, true, "9");
  EXPECT_EQ(pin.blockCount(), 2);
  PartPin unprepared;
  unprepared.setNumber(0, true, "1");
  EXPECT_EQ(unprepared.blockCount(), 0);
}

TEST(PartPin, SetNameMarksEscapedCharacters) {
  struct Case {
    const char* name;
    std::optional<std::string> input;
    std::optional<std::string> stored;
  };
  const std::vector<Case> cases = {
      {"plain", "CLK", "CLK"},
      {"marked pair", "\\C\\S", "\xC3\xD3"},
      {"three marked", "\\R\\S\\T", "\xD2\xD3\xD4"},
      {"mixed", "A\\BC",
       "A\xC2"
       "C"},
      {"marked backslash", "\\\\", "\xDC"},
      {"trailing backslash dropped", "EN\\", "EN"},
      {"null", std::nullopt, std::nullopt},
      {"empty", "", ""},
      {"cut at 255", std::string(300, 'x'), std::string(255, 'x')},
      {"cut at 255 marked", std::string(600, '\\'), std::string(255, '\xDC')},
      {"ends at NUL", std::string("AB\0CD", 5), "AB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PartPin pin;
    pin.setName("old");
    pin.setName(c.input ? std::optional<std::string_view>(*c.input) : std::nullopt);
    EXPECT_EQ(pin.pinName(), c.stored);
  }
}

TEST(PartLibrary, EntriesByIndexAndSharedBodies) {
  PartLibrary library;
  EXPECT_EQ(library.entryAt(0), nullptr);
  auto body = std::make_unique<PartBody>();
  EXPECT_EQ(body->blockCount, 1);
  body->blockCount = 4;
  const PartBody& stored = library.addBody(std::move(body));
  library.addEntry("74LS00", &stored);
  library.addEntry("7400", &stored);
  library.addEntry("NOBODY", nullptr);
  ASSERT_EQ(library.entryCount(), 3);
  EXPECT_EQ(library.entryAt(0)->name, "74LS00");
  EXPECT_EQ(library.entryAt(1)->blockCount(), library.entryAt(0)->blockCount());
  EXPECT_EQ(library.entryAt(1)->blockCount(), 4);
  EXPECT_EQ(library.entryAt(2)->blockCount(), 1);  // no body: one block
  EXPECT_EQ(library.entryAt(3), nullptr);
  EXPECT_EQ(library.entryAt(-1), nullptr);
  EXPECT_EQ(library.bodies().size(), 1u);

  // Moving the library keeps the entries' bodies valid.
  PartLibrary moved = std::move(library);
  EXPECT_EQ(moved.entryAt(1)->body, moved.bodies()[0].get());
}

TEST(PartBitmap, RowsArePaddedToWords) {
  for (auto [width, rowBytes] : {std::pair{1, 2}, {9, 2}, {16, 2}, {17, 4}, {33, 6}}) {
    SCOPED_TRACE(width);
    auto bitmap = PartBitmap::Blank(static_cast<uint16_t>(width), 3);
    EXPECT_EQ(bitmap->rowBytes(), static_cast<size_t>(rowBytes));
    EXPECT_EQ(bitmap->rows, std::vector<uint8_t>(static_cast<size_t>(rowBytes) * 3, 0));
  }
}

}  // namespace
}  // namespace kerro
