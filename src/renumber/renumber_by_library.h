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

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "library/library_set.h"
#include "platform/file_system.h"
#include "renumber/number_series.h"
#include "renumber/prefix_table.h"
#include "schematic/schematic_document.h"

namespace kerro {

// The block count of a part as the libraries give it, or nullopt if no library has it.
using BlockCountLookup = std::function<std::optional<int>(std::string_view partName)>;

// Renumbers `document` in place. `initial` and `step` are within their ranges. Returns
// the number of components whose reference was rewritten.
size_t RenumberByLibrary(SchematicDocument& document, int initial, int step,
                         const BlockCountLookup& blockCountOf);

// The same, with the part libraries listed for the schematic at `path`: they are loaded
// first (a library that fails is reported through `onLibraryError`, and then no part is
// known; one not found where TOSK.INI says is also looked for in `libraryFolders`) and
// released at the end. A document without components loads none.
size_t RenumberByLibrary(SchematicDocument& document, int initial, int step,
                         const std::string& path, FileSystem& fileSystem,
                         const LibraryErrorHandler& onLibraryError,
                         const std::vector<std::string>& libraryFolders = {});

// What the numbering needs of one ordinary component (neither power symbol nor power
// block) that has both a tag and a reference.
struct OrdinaryPart {
  uint64_t order = 0;      // position key, set by OrderByPosition
  uint32_t component = 0;  // index into the document's entries
  uint32_t prefix = 0;     // PrefixTable id of the present reference's prefix
  uint32_t package = 0;    // id of its tag and prefix together
  int32_t blockCount = 0;  // 0 when no library knows the part
};

// A power block with both a tag and a reference.
struct PowerBlockPart {
  uint64_t order = 0;
  uint32_t component = 0;
  uint32_t prefix = 0;
  uint32_t package = 0;  // id of its tag and prefix, shared with the ordinary parts
};

// Everything the numbering reads of a board, with texts replaced by ids.
struct LibraryBoard {
  std::vector<OrdinaryPart> ordinary;       // file order until ordered
  std::vector<PowerBlockPart> powerBlocks;  // file order until ordered
  PrefixTable prefixes;
  uint32_t packageCount = 0;             // distinct pairs of tag and prefix
  int32_t minX = 0, minY = 0, maxY = 0;  // over every part above
};

// Collect: reads the document once, in file order. Each distinct part name is asked of
// `blockCountOf` once.
LibraryBoard CollectLibraryBoard(std::span<const ComponentEntry> entries,
                                 const BlockCountLookup& blockCountOf);

// Order: sorts both lists by x, then y, keeping file order at equal positions.
void OrderByPosition(LibraryBoard& board, std::span<const ComponentEntry> entries);

// The new number of every component (0: the reference stays) and block (-1: it stays),
// by index into the document's entries.
struct NewNumbers {
  explicit NewNumbers(size_t components);
  std::vector<int64_t> number;
  std::vector<int16_t> block;
};

// Pack: numbers the ordinary components in order. A part of several blocks fills the open
// package of its tag and prefix, block after block, and opens a new one when the package is
// full; every other part takes the next number of its prefix with block 0.
void PackOrdinary(const LibraryBoard& board, NumberSeries& numbers, NewNumbers& result);

// Power blocks: each takes, in order, the number of the next ordinary component of its tag
// and prefix (after the last one it matched) whose new number is above the one it took
// last; where there is none, the next number of its prefix.
void NumberPowerBlocks(const LibraryBoard& board, NumberSeries& numbers, NewNumbers& result);

// Store: writes the new references and blocks, front to back. Returns how many
// references were rewritten.
size_t StoreNumbers(std::span<ComponentEntry> entries, const NewNumbers& result);

}  // namespace kerro
