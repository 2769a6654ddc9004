#pragma once
// The distinct reference prefixes of a board, each with an id in the order first met.
// Both numbering modes give every component the id of its prefix once, in file order, and
// afterwards work on ids only. The texts are copies, so they stay valid while the
// reference fields they came from are rewritten.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/text_compare.h"
#include "renumber/short_text_ids.h"

namespace kerro {

class PrefixTable {
 public:
  // `prefix` holds at most 16 characters (a reference holds 8).
  uint32_t idOf(std::string_view prefix) { return ids_.idOf(prefix); }
  uint32_t idOf(const ShortText& prefix, uint32_t hash) { return ids_.idOf(prefix, hash); }
  void prefetchSlot(uint32_t hash) const { ids_.prefetchSlot(hash); }
  void prefetchText(uint32_t hash) const { ids_.prefetchText(hash); }

  // The id of `prefix`, or nullopt if no component has it.
  std::optional<uint32_t> find(std::string_view prefix) const {
    return ids_.find(ShortText::Of(prefix));
  }

  std::string_view text(uint32_t id) const { return ids_.text(id).view(); }
  uint32_t size() const { return ids_.size(); }

  // The ids in the order of CompareText. It finds only equal texts equal, and the texts
  // here are distinct, so each prefix has a place of its own.
  std::vector<uint32_t> inCompareOrder() const {
    std::vector<uint32_t> order(size());
    for (uint32_t i = 0; i < order.size(); ++i) {
      order[i] = i;
    }
    std::sort(order.begin(), order.end(),
              [this](uint32_t a, uint32_t b) { return CompareText(text(a), text(b)) < 0; });
    return order;
  }

 private:
  ShortTextIds ids_;
};

}  // namespace kerro
