#pragma once
// Ways to steer numbering beyond the initial value and the step: keep the numbers that are
// there and number only new parts, lock chosen references, give each sheet a range of its
// own, and order library-guided numbering along rows. Off by default; with none of them
// on, numbering is exactly that of the plain and library-guided modes.

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/memory.h"
#include "schematic/schematic_format.h"

namespace kerro {

enum class NumberingOrder {
  Columns,  // by x, the sheets one after another, then by y
  Rows,     // by sheet, then by y, then by x
};

// A sheet base keeps the numbers of a sheet below 8 characters even for a few hundred
// sheets.
inline constexpr int kMinSheetBase = 1;
inline constexpr int kMaxSheetBase = 100000;

// Where --keep and --fix-duplicates put the numbers they give.
enum class NewNumberPlace {
  Fill,   // the lowest free number
  After,  // above every number the prefix holds in the design
};

// The places of a board's parts, by present reference, byte for byte. A component's
// reference holds at most 8 characters, so a longer one in a placement file has a place
// that no component finds.
class BoardPlaces {
 public:
  // A reference as the table keys it: its bytes in one word and its length, which together
  // tell apart every reference of at most kReferenceCapacity characters. A longer one has
  // its length cut at 255 and is never found.
  struct Key {
    uint64_t word = 0;
    uint32_t hash = 0;
    // At most 255. Held in a whole word, so that the key has no padding and is copied in
    // two whole words: copied as its 13 bytes, through two overlapping loads, its copy
    // stalled after each KeyOf.
    uint32_t length = 0;
  };
  static Key KeyOf(std::string_view reference);

  // Gives each of `references`, in order, the next place (0, 1 ...); a reference met again
  // keeps its first place. The lookups of a batch are started together: on a board of a
  // million parts each one misses the cache.
  void addInOrder(std::span<const Key> references);
  void reserve(size_t count) { growTo(count); }
  uint32_t size() const { return count_; }  // places given
  std::optional<uint32_t> placeOf(std::string_view reference) const {
    return placeOf(KeyOf(reference));
  }
  // The same for a key made by KeyOf, for a caller that has started the look-up with
  // `prefetch`. A slot holds the whole key and the place, so a look-up reads one slot.
  std::optional<uint32_t> placeOf(const Key& key) const {
    if (slots_.empty() || key.length > kReferenceCapacity) {
      return std::nullopt;
    }
    const Slot& slot = slots_[slotOf(key)];
    return slot.placePlusOne == 0 ? std::nullopt : std::optional<uint32_t>(slot.placePlusOne - 1);
  }
  void prefetch(const Key& key) const {
    if (!slots_.empty()) {
      PrefetchForRead(&slots_[key.hash & (slots_.size() - 1)]);
    }
  }
  // Calls `visit(i, place)` for each i below `count`, in order, with the place of the
  // reference `referenceOf(i)` (none when it has none). The look-ups of a batch are
  // started together, as in addInOrder.
  template <typename ReferenceOf, typename Visit>
  void forEachPlace(size_t count, const ReferenceOf& referenceOf, const Visit& visit) const {
    std::array<Key, kBatch> keys;
    for (size_t first = 0; first < count; first += kBatch) {
      const size_t batch = std::min(kBatch, count - first);
      for (size_t i = 0; i < batch; ++i) {
        keys[i] = KeyOf(referenceOf(first + i));
        prefetch(keys[i]);
      }
      for (size_t i = 0; i < batch; ++i) {
        visit(first + i, placeOf(keys[i]));
      }
    }
  }

 private:
  // Look-ups started together: on a board of a million parts each one misses the cache.
  static constexpr size_t kBatch = kLookupsInFlight;

  struct Slot {
    uint64_t word = 0;
    uint32_t placePlusOne = 0;  // 0 marks an empty slot
    uint8_t length = 0;
  };

  // The slot holding `key`, or the empty slot where it belongs.
  size_t slotOf(const Key& key) const {
    const size_t mask = slots_.size() - 1;
    for (size_t at = key.hash & mask;; at = (at + 1) & mask) {
      const Slot& slot = slots_[at];
      if (slot.placePlusOne == 0 || (slot.word == key.word && slot.length == key.length)) {
        return at;
      }
    }
  }
  // Room for `count` references in all, at most half the slots full.
  void growTo(size_t count);

  std::vector<Slot> slots_;
  size_t held_ = 0;  // references in the table
  uint32_t count_ = 0;
};

// Numbering by position on the board (kerro-cli --by-board), for plain numbering: each
// placed reference has its place in the board's order, the top side's places before the
// bottom's. Components whose reference has no place keep it, and it is taken.
struct BoardOrder {
  BoardPlaces places;
  // Places below this are on the top side.
  uint32_t topCount = 0;
  // Above 0: the bottom side's numbers of each prefix start here (or, where the top side
  // has come that far already, at the first free number after the top's).
  int64_t bottomStart = 0;
};

struct NumberingControls {
  // Numbered components keep their reference and block; only unnumbered ones (R, R?, U?)
  // are given numbers, the lowest free ones.
  bool keep = false;
  // Components whose reference matches one of these patterns keep their reference and
  // block, and their numbers are given to no other component.
  std::vector<std::string> locks;
  // Above 0: the numbers of sheet k (from 1, across the design) start at
  // k * sheetBase + initial and stay below the next sheet's start.
  int sheetBase = 0;
  // Library-guided numbering only.
  NumberingOrder order = NumberingOrder::Columns;
  // Every reference and block stays, but where components that cannot be blocks of one
  // package share a reference: the first holder keeps it, every other package of holders
  // takes a new number (see duplicate_repair.h). Unnumbered ones are numbered as with keep.
  bool fixDuplicates = false;
  // With keep or fixDuplicates.
  NewNumberPlace newNumbers = NewNumberPlace::Fill;
  // Plain numbering only: the order of the board, in place of the present numbers.
  std::shared_ptr<const BoardOrder> board;

  // True when some control differs from the default numbering.
  bool any() const;
  bool isLocked(std::string_view reference) const;
  // Whether a component of this reference keeps it and its block: locked, or numbered and
  // kept (which fixDuplicates does too, but for the duplicates it repairs).
  bool leavesAlone(std::string_view reference) const;
  // Numbered components keep their references: keep or fixDuplicates.
  bool keepsNumbered() const { return keep || fixDuplicates; }
};

// Whether `text` matches `pattern`, where "*" stands for any run of characters (none too)
// and "?" for exactly one, as in file names. Every other character stands for itself, case
// included.
bool MatchesPattern(std::string_view pattern, std::string_view text);

}  // namespace kerro
