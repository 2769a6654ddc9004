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
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/little_endian.h"
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
    key.assign(text);
    return key;
  }

  // `first` with its length in front, then `second`: one key for a pair of texts, such as
  // a tag of at most 15 characters and a prefix of at most 8. Together they must fit.
  static ShortText Joined(std::string_view first, std::string_view second) {
    ShortText key;
    key.assignJoined(first, second);
    return key;
  }

  // The same, made where the key stands. The key's words are put together in registers from
  // whole loads of the texts and stored whole: a key copied in byte by byte and then read
  // a word at a time, to hash and compare it, would stall each read.
  void assign(std::string_view text) {
    const size_t size = std::min(text.size(), kCapacity);
    store(WordsOf(text, size), size);
  }
  void assignJoined(std::string_view first, std::string_view second) {
    const size_t head = std::min(first.size(), kCapacity - 1);
    const size_t tail = std::min(second.size(), kCapacity - 1 - head);
    const Words firstPart = ShiftedUp(WordsOf(first, head), 1);
    const Words secondPart = ShiftedUp(WordsOf(second, tail), 1 + head);
    store({head | firstPart[0] | secondPart[0], firstPart[1] | secondPart[1],
           firstPart[2] | secondPart[2]},
          1 + head + tail);
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
  static constexpr size_t kWords = kCapacity / 8;
  // A key's words, the first byte lowest. Only ever indexed by constants: indexed in a
  // loop, the words went through the stack and were read back from there whole.
  using Words = std::array<uint64_t, kWords>;
  static_assert(kWords == 3, "WordsOf and ShiftedUp name three words");

  // The first `size` bytes of `text` (at most kCapacity), zero after them.
  static Words WordsOf(std::string_view text, size_t size) {
    const auto wordAt = [text, size](size_t at) {
      return size > at ? FirstEightBytes(text.substr(at, std::min<size_t>(8, size - at))) : 0;
    };
    return {wordAt(0), wordAt(8), wordAt(16)};
  }

  // The bytes of `words` moved `bytes` places up (fewer than kCapacity); those moved past
  // the key's end are dropped.
  static Words ShiftedUp(const Words& words, size_t bytes) {
    uint64_t low = words[0];
    uint64_t middle = words[1];
    uint64_t high = words[2];
    if (bytes >= 16) {
      high = low;
      middle = 0;
      low = 0;
    } else if (bytes >= 8) {
      high = middle;
      middle = low;
      low = 0;
    }
    const unsigned shift = 8 * (bytes % 8);
    if (shift == 0) {
      return {low, middle, high};
    }
    return {low << shift, (middle << shift) | (low >> (64 - shift)),
            (high << shift) | (middle >> (64 - shift))};
  }

  // Words hold their first byte lowest.
  void store(const Words& words, size_t size) {
    for (size_t i = 0; i < kWords; ++i) {
      if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(chars.data() + 8 * i, &words[i], sizeof words[i]);
      } else {
        for (size_t j = 0; j < 8; ++j) {
          chars[8 * i + j] = static_cast<char>(words[i] >> (8 * j));
        }
      }
    }
    length = static_cast<uint8_t>(size);
  }

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
