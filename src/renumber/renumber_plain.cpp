#include "renumber/renumber_plain.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/memory.h"
#include "platform/text_compare.h"
#include "renumber/radix_sort.h"
#include "renumber/reference.h"

namespace kerro {

namespace {

// One numbered component, in file order.
struct NumberedComponent {
  uint32_t component;  // index into the document's entries
  uint32_t prefix;     // index into the distinct prefixes, equal for byte-equal prefixes
};

// What the sort moves: the rank of the prefix in the sorted order of prefixes above the
// present number, so that sorting a large board never reaches back into the image.
struct SortItem {
  uint64_t key;
  uint32_t slot;    // index into the numbered components
  uint32_t prefix;  // as there, for the byte-for-byte test of the walk
};

constexpr uint64_t kNumberLimit = std::numeric_limits<uint32_t>::max();

// The distinct prefixes met, each once, in the order met. The views point into reference
// fields, which stay unchanged until every new number is known.
class PrefixTable {
 public:
  uint32_t idOf(std::string_view prefix) {
    if (!texts_.empty() && texts_[last_] == prefix) {
      return last_;  // boards list many components of one prefix in a row
    }
    auto [it, added] = ids_.try_emplace(prefix, static_cast<uint32_t>(texts_.size()));
    if (added) {
      texts_.push_back(prefix);
    }
    last_ = it->second;
    return last_;
  }

  // Rank of each prefix in the order of CompareText; prefixes that it finds equal share a
  // rank, so that they sort together by number as a comparison sort would order them.
  std::vector<uint64_t> ranks() const {
    std::vector<uint32_t> order(texts_.size());
    for (uint32_t i = 0; i < order.size(); ++i) {
      order[i] = i;
    }
    std::sort(order.begin(), order.end(),
              [this](uint32_t a, uint32_t b) { return CompareText(texts_[a], texts_[b]) < 0; });
    std::vector<uint64_t> rank(texts_.size());
    uint64_t next = 0;
    for (size_t i = 0; i < order.size(); ++i) {
      if (i > 0 && CompareText(texts_[order[i - 1]], texts_[order[i]]) != 0) {
        ++next;
      }
      rank[order[i]] = next;
    }
    return rank;
  }

  std::string_view text(uint32_t id) const { return texts_[id]; }
  uint32_t size() const { return static_cast<uint32_t>(texts_.size()); }

 private:
  std::unordered_map<std::string_view, uint32_t> ids_;
  std::vector<std::string_view> texts_;
  uint32_t last_ = 0;
};

}  // namespace

size_t RenumberPlain(SchematicDocument& document, int initial, int step) {
  const std::span<ComponentEntry> entries = document.entries();
  PrefixTable prefixes;
  uint32_t largest = 0;
  std::vector<NumberedComponent> numbered;
  ReserveLarge(numbered, entries.size());
  std::vector<SortItem> order;
  ReserveLarge(order, entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::string_view reference = entries[i].reference();
    if (reference.empty() || entries[i].packageTag().empty()) {
      continue;
    }
    SplitResult split = SplitReference(reference);
    // A reference holds at most 8 characters, so a present number has at most 7 digits;
    // it is kept to 32 bits all the same.
    const auto number =
        static_cast<uint32_t>(std::min(static_cast<uint64_t>(split.number), kNumberLimit));
    const uint32_t prefix = prefixes.idOf(split.prefix);
    order.push_back({number, static_cast<uint32_t>(numbered.size()), prefix});
    numbered.push_back({static_cast<uint32_t>(i), prefix});
    largest = std::max(largest, number);
  }
  if (numbered.empty()) {
    return 0;
  }

  // The prefix views point into reference fields that storing rewrites: keep copies.
  std::vector<std::string> prefixTexts;
  for (uint32_t id = 0; id < prefixes.size(); ++id) {
    prefixTexts.emplace_back(prefixes.text(id));
  }
  // The rank above as few number bits as the board needs.
  const int numberBits = static_cast<int>(std::bit_width(largest));
  const uint64_t numberMask = (uint64_t{1} << numberBits) - 1;
  const std::vector<uint64_t> rank = prefixes.ranks();
  for (SortItem& item : order) {
    item.key |= rank[item.prefix] << numberBits;
  }
  RadixSortByKey(order, [](const SortItem& item) { return item.key; });

  std::vector<int64_t> newNumbers;
  ReserveLarge(newNumbers, numbered.size());
  newNumbers.resize(numbered.size());
  uint32_t lastPrefix = 0;
  uint64_t lastPresent = 0;
  int64_t lastNew = 0;
  bool first = true;
  for (const SortItem& item : order) {
    const uint64_t present = item.key & numberMask;
    int64_t next = 0;
    if (first || item.prefix != lastPrefix) {
      next = initial;
      lastPrefix = item.prefix;
    } else if (present != lastPresent) {
      next = lastNew + step;
    } else {
      next = lastNew;
    }
    first = false;
    lastPresent = present;
    lastNew = next;
    newNumbers[item.slot] = next;
  }

  // Stored in file order, so the image is written front to back.
  for (size_t slot = 0; slot < numbered.size(); ++slot) {
    const NumberedComponent& item = numbered[slot];
    StoreReference(FormatReference(prefixTexts[item.prefix], newNumbers[slot]),
                   entries[item.component].referenceField());
  }
  return numbered.size();
}

}  // namespace kerro
