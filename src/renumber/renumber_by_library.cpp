#include "renumber/renumber_by_library.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <map>
#include <set>

#include "library/library_set.h"
#include "platform/memory.h"
#include "renumber/block_counts.h"
#include "renumber/max_tree.h"
#include "renumber/part_role.h"
#include "renumber/radix_sort.h"
#include "renumber/reference.h"
#include "renumber/short_text_ids.h"

namespace kerro {

namespace {

// One pass over the entries in file order, into a LibraryBoard. The fields of a batch of
// components are read first and the lookups of their texts started together (the slots,
// then the texts they hold), then the batch is added: on a board of a million distinct
// tags each lookup is a cache miss, and so they overlap.
class BoardCollector {
 public:
  BoardCollector(LibraryBoard& board, const BlockCountLookup& blockCountOf,
                 const NumberingControls& controls, std::span<const uint32_t> sheetOf,
                 std::span<const uint32_t> laterDuplicate, size_t components)
      : board_(board),
        blockCounts_(blockCountOf),
        controls_(controls),
        steered_(controls.keepsNumbered() || !controls.locks.empty()),
        laterDuplicate_(laterDuplicate),
        sheetOf_(controls.sheetBase > 0 ? sheetOf : std::span<const uint32_t>{}),
        packages_(components) {}

  void collect(std::span<const ComponentEntry> entries) {
    for (size_t first = 0; first < entries.size(); first += kBatch) {
      const size_t end = std::min(entries.size(), first + kBatch);
      size_t count = 0;
      for (size_t i = first; i < end; ++i) {
        if (i + kReadAhead < entries.size()) {
          // Both cache lines a record can lie on.
          const uint8_t* later = entries[i + kReadAhead].recordStart();
          PrefetchForRead(later);
          PrefetchForRead(later + kComponentRecordSize - 1);
        }
        if (read(entries[i], static_cast<uint32_t>(i), batch_[count])) {
          ++count;
        }
      }
      for (size_t i = 0; i < count; ++i) {
        prefetchTexts(batch_[i]);
      }
      for (size_t i = 0; i < count; ++i) {
        add(batch_[i]);
      }
    }
    board_.packageCount =
        sheetOf_.empty() ? packages_.size() : static_cast<uint32_t>(onSheet_.size());
  }

 private:
  static constexpr size_t kBatch = kLookupsInFlight;
  // How many components ahead their records are fetched: a record's tag, reference and
  // part name are read, and each record is a cache miss of its own.
  static constexpr size_t kReadAhead = 2 * kLookupsInFlight;

  struct Pending {
    uint32_t component;
    bool powerBlock;
    bool fixed;
    bool moves;
    int32_t x, y;
    ShortText partName, prefix, package;
    uint32_t partHash, prefixHash, packageHash;
  };

  // Reads what the numbering needs of one component and starts its lookups. Returns false
  // for a component that is left out: a power symbol, or one without a tag or a reference
  // (which can match no power block either); its reference is taken.
  bool read(const ComponentEntry& entry, uint32_t component, Pending& pending) {
    const std::string_view partName = entry.partName();
    const PartRole role = PartRoleOf(partName);
    const std::string_view tag = entry.packageTag();
    const std::string_view reference = entry.reference();
    if (reference.empty()) {
      return false;
    }
    if (role == PartRole::PowerSymbol || tag.empty()) {
      board_.taken.push_back(reference);
      return false;
    }
    pending.moves = !laterDuplicate_.empty() && laterDuplicate_[component] > 0;
    pending.fixed = !pending.moves && steered_ && controls_.leavesAlone(reference);
    if (pending.fixed) {
      board_.taken.push_back(reference);
    } else if (pending.moves) {
      board_.held.push_back(reference);
    }
    const std::string_view prefix = controls_.keepsNumbered() && !pending.fixed && !pending.moves
                                        ? *UnnumberedPrefix(reference)
                                        : ReferencePrefix(reference);
    pending.component = component;
    pending.powerBlock = role == PartRole::PowerBlock;
    pending.x = entry.x();
    pending.y = entry.y();
    pending.partName.assign(partName);
    pending.prefix.assign(prefix);
    // A package is keyed by tag and prefix: under one tag, an IC and a U (or a U? placed
    // beside U12) are different chips, and each takes its numbers from its own counter.
    pending.package.assignJoined(tag, prefix);
    pending.partHash = pending.partName.hash();
    pending.prefixHash = pending.prefix.hash();
    pending.packageHash = pending.package.hash();
    blockCounts_.prefetchSlot(pending.partHash);
    board_.prefixes.prefetchSlot(pending.prefixHash);
    packages_.prefetchSlot(pending.packageHash);
    return true;
  }

  void prefetchTexts(const Pending& pending) const {
    blockCounts_.prefetchText(pending.partHash);
    board_.prefixes.prefetchText(pending.prefixHash);
    packages_.prefetchText(pending.packageHash);
  }

  void add(const Pending& pending) {
    uint32_t package = packages_.idOf(pending.package, pending.packageHash);
    if (!sheetOf_.empty()) {
      // With sheet ranges a package never spans two sheets.
      const uint64_t key = (uint64_t{package} << 32) | sheetOf_[pending.component];
      package = onSheet_.try_emplace(key, static_cast<uint32_t>(onSheet_.size())).first->second;
    }
    const uint32_t prefix = board_.prefixes.idOf(pending.prefix, pending.prefixHash);
    board_.minX = std::min(board_.minX, pending.x);
    board_.maxX = std::max(board_.maxX, pending.x);
    board_.minY = std::min(board_.minY, pending.y);
    board_.maxY = std::max(board_.maxY, pending.y);
    if (pending.powerBlock) {
      board_.powerBlocks.push_back(
          {0, pending.component, prefix, package, pending.fixed, pending.moves});
    } else {
      const int16_t blockCount = blockCounts_.of(pending.partName, pending.partHash);
      board_.ordinary.push_back(
          {0, pending.component, prefix, package, blockCount, pending.fixed, pending.moves});
    }
  }

  LibraryBoard& board_;
  BlockCounts blockCounts_;
  const NumberingControls& controls_;
  bool steered_;
  std::span<const uint32_t> laterDuplicate_;        // with fixDuplicates
  std::span<const uint32_t> sheetOf_;               // with sheet ranges only
  ShortTextIds packages_;                           // pairs of tag and prefix
  std::unordered_map<uint64_t, uint32_t> onSheet_;  // package and sheet, to their ids
  std::array<Pending, kBatch> batch_;
};

// `value` - `minimum` as an unsigned distance; positions span far less than 2^32.
uint64_t DistanceFrom(int32_t value, int32_t minimum) {
  return static_cast<uint64_t>(static_cast<int64_t>(value) - static_cast<int64_t>(minimum));
}

template <typename Part>
void SortByPosition(std::vector<Part>& parts, const LibraryBoard& board,
                    std::span<const ComponentEntry> entries) {
  const uint64_t ySpan = DistanceFrom(board.maxY, board.minY) + 1;
  for (Part& part : parts) {
    const ComponentEntry& entry = entries[part.component];
    part.order = DistanceFrom(entry.x(), board.minX) * ySpan + DistanceFrom(entry.y(), board.minY);
  }
  RadixSortByKey(parts, [](const Part& part) { return part.order; });
}

// By sheet, then y, then x. The three fit one key on any board a file can hold; where they
// would not, a comparison sort orders them the same.
template <typename Part>
void SortByRows(std::vector<Part>& parts, const LibraryBoard& board,
                std::span<const ComponentEntry> entries, std::span<const uint32_t> sheetOf) {
  const uint64_t xSpan = DistanceFrom(board.maxX, board.minX) + 1;
  const uint64_t ySpan = DistanceFrom(board.maxY, board.minY) + 1;
  uint64_t sheets = 1;
  for (const Part& part : parts) {
    sheets = std::max<uint64_t>(sheets, uint64_t{sheetOf[part.component]} + 1);
  }
  const bool fits = xSpan * ySpan <= UINT64_MAX / sheets;
  for (Part& part : parts) {
    const ComponentEntry& entry = entries[part.component];
    part.order = (uint64_t{sheetOf[part.component]} * ySpan + DistanceFrom(entry.y(), board.minY)) *
                     (fits ? xSpan : 1) +
                 (fits ? DistanceFrom(entry.x(), board.minX) : 0);
  }
  if (fits) {
    RadixSortByKey(parts, [](const Part& part) { return part.order; });
    return;
  }
  std::stable_sort(parts.begin(), parts.end(), [&](const Part& a, const Part& b) {
    return a.order != b.order ? a.order < b.order
                              : entries[a.component].x() < entries[b.component].x();
  });
}

// The number a stored reference shows: FormatReference cuts at 8 characters, so a long
// prefix keeps fewer digits of its number (none at all when it has 8 characters).
int64_t NumberAsStored(std::string_view prefix, int64_t number) {
  size_t digits = 1;
  for (int64_t rest = number; rest >= 10; rest /= 10) {
    ++digits;
  }
  if (prefix.size() + digits <= kMaxReferenceLength) {
    return number;  // prefixes end in a non-digit (or are one character), so it splits back
  }
  const std::string stored = FormatReference(prefix, number);
  return SplitReference(stored).number;
}

// The ordinary components that a power block can match: those of a tag and prefix that
// some power block has, grouped by that pair and kept in order within each group, with a
// maximum tree over their numbers as stored.
class PackageRuns {
 public:
  PackageRuns(const LibraryBoard& board, std::span<const ComponentEntry> entries,
              const NewNumbers& result);

  // The first member of the run of `package` whose index in the ordinary list is at least
  // `from` and whose number is above `floor`.
  std::optional<std::pair<size_t, int64_t>> firstAbove(uint32_t package, size_t from,
                                                       int64_t floor) const {
    const auto begin = ordinaryIndex_.begin() + static_cast<ptrdiff_t>(start_[package]);
    const auto end = ordinaryIndex_.begin() + static_cast<ptrdiff_t>(start_[package + 1]);
    const auto first =
        static_cast<size_t>(std::lower_bound(begin, end, from) - ordinaryIndex_.begin());
    const auto found = tree_.firstAbove(first, start_[package + 1], floor);
    if (!found) {
      return std::nullopt;
    }
    return std::pair{static_cast<size_t>(ordinaryIndex_[*found]), numbers_[*found]};
  }
  // Starts fetching where the run of `package` begins.
  void prefetch(uint32_t package) const { PrefetchForRead(&start_[package]); }

 private:
  std::vector<size_t> start_;  // by package id, one more at the end
  std::vector<uint32_t> ordinaryIndex_;
  std::vector<int64_t> numbers_;
  MaxTree tree_;
};

PackageRuns::PackageRuns(const LibraryBoard& board, std::span<const ComponentEntry> entries,
                         const NewNumbers& result)
    : start_(board.packageCount + 1, 0), tree_({}) {
  std::vector<bool> powered(board.packageCount, false);
  for (const PowerBlockPart& power : board.powerBlocks) {
    powered[power.package] = powered[power.package] || !power.fixed;
  }
  std::vector<uint32_t> members;  // indexes into the ordinary list, in order
  for (size_t i = 0; i < board.ordinary.size(); ++i) {
    if (powered[board.ordinary[i].package]) {
      members.push_back(static_cast<uint32_t>(i));
      ++start_[board.ordinary[i].package + 1];
    }
  }
  for (size_t package = 1; package < start_.size(); ++package) {
    start_[package] += start_[package - 1];
  }
  // Placed by package in order, so that each run keeps the order of the list.
  ordinaryIndex_.resize(members.size());
  numbers_.resize(members.size());
  std::vector<size_t> next(start_.begin(), start_.end() - 1);
  for (const uint32_t member : members) {
    const OrdinaryPart& part = board.ordinary[member];
    const size_t at = next[part.package]++;
    ordinaryIndex_[at] = member;
    numbers_[at] = part.fixed ? SplitReference(entries[part.component].reference()).number
                              : NumberAsStored(board.prefixes.text(part.prefix),
                                               result.number[part.component]);
  }
  tree_ = MaxTree(numbers_);
}

}  // namespace

NewNumbers::NewNumbers(size_t components) {
  ReserveLarge(number, components);
  number.resize(components, 0);
  ReserveLarge(block, components);
  block.resize(components, -1);
}

LibraryBoard CollectLibraryBoard(std::span<const ComponentEntry> entries,
                                 const BlockCountLookup& blockCountOf,
                                 const NumberingControls& controls,
                                 std::span<const uint32_t> sheetOf,
                                 std::span<const uint32_t> laterDuplicate) {
  LibraryBoard board;
  ReserveLarge(board.ordinary, entries.size());
  board.minX = board.minY = INT32_MAX;
  board.maxX = board.maxY = INT32_MIN;
  BoardCollector(board, blockCountOf, controls, sheetOf, laterDuplicate, entries.size())
      .collect(entries);
  return board;
}

void OrderByPosition(LibraryBoard& board, std::span<const ComponentEntry> entries,
                     NumberingOrder order, std::span<const uint32_t> sheetOf) {
  if (order == NumberingOrder::Rows) {
    SortByRows(board.ordinary, board, entries, sheetOf);
    SortByRows(board.powerBlocks, board, entries, sheetOf);
    return;
  }
  SortByPosition(board.ordinary, board, entries);
  SortByPosition(board.powerBlocks, board, entries);
}

bool PackOrdinary(const LibraryBoard& board, NumberSeries& numbers, NewNumbers& result) {
  struct Package {
    int64_t number = 0;  // 0 until the package is opened
    int blockCount = 0;  // of the part that opened it
    int lastBlock = 0;
  };
  std::vector<Package> packages(board.packageCount);
  // In position order a part's package and its new number lie anywhere in their tables:
  // those of a later part are fetched ahead, so that the cache misses overlap.
  constexpr size_t kAhead = kLookupsInFlight;
  const std::span<const OrdinaryPart> parts = board.ordinary;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i + kAhead < parts.size()) {
      const OrdinaryPart& later = parts[i + kAhead];
      PrefetchForRead(&result.number[later.component]);
      if (later.blockCount > 1) {
        PrefetchForRead(&packages[later.package]);
      }
    }
    const OrdinaryPart& part = parts[i];
    if (part.fixed) {
      continue;
    }
    int64_t number = 0;
    int block = 0;
    if (part.blockCount > 1) {
      Package& package = packages[part.package];
      if (package.number == 0) {
        package = {numbers.next(part.prefix, part.component), part.blockCount, 0};
      } else if (package.lastBlock < package.blockCount - 1 &&
                 package.lastBlock < part.blockCount - 1) {
        ++package.lastBlock;
      } else {
        package.number = numbers.next(part.prefix, part.component);
        package.lastBlock = 0;
      }
      number = package.number;
      block = package.lastBlock;
    } else {
      number = numbers.next(part.prefix, part.component);
    }
    if (number == 0) {
      return false;
    }
    result.number[part.component] = number;
    result.block[part.component] = static_cast<uint8_t>(block);
  }
  return true;
}

bool NumberPowerBlocks(const LibraryBoard& board, std::span<const ComponentEntry> entries,
                       NumberSeries& numbers, NewNumbers& result) {
  if (board.powerBlocks.empty()) {
    return true;
  }
  const PackageRuns runs(board, entries, result);
  struct PowerState {
    int64_t lastNumber = 0;
    size_t scanPosition = 0;  // index into the ordinary list
  };
  std::vector<PowerState> states(board.packageCount);
  // As in packing: what a later power block reads and writes is fetched ahead.
  constexpr size_t kAhead = kLookupsInFlight;
  const std::span<const PowerBlockPart> powerBlocks = board.powerBlocks;
  for (size_t i = 0; i < powerBlocks.size(); ++i) {
    if (i + kAhead < powerBlocks.size()) {
      const PowerBlockPart& later = powerBlocks[i + kAhead];
      PrefetchForRead(&states[later.package]);
      runs.prefetch(later.package);
      PrefetchForRead(&result.number[later.component]);
    }
    const PowerBlockPart& power = powerBlocks[i];
    if (power.fixed) {
      continue;
    }
    PowerState& state = states[power.package];
    if (const auto match = runs.firstAbove(power.package, state.scanPosition, state.lastNumber)) {
      state.scanPosition = match->first + 1;
      state.lastNumber = match->second;
    } else {
      state.lastNumber = numbers.next(power.prefix, power.component);
      if (state.lastNumber == 0) {
        return false;
      }
    }
    result.number[power.component] = state.lastNumber;
  }
  return true;
}

namespace {

// A package as --keep finds or opens it.
struct KeptPackage {
  std::string reference;
  int blockCount = 0;  // of the part of its first block
  std::set<int> usedBlocks;

  bool full() const {
    const auto below = std::count_if(usedBlocks.begin(), usedBlocks.end(),
                                     [this](int block) { return block < blockCount; });
    return below >= blockCount;
  }
};

// The lowest free block, below both block counts, of the first open package that has one;
// full packages leave the candidates.
std::optional<std::pair<size_t, int>> FreeBlock(std::vector<KeptPackage>& packages,
                                                std::map<size_t, size_t>& candidates,
                                                int blockCount) {
  for (auto it = candidates.begin(); it != candidates.end();) {
    KeptPackage& package = packages[it->second];
    const int limit = std::min(package.blockCount, blockCount);
    std::optional<int> free;
    for (int block = 0; block < limit && !free; ++block) {
      if (package.usedBlocks.insert(block).second) {
        free = block;
      }
    }
    const size_t index = it->second;
    it = package.full() ? candidates.erase(it) : std::next(it);
    if (free) {
      return std::pair{index, *free};
    }
  }
  return std::nullopt;
}

// The reference a component has after the steps so far.
std::string CurrentReference(std::span<const ComponentEntry> entries, const LibraryBoard& board,
                             const NewNumbers& result, uint32_t component, uint32_t prefix) {
  const int64_t number = result.number[component];
  if (number == NewNumbers::kJoined) {
    return result.joined.at(component);
  }
  if (number == 0) {
    return std::string(entries[component].reference());
  }
  return FormatReference(board.prefixes.text(prefix), number);
}

}  // namespace

bool PackKept(const LibraryBoard& board, std::span<const ComponentEntry> entries,
              NumberSeries& numbers, NewNumbers& result) {
  std::vector<KeptPackage> packages;
  // By package id: the packages open to new blocks, keyed by the rank of their first block.
  std::unordered_map<uint32_t, std::map<size_t, size_t>> open;
  // Only packages of a tag and prefix that some unnumbered gate may join are noted: on a
  // board whose parts are all numbered that is none.
  std::vector<bool> joinable(board.packageCount, false);
  bool anyJoinable = false;
  for (const OrdinaryPart& part : board.ordinary) {
    if (!part.fixed && !part.moves && part.blockCount > 1) {
      joinable[part.package] = anyJoinable = true;
    }
  }
  constexpr size_t kNotNoted = SIZE_MAX;
  ShortTextIds byTagAndReference;
  std::vector<size_t> notedAs;  // by id of a tag and reference: index into `packages`
  for (size_t rank = 0; anyJoinable && rank < board.ordinary.size(); ++rank) {
    const OrdinaryPart& part = board.ordinary[rank];
    const ComponentEntry& entry = entries[part.component];
    if (!part.fixed || UnnumberedPrefix(entry.reference())) {
      continue;
    }
    const uint32_t id =
        byTagAndReference.idOf(ShortText::Joined(entry.packageTag(), entry.reference()));
    if (id == notedAs.size()) {  // its first block, in numbering order
      notedAs.push_back(kNotNoted);
      if (joinable[part.package]) {
        notedAs.back() = packages.size();
        packages.push_back({std::string(entry.reference()), part.blockCount, {}});
        open[part.package][rank] = notedAs.back();
      }
    }
    if (notedAs[id] != kNotNoted) {
      packages[notedAs[id]].usedBlocks.insert(entry.block());
    }
  }
  for (size_t rank = 0; rank < board.ordinary.size(); ++rank) {
    const OrdinaryPart& part = board.ordinary[rank];
    if (part.fixed || part.moves) {
      continue;
    }
    std::map<size_t, size_t>& candidates = open[part.package];
    if (part.blockCount > 1) {
      if (const auto free = FreeBlock(packages, candidates, part.blockCount)) {
        result.number[part.component] = NewNumbers::kJoined;
        result.joined[part.component] = packages[free->first].reference;
        result.block[part.component] = static_cast<int16_t>(free->second);
        continue;
      }
    }
    const int64_t number = numbers.next(part.prefix, part.component);
    if (number == 0) {
      return false;
    }
    result.number[part.component] = number;
    result.block[part.component] = 0;
    if (part.blockCount > 1) {
      packages.push_back(
          {FormatReference(board.prefixes.text(part.prefix), number), part.blockCount, {0}});
      candidates[rank] = packages.size() - 1;
    }
  }
  return true;
}

bool NumberPowerBlocksKept(const LibraryBoard& board, std::span<const ComponentEntry> entries,
                           NumberSeries& numbers, NewNumbers& result) {
  // Only the packages of the power blocks' tags and prefixes can be taken.
  std::unordered_map<uint32_t, std::vector<std::string>> packages;
  std::unordered_map<uint32_t, size_t> positions;
  for (const PowerBlockPart& power : board.powerBlocks) {
    if (!power.fixed && !power.moves) {
      packages.try_emplace(power.package);
    }
  }
  if (packages.empty()) {
    return true;
  }
  // Each pair of tag and reference once, where it first comes in numbering order (on one
  // sheet, with sheet ranges).
  ShortTextIds seen;
  for (const OrdinaryPart& part : board.ordinary) {
    const std::string reference =
        CurrentReference(entries, board, result, part.component, part.prefix);
    if (UnnumberedPrefix(reference)) {
      continue;
    }
    const uint32_t known = seen.size();
    seen.idOf(ShortText::Joined(entries[part.component].packageTag(), reference));
    const auto list = packages.find(part.package);
    if (seen.size() > known && list != packages.end()) {
      list->second.push_back(reference);
    }
  }
  ShortTextIds served;  // pairs of tag and reference that a power block has
  for (const PowerBlockPart& power : board.powerBlocks) {
    if (power.fixed) {
      const ComponentEntry& entry = entries[power.component];
      served.idOf(ShortText::Joined(entry.packageTag(), entry.reference()));
    }
  }
  for (const PowerBlockPart& power : board.powerBlocks) {
    if (power.fixed || power.moves) {
      continue;
    }
    const std::string_view tag = entries[power.component].packageTag();
    const std::vector<std::string>& list = packages[power.package];
    size_t& position = positions[power.package];
    while (position < list.size() && served.find(ShortText::Joined(tag, list[position]))) {
      ++position;
    }
    std::string reference;
    if (position < list.size()) {
      reference = list[position++];
      result.number[power.component] = NewNumbers::kJoined;
      result.joined[power.component] = reference;
    } else {
      const int64_t number = numbers.next(power.prefix, power.component);
      if (number == 0) {
        return false;
      }
      result.number[power.component] = number;
      reference = FormatReference(board.prefixes.text(power.prefix), number);
    }
    served.idOf(ShortText::Joined(tag, reference));
  }
  return true;
}

bool NumberLaterDuplicates(const LibraryBoard& board, std::span<const uint32_t> laterDuplicate,
                           NumberSeries& numbers, NewNumbers& result) {
  // In file order, so that each package's number is asked for by its first member.
  std::vector<std::pair<uint32_t, uint32_t>> movers;  // component, prefix id
  for (const OrdinaryPart& part : board.ordinary) {
    if (part.moves) {
      movers.emplace_back(part.component, part.prefix);
    }
  }
  for (const PowerBlockPart& power : board.powerBlocks) {
    if (power.moves) {
      movers.emplace_back(power.component, power.prefix);
    }
  }
  std::sort(movers.begin(), movers.end());
  std::unordered_map<uint32_t, int64_t> numberOf;  // by package to move
  for (const auto& [component, prefix] : movers) {
    const auto [known, added] = numberOf.try_emplace(laterDuplicate[component], 0);
    if (added) {
      known->second = numbers.next(prefix, component);
      if (known->second == 0) {
        return false;
      }
    }
    result.number[component] = known->second;  // the block stays
  }
  return true;
}

size_t StoreNumbers(std::span<ComponentEntry> entries, const NewNumbers& result, bool keep,
                    std::span<const uint32_t> laterDuplicate, std::vector<uint8_t>* changed) {
  // The reference fields lie a record apart, far more bytes than the store reads: they
  // are fetched this many components ahead.
  constexpr size_t kAhead = 24;
  size_t rewritten = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i + kAhead < entries.size()) {
      PrefetchForRead(entries[i + kAhead].recordStart() + kReferenceOffset);
    }
    const int64_t number = result.number[i];
    if (number == 0) {
      continue;
    }
    StoredReference stored;
    if (number == NewNumbers::kJoined) {
      stored =
          StoreReference(result.joined.at(static_cast<uint32_t>(i)), entries[i].referenceField());
    } else {
      const std::string_view reference = entries[i].reference();
      const bool moves = !laterDuplicate.empty() && laterDuplicate[i] > 0;
      const std::string_view prefix =
          keep && !moves ? *UnnumberedPrefix(reference) : ReferencePrefix(reference);
      stored = StoreFormattedReference(prefix, number, entries[i].referenceField());
    }
    uint8_t marks = (stored.bytes ? StoredChange::kBytes : 0) |
                    (stored.reference ? StoredChange::kReference : 0);
    if (result.block[i] >= 0 && entries[i].block() != static_cast<uint8_t>(result.block[i])) {
      entries[i].setBlock(static_cast<uint8_t>(result.block[i]));
      marks |= StoredChange::kBytes | StoredChange::kBlock;
    }
    if (marks != 0 && changed != nullptr) {
      (*changed)[i] = marks;
    }
    ++rewritten;
  }
  return rewritten;
}

std::optional<NumberShortage> NumberByLibrary(std::span<ComponentEntry> entries,
                                              std::span<const uint32_t> sheetOf,
                                              const DesignNumbering& numbering,
                                              const BlockCountLookup& blockCountOf,
                                              std::span<const uint32_t> laterDuplicate,
                                              std::vector<uint8_t>* changed) {
  const NumberingControls& controls = numbering.controls;
  LibraryBoard board =
      CollectLibraryBoard(entries, blockCountOf, controls, sheetOf, laterDuplicate);
  OrderByPosition(board, entries, controls.order, sheetOf);
  NumberSeries numbers(numbering.initial, numbering.step, controls.sheetBase, board.prefixes,
                       TakeAll(board.taken, board.prefixes), sheetOf);
  if (controls.newNumbers == NewNumberPlace::After) {
    board.held.insert(board.held.end(), board.taken.begin(), board.taken.end());
    numbers.startAbove(HighestHeld(board.held, board.prefixes));
  }
  NewNumbers result(entries.size());
  const bool numbered = controls.keepsNumbered()
                            ? PackKept(board, entries, numbers, result) &&
                                  (laterDuplicate.empty() ||
                                   NumberLaterDuplicates(board, laterDuplicate, numbers, result)) &&
                                  NumberPowerBlocksKept(board, entries, numbers, result)
                            : PackOrdinary(board, numbers, result) &&
                                  NumberPowerBlocks(board, entries, numbers, result);
  if (!numbered) {
    const SeriesShortage& shortage = *numbers.shortage();
    return ShortageAt(entries, sheetOf, shortage, board.prefixes.text(shortage.prefix));
  }
  StoreNumbers(entries, result, controls.keepsNumbered(), laterDuplicate, changed);
  return std::nullopt;
}

std::optional<NumberShortage> RenumberByLibrary(SchematicDocument& document, int initial, int step,
                                                const BlockCountLookup& blockCountOf) {
  return NumberByLibrary(document.entries(), {}, {initial, step, NumberingMode::ByLibrary, {}},
                         blockCountOf);
}

}  // namespace kerro
