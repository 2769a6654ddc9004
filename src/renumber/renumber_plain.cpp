#include "renumber/renumber_plain.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

#include "platform/memory.h"
#include "renumber/number_series.h"
#include "renumber/part_role.h"
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
  uint32_t component;  // index into the entries
  uint32_t prefix;     // PrefixTable id
};

struct PlainBoard {
  std::vector<NumberedComponent> numbered;
  std::vector<SortItem> order;  // file order until sorted
  PrefixTable prefixes;
  std::vector<std::string_view> taken;  // references of the components left as they are
  std::vector<std::string_view> held;   // other numbered references that stay in the design
  uint32_t largestKey = 0;
};

constexpr uint64_t kNumberLimit = std::numeric_limits<uint32_t>::max() - 1;

// The key of a present reference within its prefix: 0 for an unnumbered one, which shares
// with no other component and comes first, else its number + 1.
struct Present {
  std::string_view prefix;
  uint32_t key;
};

Present PresentOf(std::string_view reference, bool keep) {
  if (keep) {
    return {*UnnumberedPrefix(reference), 0};  // every other one is left as it is
  }
  const SplitResult split = SplitReference(reference);
  if (split.prefix.size() == reference.size()) {
    return {split.prefix, 0};
  }
  // A reference holds at most 8 characters, so a present number has at most 7 digits; it
  // is kept to 32 bits all the same.
  return {split.prefix,
          static_cast<uint32_t>(std::min(static_cast<uint64_t>(split.number), kNumberLimit) + 1)};
}

// Where a component stands in the board's order (its key, less one), or nullopt when it
// keeps its reference: not placed, without a tag, or a power symbol.
std::optional<uint32_t> PlaceOnBoard(const BoardOrder& order, const ComponentEntry& entry) {
  if (entry.packageTag().empty() || PartRoleOf(entry.partName()) == PartRole::PowerSymbol) {
    return std::nullopt;
  }
  return order.places.placeOf(entry.reference());
}

// Collect: every component with a tag and a reference that the controls do not leave
// alone, with its prefix and present number. The prefixes of a batch of components are read
// first and their lookups started together, so that on a board of many prefixes the cache
// misses overlap.
PlainBoard Collect(std::span<const ComponentEntry> entries, const NumberingControls& controls,
                   std::span<const uint32_t> laterDuplicate) {
  PlainBoard board;
  ReserveLarge(board.numbered, entries.size());
  ReserveLarge(board.order, entries.size());
  const bool steered = controls.keepsNumbered() || !controls.locks.empty();
  struct Pending {
    uint32_t component;
    uint32_t key;
    ShortText prefix;
    uint32_t hash;
  };
  constexpr size_t kBatch = 16;
  std::array<Pending, kBatch> batch;
  for (size_t first = 0; first < entries.size(); first += kBatch) {
    size_t count = 0;
    for (size_t i = first; i < std::min(entries.size(), first + kBatch); ++i) {
      const std::string_view reference = entries[i].reference();
      if (reference.empty()) {
        continue;
      }
      if (controls.board) {
        const std::optional<uint32_t> place = PlaceOnBoard(*controls.board, entries[i]);
        if (!place) {
          board.taken.push_back(reference);
          continue;
        }
        const ShortText prefix = ShortText::Of(SplitReference(reference).prefix);
        batch[count++] = {static_cast<uint32_t>(i), *place + 1, prefix, prefix.hash()};
        board.prefixes.prefetchSlot(batch[count - 1].hash);
        continue;
      }
      const uint32_t moves = laterDuplicate.empty() ? 0 : laterDuplicate[i];
      if (moves == 0 &&
          (entries[i].packageTag().empty() || (steered && controls.leavesAlone(reference)))) {
        board.taken.push_back(reference);
        continue;
      }
      // A repaired duplicate keeps its prefix and moves with its package, one number for
      // all of them.
      const Present present = moves > 0 ? Present{SplitReference(reference).prefix, moves}
                                        : PresentOf(reference, controls.keepsNumbered());
      if (moves > 0) {
        board.held.push_back(reference);
      }
      const ShortText prefix = ShortText::Of(present.prefix);
      batch[count++] = {static_cast<uint32_t>(i), present.key, prefix, prefix.hash()};
      board.prefixes.prefetchSlot(batch[count - 1].hash);
    }
    for (size_t i = 0; i < count; ++i) {
      board.prefixes.prefetchText(batch[i].hash);
    }
    for (size_t i = 0; i < count; ++i) {
      const uint32_t prefix = board.prefixes.idOf(batch[i].prefix, batch[i].hash);
      const auto slot = static_cast<uint32_t>(board.numbered.size());
      board.order.push_back({batch[i].key, slot, prefix});
      board.numbered.push_back({batch[i].component, prefix});
      board.largestKey = std::max(board.largestKey, batch[i].key);
    }
  }
  return board;
}

// Order: by prefix in the order of CompareText, then by present number, keeping file order
// among equals. Returns the number of bits of the present number in each key.
int OrderByPrefixAndNumber(PlainBoard& board) {
  // The rank above as few number bits as the board needs.
  const int numberBits = static_cast<int>(std::bit_width(board.largestKey));
  const std::vector<uint64_t> rank = board.prefixes.ranks();
  for (SortItem& item : board.order) {
    item.key |= rank[item.prefix] << numberBits;
  }
  RadixSortByKey(board.order, [](const SortItem& item) { return item.key; });
  return numberBits;
}

// Number: each group of a numbered present reference, and each unnumbered component, takes
// the next number of its prefix (by board order: each group of a placed reference, and the
// bottom side from its own start). Returns false when a prefix runs out.
bool Number(const PlainBoard& board, int numberBits, const BoardOrder* order, NumberSeries& series,
            std::vector<int64_t>& newNumbers) {
  const uint64_t numberMask = (uint64_t{1} << numberBits) - 1;
  ReserveLarge(newNumbers, board.numbered.size());
  newNumbers.resize(board.numbered.size());
  uint32_t lastPrefix = 0;
  uint64_t lastPresent = 0;
  int64_t lastNew = 0;
  bool first = true;
  bool lastOnBottom = false;
  for (const SortItem& item : board.order) {
    const uint64_t present = item.key & numberMask;
    if (order != nullptr) {
      const bool onBottom = present > order->topCount;
      if (onBottom && order->bottomStart > 0 &&
          (first || item.prefix != lastPrefix || !lastOnBottom)) {
        series.restartAt(item.prefix, order->bottomStart);
      }
      lastOnBottom = onBottom;
    }
    if (first || item.prefix != lastPrefix || present != lastPresent || present == 0) {
      // The component is fetched only when the series has to pass numbers over: fetching
      // it for every number is a cache miss per component on a large board.
      lastNew = series.nextWithoutPassingOver(item.prefix);
      if (lastNew == 0) {
        lastNew = series.next(item.prefix, board.numbered[item.slot].component);
      }
      if (lastNew == 0) {
        return false;
      }
    }
    first = false;
    lastPrefix = item.prefix;
    lastPresent = present;
    newNumbers[item.slot] = lastNew;
  }
  return true;
}

// Store: in file order, so the image is written front to back.
void Store(std::span<ComponentEntry> entries, const PlainBoard& board,
           const std::vector<int64_t>& newNumbers, std::vector<uint8_t>* changed) {
  for (size_t slot = 0; slot < board.numbered.size(); ++slot) {
    const NumberedComponent& item = board.numbered[slot];
    const StoredReference stored =
        StoreFormattedReference(board.prefixes.text(item.prefix), newNumbers[slot],
                                entries[item.component].referenceField());
    if (stored.bytes && changed != nullptr) {
      (*changed)[item.component] =
          StoredChange::kBytes | (stored.reference ? StoredChange::kReference : 0);
    }
  }
}

}  // namespace

std::optional<NumberShortage> NumberPlain(std::span<ComponentEntry> entries,
                                          std::span<const uint32_t> sheetOf,
                                          const DesignNumbering& numbering,
                                          std::span<const uint32_t> laterDuplicate,
                                          std::vector<uint8_t>* changed) {
  const NumberingControls& controls = numbering.controls;
  PlainBoard board = Collect(entries, controls, laterDuplicate);
  if (board.numbered.empty()) {
    return std::nullopt;
  }
  const int numberBits = OrderByPrefixAndNumber(board);
  NumberSeries series(numbering.initial, numbering.step, controls.sheetBase, board.prefixes,
                      TakeAll(board.taken, board.prefixes), sheetOf);
  if (controls.newNumbers == NewNumberPlace::After) {
    board.held.insert(board.held.end(), board.taken.begin(), board.taken.end());
    series.startAbove(HighestHeld(board.held, board.prefixes));
  }
  std::vector<int64_t> newNumbers;
  if (!Number(board, numberBits, controls.board.get(), series, newNumbers)) {
    const SeriesShortage& shortage = *series.shortage();
    return ShortageAt(entries, sheetOf, shortage, board.prefixes.text(shortage.prefix));
  }
  Store(entries, board, newNumbers, changed);
  return std::nullopt;
}

std::optional<NumberShortage> RenumberPlain(SchematicDocument& document, int initial, int step) {
  return NumberPlain(document.entries(), {}, {initial, step, NumberingMode::Plain, {}});
}

}  // namespace kerro
