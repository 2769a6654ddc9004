#include "renumber/renumber_design.h"

#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "renumber/reference.h"

namespace kerro {

namespace {

constexpr int64_t kSheetWidth = 5000;

enum class Role { Ordinary, PowerSymbol, PowerBlock };

// A part named exactly "VCC", "VDD", "GND", "VEE" or "VSS" is a power symbol; a longer
// name that begins with one of them is a power block. Case matters.
Role RoleOf(std::string_view partName) {
  constexpr std::array<std::string_view, 5> kPowerNames = {"VCC", "VDD", "GND", "VEE", "VSS"};
  for (std::string_view power : kPowerNames) {
    if (partName.starts_with(power)) {
      return partName.size() == power.size() ? Role::PowerSymbol : Role::PowerBlock;
    }
  }
  return Role::Ordinary;
}

// One component of the design.
struct Item {
  ComponentEntry* entry = nullptr;
  uint32_t document = 0;
  int32_t section = 0;  // within its document
  int32_t sheet = 0;    // within the design
  int64_t x = 0;        // 5000 for this sheet and every sheet before it
  int32_t y = 0;
  Role role = Role::Ordinary;
  bool fixed = false;  // keeps its reference and block
};

std::vector<Item> CollectItems(std::span<SchematicDocument* const> design) {
  std::vector<Item> items;
  int32_t sheetsBefore = 0;
  for (uint32_t d = 0; d < design.size(); ++d) {
    SchematicDocument& document = *design[d];
    for (ComponentEntry& entry : document.entries()) {
      Item item;
      item.entry = &entry;
      item.document = d;
      item.section = entry.section();
      item.sheet = sheetsBefore + item.section;
      item.x = entry.x() + kSheetWidth * sheetsBefore;
      item.y = entry.y();
      item.role = RoleOf(entry.partName());
      items.push_back(item);
    }
    sheetsBefore += document.sectionCount();
  }
  return items;
}

// References held or given so far, so that none is given twice. Without a guard it holds
// nothing, which is how the default modes number.
class ReferenceBook {
 public:
  explicit ReferenceBook(bool guard) : guard_(guard) {}

  bool isTaken(const std::string& reference) const { return guard_ && taken_.contains(reference); }
  void take(const std::string& reference) {
    if (guard_) {
      taken_.insert(reference);
    }
  }
  // A component left as it is holds its reference as written and as numbered (R05 holds 5).
  void reserve(std::string_view reference) {
    if (!guard_ || reference.empty()) {
      return;
    }
    taken_.emplace(reference);
    const SplitResult split = SplitReference(reference);
    taken_.insert(FormatReference(split.prefix, split.number));
  }

 private:
  bool guard_;
  std::unordered_set<std::string> taken_;
};

// Where a prefix ran out of numbers: the component that asked, and the range.
struct Shortage {
  size_t item = 0;
  std::string prefix;
  std::optional<std::pair<int64_t, int64_t>> range;
};

// The numbers of each prefix (and sheet, when sheets have ranges): the range's first
// number, then each number a step after the last one given, passing over taken references.
class FreeNumbers {
 public:
  FreeNumbers(const DesignNumbering& numbering, ReferenceBook& book)
      : initial_(numbering.initial),
        step_(numbering.step),
        sheetBase_(numbering.controls.sheetBase),
        book_(book) {}

  int32_t sheetKey(int32_t sheet) const { return sheetBase_ > 0 ? sheet : 0; }

  // The next free number, now taken; nullopt when the range has none left.
  std::optional<int64_t> next(std::string_view prefix, int32_t sheet) {
    const int64_t first = initial_ + (sheetBase_ > 0 ? int64_t{sheet + 1} * sheetBase_ : 0);
    const int64_t end = sheetBase_ > 0 ? first + sheetBase_ : INT64_MAX;
    // Past this span the 8 characters hold no reference that a nearer number did not give.
    const int64_t searchEnd = first + SearchSpan(prefix);
    // Components of one prefix tend to come one after another.
    if (!last_ || last_->first.first != prefix || last_->first.second != sheetKey(sheet)) {
      last_ = &*cursors_.try_emplace({std::string(prefix), sheetKey(sheet)}, first).first;
    }
    int64_t& cursor = last_->second;
    int64_t number = cursor;
    std::string reference = FormatReference(prefix, number);
    while (book_.isTaken(reference) && number < end && number <= searchEnd) {
      number += step_;
      reference = FormatReference(prefix, number);
    }
    if (number >= end || number > searchEnd) {
      return std::nullopt;
    }
    book_.take(reference);
    cursor = number + step_;
    return number;
  }

  std::pair<int64_t, int64_t> rangeOf(int32_t sheet) const {
    const int64_t first = initial_ + int64_t{sheet + 1} * sheetBase_;
    return {first, first + sheetBase_ - 1};
  }
  bool hasRanges() const { return sheetBase_ > 0; }

 private:
  // A number longer than the room after the prefix is cut to its leading digits. From any
  // first number up to 1000 (no sheet ranges), a span of 10^(room + 4) runs through every
  // number of room + 3 digits, where each run of 1000 shares its leading digits and holds
  // at least 50 numbers of a step up to 20: every reference the prefix can have is met.
  static int64_t SearchSpan(std::string_view prefix) {
    const size_t room = kMaxReferenceLength - std::min(prefix.size(), kMaxReferenceLength);
    int64_t span = 10000;
    for (size_t i = 0; i < room; ++i) {
      span *= 10;
    }
    return span;
  }

  int64_t initial_;
  int64_t step_;
  int64_t sheetBase_;
  ReferenceBook& book_;
  std::map<std::pair<std::string, int32_t>, int64_t> cursors_;  // the next number to try
  std::pair<const std::pair<std::string, int32_t>, int64_t>* last_ = nullptr;
};

// What numbering decided for each item, stored only once every item is decided.
struct Decision {
  std::optional<std::string> reference;
  int block = -1;  // -1: the block stays
};

using PackageKey = std::tuple<std::string, std::string, int32_t>;  // tag, prefix, sheet

class DesignNumberer {
 public:
  DesignNumberer(std::vector<Item>& items, const DesignNumbering& numbering, bool guard)
      : items_(items),
        numbering_(numbering),
        controls_(numbering.controls),
        book_(guard),
        series_(numbering, book_),
        decisions_(items.size()) {}

  std::optional<Shortage> number(const BlockCountLookup& blockCountOf);
  void store();

 private:
  void markFixed();
  std::optional<Shortage> numberPlainGroups();
  std::optional<Shortage> numberEachUnnumbered();
  std::vector<size_t> sortedByOrder(Role role) const;
  int blockCountOf(size_t item);
  std::optional<Shortage> numberOrdinary(const std::vector<size_t>& ordinary);
  std::optional<Shortage> numberOrdinaryKept(const std::vector<size_t>& ordinary);
  void collectKeptPackages(const std::vector<size_t>& ordinary);
  bool completePackage(size_t item, std::map<size_t, size_t>& candidates, int blockCount);
  std::optional<Shortage> numberPowerBlocks(const std::vector<size_t>& ordinary,
                                            const std::vector<size_t>& power);
  std::optional<Shortage> numberPowerBlocksKept(const std::vector<size_t>& ordinary,
                                                const std::vector<size_t>& power);
  std::optional<int64_t> next(std::string_view prefix, size_t item, Shortage& shortage);
  std::string currentReference(size_t item) const;
  std::string_view tagOf(size_t item) const { return items_[item].entry->packageTag(); }
  std::string_view referenceOf(size_t item) const { return items_[item].entry->reference(); }
  int32_t sheetKeyOf(size_t item) const { return series_.sheetKey(items_[item].sheet); }

  std::vector<Item>& items_;
  const DesignNumbering& numbering_;
  const NumberingControls& controls_;
  ReferenceBook book_;
  FreeNumbers series_;
  std::vector<Decision> decisions_;
  const BlockCountLookup* lookup_ = nullptr;
  std::unordered_map<std::string, int> blockCounts_;

  // With numbers kept: the packages, and by tag, prefix and sheet those that may have a
  // free block, keyed by the position of their first block in numbering order.
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
  std::vector<KeptPackage> keptPackages_;
  std::map<PackageKey, std::map<size_t, size_t>> openPackages_;
};

void DesignNumberer::markFixed() {
  const bool plain = numbering_.mode == NumberingMode::Plain;
  for (Item& item : items_) {
    const std::string_view reference = item.entry->reference();
    const bool skipped = reference.empty() || item.entry->packageTag().empty() ||
                         (!plain && item.role == Role::PowerSymbol);
    item.fixed = skipped || controls_.isLocked(reference) ||
                 (controls_.keep && !UnnumberedPrefix(reference));
    if (item.fixed) {
      book_.reserve(reference);
    }
  }
}

std::optional<int64_t> DesignNumberer::next(std::string_view prefix, size_t item,
                                            Shortage& shortage) {
  std::optional<int64_t> number = series_.next(prefix, items_[item].sheet);
  if (!number) {
    shortage.item = item;
    shortage.prefix = std::string(prefix);
    if (series_.hasRanges()) {
      shortage.range = series_.rangeOf(items_[item].sheet);
    }
  }
  return number;
}

std::string DesignNumberer::currentReference(size_t item) const {
  const std::optional<std::string>& decided = decisions_[item].reference;
  return decided ? *decided : std::string(referenceOf(item));
}

std::optional<Shortage> DesignNumberer::number(const BlockCountLookup& blockCountOf) {
  lookup_ = &blockCountOf;
  markFixed();
  if (numbering_.mode == NumberingMode::Plain) {
    return controls_.keep ? numberEachUnnumbered() : numberPlainGroups();
  }
  const std::vector<size_t> ordinary = sortedByOrder(Role::Ordinary);
  const std::vector<size_t> power = sortedByOrder(Role::PowerBlock);
  std::optional<Shortage> shortage =
      controls_.keep ? numberOrdinaryKept(ordinary) : numberOrdinary(ordinary);
  if (shortage) {
    return shortage;
  }
  return controls_.keep ? numberPowerBlocksKept(ordinary, power)
                        : numberPowerBlocks(ordinary, power);
}

void DesignNumberer::store() {
  for (size_t i = 0; i < items_.size(); ++i) {
    const Decision& decision = decisions_[i];
    if (decision.reference) {
      StoreReference(*decision.reference, items_[i].entry->referenceField());
    }
    if (decision.block >= 0) {
      items_[i].entry->setBlock(static_cast<uint8_t>(decision.block));
    }
  }
}

// Plain numbering: the components that share a present reference form one group; the
// groups of a prefix are numbered in the order of their present numbers, each on the
// sheet where it first appears.
std::optional<Shortage> DesignNumberer::numberPlainGroups() {
  std::map<std::pair<std::string, int64_t>, std::vector<size_t>> groups;
  for (size_t i = 0; i < items_.size(); ++i) {
    if (!items_[i].fixed) {
      const SplitResult split = SplitReference(referenceOf(i));
      groups[{std::string(split.prefix), split.number}].push_back(i);
    }
  }
  Shortage shortage;
  for (const auto& [key, members] : groups) {
    const std::optional<int64_t> number = next(key.first, members.front(), shortage);
    if (!number) {
      return shortage;
    }
    const std::string reference = FormatReference(key.first, *number);
    for (size_t member : members) {
      decisions_[member].reference = reference;
    }
  }
  return std::nullopt;
}

// With numbers kept: each unnumbered component, in file order, takes the lowest free
// number of its prefix.
std::optional<Shortage> DesignNumberer::numberEachUnnumbered() {
  Shortage shortage;
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].fixed) {
      continue;
    }
    const std::string_view prefix = *UnnumberedPrefix(referenceOf(i));
    const std::optional<int64_t> number = next(prefix, i, shortage);
    if (!number) {
      return shortage;
    }
    decisions_[i].reference = FormatReference(prefix, *number);
  }
  return std::nullopt;
}

// The items of one role that have a tag and a reference, in numbering order; items at one
// position stay in file order.
std::vector<size_t> DesignNumberer::sortedByOrder(Role role) const {
  std::vector<size_t> sorted;
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].role == role && !tagOf(i).empty() && !referenceOf(i).empty()) {
      sorted.push_back(i);
    }
  }
  const bool rows = controls_.order == NumberingOrder::Rows;
  std::stable_sort(sorted.begin(), sorted.end(), [&](size_t a, size_t b) {
    const Item& p = items_[a];
    const Item& q = items_[b];
    if (rows) {
      return std::tie(p.sheet, p.y, p.x) < std::tie(q.sheet, q.y, q.x);
    }
    return std::tie(p.x, p.y) < std::tie(q.x, q.y);
  });
  return sorted;
}

int DesignNumberer::blockCountOf(size_t item) {
  const std::string_view partName = items_[item].entry->partName();
  auto [known, added] = blockCounts_.try_emplace(std::string(partName), 0);
  if (added) {
    const std::optional<int> count = (*lookup_)(partName);
    known->second = count.value_or(0);
  }
  return known->second;
}

// Library-guided numbering of the ordinary components: the blocks of a multi-block part
// fill packages of their tag and prefix (and sheet) in order, the others take a number each.
std::optional<Shortage> DesignNumberer::numberOrdinary(const std::vector<size_t>& ordinary) {
  struct Package {
    int64_t number = 0;
    int blockCount = 0;
    int lastBlock = 0;
  };
  std::map<PackageKey, Package> packages;
  Shortage shortage;
  for (size_t i : ordinary) {
    if (items_[i].fixed) {
      continue;
    }
    const std::string_view prefix = SplitReference(referenceOf(i)).prefix;
    const int count = blockCountOf(i);
    int block = 0;
    std::optional<int64_t> number;
    if (count > 1) {
      auto [package, opened] = packages.try_emplace(
          PackageKey{std::string(tagOf(i)), std::string(prefix), sheetKeyOf(i)});
      Package& p = package->second;
      if (!opened && p.lastBlock < p.blockCount - 1 && p.lastBlock < count - 1) {
        number = p.number;
        block = ++p.lastBlock;
      } else {
        number = next(prefix, i, shortage);
        p = Package{number.value_or(0), opened ? count : p.blockCount, 0};
      }
    } else {
      number = next(prefix, i, shortage);
    }
    if (!number) {
      return shortage;
    }
    decisions_[i] = {FormatReference(prefix, *number), block};
  }
  return std::nullopt;
}

// Each power block takes the next package of its tag and prefix (and sheet) whose number
// is above the one it took last, scanning on from after its last match; if there is none,
// the next number of the prefix.
std::optional<Shortage> DesignNumberer::numberPowerBlocks(const std::vector<size_t>& ordinary,
                                                          const std::vector<size_t>& power) {
  // Only the ordinary components of the power blocks' tags can be matched.
  std::unordered_set<std::string_view> powerTags;
  for (size_t i : power) {
    if (!items_[i].fixed) {
      powerTags.insert(tagOf(i));
    }
  }
  std::map<PackageKey, std::vector<int64_t>> runs;  // numbers in numbering order
  for (size_t i : ordinary) {
    if (!powerTags.contains(tagOf(i))) {
      continue;
    }
    const std::string reference = currentReference(i);
    const SplitResult split = SplitReference(reference);
    runs[{std::string(tagOf(i)), std::string(split.prefix), sheetKeyOf(i)}].push_back(split.number);
  }
  struct Scan {
    int64_t lastNumber = 0;
    size_t position = 0;  // in the run
  };
  std::map<PackageKey, Scan> scans;
  Shortage shortage;
  for (size_t i : power) {
    if (items_[i].fixed) {
      continue;
    }
    const std::string_view prefix = SplitReference(referenceOf(i)).prefix;
    const PackageKey key{std::string(tagOf(i)), std::string(prefix), sheetKeyOf(i)};
    Scan& scan = scans[key];
    const std::vector<int64_t>& run = runs[key];
    auto match = std::find_if(run.begin() + static_cast<ptrdiff_t>(scan.position), run.end(),
                              [&](int64_t number) { return number > scan.lastNumber; });
    if (match != run.end()) {
      scan.position = static_cast<size_t>(match - run.begin()) + 1;
      scan.lastNumber = *match;
    } else {
      const std::optional<int64_t> number = next(prefix, i, shortage);
      if (!number) {
        return shortage;
      }
      scan.lastNumber = *number;
    }
    decisions_[i].reference = FormatReference(prefix, scan.lastNumber);
  }
  return std::nullopt;
}

// With numbers kept: the numbered components of a tag and reference form the packages
// that are there, open to new blocks in the order of their first blocks.
void DesignNumberer::collectKeptPackages(const std::vector<size_t>& ordinary) {
  std::map<std::pair<std::string, std::string>, size_t> byReference;  // tag, reference
  for (size_t rank = 0; rank < ordinary.size(); ++rank) {
    const size_t i = ordinary[rank];
    const std::string reference(referenceOf(i));
    if (!items_[i].fixed || UnnumberedPrefix(reference)) {
      continue;
    }
    auto [known, added] =
        byReference.try_emplace({std::string(tagOf(i)), reference}, keptPackages_.size());
    if (added) {
      keptPackages_.push_back({reference, blockCountOf(i), {}});
      const std::string prefix(SplitReference(reference).prefix);
      openPackages_[{std::string(tagOf(i)), prefix, sheetKeyOf(i)}][rank] = known->second;
    }
    keptPackages_[known->second].usedBlocks.insert(items_[i].entry->block());
  }
}

// The lowest free block, below both block counts, of the first open package that has one.
bool DesignNumberer::completePackage(size_t item, std::map<size_t, size_t>& candidates,
                                     int blockCount) {
  for (auto it = candidates.begin(); it != candidates.end();) {
    KeptPackage& package = keptPackages_[it->second];
    const int limit = std::min(package.blockCount, blockCount);
    std::optional<int> free;
    for (int block = 0; block < limit && !free; ++block) {
      if (package.usedBlocks.insert(block).second) {
        free = block;
      }
    }
    it = package.full() ? candidates.erase(it) : std::next(it);
    if (free) {
      decisions_[item] = {package.reference, *free};
      return true;
    }
  }
  return false;
}

// With numbers kept: an unnumbered block of a multi-block part completes a package of its
// tag and prefix that is there, or opens a new one with the next free number; other
// unnumbered parts take a number each.
std::optional<Shortage> DesignNumberer::numberOrdinaryKept(const std::vector<size_t>& ordinary) {
  collectKeptPackages(ordinary);
  Shortage shortage;
  for (size_t rank = 0; rank < ordinary.size(); ++rank) {
    const size_t i = ordinary[rank];
    if (items_[i].fixed) {
      continue;
    }
    const std::string_view prefix = *UnnumberedPrefix(referenceOf(i));
    const int count = blockCountOf(i);
    std::map<size_t, size_t>& candidates =
        openPackages_[{std::string(tagOf(i)), std::string(prefix), sheetKeyOf(i)}];
    if (count > 1 && completePackage(i, candidates, count)) {
      continue;
    }
    const std::optional<int64_t> number = next(prefix, i, shortage);
    if (!number) {
      return shortage;
    }
    decisions_[i] = {FormatReference(prefix, *number), 0};
    if (count > 1) {
      keptPackages_.push_back({*decisions_[i].reference, count, {0}});
      candidates[rank] = keptPackages_.size() - 1;
    }
  }
  return std::nullopt;
}

// With numbers kept: each unnumbered power block takes the first package (by its first
// block) of its tag and prefix that has no power block yet, or the next free number.
std::optional<Shortage> DesignNumberer::numberPowerBlocksKept(const std::vector<size_t>& ordinary,
                                                              const std::vector<size_t>& power) {
  using TagAndReference = std::pair<std::string, std::string>;
  std::map<PackageKey, std::vector<std::string>> packages;
  std::set<TagAndReference> seen;
  for (size_t i : ordinary) {
    const std::string reference = currentReference(i);
    if (!UnnumberedPrefix(reference) && seen.insert({std::string(tagOf(i)), reference}).second) {
      const std::string prefix(SplitReference(reference).prefix);
      packages[{std::string(tagOf(i)), prefix, sheetKeyOf(i)}].push_back(reference);
    }
  }
  std::set<TagAndReference> served;
  for (size_t i : power) {
    if (items_[i].fixed) {
      served.insert({std::string(tagOf(i)), std::string(referenceOf(i))});
    }
  }
  std::map<PackageKey, size_t> positions;
  Shortage shortage;
  for (size_t i : power) {
    if (items_[i].fixed) {
      continue;
    }
    const std::string tag(tagOf(i));
    const std::string_view prefix = *UnnumberedPrefix(referenceOf(i));
    const PackageKey key{tag, std::string(prefix), sheetKeyOf(i)};
    const std::vector<std::string>& list = packages[key];
    size_t& position = positions[key];
    while (position < list.size() && served.contains({tag, list[position]})) {
      ++position;
    }
    std::string reference;
    if (position < list.size()) {
      reference = list[position++];
    } else {
      const std::optional<int64_t> number = next(prefix, i, shortage);
      if (!number) {
        return shortage;
      }
      reference = FormatReference(prefix, *number);
    }
    served.insert({tag, reference});
    decisions_[i].reference = reference;
  }
  return std::nullopt;
}

}  // namespace

std::optional<NumberShortage> RenumberDesign(std::span<SchematicDocument* const> design,
                                             const DesignNumbering& numbering,
                                             const BlockCountLookup& blockCountOf) {
  std::vector<Item> items = CollectItems(design);
  const bool guard = numbering.controls.any() || design.size() > 1;
  DesignNumberer numberer(items, numbering, guard);
  if (const std::optional<Shortage> shortage = numberer.number(blockCountOf)) {
    const Item& item = items[shortage->item];
    return NumberShortage{item.document, item.section, item.sheet, shortage->prefix,
                          shortage->range};
  }
  numberer.store();
  return std::nullopt;
}

}  // namespace kerro
