#include "library/binary_library.h"

#include <algorithm>
#include <array>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/little_endian.h"

namespace kerro {

namespace {

constexpr std::string_view kMagic("LIB FOR CE000\x1A", kBinaryMagicSize);
constexpr size_t kMinDataSize = 4;
constexpr uint16_t kNone = 0xFFFF;
constexpr size_t kBodyRecordSize = 12;
constexpr size_t kPatternRecordSize = 6;
constexpr int kMaxPinNameLength = 63;

struct Header {
  uint16_t entryCount;
  uint32_t nameTable;
  uint32_t bodyTable;
  uint32_t bodyArea;
  uint32_t patternTable;
  uint32_t bitmapArea;
  uint32_t stringArea;
};

// The file's bytes after the header, addressed by file offset. Every read is checked:
// nothing before the end of the header or past the end of the file can be reached.
class Data {
 public:
  explicit Data(std::span<const uint8_t> file) : file_(file) {}

  bool holds(uint64_t offset, uint64_t length) const {
    return offset >= kBinaryHeaderEnd && offset <= file_.size() && length <= file_.size() - offset;
  }

  std::optional<uint16_t> u16(uint64_t offset) const {
    if (!holds(offset, 2)) {
      return std::nullopt;
    }
    return ReadU16(file_, static_cast<size_t>(offset));
  }

  std::optional<uint32_t> u32(uint64_t offset) const {
    if (!holds(offset, 4)) {
      return std::nullopt;
    }
    return ReadU32(file_, static_cast<size_t>(offset));
  }

  std::span<const uint8_t> bytes(uint64_t offset, uint64_t length) const {
    return file_.subspan(static_cast<size_t>(offset), static_cast<size_t>(length));
  }

  // The NUL-terminated string at `offset`; nullopt if it starts outside the data or has
  // no NUL before the end of the file.
  std::optional<std::string> cString(uint64_t offset) const {
    if (!holds(offset, 1)) {
      return std::nullopt;
    }
    const auto rest = file_.subspan(static_cast<size_t>(offset));
    const auto end = std::find(rest.begin(), rest.end(), uint8_t{0});
    if (end == rest.end()) {
      return std::nullopt;
    }
    return std::string(rest.begin(), end);
  }

 private:
  std::span<const uint8_t> file_;
};

uint32_t LocationFromWord(uint16_t word) {
  uint32_t location = word & 0xFFu;
  location |= static_cast<uint32_t>((word >> 8) & 0x3u) << kPinSideShift;
  if ((word & 0x1000u) != 0) {
    location |= kPinFlagS;
  }
  if ((word & 0x4000u) != 0) {
    location |= kPinFlagC;
  }
  if ((word & 0x8000u) != 0) {
    location |= kPinFlagN;
  }
  return location;
}

// The pin number without its sign: an optional letter, then the number in decimal.
std::string PinNumberText(uint16_t word) {
  std::string text;
  const unsigned letter = (word >> 10) & 0x1Fu;
  if (letter != 0) {
    text.push_back(static_cast<char>(0x40u + letter));
  }
  text += std::to_string(word & 0x1FFu);
  return text;
}

void ReadPinSides(uint16_t word, PartBody& body) {
  static constexpr std::array<uint16_t, 4> kSideBits = {0x8000, 0x4000, 0x2000, 0x1000};
  for (size_t side = 0; side < kSideBits.size(); ++side) {
    if ((word & kSideBits[side]) != 0) {
      body.pinSides |= 1u << side;
    }
  }
}

class BinaryLibraryParser {
 public:
  BinaryLibraryParser(PartLibrary& library, std::span<const uint8_t> file)
      : library_(library), file_(file), data_(file) {}

  bool parse() {
    if (!HasBinaryLibraryMagic(file_) || file_.size() < kBinaryHeaderEnd + kMinDataSize) {
      return false;
    }
    header_ = {ReadU16(file_, 16), ReadU32(file_, 18), ReadU32(file_, 22), ReadU32(file_, 26),
               ReadU32(file_, 30), ReadU32(file_, 34), ReadU32(file_, 38)};
    if (header_.entryCount == 0) {
      return false;
    }
    std::vector<std::string> names;
    std::vector<uint16_t> bodyOffsets;
    for (uint64_t i = 0; i < header_.entryCount; ++i) {
      const auto nameOffset = data_.u32(header_.nameTable + 4 * i);
      if (!nameOffset) {
        return false;
      }
      auto name = data_.cString(uint64_t{header_.stringArea} + *nameOffset);
      if (!name) {
        return false;
      }
      names.push_back(std::move(*name));
    }
    for (uint64_t i = 0; i < header_.entryCount; ++i) {
      const auto bodyOffset = data_.u16(header_.bodyTable + 2 * i);
      if (!bodyOffset) {
        return false;
      }
      bodyOffsets.push_back(*bodyOffset);
    }
    // Entries with equal body offsets share the body made when the first of them is met.
    std::vector<const PartBody*> bodyAt(kNone, nullptr);
    for (size_t i = 0; i < names.size(); ++i) {
      const uint16_t offset = bodyOffsets[i];
      const PartBody* body = nullptr;
      if (offset != kNone) {
        body = bodyAt[offset];
        if (body == nullptr) {
          body = readBody(uint64_t{header_.bodyArea} + offset);
          if (body == nullptr) {
            return false;
          }
          bodyAt[offset] = body;
        }
      }
      library_.addEntry(std::move(names[i]), body);
    }
    return true;
  }

 private:
  const PartBody* readBody(uint64_t at) {
    if (!data_.holds(at, kBodyRecordSize)) {
      return nullptr;
    }
    const auto record = data_.bytes(at, kBodyRecordSize);
    auto body = std::make_unique<PartBody>();
    auto refPrefix = data_.cString(uint64_t{header_.stringArea} + ReadU16(record, 6));
    if (!refPrefix) {
      return nullptr;
    }
    body->refPrefix = std::move(*refPrefix);
    body->sizeX = record[0];
    body->sizeY = record[1];
    body->blockCount = record[2];
    const uint16_t patternIndex = ReadU16(record, 8);
    if (patternIndex != kNone) {
      const auto bitmapOffset =
          data_.u16(header_.patternTable + uint64_t{kPatternRecordSize} * patternIndex);
      if (!bitmapOffset || !readBitmap(uint64_t{header_.bitmapArea} + *bitmapOffset, *body)) {
        return nullptr;
      }
    }
    const uint16_t pinWord = ReadU16(record, 10);
    ReadPinSides(pinWord, *body);
    const size_t pinCount = pinWord & 0x0FFFu;
    const size_t blocks = record[2];
    const uint64_t pinSize = 4 + 2 * uint64_t{blocks};
    if (!data_.holds(at + kBodyRecordSize, pinSize * pinCount)) {
      return nullptr;
    }
    body->pins.resize(pinCount);
    for (size_t p = 0; p < pinCount; ++p) {
      const auto pinRecord = data_.bytes(at + kBodyRecordSize + pinSize * p, pinSize);
      PartPin& pin = body->pins[p];
      pin.prepareNumbers(static_cast<int32_t>(blocks));
      pin.location = LocationFromWord(ReadU16(pinRecord, 0));
      const uint16_t nameOffset = ReadU16(pinRecord, 2);
      if (nameOffset != kNone && !readPinName(uint64_t{header_.stringArea} + nameOffset, pin)) {
        return nullptr;
      }
      for (size_t b = 0; b < blocks; ++b) {
        const uint16_t word = ReadU16(pinRecord, 4 + 2 * b);
        pin.setNumber(static_cast<int32_t>(b), (word & 0x8000u) == 0, PinNumberText(word));
      }
    }
    return &library_.addBody(std::move(body));
  }

  bool readBitmap(uint64_t at, PartBody& body) {
    const auto width = data_.u16(at);
    const auto height = data_.u16(at + 2);
    if (!width || !height) {
      return false;
    }
    if (*width == 0 || *height == 0) {
      return true;
    }
    const size_t fileRow = (static_cast<size_t>(*width) + 7) / 8;
    if (!data_.holds(at + 4, uint64_t{fileRow} * *height)) {
      return false;
    }
    const auto rows = data_.bytes(at + 4, uint64_t{fileRow} * *height);
    body.bitmap = PartBitmap::Blank(*width, *height);
    const size_t stride = body.bitmap->rowBytes();
    for (size_t row = 0; row < *height; ++row) {
      std::copy_n(rows.begin() + static_cast<ptrdiff_t>(row * fileRow), fileRow,
                  body.bitmap->rows.begin() + static_cast<ptrdiff_t>(row * stride));
    }
    return true;
  }

  bool readPinName(uint64_t at, PartPin& pin) {
    if (!data_.holds(at, 1)) {
      return false;
    }
    const int8_t lengthByte = static_cast<int8_t>(data_.bytes(at, 1)[0]);
    // Lengths of 128 and more lie outside the format; they read as an empty name.
    const int length = lengthByte < 0 ? 0 : std::min<int>(lengthByte, kMaxPinNameLength);
    if (!data_.holds(at + 1, static_cast<uint64_t>(length))) {
      return false;
    }
    const auto text = data_.bytes(at + 1, static_cast<uint64_t>(length));
    pin.setName(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
    return true;
  }

  PartLibrary& library_;
  std::span<const uint8_t> file_;
  Data data_;
  Header header_{};
};

}  // namespace

bool HasBinaryLibraryMagic(std::span<const uint8_t> bytes) {
  return bytes.size() >= 16 &&
         std::equal(kMagic.begin(), kMagic.end(), bytes.begin(),
                    [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
}

bool LoadBinaryLibrary(PartLibrary& library, std::span<const uint8_t> file) {
  return LoadReplacing(
      library, [&](PartLibrary& loaded) { return BinaryLibraryParser(loaded, file).parse(); });
}

}  // namespace kerro
