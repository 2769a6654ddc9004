#include "renumber/renumber_by_library.h"

#include <algorithm>
#include <array>
#include <unordered_map>
#include <vector>

#include "library/library_set.h"
#include "platform/text_compare.h"
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

// The last number given to each prefix, shared by ordinary components and power blocks.
class PrefixCounters {
 public:
  PrefixCounters(int initial, int step) : initial_(initial), step_(step) {}

  int64_t next(std::string_view prefix) {
    auto it = last_.find(prefix);
    if (it == last_.end()) {
      last_.emplace(std::string(prefix), initial_);
      return initial_;
    }
    it->second += step_;
    return it->second;
  }

 private:
  int64_t initial_;
  int64_t step_;
  TextMap<int64_t> last_;
};

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

void SortByPosition(std::vector<ComponentEntry*>& components) {
  // Components at the same point keep their file order, so a run is reproducible.
  std::stable_sort(components.begin(), components.end(),
                   [](const ComponentEntry* a, const ComponentEntry* b) {
                     return a->x() != b->x() ? a->x() < b->x() : a->y() < b->y();
                   });
}

}  // namespace

size_t RenumberByLibrary(SchematicDocument& document, int initial, int step,
                         const BlockCountLookup& blockCountOf) {
  std::vector<ComponentEntry*> ordinary;
  std::vector<ComponentEntry*> powerBlocks;
  for (ComponentEntry& component : document.entries()) {
    switch (Classify(component.partName())) {
      case PartKind::Ordinary:
        ordinary.push_back(&component);
        break;
      case PartKind::PowerBlock:
        powerBlocks.push_back(&component);
        break;
      case PartKind::PowerSymbol:
        break;
    }
  }
  SortByPosition(ordinary);
  SortByPosition(powerBlocks);

  PrefixCounters counters(initial, step);
  TextMap<Package> packages;
  size_t rewritten = 0;

  for (ComponentEntry* component : ordinary) {
    const std::string_view tag = component->packageTag();
    const std::string_view reference = component->reference();
    if (tag.empty() || reference.empty()) {
      continue;
    }
    // The prefix views the reference field, which StoreReference rewrites: copy it.
    const std::string prefix(SplitReference(reference).prefix);
    const std::optional<int> blockCount = blockCountOf(component->partName());
    int64_t number = 0;
    int block = 0;
    if (blockCount && *blockCount > 1) {
      auto it = packages.find(tag);
      if (it == packages.end()) {
        number = counters.next(prefix);
        packages.emplace(std::string(tag), Package{number, *blockCount, 0});
      } else {
        Package& package = it->second;
        if (package.lastBlock < package.blockCount - 1 && package.lastBlock < *blockCount - 1) {
          ++package.lastBlock;
        } else {
          package.number = counters.next(prefix);
          package.lastBlock = 0;
        }
        number = package.number;
        block = package.lastBlock;
      }
    } else {
      number = counters.next(prefix);
    }
    StoreReference(FormatReference(prefix, number), component->referenceField());
    component->setBlock(static_cast<uint8_t>(block));
    ++rewritten;
  }

  if (powerBlocks.empty()) {
    return rewritten;
  }

  // What each power block scans for: the ordinary components, now renumbered, grouped by
  // tag and the prefix of their new reference.
  TextMap<NumberRun> runs;
  for (size_t i = 0; i < ordinary.size(); ++i) {
    const std::string_view tag = ordinary[i]->packageTag();
    const std::string_view reference = ordinary[i]->reference();
    if (tag.empty() || reference.empty()) {
      continue;
    }
    const SplitResult split = SplitReference(reference);
    runs[PairKey(tag, split.prefix)].add(i, split.number);
  }
  for (auto& [key, run] : runs) {
    run.seal();
  }

  TextMap<PowerBlockState> states;
  for (ComponentEntry* component : powerBlocks) {
    const std::string_view tag = component->packageTag();
    const std::string_view reference = component->reference();
    if (tag.empty() || reference.empty()) {
      continue;
    }
    const std::string prefix(SplitReference(reference).prefix);
    const std::string key = PairKey(tag, prefix);
    PowerBlockState& state = states[key];

    std::optional<size_t> match;
    auto run = runs.find(key);
    if (run != runs.end()) {
      match =
          run->second.firstAbove(run->second.firstAtOrAfter(state.scanPosition), state.lastNumber);
    }
    if (match) {
      state.scanPosition = run->second.ordinaryIndex(*match) + 1;
      state.lastNumber = run->second.number(*match);
    } else {
      state.lastNumber = counters.next(prefix);
    }
    StoreReference(FormatReference(prefix, state.lastNumber), component->referenceField());
    ++rewritten;
  }
  return rewritten;
}

size_t RenumberByLibrary(SchematicDocument& document, int initial, int step,
                         const std::string& path, FileSystem& fileSystem,
                         const LibraryErrorHandler& onLibraryError) {
  if (document.entries().empty()) {
    return 0;
  }
  LibrarySet libraries(onLibraryError, fileSystem);
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
