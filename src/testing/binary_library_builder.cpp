#include "testing/binary_library_builder.h"

#include <stdexcept>

namespace kerro::testing {

namespace {

constexpr size_t kHeaderEnd = 54;
const std::string kMagic("LIB FOR CE000\x1A", 14);

// The string area; offsets are relative to its start.
class Strings {
 public:
  uint16_t cString(const std::string& text) {
    const size_t at = bytes.size();
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
    return checked(at);
  }
  uint16_t prefixed(const std::string& text, std::optional<uint8_t> lengthByte) {
    const size_t at = bytes.size();
    bytes.push_back(lengthByte ? *lengthByte : static_cast<uint8_t>(text.size()));
    bytes.insert(bytes.end(), text.begin(), text.end());
    return checked(at);
  }
  std::vector<uint8_t> bytes;

 private:
  static uint16_t checked(size_t at) {
    if (at >= 0xFFFF) {
      throw std::length_error("string area too large for 16-bit offsets");
    }
    return static_cast<uint16_t>(at);
  }
};

void Append16(std::vector<uint8_t>& bytes, uint16_t value) {
  bytes.push_back(static_cast<uint8_t>(value & 0xFF));
  bytes.push_back(static_cast<uint8_t>(value >> 8));
}

// One body record; its texts go to `strings`.
void AppendBody(std::vector<uint8_t>& bodyArea, const BinaryBody& body, Strings& strings) {
  bodyArea.push_back(body.sizeX);
  bodyArea.push_back(body.sizeY);
  bodyArea.push_back(body.blockCount);
  bodyArea.insert(bodyArea.end(), {0xA5, 0xA5, 0xA5});
  Append16(bodyArea, strings.cString(body.refPrefix));
  Append16(bodyArea, body.pattern ? *body.pattern : uint16_t{0xFFFF});
  uint16_t pinWord = static_cast<uint16_t>(body.pins.size() & 0x0FFF);
  for (int side = 0; side < 4; ++side) {
    if ((body.sides & (1 << side)) != 0) {
      pinWord = static_cast<uint16_t>(pinWord | (0x8000 >> side));
    }
  }
  Append16(bodyArea, pinWord);
  for (const BinaryPin& pin : body.pins) {
    Append16(bodyArea, pin.location);
    Append16(bodyArea,
             pin.name ? strings.prefixed(*pin.name, pin.nameLengthByte) : uint16_t{0xFFFF});
    for (size_t b = 0; b < body.blockCount; ++b) {
      Append16(bodyArea, b < pin.numbers.size() ? pin.numbers[b] : uint16_t{0});
    }
  }
}

// One pattern table record and the bitmap it points to.
void AppendBitmap(std::vector<uint8_t>& patternTable, std::vector<uint8_t>& bitmapArea,
                  const BinaryBitmap& bitmap) {
  Append16(patternTable, static_cast<uint16_t>(bitmapArea.size()));
  patternTable.insert(patternTable.end(), {0x5A, 0x5A, 0x5A, 0x5A});
  Append16(bitmapArea, bitmap.width);
  Append16(bitmapArea, bitmap.height);
  const size_t size = (static_cast<size_t>(bitmap.width) + 7) / 8 * bitmap.height;
  for (size_t i = 0; i < size; ++i) {
    bitmapArea.push_back(i < bitmap.rows.size() ? bitmap.rows[i] : uint8_t{0});
  }
}

}  // namespace

void BinaryLibraryBuilder::PutU16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value) {
  bytes.at(offset) = static_cast<uint8_t>(value & 0xFF);
  bytes.at(offset + 1) = static_cast<uint8_t>(value >> 8);
}

void BinaryLibraryBuilder::PutU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
  PutU16(bytes, offset, static_cast<uint16_t>(value & 0xFFFF));
  PutU16(bytes, offset + 2, static_cast<uint16_t>(value >> 16));
}

int BinaryLibraryBuilder::body(const BinaryBody& body) {
  bodies_.push_back(body);
  return static_cast<int>(bodies_.size() - 1);
}

uint16_t BinaryLibraryBuilder::bitmap(const BinaryBitmap& bitmap) {
  bitmaps_.push_back(bitmap);
  return static_cast<uint16_t>(bitmaps_.size() - 1);
}

BinaryLibraryBuilder& BinaryLibraryBuilder::entry(const std::string& name,
                                                  std::optional<int> bodyIndex) {
  entries_.emplace_back(name, bodyIndex);
  return *this;
}

std::vector<uint8_t> BinaryLibraryBuilder::bytes() {
  Strings strings;

  std::vector<uint8_t> bodyArea;
  std::vector<uint16_t> bodyOffsets;
  for (const BinaryBody& body : bodies_) {
    if (bodyArea.size() >= 0xFFFF) {
      throw std::length_error("body area too large for 16-bit offsets");
    }
    bodyOffsets.push_back(static_cast<uint16_t>(bodyArea.size()));
    AppendBody(bodyArea, body, strings);
  }

  // Entry names last: their offsets are 32-bit, those of the body texts 16-bit.
  std::vector<uint32_t> nameOffsets;
  for (const auto& entry : entries_) {
    nameOffsets.push_back(static_cast<uint32_t>(strings.bytes.size()));
    strings.bytes.insert(strings.bytes.end(), entry.first.begin(), entry.first.end());
    strings.bytes.push_back(0);
  }

  std::vector<uint8_t> patternTable;
  std::vector<uint8_t> bitmapArea;
  for (const BinaryBitmap& bitmap : bitmaps_) {
    AppendBitmap(patternTable, bitmapArea, bitmap);
  }

  std::vector<uint8_t> file(kMagic.begin(), kMagic.end());
  file.resize(kHeaderEnd, 0);
  file[14] = 0x33;  // not checked by the reader
  file[15] = 0x44;
  layout_ = Layout{};
  layout_.nameTable = static_cast<uint32_t>(file.size());
  for (uint32_t offset : nameOffsets) {
    Append16(file, static_cast<uint16_t>(offset & 0xFFFF));
    Append16(file, static_cast<uint16_t>(offset >> 16));
  }
  layout_.bodyTable = static_cast<uint32_t>(file.size());
  for (const auto& entry : entries_) {
    Append16(file,
             entry.second ? bodyOffsets.at(static_cast<size_t>(*entry.second)) : uint16_t{0xFFFF});
  }
  layout_.bodyArea = static_cast<uint32_t>(file.size());
  for (uint16_t offset : bodyOffsets) {
    layout_.bodyOffsets.push_back(layout_.bodyArea + offset);
  }
  file.insert(file.end(), bodyArea.begin(), bodyArea.end());
  layout_.patternTable = static_cast<uint32_t>(file.size());
  file.insert(file.end(), patternTable.begin(), patternTable.end());
  layout_.bitmapArea = static_cast<uint32_t>(file.size());
  file.insert(file.end(), bitmapArea.begin(), bitmapArea.end());
  layout_.stringArea = static_cast<uint32_t>(file.size());
  file.insert(file.end(), strings.bytes.begin(), strings.bytes.end());

  PutU16(file, kEntryCountOffset, static_cast<uint16_t>(entries_.size()));
  PutU32(file, kNameTableOffset, layout_.nameTable);
  PutU32(file, kBodyTableOffset, layout_.bodyTable);
  PutU32(file, kBodyAreaOffset, layout_.bodyArea);
  PutU32(file, kPatternTableOffset, layout_.patternTable);
  PutU32(file, kBitmapAreaOffset, layout_.bitmapArea);
  PutU32(file, kStringAreaOffset, layout_.stringArea);
  return file;
}

}  // namespace kerro::testing
