#include "library/part_model.h"

namespace kerro {

namespace {

constexpr size_t kMaxPinNameBytes = 255;

}  // namespace

std::string_view UpToNul(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

std::unique_ptr<PartBitmap> PartBitmap::Blank(uint16_t width, uint16_t height) {
  auto bitmap = std::make_unique<PartBitmap>();
  bitmap->width = width;
  bitmap->height = height;
  bitmap->rows.assign(RowBytes(width) * height, 0);
  return bitmap;
}

int32_t PartPin::prepareNumbers(int32_t count) {
  if (prepared_ || !pinNumbers_.empty() || count < 1) {
    return 0;
  }
  prepared_ = true;
  pinNumbers_.assign(static_cast<size_t>(count), std::nullopt);
  return count;
}

void PartPin::setName(std::optional<std::string_view> text) {
  if (!text) {
    pinName_.reset();
    return;
  }
  std::string marked;
  for (size_t i = 0; i < text->size() && marked.size() < kMaxPinNameBytes; ++i) {
    char c = (*text)[i];
    if (c == '\\') {
      if (++i == text->size()) {
        break;
      }
      c = static_cast<char>(static_cast<unsigned char>((*text)[i]) | 0x80u);
    }
    marked.push_back(c);
  }
  pinName_ = std::string(UpToNul(marked));
}

void PartPin::setNumber(int32_t index, bool sign, std::optional<std::string_view> text) {
  if (index < 0 || index >= blockCount()) {
    return;
  }
  auto& slot = pinNumbers_[static_cast<size_t>(index)];
  if (!text) {
    slot.reset();
    return;
  }
  std::string number(1, sign ? '+' : '-');
  number += UpToNul(*text);
  slot = std::move(number);
}

const PartEntry* PartLibrary::entryAt(int32_t index) const {
  if (index < 0 || index >= entryCount()) {
    return nullptr;
  }
  return &entries_[static_cast<size_t>(index)];
}

PartBody& PartLibrary::addBody(std::unique_ptr<PartBody> body) {
  bodies_.push_back(std::move(body));
  return *bodies_.back();
}

const PartPattern& PartLibrary::addPattern(std::unique_ptr<PartPattern> pattern) {
  patterns_.push_back(std::move(pattern));
  return *patterns_.back();
}

void PartLibrary::addEntry(std::string name, const PartBody* body) {
  entries_.push_back({std::move(name), body});
  firstEntries_.addFirst(entries_.back().name, static_cast<uint32_t>(entries_.size() - 1),
                         [this](uint32_t at) { return std::string_view(entries_[at].name); });
}

}  // namespace kerro
