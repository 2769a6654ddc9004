#include "library/text_library.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>

#include "library/field_reader.h"

namespace kerro {

namespace {

constexpr std::string_view kMagic = "+TOSK3_LIB_V.1.0";
constexpr int32_t kMaxBlocks = 256;
constexpr uint8_t kEndOfText = 0x1A;

// How a section parser ended.
enum class SectionEnd {
  Closed,      // by its own closer, with its checks passed
  EndOfInput,  // the input ended inside it; the section was stored as it stood
  Failed,      // the load fails
};

bool IsOpener(std::string_view field) {
  return !field.empty() && field.front() == '+';
}

bool IsCloser(std::string_view field) {
  return !field.empty() && field.front() == '-';
}

bool IsCSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// atoi, saturating at the limits of a 32-bit integer instead of overflowing.
int32_t ParseInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsCSpace(text[i])) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min<int64_t>(value * 10 + (text[i] - '0'), int64_t{INT32_MAX} + 1);
  }
  if (negative) {
    value = -value;
  }
  return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

// Splits an item at its first colon. Returns false for an item that is not used: one
// without a colon, or with an empty key or value.
bool SplitItem(std::string_view field, std::string_view& key, std::string_view& value) {
  const size_t colon = field.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon + 1 == field.size()) {
    return false;
  }
  key = field.substr(0, colon);
  value = field.substr(colon + 1);
  return true;
}

// Byte of a bitmap row from two letters, each standing for its code minus 64.
uint8_t DecodeBitmapPair(char high, char low) {
  const int h = static_cast<unsigned char>(high) - 64;
  const int l = static_cast<unsigned char>(low) - 64;
  if (h < 0 || h > 15 || l < 0 || l > 15) {
    return 0;
  }
  return static_cast<uint8_t>((h << 4) | l);
}

class TextLibraryParser {
 public:
  TextLibraryParser(PartLibrary& library, std::span<const uint8_t> text, PartDetail detail)
      : library_(library), keepPins_(detail == PartDetail::kFull) {
    reader_.Bind(text);
  }

  bool parse() {
    if (reader_.ReadField(field_) < 0 || field_ != kMagic) {
      return false;
    }
    while (reader_.ReadField(field_) >= 0) {
      if (!IsOpener(field_)) {
        continue;  // closers and items at top level mean nothing
      }
      SectionEnd end;
      if (field_ == "+PTN") {
        end = parsePattern();
      } else if (field_ == "+COMP") {
        end = parseComponent();
      } else if (field_ == "+ALIAS") {
        end = parseAlias();
      } else {
        end = skipSection() ? SectionEnd::Closed : SectionEnd::Failed;
      }
      if (end == SectionEnd::Failed) {
        return false;
      }
      if (end == SectionEnd::EndOfInput) {
        break;  // also after a malformed escape: nothing after it is read
      }
    }
    return true;
  }

 private:
  // Skips the section whose opener is in field_, up to its closer. False at end of input.
  bool skipSection() {
    std::string closer(field_);
    closer[0] = '-';
    return reader_.SkipTo(closer) == 0;
  }

  SectionEnd parsePattern() {
    auto pattern = std::make_unique<PartPattern>();
    int32_t width = 0;
    int32_t height = 0;
    std::string name;
    std::unique_ptr<PartBitmap> bitmap;
    auto store = [&] {
      pattern->name = std::move(name);
      pattern->width = width;
      pattern->height = height;
      pattern->bitmap = std::move(bitmap);
      const PartPattern& stored = library_.addPattern(std::move(pattern));
      patternsByName_.try_emplace(stored.name, &stored);
    };
    while (true) {
      if (reader_.ReadField(field_) < 0) {
        store();
        return SectionEnd::EndOfInput;
      }
      if (IsOpener(field_)) {
        if (field_ == "+BMP" && width > 0 && height > 0 && !name.empty() && !bitmap) {
          bitmap = parseBitmap(width, height);
          if (!bitmap) {
            return SectionEnd::Failed;
          }
        } else if (!skipSection()) {
          return SectionEnd::Failed;
        }
      } else if (IsCloser(field_)) {
        if (field_ != "-PTN" || !bitmap) {
          return SectionEnd::Failed;
        }
        store();
        return SectionEnd::Closed;
      } else if (std::string_view key, value; SplitItem(field_, key, value)) {
        if (key == "X") {
          width = ParseInteger(value);
        } else if (key == "Y") {
          height = ParseInteger(value);
        } else if (key == "N") {
          name = UpToNul(value);
        }
      }
    }
  }

  // Reads the rows of a bitmap up to "-BMP". Returns null if the section fails, or if the
  // bitmap is larger than its 16-bit width and height can say.
  std::unique_ptr<PartBitmap> parseBitmap(int32_t width, int32_t height) {
    if (width > UINT16_MAX || height > UINT16_MAX) {
      return nullptr;
    }
    auto bitmap = PartBitmap::Blank(static_cast<uint16_t>(width), static_cast<uint16_t>(height));
    const size_t bytesPerRow = (static_cast<size_t>(width) + 7) / 8;
    const size_t stride = bitmap->rowBytes();
    size_t row = 0;
    while (true) {
      if (reader_.ReadField(field_) < 0) {
        return nullptr;
      }
      if (IsOpener(field_)) {
        if (!skipSection()) {
          return nullptr;
        }
      } else if (IsCloser(field_)) {
        return field_ == "-BMP" ? std::move(bitmap) : nullptr;
      } else if (row < bitmap->height) {
        const size_t count = std::min(field_.size() / 2, bytesPerRow);
        uint8_t* out = bitmap->rows.data() + row * stride;
        for (size_t i = 0; i < count; ++i) {
          out[i] = DecodeBitmapPair(field_[2 * i], field_[2 * i + 1]);
        }
        ++row;
      }
    }
  }

  // The items of one component section read so far.
  struct ComponentItems {
    std::string name;
    int32_t sizeX = 0;
    int32_t sizeY = 0;
    int32_t blocks = 0;
    std::string refPrefix = "U";
    std::string patternName;

    bool hasSizeAndBlocks() const { return sizeX >= 1 && sizeY >= 1 && blocks >= 1; }
  };

  SectionEnd parseComponent() {
    auto body = std::make_unique<PartBody>();
    ComponentItems items;
    while (true) {
      if (reader_.ReadField(field_) < 0) {
        storeComponent(std::move(body), items);
        return SectionEnd::EndOfInput;
      }
      if (IsOpener(field_)) {
        if (field_ == "+PIN") {
          if (!items.hasSizeAndBlocks()) {
            return SectionEnd::Failed;
          }
          PartPin* pin = nullptr;
          if (keepPins_) {
            pin = &body->pins.emplace_back();
            pin->prepareNumbers(items.blocks);
          }
          const SectionEnd end = parsePin(pin);
          if (end == SectionEnd::Failed) {
            return SectionEnd::Failed;
          }
          if (end == SectionEnd::EndOfInput) {
            storeComponent(std::move(body), items);
            return SectionEnd::EndOfInput;
          }
        } else if (!skipSection()) {
          return SectionEnd::Failed;
        }
      } else if (IsCloser(field_)) {
        if (field_ != "-COMP" || items.name.empty() || !items.hasSizeAndBlocks()) {
          return SectionEnd::Failed;
        }
        storeComponent(std::move(body), items);
        return SectionEnd::Closed;
      } else if (std::string_view key, value; SplitItem(field_, key, value)) {
        if (!readComponentItem(key, value, items)) {
          return SectionEnd::Failed;
        }
      }
    }
  }

  // Takes one item of a component section. Returns false for a value that fails the
  // section; unknown keys are skipped.
  static bool readComponentItem(std::string_view key, std::string_view value,
                                ComponentItems& items) {
    if (key == "N") {
      items.name = UpToNul(value);
    } else if (key == "X" || key == "Y") {
      const int32_t size = ParseInteger(value);
      if (size < 0) {
        return false;
      }
      (key == "X" ? items.sizeX : items.sizeY) = size;
    } else if (key == "B") {
      const int32_t count = ParseInteger(value);
      if (items.blocks != 0 || count < 0 || count > kMaxBlocks) {
        return false;
      }
      items.blocks = count;
    } else if (key == "R") {
      items.refPrefix = UpToNul(value);
    } else if (key == "P") {
      items.patternName = UpToNul(value);
    }
    return true;
  }

  void storeComponent(std::unique_ptr<PartBody> body, ComponentItems& items) {
    body->refPrefix = std::move(items.refPrefix);
    body->sizeX = items.sizeX;
    body->sizeY = items.sizeY;
    body->blockCount = items.blocks;
    for (const PartPin& pin : body->pins) {
      body->pinSides |= 1u << pin.side();
    }
    if (!items.patternName.empty()) {
      auto found = patternsByName_.find(items.patternName);
      body->pattern = found != patternsByName_.end() ? found->second : nullptr;
    }
    library_.addEntry(std::move(items.name), &library_.addBody(std::move(body)));
  }

  // Reads a pin section into `pin`; with a null `pin` only its structure is checked.
  SectionEnd parsePin(PartPin* pin) {
    bool hidden = false;
    int32_t numberIndex = 0;
    while (true) {
      // Without a pin to fill, only the section's openers and closers matter.
      if ((pin != nullptr ? reader_.ReadField(field_) : reader_.ReadMarkedField(field_)) < 0) {
        return SectionEnd::EndOfInput;
      }
      if (IsOpener(field_)) {
        if (!skipSection()) {
          return SectionEnd::Failed;
        }
      } else if (IsCloser(field_)) {
        return field_ == "-PIN" ? SectionEnd::Closed : SectionEnd::Failed;
      } else if (std::string_view key, value; pin != nullptr && SplitItem(field_, key, value)) {
        if (key == "N") {
          pin->setName(UpToNul(value));
        } else if (key == "L") {
          switch (value.front()) {
            case 'T':
              pin->location |= 1u << kPinSideShift;
              break;
            case 'R':
              pin->location |= 2u << kPinSideShift;
              break;
            case 'B':
              pin->location |= 3u << kPinSideShift;
              break;
            default:
              break;
          }
          const int32_t offset = ParseInteger(value.substr(1));
          if (offset >= 0 && offset <= 255) {
            pin->location = (pin->location & ~kPinOffsetMask) | static_cast<uint32_t>(offset);
          }
        } else if (key == "T") {
          for (char flag : value) {
            if (flag == 'C') {
              pin->location |= kPinFlagC;
            } else if (flag == 'N') {
              pin->location |= kPinFlagN;
            } else if (flag == 'S') {
              pin->location |= kPinFlagS;
            } else if (flag == 'm') {
              hidden = true;
            }
          }
        } else if (key == "M") {
          pin->setNumber(numberIndex++, !hidden, value);
        }
      }
    }
  }

  SectionEnd parseAlias() {
    std::string name;
    std::string alias;
    auto store = [&] {
      const int32_t found = library_.firstEntryNamed(name);
      if (found >= 0) {
        const PartBody* body = library_.entries()[static_cast<size_t>(found)].body;
        library_.addEntry(std::move(alias), body);
      }
    };
    while (true) {
      if (reader_.ReadField(field_) < 0) {
        store();
        return SectionEnd::EndOfInput;
      }
      if (IsOpener(field_)) {
        if (!skipSection()) {
          return SectionEnd::Failed;
        }
      } else if (IsCloser(field_)) {
        if (field_ != "-ALIAS" || name.empty() || alias.empty()) {
          return SectionEnd::Failed;
        }
        store();
        return SectionEnd::Closed;
      } else if (std::string_view key, value; SplitItem(field_, key, value)) {
        if (key == "N") {
          name = UpToNul(value);
        } else if (key == "A") {
          alias = UpToNul(value);
        }
      }
    }
  }

  PartLibrary& library_;
  const bool keepPins_;
  FieldReader reader_;
  std::string_view field_;  // the field just read; valid until the next read
  std::unordered_map<std::string, const PartPattern*> patternsByName_;
};

}  // namespace

bool LoadTextLibrary(PartLibrary& library, std::span<const uint8_t> text, PartDetail detail) {
  // memchr looks at many bytes at once; a library is megabytes of text.
  if (const void* end = std::memchr(text.data(), kEndOfText, text.size())) {
    text = text.first(static_cast<size_t>(static_cast<const uint8_t*>(end) - text.data()));
  }
  return LoadReplacing(library, [&](PartLibrary& loaded) {
    return TextLibraryParser(loaded, text, detail).parse();
  });
}

}  // namespace kerro
