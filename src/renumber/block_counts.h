#pragma once
// Block counts by part name, each name asked of the libraries once: a board repeats a few
// thousand names over a million components, and a library look-up reads every library's
// index in turn.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "library/library_set.h"
#include "renumber/short_text_ids.h"

namespace kerro {

class BlockCounts {
 public:
  // Libraries give at most 256 blocks; a larger count from another lookup is held here,
  // and one below 0 at 0.
  static constexpr int16_t kMost = INT16_MAX;

  explicit BlockCounts(const BlockCountLookup& lookup) : lookup_(lookup) {}

  // The block count of `partName` (0 when no library knows the part), with the name's hash
  // computed already, as for the prefetches below.
  int16_t of(const ShortText& partName, uint32_t hash) {
    return std::max<int16_t>(find(partName, hash), 0);
  }
  // `partName` holds at most ShortText::kCapacity characters, as a record's part name does.
  int16_t of(std::string_view partName) {
    const ShortText name = ShortText::Of(partName);
    return of(name, name.hash());
  }

  // The same, but -1 when no library knows the part: the annotation check tells a part
  // missing from one whose library gives it no blocks.
  int16_t find(const ShortText& partName, uint32_t hash) {
    const uint32_t id = names_.idOf(partName, hash);
    if (id == counts_.size()) {
      const std::optional<int> count = lookup_(partName.view());
      counts_.push_back(static_cast<int16_t>(count ? std::clamp<int>(*count, 0, kMost) : -1));
    }
    return counts_[id];
  }
  int16_t find(std::string_view partName) {
    const ShortText name = ShortText::Of(partName);
    return find(name, name.hash());
  }

  void prefetchSlot(uint32_t hash) const { names_.prefetchSlot(hash); }
  void prefetchText(uint32_t hash) const { names_.prefetchText(hash); }

 private:
  const BlockCountLookup& lookup_;
  ShortTextIds names_;
  std::vector<int16_t> counts_;  // by name id; -1 for a part no library knows
};

}  // namespace kerro
