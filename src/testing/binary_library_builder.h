#pragma once
// Writes binary part libraries for tests. The tables are laid out one after another
// behind the header: names, bodies, the body area, patterns, bitmaps and strings. The
// layout of the last file written is available, so that tests can break one field.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kerro::testing {

struct BinaryPin {
  uint16_t location = 0;                  // location word
  std::optional<std::string> name;        // none: name offset 0xFFFF
  std::optional<uint8_t> nameLengthByte;  // stored instead of the name's length
  std::vector<uint16_t> numbers;          // pin-number words, one per block of the body
};

struct BinaryBody {
  uint8_t sizeX = 4;
  uint8_t sizeY = 4;
  uint8_t blockCount = 1;
  std::string refPrefix = "U";
  std::optional<uint16_t> pattern;  // index from bitmap(); none: 0xFFFF
  uint8_t sides = 0;                // 1, 2, 4, 8 for sides 0 to 3
  std::vector<BinaryPin> pins;      // each needs blockCount numbers; missing ones are 0
};

struct BinaryBitmap {
  uint16_t width = 0;
  uint16_t height = 0;
  std::vector<uint8_t> rows;  // (width + 7) / 8 bytes per row; missing bytes are 0
};

class BinaryLibraryBuilder {
 public:
  struct Layout {
    uint32_t nameTable = 0;
    uint32_t bodyTable = 0;
    uint32_t bodyArea = 0;
    uint32_t patternTable = 0;
    uint32_t bitmapArea = 0;
    uint32_t stringArea = 0;
    std::vector<uint32_t> bodyOffsets;  // file offset of each body record
  };

  // Header offsets of the fields.
  static constexpr size_t kEntryCountOffset = 16;
  static constexpr size_t kNameTableOffset = 18;
  static constexpr size_t kBodyTableOffset = 22;
  static constexpr size_t kBodyAreaOffset = 26;
  static constexpr size_t kPatternTableOffset = 30;
  static constexpr size_t kBitmapAreaOffset = 34;
  static constexpr size_t kStringAreaOffset = 38;

  // Adds a body and returns its index for entry().
  int body(const BinaryBody& body);
  // Adds a bitmap with its pattern record and returns the pattern index.
  uint16_t bitmap(const BinaryBitmap& bitmap);
  // Adds a name; a body index of nullopt stores 0xFFFF. Entries naming one body share it.
  BinaryLibraryBuilder& entry(const std::string& name, std::optional<int> bodyIndex);

  std::vector<uint8_t> bytes();
  const Layout& layout() const { return layout_; }

  static void PutU16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value);
  static void PutU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value);

 private:
  std::vector<std::pair<std::string, std::optional<int>>> entries_;
  std::vector<BinaryBody> bodies_;
  std::vector<BinaryBitmap> bitmaps_;
  Layout layout_;
};

}  // namespace kerro::testing
