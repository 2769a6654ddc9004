#include "renumber/duplicate_repair.h"

#include <algorithm>
#include <set>
#include <string_view>
#include <unordered_map>

#include "renumber/part_role.h"
#include "renumber/reference.h"

namespace kerro {

namespace {

// One package among the holders of a reference.
struct HolderPackage {
  std::string_view tag;
  std::set<int> blocks;
  int capacity = 0;    // blocks it may hold; 0 for no limit
  uint32_t moves = 0;  // 0 for the package that keeps the reference
};

class Holders {
 public:
  Holders(std::span<const ComponentEntry> entries, const BlockCountLookup* blockCountOf)
      : entries_(entries), blockCountOf_(blockCountOf) {}

  // Places component `index` into a package of its reference; returns the package's number
  // (0: it keeps the reference). `movable` is false for one that cannot be renumbered.
  uint32_t place(uint32_t index, bool movable, uint32_t& lastMoving) {
    const ComponentEntry& entry = entries_[index];
    std::vector<HolderPackage>& packages = byReference_[entry.reference()];
    const bool power = PartRoleOf(entry.partName()) == PartRole::PowerBlock;
    for (HolderPackage& package : packages) {
      if (package.tag != entry.packageTag()) {
        continue;
      }
      if (power) {
        return package.moves;
      }
      const bool full =
          package.capacity > 0 && static_cast<int>(package.blocks.size()) >= package.capacity;
      if (!full && package.blocks.insert(entry.block()).second) {
        return package.moves;
      }
    }
    // A package of its own: kept when it is the first, or when it cannot move.
    HolderPackage package{entry.packageTag(), {}, 0, 0};
    if (!power) {
      package.blocks.insert(entry.block());
      package.capacity = capacityOf(entry);
    }
    if (!packages.empty() && movable) {
      package.moves = ++lastMoving;
    }
    packages.push_back(package);
    return package.moves;
  }

 private:
  int capacityOf(const ComponentEntry& entry) const {
    if (blockCountOf_ == nullptr) {
      return 0;
    }
    const std::optional<int> count = (*blockCountOf_)(entry.partName());
    return count && *count > 1 ? *count : 0;
  }

  std::span<const ComponentEntry> entries_;
  const BlockCountLookup* blockCountOf_;
  std::unordered_map<std::string_view, std::vector<HolderPackage>> byReference_;
};

}  // namespace

std::vector<uint32_t> FindLaterDuplicates(std::span<const ComponentEntry> entries,
                                          const NumberingControls& controls,
                                          const BlockCountLookup* blockCountOf) {
  std::vector<uint32_t> moves(entries.size(), 0);
  std::vector<uint32_t> holders;
  std::vector<uint32_t> fixedFirst;
  for (uint32_t i = 0; i < entries.size(); ++i) {
    const ComponentEntry& entry = entries[i];
    const std::string_view reference = entry.reference();
    if (reference.empty() || UnnumberedPrefix(reference) ||
        PartRoleOf(entry.partName()) == PartRole::PowerSymbol) {
      continue;
    }
    const bool movable =
        !entry.packageTag().empty() && (controls.locks.empty() || !controls.isLocked(reference));
    (movable ? holders : fixedFirst).push_back(i);
  }
  Holders packages(entries, blockCountOf);
  uint32_t lastMoving = 0;
  for (const uint32_t i : fixedFirst) {
    packages.place(i, false, lastMoving);
  }
  for (const uint32_t i : holders) {
    moves[i] = packages.place(i, true, lastMoving);
  }
  return moves;
}

}  // namespace kerro
