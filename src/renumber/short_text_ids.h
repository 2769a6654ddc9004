#pragma once
// Ids for the short texts of a component record (part names, reference prefixes, and a
// package tag joined with a prefix, all at most 24 characters), given in the order the
// texts are first met.
//
// A board of a million components may hold a million distinct tags, met in any order, so
// the table is built for that: open addressing over 8-byte slots (a hash and an id), with
// the texts in one array of fixed-size keys beside it. A lookup touches one slot and, when
// the hash matches, one key; it never allocates and never reaches back into the image.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/memory.h"

namespace kerro {

// A text of at most 24 characters, stored in place and compared word by word.
struct ShortText {
  static constexpr size_t kCapacity = 24;

  std::array<char, kCapacity> chars{};  // zero after the text, so equal texts compare equal
  uint8_t length = 0;

  // `text` must hold at most kCapacity characters; the fields of a component record do.
  static ShortText Of(std::string_view text) {
    ShortText key;
    key.length = static_cast<uint8_t>(std::min(text.size(), kCapacity));
    std::copy_n(text.data(), key.length, key.chars.data());  // an empty view may be null
    return key;
  }

  // `first` with its length in front, then `second`: one key for a pair of texts, such as
  // a tag of at most 15 characters and a prefix of at most 8. Together they must fit.
  static ShortText Joined(std::string_view first, std::string_view second) {
    ShortText key;
    const size_t head = std::min(first.size(), kCapacity - 1);
    key.chars[0] = static_cast<char>(head);
    std::copy_n(first.data(), head, key.chars.data() + 1);
    const size_t tail = std::min(second.size(), kCapacity - 1 - head);
    std::copy_n(second.data(), tail, key.chars.data() + 1 + head);
    key.length = static_cast<uint8_t>(1 + head + tail);
    return key;
  }

  std::string_view view() const { return {chars.data(), length}; }

  bool operator==(const ShortText& other) const {
    return length == other.length && word(0) == other.word(0) && word(1) == other.word(1) &&
           word(2) == other.word(2);
  }

  uint32_t hash() const {
    uint64_t h = (word(0) ^ (uint64_t{length} << 56)) * 0x9E3779B97F4A7C15u;
    h ^= (word(1) + 0x632BE59BD9B4E019u) * 0xC2B2AE3D27D4EB4Fu;
    h ^= (word(2) + 0x165667B19E3779F9u) * 0xD6E8FEB86659FD93u;
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9u;
    return static_cast<uint32_t>(h >> 32);
  }

 private:
  uint64_t word(size_t index) const {
    uint64_t value = 0;
    std::memcpy(&value, chars.data() + 8 * index, sizeof value);
    return value;
  }
};

class ShortTextIds {
 public:
  // Room for `expected` texts without growing.
  explicit ShortTextIds(size_t expected = 8) {
    size_t slots = 16;
    while (slots < 2 * expected) {
      slots *= 2;
    }
    slots_.resize(slots);
    texts_.reserve(expected);  // untouched room costs no memory
  }

  // The id of `text`, which is given the next id (0, 1, 2 ...) when it is new.
  uint32_t idOf(const ShortText& text) { return idOf(text, text.hash()); }
  uint32_t idOf(std::string_view text) { return idOf(ShortText::Of(text)); }

  // The same with the text's hash already computed, as for `prefetch`.
  uint32_t idOf(const ShortText& text, uint32_t hash) {
    if (!texts_.empty() && texts_[last_] == text) {
      return last_;  // the blocks of a package, and runs of one prefix, come in a row
    }
    size_t at = findSlot(text, hash);
    if (slots_[at].id == 0) {
      if (2 * (texts_.size() + 1) > slots_.size()) {
        grow();
        at = findSlot(text, hash);
      }
      texts_.push_back(text);
      slots_[at] = {hash, static_cast<uint32_t>(texts_.size())};
    }
    last_ = slots_[at].id - 1;
    return last_;
  }

  // Start loading what a lookup of a text of this hash will read: first its slot, then,
  // once that has arrived, the text it holds. A caller with many texts to look up starts
  // a batch of them before it looks the first one up, so that the cache misses of a large
  // table overlap instead of following one another.
  void prefetchSlot(uint32_t hash) const { PrefetchForRead(&slots_[hash & (slots_.size() - 1)]); }
  void prefetchText(uint32_t hash) const {
    const Slot& slot = slots_[hash & (slots_.size() - 1)];
    if (slot.id != 0 && slot.hash == hash) {
      PrefetchForRead(&texts_[slot.id - 1]);
    }
  }

  // The id of `text`, or nullopt if it was never given one.
  std::optional<uint32_t> find(const ShortText& text) const { return find(text, text.hash()); }
  std::optional<uint32_t> find(const ShortText& text, uint32_t hash) const {
    const Slot& slot = slots_[findSlot(text, hash)];
    return slot.id == 0 ? std::nullopt : std::optional<uint32_t>(slot.id - 1);
  }

  const ShortText& text(uint32_t id) const { return texts_[id]; }
  uint32_t size() const { return static_cast<uint32_t>(texts_.size()); }

 private:
  struct Slot {
    uint32_t hash = 0;
    uint32_t id = 0;  // id + 1; 0 marks an empty slot
  };

  // The slot holding `text`, or the empty slot where it belongs.
  size_t findSlot(const ShortText& text, uint32_t hash) const {
    const size_t mask = slots_.size() - 1;
    for (size_t at = hash & mask;; at = (at + 1) & mask) {
      const Slot& slot = slots_[at];
      if (slot.id == 0 || (slot.hash == hash && texts_[slot.id - 1] == text)) {
        return at;
      }
    }
  }

  void grow() {
    std::vector<Slot> old(2 * slots_.size());
    old.swap(slots_);
    const size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.id != 0) {
        size_t at = slot.hash & mask;
        while (slots_[at].id != 0) {
          at = (at + 1) & mask;
        }
        slots_[at] = slot;
      }
    }
  }

  std::vector<Slot> slots_;       // a power of two, at most half full
  std::vector<ShortText> texts_;  // by id
  uint32_t last_ = 0;             // the id given last
};

}  // namespace kerro
