#include "renumber/numbering_controls.h"

#include "renumber/reference.h"

#include <algorithm>
#include <array>

namespace kerro {

void BoardPlaces::addInOrder(std::span<const std::string_view> references) {
  constexpr size_t kBatch = 16;
  std::array<ShortText, kBatch> texts;
  std::array<uint32_t, kBatch> hashes{};
  for (size_t first = 0; first < references.size(); first += kBatch) {
    const size_t count = std::min(kBatch, references.size() - first);
    for (size_t i = 0; i < count; ++i) {
      if (references[first + i].size() <= kReferenceCapacity) {
        texts[i] = ShortText::Of(references[first + i]);
        hashes[i] = texts[i].hash();
        ids_.prefetchSlot(hashes[i]);
      }
    }
    for (size_t i = 0; i < count; ++i) {
      if (references[first + i].size() <= kReferenceCapacity &&
          ids_.idOf(texts[i], hashes[i]) == placeById_.size()) {
        placeById_.push_back(count_);  // a reference met again keeps its first place
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
