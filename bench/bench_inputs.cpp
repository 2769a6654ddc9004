#include "bench_inputs.h"

#include <array>
#include <cstdio>
#include <optional>
#include <unordered_set>

#include "schematic/schematic_document.h"
#include "testing/binary_library_builder.h"
#include "testing/schematic_builder.h"
#include "testing/text_library_builder.h"

namespace kerro::testing {

namespace {

// A small fixed generator, so that every run builds the same inputs.
class Random {
 public:
  uint32_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  uint32_t below(uint32_t bound) { return next() % bound; }

 private:
  uint32_t state_ = 0x2545F491u;
};

constexpr std::array<const char*, 6> kPrefixes = {"R", "C", "L", "D", "Q", "U"};
constexpr size_t kPatterns = 20;

std::string Numbered(const char* prefix, size_t number, int digits) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%0*zu", prefix, digits, number);
  return text;
}

CatalogPart CatalogPartAt(size_t index) {
  CatalogPart part;
  part.name = Numbered("P", index, 5);
  part.blocks = index % 8 == 0 ? 4 : index % 8 == 4 ? 2 : 1;
  part.prefix = part.blocks > 1 ? "U" : kPrefixes[index % kPrefixes.size()];
  return part;
}

uint16_t PinNumberWord(size_t pin, int block) {
  return static_cast<uint16_t>((pin + 1 + static_cast<size_t>(block) * 4) & 0x1FF);
}

}  // namespace

std::vector<CatalogPart> BenchCatalog(size_t parts) {
  std::vector<CatalogPart> catalog;
  catalog.reserve(parts);
  for (size_t i = 0; i < parts; ++i) {
    catalog.push_back(CatalogPartAt(i));
  }
  return catalog;
}

std::string BenchTextLibrary(size_t first, size_t count) {
  TextLibraryBuilder library;
  const std::vector<uint8_t> row = {0xF0, 0x0F, 0xAA, 0x55};
  for (size_t p = 0; p < kPatterns; ++p) {
    library.pattern(Numbered("PAT", p, 2), 32, 32, std::vector<std::vector<uint8_t>>(32, row));
  }
  static constexpr std::array<const char*, 4> kSides = {"L", "T", "R", "B"};
  for (size_t i = first; i < first + count; ++i) {
    const CatalogPart part = CatalogPartAt(i);
    TextComponent component;
    component.name = part.name;
    component.blocks = part.blocks;
    component.refPrefix = part.prefix;
    if (i % 25 == 0) {
      component.pattern = Numbered("PAT", i % kPatterns, 2);
    }
    for (size_t pin = 0; pin < 4; ++pin) {
      TextPin textPin;
      textPin.name = Numbered("IO", pin, 1);
      textPin.location = Numbered(kSides[pin], 10 * (pin + 1), 1);
      if (pin == 3) {
        textPin.flags = "Cm";
      }
      for (int block = 0; block < part.blocks; ++block) {
        textPin.numbers.push_back(std::to_string(PinNumberWord(pin, block)));
      }
      component.pins.push_back(std::move(textPin));
    }
    library.component(component);
    if (i % 10 == 0) {
      library.alias(part.name, part.name + "A");
    }
  }
  return library.text();
}

std::vector<uint8_t> BenchBinaryLibrary(size_t first, size_t count) {
  BinaryLibraryBuilder library;
  // One body for each (blocks, prefix) pair and a spread of variants of it: enough bodies
  // to exercise the sharing, few enough for the 16-bit body area.
  constexpr size_t kVariants = 40;
  std::vector<std::optional<int>> variants(5 * kPrefixes.size() * kVariants);
  for (size_t i = first; i < first + count; ++i) {
    const CatalogPart part = CatalogPartAt(i);
    size_t prefixIndex = 0;
    while (kPrefixes[prefixIndex] != part.prefix) {
      ++prefixIndex;
    }
    const size_t slot =
        (static_cast<size_t>(part.blocks) * kPrefixes.size() + prefixIndex) * kVariants +
        i % kVariants;
    if (!variants[slot]) {
      BinaryBody body;
      body.blockCount = static_cast<uint8_t>(part.blocks);
      body.refPrefix = part.prefix;
      body.sides = 0x0F;
      for (size_t pin = 0; pin < 4; ++pin) {
        BinaryPin binaryPin;
        binaryPin.location = static_cast<uint16_t>((pin << 8) | (10 * (pin + 1)));
        binaryPin.name = Numbered("IO", pin, 1);
        for (int block = 0; block < part.blocks; ++block) {
          binaryPin.numbers.push_back(PinNumberWord(pin, block));
        }
        body.pins.push_back(std::move(binaryPin));
      }
      variants[slot] = library.body(body);
    }
    library.entry(part.name, variants[slot]);
  }
  return library.bytes();
}

std::vector<uint8_t> BenchBoard(size_t components, size_t catalogParts) {
  Random random;
  SchematicBuilder board;
  board.header();
  size_t written = 0;
  size_t packages = 0;
  std::string lastQuadTag;
  auto add = [&](const ComponentRecord& record) {
    board.component(record);
    if (++written % 10 == 0) {
      board.fixedRecord(2);  // a wire between components
    }
  };
  while (written < components) {
    const uint32_t roll = random.below(100);
    ComponentRecord record;
    record.x = static_cast<int16_t>(random.below(30000));
    record.y = static_cast<int16_t>(random.below(30000));
    if (roll < 2) {
      record.partName = roll == 0 ? "GND" : "VCC";
      record.packageTag = "PWR";
      record.reference = "#PWR1";  // one shared reference: numbering never runs out of #PWR
      add(record);
      continue;
    }
    if (roll == 2 && !lastQuadTag.empty()) {
      record.partName = "VCC_4B";
      record.packageTag = lastQuadTag;
      record.reference = Numbered("U", random.below(99999) + 1, 1);
      add(record);
      continue;
    }
    CatalogPart part;
    if (roll == 3) {
      part.name = Numbered("X", random.below(100000), 5);  // in no library
      part.prefix = "J";
    } else {
      part = CatalogPartAt(random.below(static_cast<uint32_t>(catalogParts)));
    }
    record.partName = part.name;
    record.packageTag = Numbered("T", ++packages, 1);
    record.reference = Numbered(part.prefix.c_str(), random.below(999999) + 1, 1);
    if (part.blocks == 4) {
      lastQuadTag = record.packageTag;
    }
    for (int block = 0; block < part.blocks && written < components; ++block) {
      record.block = static_cast<uint8_t>(block);
      add(record);
      record.x = static_cast<int16_t>(record.x + 20);
    }
  }
  return board.bytes();
}

}  // namespace kerro::testing

namespace kerro::testing {

namespace {

struct ShapeRule {
  BoardShape shape;
  const char* name;
  bool scattered;         // each block at its own random point of the 16-bit range
  uint32_t powerBlocks;   // per cent
  uint32_t powerSymbols;  // per cent
  uint32_t sharedTags;    // tags of the multi-block packages; 0: one tag per package
  bool longNames;
  int sections;
  uint32_t numbers = 9999999;  // how many present numbers packages draw from, at random
  uint32_t firstNumber = 1;    // the lowest of them
};

constexpr std::array<ShapeRule, 9> kShapeRules = {{
    {BoardShape::Scattered, "scattered", true, 1, 2, 0, false, 1},
    {BoardShape::Power, "power", true, 15, 20, 0, false, 1},
    {BoardShape::SharedTags, "shared-tags", true, 1, 2, 1000, false, 1},
    {BoardShape::LongNames, "long-names", true, 1, 2, 0, true, 1},
    {BoardShape::Sections, "sections", true, 10, 2, 0, false, 63},
    {BoardShape::Mixed, "mixed", true, 10, 2, 1000, false, 1},
    {BoardShape::MixedSections, "mixed-sections", true, 10, 2, 1000, false, 4},
    {BoardShape::Duplicates, "duplicates", true, 10, 2, 1000, false, 1, 1000},
    // R7, not R1, so that numbering changes the board (the board check of bench/run).
    {BoardShape::OneNumber, "one-number", true, 10, 2, 1000, false, 1, 1, 7},
}};

// `length` upper-case letters.
std::string Letters(Random& random, size_t length) {
  std::string text;
  for (size_t i = 0; i < length; ++i) {
    text.push_back(static_cast<char>('A' + random.below(26)));
  }
  return text;
}

int16_t Anywhere(Random& random) {
  return static_cast<int16_t>(static_cast<uint16_t>(random.next() >> 16));
}

std::vector<uint8_t> ShapedBoard(size_t components, size_t catalogParts, const ShapeRule& rule) {
  Random random;
  SchematicBuilder board;
  board.header();
  size_t written = 0;
  size_t packages = 0;
  const size_t perSection =
      (components + static_cast<size_t>(rule.sections) - 1) / static_cast<size_t>(rule.sections);
  int sectionsOpened = 1;
  // Tags and prefixes of multi-block packages met so far, for power blocks to pick from.
  std::vector<std::pair<std::string, std::string>> packaged;
  std::vector<std::string> prefixes;  // the long-names shape's pool of prefixes
  for (size_t i = 0; rule.longNames && i < 100000; ++i) {
    // At most 6 letters, so that each prefix has room for 99 numbers: about ten parts share
    // one, and a prefix with room for fewer than it needs runs out.
    prefixes.push_back(Letters(random, 1 + random.below(6)));
  }
  auto add = [&](ComponentRecord record) {
    if (written == static_cast<size_t>(sectionsOpened) * perSection) {
      board.header();
      ++sectionsOpened;
    }
    if (rule.scattered) {
      record.x = Anywhere(random);
      record.y = Anywhere(random);
    }
    board.component(record);
    if (++written % 10 == 0) {
      board.fixedRecord(2);
    }
  };
  while (written < components) {
    const uint32_t roll = random.below(100);
    ComponentRecord record;
    record.x = static_cast<int16_t>(random.below(30000));
    record.y = static_cast<int16_t>(random.below(30000));
    if (roll < rule.powerSymbols) {
      record.partName = roll % 2 == 0 ? "GND" : "VCC";
      record.packageTag = "PWR";
      record.reference = "#PWR1";  // one shared reference: numbering never runs out of #PWR
      add(record);
      continue;
    }
    if (roll < rule.powerSymbols + rule.powerBlocks && !packaged.empty()) {
      const auto& [tag, prefix] = packaged[random.below(static_cast<uint32_t>(packaged.size()))];
      record.partName = roll % 2 == 0 ? "VCC_4B" : "GND_2B";
      record.packageTag = tag;
      record.reference = prefix + std::to_string(random.below(999) + 1);
      add(record);
      continue;
    }
    CatalogPart part = CatalogPartAt(random.below(static_cast<uint32_t>(catalogParts)));
    if (rule.longNames && random.below(2) == 0) {
      part.name = Letters(random, 15);  // in no library, and almost surely met once
    }
    if (rule.longNames) {
      part.prefix = prefixes[random.below(static_cast<uint32_t>(prefixes.size()))];
      record.packageTag = Letters(random, 15);
    } else if (part.blocks > 1 && rule.sharedTags > 0) {
      record.packageTag = Numbered("S", random.below(rule.sharedTags), 1);
    } else {
      record.packageTag = Numbered("T", ++packages, 1);
    }
    record.partName = part.name;
    // The numbers spread over 1 to 9,999,999, so that numbering changes them.
    const uint32_t number =
        random.below(rule.numbers) * (9999999 / rule.numbers) + rule.firstNumber;
    record.reference = Numbered(part.prefix.c_str(), number, 1).substr(0, 8);
    if (part.blocks > 1) {
      packaged.emplace_back(record.packageTag, part.prefix);
    }
    for (int block = 0; block < part.blocks && written < components; ++block) {
      record.block = static_cast<uint8_t>(block);
      add(record);
      record.x = static_cast<int16_t>(record.x + 20);
    }
  }
  return board.bytes();
}

}  // namespace

const char* ShapeName(BoardShape shape) {
  for (const ShapeRule& rule : kShapeRules) {
    if (rule.shape == shape) {
      return rule.name;
    }
  }
  return "today";
}

std::optional<BoardShape> ShapeNamed(std::string_view name) {
  for (BoardShape shape : AllShapes()) {
    if (name == ShapeName(shape)) {
      return shape;
    }
  }
  return std::nullopt;
}

std::vector<BoardShape> AllShapes() {
  std::vector<BoardShape> shapes = {BoardShape::Today};
  for (const ShapeRule& rule : kShapeRules) {
    shapes.push_back(rule.shape);
  }
  return shapes;
}

std::vector<uint8_t> BenchBoard(size_t components, size_t catalogParts, BoardShape shape) {
  for (const ShapeRule& rule : kShapeRules) {
    if (rule.shape == shape) {
      return ShapedBoard(components, catalogParts, rule);
    }
  }
  return BenchBoard(components, catalogParts);
}

std::string BenchPlacement(const std::vector<uint8_t>& board) {
  SchematicDocument document;
  if (!document.loadImage(board)) {
    return {};
  }
  std::string text = "Ref,Val,PosX,PosY,Side\n";
  std::unordered_set<std::string> seen;
  uint32_t seed = 25;
  const auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  for (const ComponentEntry& entry : document.entries()) {
    std::string reference(entry.reference());
    if (entry.packageTag().empty() || !seen.insert(reference).second) {
      continue;
    }
    const auto millimetres = [&] {
      const uint32_t micrometres = next() % 500000;
      const std::string fraction = std::to_string(1000 + micrometres % 1000);
      return std::to_string(micrometres / 1000) + "." + fraction.substr(1);
    };
    text += reference + ",V," + millimetres() + "," + millimetres() +
            (next() % 3 == 0 ? ",bottom\n" : ",top\n");
  }
  return text;
}

}  // namespace kerro::testing
