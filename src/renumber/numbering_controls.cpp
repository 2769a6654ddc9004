#include "renumber/numbering_controls.h"

#include "renumber/reference.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <utility>

namespace kerro {

namespace {

uint32_t HashOf(uint64_t word, uint8_t length) {
  uint64_t h = (word ^ (uint64_t{length} << 59)) * 0x9E3779B97F4A7C15u;
  h ^= h >> 29;
  h *= 0xBF58476D1CE4E5B9u;
  return static_cast<uint32_t>(h >> 32);
}

template <typename Word>
Word Load(const char* bytes) {
  Word word;
  std::memcpy(&word, bytes, sizeof word);
  return word;
}

// The first eight bytes of `text` in one word, the first byte lowest, zero after the text.
// Built from whole loads: a word copied together from pieces on the stack and then read
// at once stalls the read, once for each of a million references.
uint64_t FirstBytes(std::string_view text) {
  const char* const bytes = text.data();
  const size_t size = text.size();
  if constexpr (std::endian::native == std::endian::little) {
    if (size >= sizeof(uint64_t)) {
      return Load<uint64_t>(bytes);
    }
    if (size >= sizeof(uint32_t)) {
      // Two loads that overlap where the text is shorter than eight: the bytes they share
      // are the same in both.
      const uint64_t head = Load<uint32_t>(bytes);
      const uint64_t tail = Load<uint32_t>(bytes + size - sizeof(uint32_t));
      return head | tail << (8 * (size - sizeof(uint32_t)));
    }
    if (size == 0) {
      return 0;  // an empty view may be null
    }
    const auto byte = [&](size_t i) { return uint64_t{static_cast<uint8_t>(bytes[i])} << (8 * i); };
    return byte(0) | byte(size / 2) | byte(size - 1);
  } else {
    uint64_t word = 0;
    for (size_t i = 0; i < std::min(size, sizeof word); ++i) {
      word |= uint64_t{static_cast<uint8_t>(bytes[i])} << (8 * i);
    }
    return word;
  }
}

}  // namespace

BoardPlaces::Key BoardPlaces::KeyOf(std::string_view reference) {
  Key key;
  key.length = static_cast<uint8_t>(std::min<size_t>(reference.size(), UINT8_MAX));
  key.word = FirstBytes(reference);
  key.hash = HashOf(key.word, key.length);
  return key;
}

void BoardPlaces::growTo(size_t count) {
  size_t slots = 16;
  while (slots < 2 * count) {
    slots *= 2;
  }
  if (slots <= slots_.size()) {
    return;
  }
  // Reserved before it is zeroed, so that a second core helps fault in the table of a large
  // board.
  std::vector<Slot> larger;
  ReserveLarge(larger, slots);
  larger.resize(slots);
  std::vector<Slot> old = std::exchange(slots_, std::move(larger));
  for (const Slot& slot : old) {
    if (slot.placePlusOne != 0) {
      slots_[slotOf({slot.word, HashOf(slot.word, slot.length), slot.length})] = slot;
    }
  }
}

void BoardPlaces::addInOrder(std::span<const Key> references) {
  growTo(held_ + references.size());
  for (size_t first = 0; first < references.size(); first += kBatch) {
    const std::span<const Key> batch =
        references.subspan(first, std::min(kBatch, references.size() - first));
    for (const Key& key : batch) {
      prefetch(key);
    }
    for (const Key& key : batch) {
      if (key.length <= kReferenceCapacity) {
        Slot& slot = slots_[slotOf(key)];
        if (slot.placePlusOne == 0) {  // a reference met again keeps its first place
          slot = {key.word, count_ + 1, key.length};
          ++held_;
        }
      }
      ++count_;
    }
  }
}

bool NumberingControls::any() const {
  return keep || !locks.empty() || sheetBase > 0 || order != NumberingOrder::Columns ||
         fixDuplicates || newNumbers != NewNumberPlace::Fill || board != nullptr;
}

bool NumberingControls::isLocked(std::string_view reference) const {
  return std::any_of(locks.begin(), locks.end(), [reference](const std::string& pattern) {
    return MatchesPattern(pattern, reference);
  });
}

bool NumberingControls::leavesAlone(std::string_view reference) const {
  return (keepsNumbered() && !UnnumberedPrefix(reference)) ||
         (!locks.empty() && isLocked(reference));
}

bool MatchesPattern(std::string_view pattern, std::string_view text) {
  // Greedy matching that backs up to the last "*" on a mismatch: each "*" only ever grows
  // its run, so the work stays within pattern length times text length.
  size_t p = 0;
  size_t t = 0;
  size_t starAt = std::string_view::npos;
  size_t starText = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starAt = p++;
      starText = t;
    } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
      ++p;
      ++t;
    } else if (starAt != std::string_view::npos) {
      p = starAt + 1;
      t = ++starText;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') {
    ++p;
  }
  return p == pattern.size();
}

}  // namespace kerro
