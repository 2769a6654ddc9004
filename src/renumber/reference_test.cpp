#include "renumber/reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "schematic/schematic_format.h"

namespace kerro {
namespace {

TEST(UnnumberedPrefix, TellsUnnumberedReferencesAndTheirPrefix) {
  struct Case {
    const char* name;
    std::string_view text;
    std::optional<std::string_view> prefix;
  };
  const Case cases[] = {
      {"bare prefix", "R", "R"},
      {"one question mark", "R?", "R"},
      {"several question marks", "IC??", "IC"},
      {"numbered", "R12", std::nullopt},
      {"numbered before the question mark", "R1?", std::nullopt},
      {"letter after digits", "U1A", "U1A"},
      {"empty", "", std::nullopt},
      {"only question marks", "??", std::nullopt},
      {"question mark inside", "R?A", "R?A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(UnnumberedPrefix(c.text), c.prefix);
  }
}

TEST(SplitReference, SplitsOffTheTrailingNumber) {
  struct Case {
    const char* name;
    std::string_view text;
    std::string_view prefix;
    int64_t number;
  };
  const Case cases[] = {
      {"prefix and number", "R12", "R", 12},
      {"two-letter prefix", "IC7", "IC", 7},
      {"no number", "R", "R", 0},
      {"letter after digits", "U1A", "U1A", 0},
      {"leading zeros", "R0012", "R", 12},
      {"first character always stays", "12", "1", 2},
      {"single digit", "5", "5", 0},
      {"empty", "", "", 0},
      {"only zeros after prefix", "C00", "C", 0},
      {"digits inside the prefix", "X2Y34", "X2Y", 34},
      {"eight characters", "ABCDEFG1", "ABCDEFG", 1},
      {"seven digits", "R9999999", "R", 9999999},
      {"high bytes are not digits", "\xB2\xB3", "\xB2\xB3", 0},
      {"saturates past int64", "R99999999999999999999", "R", INT64_MAX},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SplitResult split = SplitReference(c.text);
    EXPECT_EQ(split.prefix, c.prefix);
    EXPECT_EQ(split.number, c.number);
  }
}

TEST(FormatReference, JoinsAndCutsToEightCharacters) {
  struct Case {
    const char* name;
    std::string_view prefix;
    int64_t number;
    std::string_view expected;
  };
  const Case cases[] = {
      {"plain", "R", 1, "R1"},
      {"no leading zeros", "R", 12, "R12"},
      {"exactly eight", "ABCDEF", 10, "ABCDEF10"},
      {"cut to eight", "ABCDEFG", 100, "ABCDEFG1"},
      {"prefix of eight loses the number", "ABCDEFGH", 3, "ABCDEFGH"},
      {"numeric prefix", "1", 5, "15"},
      {"empty prefix", "", 1000, "1000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FormatReference(c.prefix, c.number), c.expected);
  }
}

TEST(StoreReference, WritesLengthAndCharactersAndKeepsTheRest) {
  std::vector<uint8_t> field(9, 0xEE);
  StoreReference("R12", field);
  EXPECT_EQ(field, (std::vector<uint8_t>{3, 'R', '1', '2', 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));

  StoreReference("ABCDEFGHIJ", field);  // never more than 8 characters
  EXPECT_EQ(field, (std::vector<uint8_t>{8, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}));

  StoreReference("", field);
  EXPECT_EQ(field[0], 0);
  EXPECT_EQ(field[1], 'A');
}

TEST(StoreReference, StaysInsideASmallField) {
  std::vector<uint8_t> bytes(6, 0xEE);
  StoreReference("ABCDEFGH", std::span<uint8_t>(bytes).first(4));
  EXPECT_EQ(bytes, (std::vector<uint8_t>{3, 'A', 'B', 'C', 0xEE, 0xEE}));
  StoreReference("R1", std::span<uint8_t>());  // no room even for the length: no effect
}

}  // namespace
}  // namespace kerro

namespace kerro {
namespace {

// Storing a formatted reference in place gives the field the bytes, and the answer, that
// storing the formatted text gives: over prefixes of 0 to 12 characters (cut at 8), numbers
// of any width, and fields that already hold the result or something else, length bytes
// past the field or negative among them. The answer says what a comparison of the field
// before and after finds: whether a byte changed, and whether the reference read from it.
TEST(StoreFormattedReference, StoresWhatFormatAndStoreWould) {
  std::mt19937 random(28);
  int bytesOnly = 0;  // rounds where the bytes changed and the reference did not
  for (int round = 0; round < 5000; ++round) {
    std::string prefix(random() % 13, 'A');
    for (char& c : prefix) {
      c = static_cast<char>('A' + random() % 26);
    }
    const int64_t number = static_cast<int64_t>(random()) >> (random() % 32);
    std::vector<uint8_t> field(1 + random() % 10);
    for (uint8_t& byte : field) {
      byte = static_cast<uint8_t>(random());
    }
    if (round % 3 == 0) {
      StoreReference(FormatReference(prefix, number), field);
      // A length byte that reads as the same reference: past a full field, or negative for
      // an empty one.
      const auto full = static_cast<uint8_t>(std::min<size_t>(8, field.size() - 1));
      if (round % 2 == 0 && field[0] == 0) {
        field[0] = static_cast<uint8_t>(0x80 + random() % 0x80);
      } else if (round % 2 == 0 && field[0] == full) {
        field[0] = static_cast<uint8_t>(full + 1 + random() % (0x7F - full));
      }
    }
    const std::vector<uint8_t> before = field;
    std::vector<uint8_t> expected = field;
    const StoredReference byText = StoreReference(FormatReference(prefix, number), expected);
    const StoredReference inPlace = StoreFormattedReference(prefix, number, field);
    EXPECT_EQ(field, expected);
    EXPECT_EQ(inPlace.bytes, byText.bytes);
    EXPECT_EQ(inPlace.reference, byText.reference);
    EXPECT_EQ(inPlace.bytes, field != before);
    EXPECT_EQ(inPlace.reference, ReadLengthPrefixedText(before, kReferenceCapacity) !=
                                     ReadLengthPrefixedText(field, kReferenceCapacity));
    bytesOnly += inPlace.bytes && !inPlace.reference ? 1 : 0;
  }
  EXPECT_GT(bytesOnly, 50);
}

}  // namespace
}  // namespace kerro
