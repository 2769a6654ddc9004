#include "renumber/renumber_by_library.h"

#include <algorithm>
#include <array>
#include <climits>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "library/library_set.h"
#include "platform/memory.h"
#include "platform/text_compare.h"
#include "renumber/radix_sort.h"
#include "renumber/reference.h"

namespace kerro {

namespace {

constexpr std::array<std::string_view, 5> kPowerNames = {"VCC", "VDD", "GND", "VEE", "VSS"};

enum class PartKind { Ordinary, PowerSymbol, PowerBlock };

PartKind Classify(std::string_view partName) {
  for (std::string_view power : kPowerNames) {
    if (partName.starts_with(power)) {
      return partName.size() == power.size() ? PartKind::PowerSymbol : PartKind::PowerBlock;
    }
  }
  return PartKind::Ordinary;
}

// Hashing of string keys that also finds string_view keys without a copy.
struct TextHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};
template <typename Value>
using TextMap = std::unordered_map<std::string, Value, TextHash, std::equal_to<>>;

std::string PairKey(std::string_view tag, std::string_view prefix) {
  // A tag holds at most 15 characters, so its length in one byte keeps pairs apart.
  std::string key;
  key.reserve(1 + tag.size() + prefix.size());
  key.push_back(static_cast<char>(tag.size()));
  key.append(tag);
  key.append(prefix);
  return key;
}

struct Package {
  int64_t number = 0;
  int blockCount = 0;  // of the part that opened the package
  int lastBlock = 0;
};

// The numbered ordinary components of one tag and prefix, in sorted order, with a
// maximum tree over their numbers. It answers "the first one at or after position p whose
// number is above n" in logarithmic time, which is what each power block asks.
class NumberRun {
 public:
  void add(size_t ordinaryIndex, int64_t number) {
    indexes_.push_back(ordinaryIndex);
    numbers_.push_back(number);
  }

  void seal() {
    size_ = 1;
    while (size_ < numbers_.size()) {
      size_ *= 2;
    }
    tree_.assign(2 * size_, INT64_MIN);
    std::copy(numbers_.begin(), numbers_.end(), tree_.begin() + static_cast<ptrdiff_t>(size_));
    for (size_t node = size_ - 1; node > 0; --node) {
      tree_[node] = std::max(tree_[2 * node], tree_[2 * node + 1]);
    }
  }

  // Position in this run of the first component whose index in the ordinary array is
  // `from` or more.
  size_t firstAtOrAfter(size_t from) const {
    return static_cast<size_t>(std::lower_bound(indexes_.begin(), indexes_.end(), from) -
                               indexes_.begin());
  }

  // The first position at or after `position` whose number is above `floor`, or nullopt.
  std::optional<size_t> firstAbove(size_t position, int64_t floor) const {
    return search(1, 0, size_, position, floor);
  }

  size_t ordinaryIndex(size_t position) const { return indexes_[position]; }
  int64_t number(size_t position) const { return numbers_[position]; }

 private:
  std::optional<size_t> search(size_t node, size_t low, size_t high, size_t from,
                               int64_t floor) const {
    if (high <= from || tree_[node] <= floor) {
      return std::nullopt;
    }
    if (high - low == 1) {
      return low;
    }
    const size_t middle = (low + high) / 2;
    if (auto found = search(2 * node, low, middle, from, floor)) {
      return found;
    }
    return search(2 * node + 1, middle, high, from, floor);
  }

  std::vector<size_t> indexes_;
  std::vector<int64_t> numbers_;
  std::vector<int64_t> tree_;
  size_t size_ = 0;
};

struct PowerBlockState {
  int64_t lastNumber = 0;
  size_t scanPosition = 0;  // index into the ordinary array
};

// Distinct prefixes, each with the last number given to it (shared by ordinary components
// and power blocks). The texts are copies: the reference fields they come from are
// rewritten at the end.
class PrefixTable {
 public:
  PrefixTable(int initial, int step) : initial_(initial), step_(step) {}

  uint32_t idOf(std::string_view prefix) {
    if (!texts_.empty() && texts_[last_] == prefix) {
      return last_;  // the blocks of a package come one after another
    }
    auto it = ids_.find(prefix);
    if (it == ids_.end()) {
      it = ids_.emplace(std::string(prefix), static_cast<uint32_t>(texts_.size())).first;
      texts_.emplace_back(prefix);
      counters_.push_back(std::nullopt);
    }
    last_ = it->second;
    return last_;
  }

  const std::string& text(uint32_t id) const { return texts_[id]; }

  // NextNumber: initial for a prefix met for the first time, else its last number + step.
  int64_t next(uint32_t id) {
    std::optional<int64_t>& last = counters_[id];
    last = last ? *last + step_ : initial_;
    return *last;
  }

 private:
  int64_t initial_;
  int64_t step_;
  TextMap<uint32_t> ids_;
  std::vector<std::string> texts_;
  std::vector<std::optional<int64_t>> counters_;
  uint32_t last_ = 0;
};

// Ids for short texts (tags and part names), in an open-addressing table with the texts
// kept in one array beside it: a lookup touches the table and that array, never the
// image, where a node-based map costs a bucket, a node and a string on a board with
// hundreds of thousands of package tags.
class TextIds {
 public:
  // The id of `text`, which is given the next id when it is new.
  uint32_t idOf(std::string_view text) {
    const uint32_t hash = hashOf(text);
    size_t at = findSlot(text, hash);
    if (slots_[at].id == 0) {
      if (2 * (texts_.size() + 1) > slots_.size()) {
        grow();
        at = findSlot(text, hash);
      }
      texts_.emplace_back(text);
      slots_[at] = {hash, static_cast<uint32_t>(texts_.size())};
    }
    return slots_[at].id - 1;
  }

  bool contains(std::string_view text) const {
    return slots_[findSlot(text, hashOf(text))].id != 0;
  }

  bool empty() const { return texts_.empty(); }
  size_t size() const { return texts_.size(); }

 private:
  struct Slot {
    uint32_t hash = 0;
    uint32_t id = 0;  // id + 1; 0 marks an empty slot
  };

  static uint32_t hashOf(std::string_view text) {
    return static_cast<uint32_t>(std::hash<std::string_view>{}(text));
  }

  // The slot holding `text`, or the empty slot where it belongs.
  size_t findSlot(std::string_view text, uint32_t hash) const {
    const size_t mask = slots_.size() - 1;
    for (size_t at = hash & mask;; at = (at + 1) & mask) {
      const Slot& slot = slots_[at];
      if (slot.id == 0 || (slot.hash == hash && texts_[slot.id - 1] == text)) {
        return at;
      }
    }
  }

  void grow() {
    std::vector<Slot> old(2 * slots_.size());
    old.swap(slots_);
    const size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.id != 0) {
        size_t at = slot.hash & mask;
        while (slots_[at].id != 0) {
          at = (at + 1) & mask;
        }
        slots_[at] = slot;
      }
    }
  }

  std::vector<Slot> slots_ = std::vector<Slot>(16);  // a power of two, at most half full
  std::vector<std::string> texts_;                   // short enough to sit inside the strings
};

// What the numbering needs of one component, copied out of the image in file order, so
// that the sorted walk never reaches back into it.
struct Placed {
  uint64_t key = 0;        // position: x, then y
  uint32_t component = 0;  // index into the document's entries
  uint32_t prefix = 0;     // PrefixTable id
  uint32_t package = 0;    // package tag id, for parts of several blocks
  int32_t blockCount = 0;  // 0 when no library knows the part
  bool powerTag = false;   // some power block has this tag
};

// `value` - `minimum` as an unsigned distance; positions span far less than 2^32.
uint64_t DistanceFrom(int32_t value, int32_t minimum) {
  return static_cast<uint64_t>(static_cast<int64_t>(value) - static_cast<int64_t>(minimum));
}

// Sorts by x, then y, keeping file order at equal positions, as a stable sort would.
void SortByPosition(std::vector<Placed>& placed, std::span<const ComponentEntry> entries) {
  if (placed.empty()) {
    return;
  }
  int32_t minX = INT32_MAX;
  int32_t minY = INT32_MAX;
  int32_t maxY = INT32_MIN;
  for (const Placed& item : placed) {
    const ComponentEntry& entry = entries[item.component];
    minX = std::min(minX, entry.x());
    minY = std::min(minY, entry.y());
    maxY = std::max(maxY, entry.y());
  }
  const uint64_t ySpan = DistanceFrom(maxY, minY) + 1;
  for (Placed& item : placed) {
    const ComponentEntry& entry = entries[item.component];
    item.key = DistanceFrom(entry.x(), minX) * ySpan + DistanceFrom(entry.y(), minY);
  }
  RadixSortByKey(placed, [](const Placed& item) { return item.key; });
}

}  // namespace

size_t RenumberByLibrary(SchematicDocument& document, int initial, int step,
                         const BlockCountLookup& blockCountOf) {
  const std::span<ComponentEntry> entries = document.entries();
  PrefixTable prefixes(initial, step);

  // Power blocks first: the ordinary components of their tags are the only ones a power
  // block can match, so only those are looked at again after numbering.
  std::vector<Placed> powerBlocks;
  TextIds powerTags;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (Classify(entries[i].partName()) == PartKind::PowerBlock) {
      powerBlocks.push_back({0, static_cast<uint32_t>(i), 0, 0, 0, false});
      powerTags.idOf(entries[i].packageTag());
    }
  }

  // Ordinary components with both texts. Those without one are left as they are and can
  // match no power block, so they need no place in the sorted array.
  std::vector<Placed> ordinary;
  ReserveLarge(ordinary, entries.size() - powerBlocks.size());
  TextIds packageIds;
  // Each distinct part name is asked for once; boards repeat a few thousand names.
  TextIds partIds;
  std::vector<int32_t> blockCounts;  // by part id; 0 when no library knows the part
  for (size_t i = 0; i < entries.size(); ++i) {
    const ComponentEntry& entry = entries[i];
    const std::string_view partName = entry.partName();
    if (Classify(partName) != PartKind::Ordinary) {
      continue;
    }
    const std::string_view tag = entry.packageTag();
    const std::string_view reference = entry.reference();
    if (tag.empty() || reference.empty()) {
      continue;
    }
    const uint32_t part = partIds.idOf(partName);
    if (part == blockCounts.size()) {
      const std::optional<int> count = blockCountOf(partName);
      blockCounts.push_back(count ? *count : 0);
    }
    Placed item;
    item.component = static_cast<uint32_t>(i);
    const std::string_view prefix = SplitReference(reference).prefix;
    item.prefix = prefixes.idOf(prefix);
    item.blockCount = blockCounts[part];
    if (item.blockCount > 1) {
      // A package is keyed by tag and prefix: under one tag, an IC and a U (or a U? placed
      // beside U12) are different chips, and each takes its numbers from its own counter.
      item.package = packageIds.idOf(PairKey(tag, prefix));
    }
    item.powerTag = !powerTags.empty() && powerTags.contains(tag);
    ordinary.push_back(item);
  }
  SortByPosition(ordinary, entries);
  SortByPosition(powerBlocks, entries);

  // New numbers and blocks by component, written to the image in file order at the end.
  std::vector<int64_t> numberOf;
  ReserveLarge(numberOf, entries.size());
  numberOf.resize(entries.size(), -1);
  std::vector<int16_t> blockOf;  // -1: the block stays
  ReserveLarge(blockOf, entries.size());
  blockOf.resize(entries.size(), -1);
  std::vector<Package> packages(packageIds.size());
  std::vector<bool> opened(packageIds.size(), false);
  for (const Placed& item : ordinary) {
    int64_t number = 0;
    int block = 0;
    if (item.blockCount > 1) {
      Package& package = packages[item.package];
      if (!opened[item.package]) {
        opened[item.package] = true;
        package = Package{prefixes.next(item.prefix), item.blockCount, 0};
      } else if (package.lastBlock < package.blockCount - 1 &&
                 package.lastBlock < item.blockCount - 1) {
        ++package.lastBlock;
      } else {
        package.number = prefixes.next(item.prefix);
        package.lastBlock = 0;
      }
      number = package.number;
      block = package.lastBlock;
    } else {
      number = prefixes.next(item.prefix);
    }
    numberOf[item.component] = number;
    blockOf[item.component] = static_cast<uint8_t>(block);
  }
  size_t rewritten = ordinary.size();

  if (!powerBlocks.empty()) {
    // What each power block scans for: the ordinary components of the power blocks' tags,
    // with their new references, grouped by tag and the prefix of the new reference.
    TextMap<NumberRun> runs;
    for (size_t i = 0; i < ordinary.size(); ++i) {
      const Placed& item = ordinary[i];
      if (!item.powerTag) {
        continue;
      }
      const std::string reference =
          FormatReference(prefixes.text(item.prefix), numberOf[item.component]);
      const SplitResult split = SplitReference(reference);
      runs[PairKey(entries[item.component].packageTag(), split.prefix)].add(i, split.number);
    }
    for (auto& [key, run] : runs) {
      run.seal();
    }

    TextMap<PowerBlockState> states;
    for (const Placed& item : powerBlocks) {
      const ComponentEntry& component = entries[item.component];
      const std::string_view tag = component.packageTag();
      const std::string_view reference = component.reference();
      if (tag.empty() || reference.empty()) {
        continue;
      }
      const std::string_view prefix = SplitReference(reference).prefix;
      const std::string key = PairKey(tag, prefix);
      PowerBlockState& state = states[key];

      std::optional<size_t> match;
      auto run = runs.find(key);
      if (run != runs.end()) {
        match = run->second.firstAbove(run->second.firstAtOrAfter(state.scanPosition),
                                       state.lastNumber);
      }
      if (match) {
        state.scanPosition = run->second.ordinaryIndex(*match) + 1;
        state.lastNumber = run->second.number(*match);
      } else {
        state.lastNumber = prefixes.next(prefixes.idOf(prefix));
      }
      // Stored with the others below; until then every field keeps its present reference.
      numberOf[item.component] = state.lastNumber;
      ++rewritten;
    }
  }

  // References and blocks are stored in file order, so the image is written front to back.
  for (size_t i = 0; i < entries.size(); ++i) {
    if (numberOf[i] < 0) {
      continue;
    }
    const std::string prefix(SplitReference(entries[i].reference()).prefix);
    StoreReference(FormatReference(prefix, numberOf[i]), entries[i].referenceField());
    if (blockOf[i] >= 0) {
      entries[i].setBlock(static_cast<uint8_t>(blockOf[i]));
    }
  }
  return rewritten;
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
