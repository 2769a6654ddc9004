#include "renumber/duplicate_repair.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <numeric>
#include <string_view>

#include "platform/memory.h"
#include "renumber/block_counts.h"
#include "renumber/part_role.h"
#include "renumber/reference.h"
#include "renumber/reference_groups.h"

namespace kerro {

namespace {

// A package formed among the holders of one reference and one tag.
struct Package {
  std::bitset<256> blocks;
  int count = 0;     // blocks held
  int capacity = 0;  // blocks it may hold; 0 for no limit
  uint32_t former;   // the place of the holder that formed it

  bool takes(uint8_t block) const { return !blocks[block] && (capacity == 0 || count < capacity); }
};

class Placing {
 public:
  Placing(std::span<const ComponentEntry> entries, std::vector<uint32_t> order, size_t unmovable,
          const BlockCountLookup* blockCountOf)
      : entries_(entries),
        order_(std::move(order)),
        unmovable_(unmovable),
        blockCounts_(blockCountOf != nullptr
                         ? std::optional<BlockCounts>(std::in_place, *blockCountOf)
                         : std::nullopt),
        formerOf_(order_.size()),
        forms_(order_.size(), 0) {
    std::iota(formerOf_.begin(), formerOf_.end(), 0u);  // alone with its reference until grouped
  }

  // Groups the holders by reference. Nearly every reference has one holder, which keeps
  // it, so only the holders of a shared reference are placed.
  void placeAll() {
    ReferenceKeys keys;
    keys.reserve(order_.size());
    for (uint32_t place = 0; place < order_.size(); ++place) {
      keys.add(entry(place).reference());
    }
    const auto referenceOf = [this](uint32_t place) { return entry(place).reference(); };
    std::vector<Member> holders;
    ForEachReferenceGroup(
        std::move(keys), referenceOf, false, [&](std::span<const uint32_t> places) {
          holders.clear();
          // One reference can be on every component of a hand-edited board: its holders
          // and packages are given their room at once, not grown to twice what they need.
          holders.reserve(places.size());
          // The holders of a reference lie anywhere on a board. Each one's place, entry and
          // record are fetched a step apart, kAhead holders ahead of reading them, so that
          // the three cache misses of many holders overlap.
          constexpr size_t kAhead = kLookupsInFlight;
          const size_t count = places.size();
          for (size_t i = 0; i < count + 3 * kAhead; ++i) {
            if (i < count) {
              PrefetchForRead(&order_[places[i]]);
            }
            if (i >= kAhead && i - kAhead < count) {
              PrefetchForRead(&entry(places[i - kAhead]));
            }
            if (i >= 2 * kAhead && i - 2 * kAhead < count) {
              // The block and tag lead the record, the part name ends it: at most two lines.
              const uint8_t* const record = entry(places[i - 2 * kAhead]).recordStart();
              PrefetchForRead(record + kBlockOffset);
              PrefetchForRead(record + kComponentRecordSize - 1);
            }
            if (i >= 3 * kAhead) {
              const uint32_t place = places[i - 3 * kAhead];
              holders.emplace_back(place, entry(place).packageTag());
            }
          }
          placeReference(holders);
        });
  }

  // By component: 0, or the number of the package it moves with, numbered in the order of
  // placing.
  std::vector<uint32_t> moves() const {
    std::vector<uint32_t> moves(entries_.size(), 0);
    std::vector<uint32_t> number(order_.size(), 0);
    uint32_t lastMoving = 0;
    for (uint32_t place = 0; place < order_.size(); ++place) {
      if (forms_[place]) {
        number[place] = ++lastMoving;
      }
      // A package's former comes no later than its members.
      moves[order_[place]] = number[formerOf_[place]];
    }
    return moves;
  }

 private:
  const ComponentEntry& entry(uint32_t place) const { return entries_[order_[place]]; }

  // A holder of a shared reference, with its tag read once. `head` holds the tag's first
  // eight bytes, the first one highest, so that comparing heads orders most tags without
  // reading them again; equal heads fall back to the tags themselves.
  struct Member {
    Member(uint32_t placed, std::string_view tagOf) : place(placed), tag(tagOf) {
      for (size_t i = 0; i < sizeof head; ++i) {
        head = head << 8 | (i < tag.size() ? static_cast<uint8_t>(tag[i]) : 0u);
      }
    }
    uint32_t place;
    std::string_view tag;
    uint64_t head = 0;
  };

  // The holders of one reference, in the order of placing: by tag, keeping that order
  // within each. Most are the blocks of one package, of one tag already.
  void placeReference(std::vector<Member>& holders) {
    // The first holder of the reference keeps it, whatever its tag.
    const uint32_t keeper = holders.front().place;
    const auto byTag = [](const Member& a, const Member& b) {
      return a.head != b.head ? a.head < b.head : a.tag < b.tag;
    };
    if (!std::is_sorted(holders.begin(), holders.end(), byTag)) {
      std::stable_sort(holders.begin(), holders.end(), byTag);
    }
    for (size_t first = 0; first < holders.size();) {
      size_t end = first + 1;
      while (end < holders.size() && holders[end].head == holders[first].head &&
             holders[end].tag == holders[first].tag) {
        ++end;
      }
      placeOneTag(std::span(holders).subspan(first, end - first), keeper);
      first = end;
    }
  }

  // Holders of one reference and one tag, in the order of placing: each joins the first
  // package it fits, or forms one.
  void placeOneTag(std::span<const Member> holders, uint32_t keeper) {
    packages_.clear();
    packages_.reserve(holders.size());  // at most one each
    for (const Member& member : holders) {
      const uint32_t place = member.place;
      const ComponentEntry& holder = entry(place);
      const bool power = PartRoleOf(holder.partName()) == PartRole::PowerBlock;
      size_t fits = packages_.size();
      if (power) {
        fits = 0;  // any package of its tag; the first
      } else {
        // Whether a package holds a block, or is full, never changes back, so the search
        // for a block goes on where it last stopped.
        const uint8_t block = holder.block();
        uint32_t& from = firstFree_[block];
        while (from < packages_.size() && !packages_[from].takes(block)) {
          ++from;
        }
        touched_.push_back(block);
        fits = from;
      }
      if (fits < packages_.size()) {
        Package& package = packages_[fits];
        if (!power) {
          package.blocks.set(holder.block());
          ++package.count;
        }
        formerOf_[place] = package.former;
        continue;
      }
      // Made where it stands: a package made on the stack and copied in was read wide just
      // after its narrow writes, which stalled each one.
      Package& package = packages_.emplace_back();
      package.former = place;
      if (!power) {
        package.blocks.set(holder.block());
        package.count = 1;
        package.capacity = capacityOf(holder);
      }
      forms_[place] = place != keeper && place >= unmovable_ ? 1 : 0;
    }
    for (const uint8_t block : touched_) {
      firstFree_[block] = 0;
    }
    touched_.clear();
  }

  int capacityOf(const ComponentEntry& holder) {
    if (!blockCounts_) {
      return 0;
    }
    const int count = blockCounts_->of(holder.partName());
    return count > 1 ? count : 0;
  }

  std::span<const ComponentEntry> entries_;
  std::vector<uint32_t> order_;             // by place: the component
  size_t unmovable_;                        // places below this cannot move
  std::optional<BlockCounts> blockCounts_;  // none: packages hold any number of blocks
  std::vector<uint32_t> formerOf_;          // by place: the place that formed its package
  std::vector<uint8_t> forms_;              // by place: 1 where it formed a package that moves
  std::vector<Package> packages_;           // of the tag being placed
  std::array<uint32_t, 256> firstFree_{};
  std::vector<uint8_t> touched_;
};

}  // namespace

std::vector<uint32_t> FindLaterDuplicates(std::span<const ComponentEntry> entries,
                                          const NumberingControls& controls,
                                          const BlockCountLookup* blockCountOf) {
  std::vector<uint32_t> unmovable;
  std::vector<uint32_t> movable;
  for (uint32_t i = 0; i < entries.size(); ++i) {
    const ComponentEntry& entry = entries[i];
    const std::string_view reference = entry.reference();
    if (reference.empty() || UnnumberedPrefix(reference) ||
        PartRoleOf(entry.partName()) == PartRole::PowerSymbol) {
      continue;
    }
    const bool moves =
        !entry.packageTag().empty() && (controls.locks.empty() || !controls.isLocked(reference));
    (moves ? movable : unmovable).push_back(i);
  }
  const size_t unmovableCount = unmovable.size();
  unmovable.insert(unmovable.end(), movable.begin(), movable.end());
  movable = std::vector<uint32_t>();
  Placing placing(entries, std::move(unmovable), unmovableCount, blockCountOf);
  placing.placeAll();
  return placing.moves();
}

}  // namespace kerro
