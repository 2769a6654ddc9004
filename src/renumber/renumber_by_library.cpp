#include "renumber/renumber_by_library.h"

#include <algorithm>
#include <array>
#include <climits>

#include "library/library_set.h"
#include "platform/memory.h"
#include "renumber/max_tree.h"
#include "renumber/part_role.h"
#include "renumber/radix_sort.h"
#include "renumber/reference.h"

namespace kerro {

namespace {

// Block counts by part name, each name asked of the libraries once: boards repeat a few
// thousand names.
class BlockCounts {
 public:
  explicit BlockCounts(const BlockCountLookup& lookup) : lookup_(lookup) {}

  int32_t of(const ShortText& partName, uint32_t hash) {
    const uint32_t id = names_.idOf(partName, hash);
    if (id == counts_.size()) {
      const std::optional<int> count = lookup_(partName.view());
      counts_.push_back(count ? *count : 0);
    }
    return counts_[id];
  }

  void prefetchSlot(uint32_t hash) const { names_.prefetchSlot(hash); }
  void prefetchText(uint32_t hash) const { names_.prefetchText(hash); }

 private:
  const BlockCountLookup& lookup_;
  ShortTextIds names_;
  std::vector<int32_t> counts_;  // by name id; 0 when no library knows the part
};

// One pass over the entries in file order, into a LibraryBoard. The fields of a batch of
// components are read first and the lookups of their texts started together (the slots,
// then the texts they hold), then the batch is added: on a board of a million distinct
// tags each lookup is a cache miss, and so they overlap.
class BoardCollector {
 public:
  BoardCollector(LibraryBoard& board, const BlockCountLookup& blockCountOf, size_t components)
      : board_(board), blockCounts_(blockCountOf), packages_(components) {}

  void collect(std::span<const ComponentEntry> entries) {
    for (size_t first = 0; first < entries.size(); first += kBatch) {
      const size_t end = std::min(entries.size(), first + kBatch);
      size_t count = 0;
      for (size_t i = first; i < end; ++i) {
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
    board_.packageCount = packages_.size();
  }

 private:
  static constexpr size_t kBatch = 16;

  struct Pending {
    uint32_t component;
    bool powerBlock;
    int32_t x, y;
    ShortText partName, prefix, package;
    uint32_t partHash, prefixHash, packageHash;
  };

  // Reads what the numbering needs of one component and starts its lookups. Returns false
  // for a component that is left as it is: a power symbol, or one without a tag or a
  // reference (which can match no power block either).
  bool read(const ComponentEntry& entry, uint32_t component, Pending& pending) {
    const std::string_view partName = entry.partName();
    const PartRole role = PartRoleOf(partName);
    const std::string_view tag = entry.packageTag();
    const std::string_view reference = entry.reference();
    if (role == PartRole::PowerSymbol || tag.empty() || reference.empty()) {
      return false;
    }
    const std::string_view prefix = SplitReference(reference).prefix;
    pending.component = component;
    pending.powerBlock = role == PartRole::PowerBlock;
    pending.x = entry.x();
    pending.y = entry.y();
    pending.partName = ShortText::Of(partName);
    pending.prefix = ShortText::Of(prefix);
    // A package is keyed by tag and prefix: under one tag, an IC and a U (or a U? placed
    // beside U12) are different chips, and each takes its numbers from its own counter.
    pending.package = ShortText::Joined(tag, prefix);
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
    const uint32_t package = packages_.idOf(pending.package, pending.packageHash);
    const uint32_t prefix = board_.prefixes.idOf(pending.prefix, pending.prefixHash);
    board_.minX = std::min(board_.minX, pending.x);
    board_.minY = std::min(board_.minY, pending.y);
    board_.maxY = std::max(board_.maxY, pending.y);
    if (pending.powerBlock) {
      board_.powerBlocks.push_back({0, pending.component, prefix, package});
    } else {
      const int32_t blockCount = blockCounts_.of(pending.partName, pending.partHash);
      board_.ordinary.push_back({0, pending.component, prefix, package, blockCount});
    }
  }

  LibraryBoard& board_;
  BlockCounts blockCounts_;
  ShortTextIds packages_;  // pairs of tag and prefix
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
  PackageRuns(const LibraryBoard& board, const NewNumbers& result);

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

 private:
  std::vector<size_t> start_;  // by package id, one more at the end
  std::vector<uint32_t> ordinaryIndex_;
  std::vector<int64_t> numbers_;
  MaxTree tree_;
};

PackageRuns::PackageRuns(const LibraryBoard& board, const NewNumbers& result)
    : start_(board.packageCount + 1, 0), tree_({}) {
  std::vector<bool> powered(board.packageCount, false);
  for (const PowerBlockPart& power : board.powerBlocks) {
    powered[power.package] = true;
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
    numbers_[at] = NumberAsStored(board.prefixes.text(part.prefix), result.number[part.component]);
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
                                 const BlockCountLookup& blockCountOf) {
  LibraryBoard board;
  ReserveLarge(board.ordinary, entries.size());
  board.minX = board.minY = INT32_MAX;
  board.maxY = INT32_MIN;
  BoardCollector(board, blockCountOf, entries.size()).collect(entries);
  return board;
}

void OrderByPosition(LibraryBoard& board, std::span<const ComponentEntry> entries) {
  SortByPosition(board.ordinary, board, entries);
  SortByPosition(board.powerBlocks, board, entries);
}

void PackOrdinary(const LibraryBoard& board, NumberSeries& numbers, NewNumbers& result) {
  struct Package {
    int64_t number = 0;  // 0 until the package is opened
    int blockCount = 0;  // of the part that opened it
    int lastBlock = 0;
  };
  std::vector<Package> packages(board.packageCount);
  for (const OrdinaryPart& part : board.ordinary) {
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
    result.number[part.component] = number;
    result.block[part.component] = static_cast<uint8_t>(block);
  }
}

void NumberPowerBlocks(const LibraryBoard& board, NumberSeries& numbers, NewNumbers& result) {
  if (board.powerBlocks.empty()) {
    return;
  }
  const PackageRuns runs(board, result);
  struct PowerState {
    int64_t lastNumber = 0;
    size_t scanPosition = 0;  // index into the ordinary list
  };
  std::vector<PowerState> states(board.packageCount);
  for (const PowerBlockPart& power : board.powerBlocks) {
    PowerState& state = states[power.package];
    if (const auto match = runs.firstAbove(power.package, state.scanPosition, state.lastNumber)) {
      state.scanPosition = match->first + 1;
      state.lastNumber = match->second;
    } else {
      state.lastNumber = numbers.next(power.prefix, power.component);
    }
    result.number[power.component] = state.lastNumber;
  }
}

size_t StoreNumbers(std::span<ComponentEntry> entries, const NewNumbers& result) {
  size_t rewritten = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (result.number[i] == 0) {
      continue;
    }
    const std::string_view prefix = SplitReference(entries[i].reference()).prefix;
    StoreReference(FormatReference(prefix, result.number[i]), entries[i].referenceField());
    if (result.block[i] >= 0) {
      entries[i].setBlock(static_cast<uint8_t>(result.block[i]));
    }
    ++rewritten;
  }
  return rewritten;
}

size_t RenumberByLibrary(SchematicDocument& document, int initial, int step,
                         const BlockCountLookup& blockCountOf) {
  const std::span<ComponentEntry> entries = document.entries();
  LibraryBoard board = CollectLibraryBoard(entries, blockCountOf);
  OrderByPosition(board, entries);
  NumberSeries numbers(initial, step, board.prefixes.size());
  NewNumbers result(entries.size());
  PackOrdinary(board, numbers, result);
  NumberPowerBlocks(board, numbers, result);
  return StoreNumbers(entries, result);
}

size_t RenumberByLibrary(SchematicDocument& document, int initial, int step,
                         const std::string& path, FileSystem& fileSystem,
                         const LibraryErrorHandler& onLibraryError,
                         const std::vector<std::string>& libraryFolders) {
  if (document.entries().empty()) {
    return 0;
  }
  LibrarySet libraries(onLibraryError, fileSystem);
  libraries.setLibraryFolders(libraryFolders);
  libraries.loadLibraries(path);
  const size_t rewritten =
      RenumberByLibrary(document, initial, step, [&](std::string_view partName) {
        const PartEntry* entry = libraries.findPart(partName);
        return entry ? std::optional<int>(entry->blockCount()) : std::nullopt;
      });
  libraries.freeLibraries();
  return rewritten;
}

}  // namespace kerro
