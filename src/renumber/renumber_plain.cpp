#include "renumber/renumber_plain.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

#include "platform/memory.h"
#include "renumber/prefix_table.h"
#include "renumber/radix_sort.h"
#include "renumber/reference.h"

namespace kerro {

namespace {

// What the sort moves: the rank of the prefix in the sorted order of prefixes above the
// present number, so that sorting a large board never reaches back into the image.
struct SortItem {
  uint64_t key;
  uint32_t slot;    // index into PlainBoard::numbered
  uint32_t prefix;  // PrefixTable id, for the byte-for-byte test of the walk
};

// One numbered component, in file order.
struct NumberedComponent {
  uint32_t component;  // index into the document's entries
  uint32_t prefix;     // PrefixTable id
};

struct PlainBoard {
  std::vector<NumberedComponent> numbered;
  std::vector<SortItem> order;  // file order until sorted
  PrefixTable prefixes;
  uint32_t largestNumber = 0;
};

constexpr uint64_t kNumberLimit = std::numeric_limits<uint32_t>::max();

// Collect: every component with a tag and a reference, with its prefix and present
// number. The prefixes of a batch of components are read first and their lookups started
// together, so that on a board of many prefixes the cache misses overlap.
PlainBoard Collect(std::span<const ComponentEntry> entries) {
  PlainBoard board;
  ReserveLarge(board.numbered, entries.size());
  ReserveLarge(board.order, entries.size());
  struct Pending {
    uint32_t component;
    uint32_t number;
    ShortText prefix;
    uint32_t hash;
  };
  constexpr size_t kBatch = 16;
  std::array<Pending, kBatch> batch;
  for (size_t first = 0; first < entries.size(); first += kBatch) {
    size_t count = 0;
    for (size_t i = first; i < std::min(entries.size(), first + kBatch); ++i) {
      const std::string_view reference = entries[i].reference();
      if (reference.empty() || entries[i].packageTag().empty()) {
        continue;
      }
      const SplitResult split = SplitReference(reference);
      // A reference holds at most 8 characters, so a present number has at most 7 digits;
      // it is kept to 32 bits all the same.
      const auto number =
          static_cast<uint32_t>(std::min(static_cast<uint64_t>(split.number), kNumberLimit));
      const ShortText prefix = ShortText::Of(split.prefix);
      batch[count++] = {static_cast<uint32_t>(i), number, prefix, prefix.hash()};
      board.prefixes.prefetchSlot(batch[count - 1].hash);
    }
    for (size_t i = 0; i < count; ++i) {
      board.prefixes.prefetchText(batch[i].hash);
    }
    for (size_t i = 0; i < count; ++i) {
      const uint32_t prefix = board.prefixes.idOf(batch[i].prefix, batch[i].hash);
      const auto slot = static_cast<uint32_t>(board.numbered.size());
      board.order.push_back({batch[i].number, slot, prefix});
      board.numbered.push_back({batch[i].component, prefix});
      board.largestNumber = std::max(board.largestNumber, batch[i].number);
    }
  }
  return board;
}

// Order: by prefix in the order of CompareText, then by present number, keeping file order
// among equals. Returns the number of bits of the present number in each key.
int OrderByPrefixAndNumber(PlainBoard& board) {
  // The rank above as few number bits as the board needs.
  const int numberBits = static_cast<int>(std::bit_width(board.largestNumber));
  const std::vector<uint64_t> rank = board.prefixes.ranks();
  for (SortItem& item : board.order) {
    item.key |= rank[item.prefix] << numberBits;
  }
  RadixSortByKey(board.order, [](const SortItem& item) { return item.key; });
  return numberBits;
}

// Number: each prefix from initial; components sharing a present number share the new one.
std::vector<int64_t> Number(const PlainBoard& board, int numberBits, int initial, int step) {
  const uint64_t numberMask = (uint64_t{1} << numberBits) - 1;
  std::vector<int64_t> newNumbers;
  ReserveLarge(newNumbers, board.numbered.size());
  newNumbers.resize(board.numbered.size());
  uint32_t lastPrefix = 0;
  uint64_t lastPresent = 0;
  int64_t lastNew = 0;
  bool first = true;
  for (const SortItem& item : board.order) {
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
  return newNumbers;
}

// Store: in file order, so the image is written front to back.
void Store(std::span<ComponentEntry> entries, const PlainBoard& board,
           const std::vector<int64_t>& newNumbers) {
  for (size_t slot = 0; slot < board.numbered.size(); ++slot) {
    const NumberedComponent& item = board.numbered[slot];
    StoreReference(FormatReference(board.prefixes.text(item.prefix), newNumbers[slot]),
                   entries[item.component].referenceField());
  }
}

}  // namespace

size_t RenumberPlain(SchematicDocument& document, int initial, int step) {
  const std::span<ComponentEntry> entries = document.entries();
  PlainBoard board = Collect(entries);
  if (board.numbered.empty()) {
    return 0;
  }
  const int numberBits = OrderByPrefixAndNumber(board);
  Store(entries, board, Number(board, numberBits, initial, step));
  return board.numbered.size();
}

}  // namespace kerro
