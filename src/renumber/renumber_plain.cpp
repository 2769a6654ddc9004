#include "renumber/renumber_plain.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <limits>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/memory.h"
#include "renumber/number_series.h"
#include "renumber/part_role.h"
#include "renumber/prefix_table.h"
#include "renumber/radix_sort.h"
#include "renumber/reference.h"
#include "renumber/short_text_ids.h"

namespace kerro {

namespace {

// One numbered component, in file order.
struct NumberedComponent {
  uint32_t component;  // index into the entries
  uint32_t prefix;     // PrefixTable id
};

struct PlainBoard {
  std::vector<NumberedComponent> numbered;
  // The present key of each slot in `numbered`, in 64-bit words like the packed sort items,
  // which take their place.
  std::vector<uint64_t> presentKeys;
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

// Whether a component can take a place in the board's order: one without a tag, a power
// symbol, and one whose reference is too long for any place keep their reference.
bool CanBePlaced(const ComponentEntry& entry, std::string_view reference) {
  return !entry.packageTag().empty() && PartRoleOf(entry.partName()) != PartRole::PowerSymbol &&
         reference.size() <= kReferenceCapacity;
}

// A component to be numbered, with its key and its prefix, whose lookup has been started.
struct Collected {
  uint32_t component;
  uint32_t key;
  ShortText prefix;
  uint32_t hash;
};

constexpr size_t kBatch = kLookupsInFlight;

// Fills a batch's entry where it stands (see ShortText::assign) and starts the lookup of its
// prefix. Inline: called out of the collecting loops, it cost a twentieth of a plain run.
inline void PutInBatch(Collected& next, uint32_t component, uint32_t key, std::string_view prefix,
                       PlainBoard& board) {
  next.component = component;
  next.key = key;
  next.prefix.assign(prefix);
  next.hash = next.prefix.hash();
  board.prefixes.prefetchSlot(next.hash);
}

// Adds a batch of components, once their prefixes' slots are on the way: their texts are
// fetched together, then each prefix is given its id.
void AddBatch(std::span<const Collected> batch, PlainBoard& board) {
  for (const Collected& component : batch) {
    board.prefixes.prefetchText(component.hash);
  }
  for (const Collected& component : batch) {
    const uint32_t prefix = board.prefixes.idOf(component.prefix, component.hash);
    board.presentKeys.push_back(component.key);
    board.numbered.push_back({component.component, prefix});
    board.largestKey = std::max(board.largestKey, component.key);
  }
}

// Walks the components that have a reference in batches of kBatch: `take(index,
// reference)` for each, then `endBatch()` once a batch is read.
template <typename Take, typename EndBatch>
void InBatches(std::span<const ComponentEntry> entries, const Take& take,
               const EndBatch& endBatch) {
  for (size_t first = 0; first < entries.size(); first += kBatch) {
    for (size_t i = first; i < std::min(entries.size(), first + kBatch); ++i) {
      const std::string_view reference = entries[i].reference();
      if (!reference.empty()) {
        take(static_cast<uint32_t>(i), reference);
      }
    }
    endBatch();
  }
}

// Collect by the board's order: each component's key is its place, found by its reference
// in the table of every placed reference. The lookups of a batch are started together, as
// those of the prefixes are: on a board of a million parts each one is a cache miss.
void CollectOnBoard(std::span<const ComponentEntry> entries, const BoardPlaces& places,
                    PlainBoard& board) {
  struct Pending {
    uint32_t component;
    bool placeable;
    BoardPlaces::Key reference;
  };
  std::array<Pending, kBatch> pending;
  std::array<Collected, kBatch> batch;
  size_t count = 0;
  const auto take = [&](uint32_t component, std::string_view reference) {
    Pending& next = pending[count++];
    next.component = component;
    next.placeable = CanBePlaced(entries[component], reference);
    if (next.placeable) {
      next.reference = BoardPlaces::KeyOf(reference);
      places.prefetch(next.reference);
    }
  };
  const auto endBatch = [&] {
    size_t placed = 0;
    for (size_t i = 0; i < count; ++i) {
      const std::string_view reference = entries[pending[i].component].reference();
      const std::optional<uint32_t> place =
          pending[i].placeable ? places.placeOf(pending[i].reference) : std::nullopt;
      if (!place) {
        board.taken.push_back(reference);
        continue;
      }
      PutInBatch(batch[placed++], pending[i].component, *place + 1, ReferencePrefix(reference),
                 board);
    }
    AddBatch(std::span(batch).first(placed), board);
    count = 0;
  };
  InBatches(entries, take, endBatch);
}

// Collect: every component with a tag and a reference that the controls do not leave
// alone, with its prefix and present number. The prefixes of a batch of components are read
// first and their lookups started together, so that on a board of many prefixes the cache
// misses overlap.
PlainBoard Collect(std::span<const ComponentEntry> entries, const NumberingControls& controls,
                   std::span<const uint32_t> laterDuplicate) {
  PlainBoard board;
  ReserveLarge(board.numbered, entries.size());
  ReserveLarge(board.presentKeys, entries.size());
  if (controls.board) {
    CollectOnBoard(entries, controls.board->places, board);
    return board;
  }
  const bool steered = controls.keepsNumbered() || !controls.locks.empty();
  std::array<Collected, kBatch> batch;
  size_t count = 0;
  const auto take = [&](uint32_t component, std::string_view reference) {
    const uint32_t moves = laterDuplicate.empty() ? 0 : laterDuplicate[component];
    if (moves == 0 &&
        (entries[component].packageTag().empty() || (steered && controls.leavesAlone(reference)))) {
      board.taken.push_back(reference);
      return;
    }
    // A repaired duplicate keeps its prefix and moves with its package, one number for all
    // of them.
    const Present present = moves > 0 ? Present{ReferencePrefix(reference), moves}
                                      : PresentOf(reference, controls.keepsNumbered());
    if (moves > 0) {
      board.held.push_back(reference);
    }
    PutInBatch(batch[count++], component, present.key, present.prefix, board);
  };
  InBatches(entries, take, [&] {
    AddBatch(std::span(batch).first(count), board);
    count = 0;
  });
  return board;
}

// What the sort orders a numbered component by: the rank of its prefix in the order of
// CompareText above as few bits of its present key as the board needs.
struct SortKeys {
  int numberBits = 0;
  int bits = 0;                  // of the largest key
  std::vector<uint64_t> rankOf;  // by prefix id
  std::vector<uint32_t> prefixOfRank;
};

SortKeys SortKeysOf(const PlainBoard& board) {
  SortKeys keys;
  keys.numberBits = static_cast<int>(std::bit_width(board.largestKey));
  keys.prefixOfRank = board.prefixes.inCompareOrder();
  keys.rankOf.resize(keys.prefixOfRank.size());
  for (uint32_t rank = 0; rank < keys.prefixOfRank.size(); ++rank) {
    keys.rankOf[keys.prefixOfRank[rank]] = rank;
  }
  keys.bits = static_cast<int>(std::bit_width(keys.prefixOfRank.size() - 1)) + keys.numberBits;
  return keys;
}

// What the sort moves for a component: its key and its slot in PlainBoard::numbered, in one
// 64-bit word where both fit, which halves what a large board's sort writes and touches.
struct PackedItems {
  using Item = uint64_t;
  int slotBits;
  Item make(uint64_t key, uint32_t slot) const { return (key << slotBits) | slot; }
  uint64_t key(Item item) const { return item >> slotBits; }
  uint32_t slot(Item item) const {
    return static_cast<uint32_t>(item & ((uint64_t{1} << slotBits) - 1));
  }
};

// The same, for a board whose keys and slots need more than 64 bits together.
struct WideItems {
  struct Item {
    uint64_t key;
    uint32_t slot;
  };
  Item make(uint64_t key, uint32_t slot) const { return {key, slot}; }
  uint64_t key(const Item& item) const { return item.key; }
  uint32_t slot(const Item& item) const { return item.slot; }
};

// Order: by prefix in the order of CompareText, then by present number, keeping file order
// among equals.
template <typename Items>
std::vector<typename Items::Item> Order(PlainBoard& board, const SortKeys& keys,
                                        const Items& items) {
  // Packed items take the place of the present keys, each where it stands.
  constexpr bool kInPlace = std::is_same_v<typename Items::Item, uint64_t>;
  std::vector<typename Items::Item> order;
  if constexpr (kInPlace) {
    order = std::move(board.presentKeys);
  } else {
    ReserveLarge(order, board.numbered.size());
    order.resize(board.numbered.size());
  }
  for (uint32_t slot = 0; slot < board.numbered.size(); ++slot) {
    uint64_t present = 0;
    if constexpr (kInPlace) {
      present = order[slot];
    } else {
      present = board.presentKeys[slot];
    }
    const uint64_t key = (keys.rankOf[board.numbered[slot].prefix] << keys.numberBits) | present;
    order[slot] = items.make(key, slot);
  }
  board.presentKeys = std::vector<uint64_t>();  // its room goes to the sort's copy
  RadixSortByKey(order, [&items](const typename Items::Item& item) { return items.key(item); });
  return order;
}

// Number: each group of a numbered present reference, and each unnumbered component, takes
// the next number of its prefix (by board order: each group of a placed reference, and the
// bottom side from its own start). Returns false when a prefix runs out.
template <typename Items>
bool Number(const PlainBoard& board, const SortKeys& keys, const Items& items,
            std::span<const typename Items::Item> sorted, const BoardOrder* order,
            NumberSeries& series, std::vector<int64_t>& newNumbers) {
  const uint64_t numberMask = (uint64_t{1} << keys.numberBits) - 1;
  ReserveLarge(newNumbers, board.numbered.size());
  newNumbers.resize(board.numbered.size());
  uint32_t lastPrefix = 0;
  uint64_t lastPresent = 0;
  int64_t lastNew = 0;
  bool first = true;
  bool lastOnBottom = false;
  // With sheet ranges every number needs its component's sheet, one cache miss for the
  // component and one for its sheet: both are fetched ahead, the component first.
  constexpr size_t kAhead = kLookupsInFlight;
  const bool fetchAhead = series.readsSheets();
  for (size_t i = 0; i < sorted.size(); ++i) {
    if (i + kAhead < sorted.size()) {
      // Each new number goes to its component's slot, anywhere in the table.
      PrefetchForRead(&newNumbers[items.slot(sorted[i + kAhead])]);
      if (fetchAhead) {
        PrefetchForRead(&board.numbered[items.slot(sorted[i + kAhead])]);
        series.prefetchSheetOf(board.numbered[items.slot(sorted[i + kAhead / 2])].component);
      }
    }
    const typename Items::Item& item = sorted[i];
    const uint64_t key = items.key(item);
    const uint64_t present = key & numberMask;
    const uint32_t prefix = keys.prefixOfRank[static_cast<size_t>(key >> keys.numberBits)];
    const uint32_t slot = items.slot(item);
    if (order != nullptr) {
      const bool onBottom = present > order->topCount;
      if (onBottom && order->bottomStart > 0 && (first || prefix != lastPrefix || !lastOnBottom)) {
        series.restartAt(prefix, order->bottomStart);
      }
      lastOnBottom = onBottom;
    }
    if (first || prefix != lastPrefix || present != lastPresent || present == 0) {
      // The component is fetched only when the series has to pass numbers over: fetching
      // it for every number is a cache miss per component on a large board.
      lastNew = series.nextWithoutPassingOver(prefix);
      if (lastNew == 0) {
        lastNew = series.next(prefix, board.numbered[slot].component);
      }
      if (lastNew == 0) {
        return false;
      }
    }
    first = false;
    lastPrefix = prefix;
    lastPresent = present;
    newNumbers[slot] = lastNew;
  }
  return true;
}

template <typename Items>
bool OrderAndNumber(PlainBoard& board, const SortKeys& keys, const Items& items,
                    const BoardOrder* order, NumberSeries& series,
                    std::vector<int64_t>& newNumbers) {
  const auto sorted = Order(board, keys, items);
  return Number<Items>(board, keys, items, sorted, order, series, newNumbers);
}

// How many components ahead of the store their reference fields and prefixes are fetched:
// the fields lie a record apart, far more bytes than the store reads, and a board of many
// prefixes holds them anywhere in a table of megabytes.
constexpr size_t kStoreAhead = 24;

// Store: in file order, so the image is written front to back.
void Store(std::span<ComponentEntry> entries, const PlainBoard& board,
           const std::vector<int64_t>& newNumbers, std::vector<uint8_t>* changed) {
  for (size_t slot = 0; slot < board.numbered.size(); ++slot) {
    if (slot + kStoreAhead < board.numbered.size()) {
      const NumberedComponent& later = board.numbered[slot + kStoreAhead];
      PrefetchForRead(entries[later.component].recordStart() + kReferenceOffset);
      PrefetchForRead(board.prefixes.text(later.prefix).data());
    }
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
  const SortKeys keys = SortKeysOf(board);
  NumberSeries series(numbering.initial, numbering.step, controls.sheetBase, board.prefixes,
                      TakeAll(board.taken, board.prefixes), sheetOf);
  if (controls.newNumbers == NewNumberPlace::After) {
    board.held.insert(board.held.end(), board.taken.begin(), board.taken.end());
    series.startAbove(HighestHeld(board.held, board.prefixes));
  }
  std::vector<int64_t> newNumbers;
  const int slotBits = static_cast<int>(std::bit_width(board.numbered.size() - 1));
  const BoardOrder* order = controls.board.get();
  const bool numbered =
      keys.bits + slotBits <= 64
          ? OrderAndNumber(board, keys, PackedItems{slotBits}, order, series, newNumbers)
          : OrderAndNumber(board, keys, WideItems{}, order, series, newNumbers);
  if (!numbered) {
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
