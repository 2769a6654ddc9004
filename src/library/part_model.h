#pragma once
// The in-memory form of one part library, whichever reader filled it.
//
// A PartLibrary holds one PartEntry per part name and per alias, in file order. Each entry
// refers to a PartBody, the component definition; a part and its aliases share one body.
// The library owns every body and every pattern; entries and bodies only refer to them, so
// nothing is freed twice and nothing needs a free order.
//
// Stored texts are NUL-terminated strings in the file formats, so every text the model
// stores ends at its first NUL byte.

#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "library/name_index.h"
#include "platform/file_system.h"

namespace kerro {

// A monochrome bitmap: rows padded to whole 16-bit words, pixels most significant bit first.
struct PartBitmap {
  uint16_t width = 0;
  uint16_t height = 0;
  std::vector<uint8_t> rows;  // height * rowBytes(), zero-filled when created

  static size_t RowBytes(uint16_t width) { return (static_cast<size_t>(width) + 15) / 16 * 2; }
  size_t rowBytes() const { return RowBytes(width); }

  // A bitmap of this size with every pixel clear.
  static std::unique_ptr<PartBitmap> Blank(uint16_t width, uint16_t height);
};

// Bits of PartPin::location.
inline constexpr uint32_t kPinOffsetMask = 0xFFFF;
inline constexpr int kPinSideShift = 16;
inline constexpr uint32_t kPinSideMask = 0x3u << kPinSideShift;
inline constexpr uint32_t kPinFlagS = 1u << 28;
inline constexpr uint32_t kPinFlagC = 1u << 30;
inline constexpr uint32_t kPinFlagN = 1u << 31;

class PartPin {
 public:
  // Side 0 (left) to 3 (bottom), from bits 16-17 of `location`.
  int side() const { return static_cast<int>((location & kPinSideMask) >> kPinSideShift); }

  int32_t blockCount() const { return static_cast<int32_t>(pinNumbers_.size()); }
  // The pin number in each block, block 0 first; a slot not set is nullopt. Each set
  // number starts with its sign character, "+" or "-".
  const std::vector<std::optional<std::string>>& pinNumbers() const { return pinNumbers_; }
  const std::optional<std::string>& pinName() const { return pinName_; }

  // Makes room for `count` pin numbers, all unset, and returns `count`. Works only once, on
  // a pin that has no numbers yet; otherwise, or for a count below 1, returns 0 and
  // changes nothing.
  int32_t prepareNumbers(int32_t count);

  // Sets the pin name; nullopt clears it. A backslash and the character after it become
  // that character with bit 7 set (so "\C\S" stores 0xC3 0xD3); a backslash that ends the
  // text is dropped. At most 255 bytes are stored.
  void setName(std::optional<std::string_view> text);

  // Sets the number of block `index` to "+" (sign true) or "-" followed by `text`; nullopt
  // clears the slot. An index outside the prepared numbers is ignored.
  void setNumber(int32_t index, bool sign, std::optional<std::string_view> text);

  // Bits 0-7 (text libraries: 0-15): offset along the side; bits 16-17: the side; bits 28,
  // 30, 31: the flags S, C and N.
  uint32_t location = 0;

 private:
  bool prepared_ = false;
  std::vector<std::optional<std::string>> pinNumbers_;
  std::optional<std::string> pinName_;
};

struct PartPattern;

// One component definition, shared by a part and its aliases.
struct PartBody {
  std::string refPrefix;
  int32_t sizeX = 0;
  int32_t sizeY = 0;
  int32_t blockCount = 1;                // blocks (gates) in one package
  std::unique_ptr<PartBitmap> bitmap;    // binary libraries only
  const PartPattern* pattern = nullptr;  // text libraries only; owned by the library
  uint32_t pinSides = 0;                 // bit n set: side n carries pins
  std::vector<PartPin> pins;

  int32_t pinCount() const { return static_cast<int32_t>(pins.size()); }
};

// A named symbol bitmap of a text library.
struct PartPattern {
  std::string name;
  int32_t width = 21;
  int32_t height = 21;
  std::unique_ptr<PartBitmap> bitmap;
};

// One name in a library: a part or an alias.
struct PartEntry {
  std::string name;  // compared case-sensitively
  // Null only where a binary library gave the entry no body.
  const PartBody* body = nullptr;

  // Blocks in the package behind this name. An entry without a body counts as one block,
  // like any single-block part.
  int32_t blockCount() const { return body != nullptr ? body->blockCount : 1; }
};

// How much of each part a load keeps. Numbering needs only the names, the reference
// prefixes, the sizes, the patterns and the block counts; the pins are most of a text
// library and most of its load time. Either way a load accepts and rejects the same files.
enum class PartDetail {
  kFull,
  kWithoutPins,  // bodies keep no pins, and pinSides stays 0
};

class PartLibrary {
 public:
  PartLibrary() = default;
  PartLibrary(PartLibrary&&) = default;
  PartLibrary& operator=(PartLibrary&&) = default;

  // Path the library was loaded from; set only by a successful load.
  const std::optional<std::string>& fileName() const { return fileName_; }

  int32_t entryCount() const { return static_cast<int32_t>(entries_.size()); }
  // The entry at `index` in file order, or null when `index` is outside 0 to count - 1.
  const PartEntry* entryAt(int32_t index) const;
  const std::vector<PartEntry>& entries() const { return entries_; }
  // The index of the first entry named `name`, byte for byte, or -1 if there is none.
  // `hash` is NameIndex::Hash(name), for a caller that asks several libraries.
  int32_t firstEntryNamed(std::string_view name) const {
    return firstEntryNamed(name, NameIndex::Hash(name));
  }
  int32_t firstEntryNamed(std::string_view name, uint32_t hash) const {
    return static_cast<int32_t>(firstEntries_.find(
        name, hash, [this](uint32_t at) { return std::string_view(entries_[at].name); }));
  }
  const std::vector<std::unique_ptr<PartBody>>& bodies() const { return bodies_; }
  const std::vector<std::unique_ptr<PartPattern>>& patterns() const { return patterns_; }

  // Loads the file at `path`: a name ending in ".LB3" (any case) as a text library, any
  // other file as a binary library when its header matches. Returns false, showing
  // nothing, if the library was loaded before, the file cannot be read, or it is not a
  // well-formed library; the library is then left as it was. Binary libraries are read
  // through `fileSystem` exclusively, text libraries shared. `detail` applies to text
  // libraries; a binary library is always read whole.
  bool loadLibrary(const std::string& path, FileSystem& fileSystem,
                   PartDetail detail = PartDetail::kFull);

  // Used by the readers while they build a library.
  PartBody& addBody(std::unique_ptr<PartBody> body);
  const PartPattern& addPattern(std::unique_ptr<PartPattern> pattern);
  void addEntry(std::string name, const PartBody* body);

 private:
  std::optional<std::string> fileName_;
  std::vector<PartEntry> entries_;
  NameIndex firstEntries_;  // of entries_
  std::vector<std::unique_ptr<PartBody>> bodies_;
  std::vector<std::unique_ptr<PartPattern>> patterns_;
};

// `text` up to its first NUL byte, as a NUL-terminated string would hold it.
std::string_view UpToNul(std::string_view text);

// Fills a fresh library with `parse` and moves it into `library` only when that succeeds,
// so a failed load keeps nothing partial. Running out of memory (a part too large for
// it) is a failed load too.
template <typename Parse>
bool LoadReplacing(PartLibrary& library, Parse&& parse) {
  try {
    PartLibrary loaded;
    if (!parse(loaded)) {
      return false;
    }
    library = std::move(loaded);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace kerro
