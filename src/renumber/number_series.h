#pragma once
// Where every numbering step takes a new number for a prefix: the guarded series.
//
// Each prefix (and, with sheet ranges, each prefix on each sheet) has its series: the
// first number, then each number a step after the last one tried. A number whose reference
// is taken is passed over, and the next step is tried:
// - the references of the components a run leaves as they are are taken from the start,
//   as written and as numbered (R05 takes R05 and R5; see TakenReferences);
// - every reference the series gives becomes taken. Distinct numbers give distinct
//   references until the 8-character cut: ABCDEFG10 is stored as ABCDEFG1, which an earlier
//   number gave already.
// A prefix runs out when no free reference turns up within 10^(4 + room) numbers of its
// first number (room: the characters a reference has after the prefix), or when a sheet's
// range is used up. Past that span the cut gives only references a nearer number gave.
//
// References are compared as a prefix id and the number a stored reference shows, so no
// text is built; a number without a cut is checked with one look-up, and only then when
// some reference is taken. Passing over a cut number skips every number that the cut makes
// the same reference, so that no board, however many references it takes, makes the
// search slow.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/memory.h"
#include "renumber/numbering.h"
#include "renumber/prefix_table.h"
#include "schematic/schematic_document.h"

namespace kerro {

// A set of references, each as a prefix id and the number it shows: open addressing over
// one array of keys, for boards that leave a million parts as they are.
class TakenReferences {
 public:
  void insert(uint32_t prefix, int64_t number);
  // Room for `count` references without growing.
  void reserve(size_t count);
  bool contains(uint32_t prefix, int64_t number) const;
  bool empty() const { return count_ == 0; }
  // Starts fetching where insert or contains will look for the reference; with room
  // reserved, a batch of inserts so overlaps its cache misses.
  void prefetch(uint32_t prefix, int64_t number) const;

 private:
  static uint64_t KeyOf(uint32_t prefix, int64_t number) {
    // Numbers a reference shows have at most 7 digits; key 0 marks an empty slot.
    return ((uint64_t{prefix} << 32) | static_cast<uint32_t>(number)) + 1;
  }
  size_t slotOf(uint64_t key) const;
  void grow();

  std::vector<uint64_t> slots_;  // a power of two, at most half full
  size_t count_ = 0;
};

// The references of the components a run leaves as they are, each as written and as
// numbered; only prefixes that the run numbers can meet them.
TakenReferences TakeAll(std::span<const std::string_view> references, const PrefixTable& prefixes);

// A prefix that ran out: the component that asked, and the range it asked in when sheets
// have ranges.
struct SeriesShortage {
  uint32_t component = 0;
  uint32_t prefix = 0;
  std::optional<std::pair<int64_t, int64_t>> range;  // first and last number
};

// The highest number each prefix id holds among `references` (0 for none).
std::vector<int64_t> HighestHeld(std::span<const std::string_view> references,
                                 const PrefixTable& prefixes);

// The shortage as the job reports it: the component's section, and its sheet.
NumberShortage ShortageAt(std::span<const ComponentEntry> entries,
                          std::span<const uint32_t> sheetOf, const SeriesShortage& shortage,
                          std::string_view prefix);

class NumberSeries {
 public:
  // `sheetOf` gives each component's sheet (from 0) when `sheetBase` is above 0: sheet k
  // then numbers from (k + 1) * sheetBase + initial, below the next sheet's first number.
  NumberSeries(int initial, int step, int sheetBase, const PrefixTable& prefixes,
               TakenReferences taken, std::span<const uint32_t> sheetOf = {});

  // New numbers above these (by prefix id; --new-numbers after): each series starts at
  // the first number of its progression above the prefix's.
  void startAbove(std::vector<int64_t> highest) { highest_ = std::move(highest); }

  // Without sheet ranges and new numbers after the highest: the series of prefix id
  // `prefix` goes on from `number` (a step apart from there), unless it has given numbers
  // that far already. Every number it gave stays taken.
  void restartAt(uint32_t prefix, int64_t number);

  // The next free number of prefix id `prefix` for component `component` (an index into
  // the board's entries), now taken; 0 when the prefix has run out (see shortage()).
  int64_t next(uint32_t prefix, uint32_t component) {
    const int64_t number = nextWithoutPassingOver(prefix);
    return number != 0 ? number : nextPassingOver(prefix, component);
  }

  // The next number of prefix id `prefix` when it needs no more than this: one series per
  // prefix, no cut, nothing taken (most numbers); else 0, and nothing changes, so that
  // next() then finds it. A caller whose component is costly to fetch tries this first.
  int64_t nextWithoutPassingOver(uint32_t prefix) {
    if (sheetBase_ == 0 && highest_.empty()) {
      Series& series = byPrefix_[prefix];
      const int64_t number = series.cursor;
      if (number < limit_[prefix] && (taken_.empty() || !taken_.contains(prefix, number))) {
        series.cursor = number + step_;
        return number;
      }
    }
    return 0;
  }

  // Whether next() reads the component's sheet for every number (sheet ranges): a caller
  // walking components in random order then fetches them ahead.
  bool readsSheets() const { return sheetBase_ > 0; }
  void prefetchSheetOf(uint32_t component) const { PrefetchForRead(&sheetOf_[component]); }

  // Set by the first request that found no number.
  const std::optional<SeriesShortage>& shortage() const { return shortage_; }

 private:
  struct Series {
    int64_t first = 0;
    int64_t cursor = 0;  // the next number to try
    int64_t end = 0;     // the first number past the range
  };

  Series& seriesOf(uint32_t prefix, uint32_t sheet);
  const Series* findSeries(uint32_t prefix, uint32_t sheet) const;
  bool isTaken(uint32_t prefix, int64_t number, int room) const;
  bool givenBeforeTheCut(uint32_t prefix, int64_t shown) const;
  int64_t nextPassingOver(uint32_t prefix, uint32_t component);

  int64_t initial_;
  int64_t step_;
  int64_t sheetBase_;
  std::vector<uint8_t> room_;   // by prefix id
  std::vector<int64_t> limit_;  // by prefix id: the first number that is cut
  TakenReferences taken_;
  std::span<const uint32_t> sheetOf_;
  std::vector<Series> byPrefix_;  // without sheet ranges
  std::unordered_map<uint64_t, Series> bySheet_;
  std::optional<SeriesShortage> shortage_;
  std::vector<int64_t> highest_;  // by prefix id, or empty
};

}  // namespace kerro
