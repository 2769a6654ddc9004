#include "renumber/numbering_controls.h"

#include "platform/little_endian.h"
#include "renumber/reference.h"

#include <algorithm>
#include <array>
#include <utility>

namespace kerro {

namespace {

uint32_t HashOf(uint64_t word, uint8_t length) {
  uint64_t h = (word ^ (uint64_t{length} << 59)) * 0x9E3779B97F4A7C15u;
  h ^= h >> 29;
  h *= 0xBF58476D1CE4E5B9u;
  return static_cast<uint32_t>(h >> 32);
}

}  // namespace

BoardPlaces::Key BoardPlaces::KeyOf(std::string_view reference) {
  Key key;
  const auto length = static_cast<uint8_t>(std::min<size_t>(reference.size(), UINT8_MAX));
  key.length = length;
  key.word = FirstEightBytes(reference);
  key.hash = HashOf(key.word, length);
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
          slot = {key.word, count_ + 1, static_cast<uint8_t>(key.length)};
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
