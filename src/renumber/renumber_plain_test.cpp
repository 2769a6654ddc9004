#include "renumber/renumber_plain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::ComponentRecord;
using testing::SchematicBuilder;

std::vector<std::string> ReferencesOf(SchematicDocument& document) {
  std::vector<std::string> references;
  for (const ComponentEntry& entry : document.entries()) {
    references.emplace_back(entry.reference());
  }
  return references;
}

// Every byte outside the reference fields, and every byte of a reference field past its
// new text, is as it was.
void ExpectOnlyReferencesChanged(const SchematicDocument& document,
                                 const std::vector<uint8_t>& before) {
  auto after = document.image();
  ASSERT_EQ(after.size(), before.size());
  std::vector<bool> mayChange(after.size(), false);
  for (const ComponentEntry& entry : document.entries()) {
    const size_t field = entry.recordOffset(after) + kReferenceOffset;
    const size_t length = entry.reference().empty() ? 0 : entry.reference().size();
    for (size_t i = 0; i <= length; ++i) {
      mayChange[field + i] = true;
    }
  }
  for (size_t i = 0; i < after.size(); ++i) {
    if (!mayChange[i]) {
      ASSERT_EQ(after[i], before[i]) << "byte " << i;
    }
  }
}

// True if the 9 bytes of component `index`'s reference field are those of `before`.
bool ReferenceFieldUnchanged(const SchematicDocument& document, size_t index,
                             const std::vector<uint8_t>& before) {
  auto image = document.image();
  const auto field =
      static_cast<ptrdiff_t>(document.entries()[index].recordOffset(image) + kReferenceOffset);
  return std::equal(image.begin() + field, image.begin() + field + 9, before.begin() + field);
}

// A component with a package tag, as most are.
ComponentRecord Part(const std::string& reference, uint8_t block = 0) {
  return {.block = block, .packageTag = "T", .reference = reference, .partName = "P"};
}

TEST(RenumberPlain, NumbersByPrefixInPresentOrder) {
  struct Case {
    const char* name;
    std::vector<ComponentRecord> components;
    int initial;
    int step;
    std::vector<std::string> expected;  // in file order
  };
  const Case cases[] = {
      {"prefixes keep their order",
       {Part("R5"), Part("R2"), Part("R9"), Part("C1")},
       1,
       1,
       {"R2", "R1", "R3", "C1"}},
      {"initial and step",
       {Part("R5"), Part("R2"), Part("R9"), Part("C1")},
       10,
       5,
       {"R15", "R10", "R20", "C10"}},
      {"blocks of one package keep sharing",
       {Part("U3", 0), Part("U1"), Part("U3", 1)},
       1,
       1,
       {"U2", "U1", "U2"}},
      {"shared reference and a step",
       {Part("U3"), Part("U3"), Part("U5"), Part("U4")},
       1,
       2,
       {"U1", "U1", "U5", "U3"}},
      {"no number sorts first", {Part("R1"), Part("R")}, 1, 1, {"R2", "R1"}},
      {"numeric reference keeps its first digit", {Part("12"), Part("13")}, 1, 1, {"11", "12"}},
      {"letter suffix is part of the prefix",
       {Part("U1A"), Part("U1B"), Part("U2")},
       1,
       1,
       {"U1A1", "U1B1", "U1"}},
      {"leading zeros give the same number",
       {Part("R0012"), Part("R12"), Part("R3")},
       1,
       1,
       {"R2", "R2", "R1"}},
      {"cut to eight characters", {Part("ABCDEFG1")}, 100, 1, {"ABCDEFG1"}},
      {"cases are different prefixes",
       {Part("r4"), Part("R7"), Part("r2")},
       1,
       1,
       {"r2", "R1", "r1"}},
      {"longer prefix is its own group",
       {Part("CN3"), Part("C9"), Part("CN1")},
       1,
       1,
       {"CN2", "C1", "CN1"}},
      {"highest initial and step",
       {Part("R3"), Part("R1"), Part("R2")},
       1000,
       20,
       {"R1040", "R1000", "R1020"}},
      {"empty tag keeps its reference and takes no number",
       {{.packageTag = "", .reference = "R5"}, Part("R7")},
       1,
       1,
       {"R5", "R1"}},
      {"empty reference is left alone",
       {{.packageTag = "T", .reference = ""}, Part("R4")},
       1,
       1,
       {"", "R1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SchematicBuilder builder;
    builder.header();
    for (const ComponentRecord& component : c.components) {
      builder.component(component);
    }
    SchematicDocument document;
    ASSERT_TRUE(document.loadImage(builder.bytes()));
    std::vector<uint8_t> blocks;
    for (const ComponentEntry& entry : document.entries()) {
      blocks.push_back(entry.block());
    }
    RenumberPlain(document, c.initial, c.step);
    EXPECT_EQ(ReferencesOf(document), c.expected);
    ExpectOnlyReferencesChanged(document, builder.bytes());
    for (size_t i = 0; i < blocks.size(); ++i) {
      EXPECT_EQ(document.entries()[i].block(), blocks[i]);
    }
  }
}

// Plain numbering of references that are all letters and a number, written out on its own:
// the components sorted by prefix, then by number, file order among equals; each group of
// one prefix and number takes the next number of its prefix.
std::vector<std::string> ModelNumbering(const std::vector<std::string>& references) {
  struct Split {
    std::string prefix;
    int64_t number;
  };
  std::vector<Split> split;
  for (const std::string& reference : references) {
    const size_t digits = reference.find_first_of("0123456789");
    split.push_back({reference.substr(0, digits), std::stoll(reference.substr(digits))});
  }
  std::vector<size_t> order(references.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return std::tie(split[a].prefix, split[a].number) < std::tie(split[b].prefix, split[b].number);
  });
  // Sorted, each prefix's components stand together.
  std::vector<std::string> renumbered(references.size());
  int64_t last = 0;
  for (size_t i = 0; i < order.size(); ++i) {
    const Split& part = split[order[i]];
    const Split* before = i > 0 ? &split[order[i - 1]] : nullptr;
    if (before == nullptr || before->prefix != part.prefix) {
      last = 0;
    }
    if (before == nullptr || before->prefix != part.prefix || before->number != part.number) {
      ++last;
    }
    renumbered[order[i]] = part.prefix + std::to_string(last);
  }
  return renumbered;
}

// A distinct prefix for each index: A to Z, then AA to ZZ, and so on. Uppercase letters
// only, so that every platform's text order is the byte order.
std::string LettersFor(size_t index) {
  std::string letters;
  for (size_t n = index + 1; n > 0; n = (n - 1) / 26) {
    letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
  }
  return letters;
}

// Random boards against the model: small ones of a few prefixes and many shared numbers,
// and one of more than a million components and half a million prefixes with a 7-digit
// number, whose prefix ranks, numbers and places in the sort take more than 64 bits. That
// one takes about 3 seconds in an optimised build and five times as long in a debug build,
// so it runs only in the former.
TEST(RenumberPlain, AgreesWithAModelOnSmallAndVeryLargeBoards) {
  std::mt19937 random(2718);
  struct Shape {
    size_t components;
    size_t prefixes;
    int rounds;
  };
  std::vector<Shape> shapes = {{40, 4, 300}, {3000, 200, 20}};
#ifdef NDEBUG
  shapes.push_back({1100000, 530000, 1});
#endif
  for (const Shape shape : shapes) {
    for (int round = 0; round < shape.rounds; ++round) {
      SCOPED_TRACE(std::to_string(shape.components) + " components, round " +
                   std::to_string(round));
      std::vector<std::string> references;
      for (size_t i = 0; i < shape.components; ++i) {
        // Every prefix at least once, then at random; numbers of 1 to 3 digits, so that
        // many are shared.
        const size_t prefix = i < shape.prefixes ? i : random() % shape.prefixes;
        references.push_back(LettersFor(prefix) +
                             std::to_string(1 + random() % (prefix % 3 == 0 ? 9 : 300)));
      }
      references[random() % references.size()] = "Z9999999";
      std::shuffle(references.begin(), references.end(), random);
      SchematicBuilder builder;
      builder.header();
      for (const std::string& reference : references) {
        builder.component(Part(reference));
      }
      SchematicDocument document;
      ASSERT_TRUE(document.loadImage(builder.bytes()));
      ASSERT_FALSE(RenumberPlain(document, 1, 1));
      const std::vector<std::string> expected = ModelNumbering(references);
      const std::vector<std::string> actual = ReferencesOf(document);
      for (size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(actual[i], expected[i]) << "component " << i << " (was " << references[i] << ")";
      }
    }
  }
}

TEST(RenumberPlain, EmptyTextsByLengthByteAreLeftAlone) {
  SchematicBuilder builder;
  builder.header()
      .component({.packageTag = "T", .reference = "R9", .referenceLengthByte = 0})
      .component({.packageTag = "T", .reference = "R8", .referenceLengthByte = 0x85})
      .component({.packageTag = "TAG", .reference = "R7", .packageTagLengthByte = 0x90})
      .component(Part("R6"));
  SchematicDocument document;
  ASSERT_TRUE(document.loadImage(builder.bytes()));
  EXPECT_FALSE(RenumberPlain(document, 1, 1));
  // Only the last reference field changed: the others hold exactly their old bytes.
  EXPECT_EQ(ReferencesOf(document), (std::vector<std::string>{"", "", "R7", "R1"}));
  ExpectOnlyReferencesChanged(document, builder.bytes());
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(ReferenceFieldUnchanged(document, i, builder.bytes())) << i;
  }
}

TEST(RenumberPlain, OverlongLengthByteIsRewrittenWithinTheField) {
  SchematicBuilder builder;
  builder.header().component(
      {.packageTag = "T", .reference = "ABCDEFGH", .referenceLengthByte = 127});
  SchematicDocument document;
  ASSERT_TRUE(document.loadImage(builder.bytes()));
  RenumberPlain(document, 1, 1);
  EXPECT_EQ(document.entries()[0].reference(), "ABCDEFGH");
  EXPECT_EQ(document.entries()[0].referenceField()[0], 8);
}

TEST(RenumberPlain, SectionsShareOneNumbering) {
  SchematicBuilder builder;
  builder.header().component(Part("R4")).component(Part("C2"));
  builder.header().component(Part("R2")).fixedRecord(5).component(Part("C1"));
  SchematicDocument document;
  ASSERT_TRUE(document.loadImage(builder.bytes()));
  RenumberPlain(document, 1, 1);
  EXPECT_EQ(ReferencesOf(document), (std::vector<std::string>{"R2", "C2", "R1", "C1"}));
  ExpectOnlyReferencesChanged(document, builder.bytes());
}

TEST(RenumberPlain, DocumentWithoutComponentsIsUnchanged) {
  SchematicBuilder builder;
  builder.header().fixedRecord(0).variableRecord(200, 24);
  SchematicDocument document;
  ASSERT_TRUE(document.loadImage(builder.bytes()));
  EXPECT_FALSE(RenumberPlain(document, 1, 1));
  EXPECT_TRUE(std::equal(document.image().begin(), document.image().end(), builder.bytes().begin(),
                         builder.bytes().end()));
}

}  // namespace
}  // namespace kerro
