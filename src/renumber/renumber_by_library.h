#pragma once
// Library-guided numbering: components are numbered in the order of their position on the
// drawing (by x, the sections one after another, then by y), the blocks of multi-block
// parts are packed into packages by the block counts the part libraries give, and each
// component's block index is written. Power symbols (part named exactly "VCC", "VDD",
// "GND", "VEE" or "VSS") are left alone; power blocks (part names that begin with one of
// them) take the references of the ordinary packages of the same tag and prefix.
//
// The mode runs in five steps, each public so that variants of the numbering can reuse
// the others: collect (one pass over the image in file order into compact tables), order
// (by position), pack (numbers and blocks of the ordinary components), power blocks, and
// store (the new references and blocks, written in file order).

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "library/library_set.h"
#include "renumber/number_series.h"
#include "renumber/numbering.h"
#include "renumber/prefix_table.h"
#include "schematic/schematic_document.h"

namespace kerro {

// Renumbers the components in place (all of a design, in design order; `sheetOf` gives
// each one's sheet when the controls have a sheet base or order by rows). When a prefix
// runs out, returns where (document 0, component as an index into `entries`) and changes
// nothing. Every number comes from the guarded series (number_series.h): the references of
// power symbols, of components without a tag and of those the controls leave alone are
// taken.
//
// Controls: a locked component keeps its reference and block. With a sheet base a package
// never spans two sheets. With `keep`, numbered components keep theirs; an unnumbered gate
// first fills a free block of a package of its tag and prefix that is there (in numbering
// order), then opens a new one; an unnumbered power block takes the first package of its
// tag and prefix that has none.
// With fixDuplicates, `laterDuplicate` gives each component's package to move with
// (FindLaterDuplicates); those take new numbers after the unnumbered ones, blocks kept.
// `changed`, where given (one byte per component, zero), marks what changed in each
// component (StoredChange).
std::optional<NumberShortage> NumberByLibrary(std::span<ComponentEntry> entries,
                                              std::span<const uint32_t> sheetOf,
                                              const DesignNumbering& numbering,
                                              const BlockCountLookup& blockCountOf,
                                              std::span<const uint32_t> laterDuplicate = {},
                                              std::vector<uint8_t>* changed = nullptr);

// One document without controls. `initial` and `step` are within their ranges.
std::optional<NumberShortage> RenumberByLibrary(SchematicDocument& document, int initial, int step,
                                                const BlockCountLookup& blockCountOf);

// What the numbering needs of one ordinary component (neither power symbol nor power
// block) that has both a tag and a reference.
// 24 bytes: a large board's list of these, and the sort's copy of it, are among the
// largest tables a library-guided run fills.
struct OrdinaryPart {
  uint64_t order = 0;      // position key, set by OrderByPosition
  uint32_t component = 0;  // index into the document's entries
  uint32_t prefix = 0;     // PrefixTable id of the present reference's prefix
  uint32_t package = 0;    // id of its tag and prefix together
  int16_t blockCount = 0;  // as BlockCounts gives it: 0 when no library knows the part
  bool fixed = false;      // keeps its reference and block (locked, or numbered and kept)
  bool moves = false;      // a repaired duplicate (fixDuplicates)
};
static_assert(sizeof(OrdinaryPart) == 24);

// A power block with both a tag and a reference.
struct PowerBlockPart {
  uint64_t order = 0;
  uint32_t component = 0;
  uint32_t prefix = 0;
  uint32_t package = 0;  // id of its tag and prefix, shared with the ordinary parts
  bool fixed = false;
  bool moves = false;
};

// Everything the numbering reads of a board, with texts replaced by ids.
struct LibraryBoard {
  std::vector<OrdinaryPart> ordinary;       // file order until ordered
  std::vector<PowerBlockPart> powerBlocks;  // file order until ordered
  PrefixTable prefixes;
  uint32_t packageCount = 0;  // distinct pairs of tag and prefix (and sheet, with ranges)
  int32_t minX = 0, maxX = 0, minY = 0, maxY = 0;  // over every part above
  // The references of the components left as they are: power symbols, components without
  // a tag, and those the controls leave alone.
  std::vector<std::string_view> taken;
  // The references of repaired duplicates (fixDuplicates), which hold numbers too.
  std::vector<std::string_view> held;
};

// Collect: reads the entries once, in file order. Each distinct part name is asked of
// `blockCountOf` once. With `keep`, an unnumbered component's prefix is its reference
// without the "?"s.
LibraryBoard CollectLibraryBoard(std::span<const ComponentEntry> entries,
                                 const BlockCountLookup& blockCountOf,
                                 const NumberingControls& controls = {},
                                 std::span<const uint32_t> sheetOf = {},
                                 std::span<const uint32_t> laterDuplicate = {});

// Order: sorts both lists by x, then y (columns), or by sheet, y, then x (rows), keeping
// file order at equal positions.
void OrderByPosition(LibraryBoard& board, std::span<const ComponentEntry> entries,
                     NumberingOrder order = NumberingOrder::Columns,
                     std::span<const uint32_t> sheetOf = {});

// The new number of every component (0: the reference stays) and block (-1: it stays),
// by index into the document's entries.
struct NewNumbers {
  explicit NewNumbers(size_t components);
  std::vector<int64_t> number;
  std::vector<int16_t> block;
  // A component that joins a package kept as it is takes its reference as written (R05);
  // its number is then kJoined.
  static constexpr int64_t kJoined = -1;
  std::unordered_map<uint32_t, std::string> joined;
};

// Each of the steps below returns false when a prefix runs out (see NumberSeries).

// Pack: numbers the ordinary components in order. A part of several blocks fills the open
// package of its tag and prefix, block after block, and opens a new one when the package is
// full; every other part takes the next number of its prefix with block 0.
bool PackOrdinary(const LibraryBoard& board, NumberSeries& numbers, NewNumbers& result);

// Pack with numbers kept: an unnumbered gate fills the lowest free block, below both block
// counts, of the first package of its tag and prefix that has one (kept packages and those
// opened here, in the order of their first blocks); else it opens one with a new number.
bool PackKept(const LibraryBoard& board, std::span<const ComponentEntry> entries,
              NumberSeries& numbers, NewNumbers& result);

// Power blocks: each takes, in order, the number of the next ordinary component of its tag
// and prefix (after the last one it matched) whose new number is above the one it took
// last; where there is none, the next number of its prefix.
bool NumberPowerBlocks(const LibraryBoard& board, std::span<const ComponentEntry> entries,
                       NumberSeries& numbers, NewNumbers& result);

// Power blocks with numbers kept: each unnumbered one takes the first package (in numbering
// order) of its tag and prefix that no power block has yet, else a new number.
bool NumberPowerBlocksKept(const LibraryBoard& board, std::span<const ComponentEntry> entries,
                           NumberSeries& numbers, NewNumbers& result);

// Repaired duplicates (fixDuplicates): each package to move takes one new number, asked
// for by its first member in file order; blocks stay.
bool NumberLaterDuplicates(const LibraryBoard& board, std::span<const uint32_t> laterDuplicate,
                           NumberSeries& numbers, NewNumbers& result);

// Store: writes the new references and blocks, front to back, and marks in `changed` what
// changed. Returns how many references were rewritten.
size_t StoreNumbers(std::span<ComponentEntry> entries, const NewNumbers& result, bool keep = false,
                    std::span<const uint32_t> laterDuplicate = {},
                    std::vector<uint8_t>* changed = nullptr);

}  // namespace kerro
