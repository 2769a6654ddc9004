#pragma once
// Plain numbering: components are grouped by the prefix of their present reference and keep
// their present order within it; each prefix takes its numbers from the guarded series
// (number_series.h): initial, initial + step, ... in that order, passing over references
// that are taken. Components that share one numbered present reference (the blocks of one
// package, and R03 beside R3) keep sharing one new reference; an unnumbered one (R, U?, a
// one-character reference) shares with none and comes first in its prefix, in file order.
// Only reference fields are rewritten. A component whose reference or package tag is empty
// is left as it is, and its reference is taken.
//
// Controls: a locked component is left as it is too. With `keep`, every numbered component
// is, and an unnumbered one (R, R?, IC??) takes the lowest free number of its prefix without
// the "?"s. With a sheet base, a group takes its number on the sheet of its first member.
// With fixDuplicates, as with keep, but each package of repaired duplicates takes one new
// number, after the unnumbered components of its prefix. With a board order, the groups are
// the placed references, numbered in the board's order; every other component is left as
// it is (power symbols too), and its reference is taken.

#include <optional>
#include <span>
#include <vector>

#include "renumber/numbering.h"
#include "schematic/schematic_document.h"

namespace kerro {

// Renumbers the components in place (all of a design, in design order; `sheetOf` gives
// each one's sheet when the controls have a sheet base). When a prefix runs out, returns
// where (document 0, component as an index into `entries`) and changes nothing.
// With fixDuplicates, `laterDuplicate` gives each component's package to move with
// (FindLaterDuplicates). `changed`, where given (one byte per component, zero), marks what
// changed in each component (StoredChange).
std::optional<NumberShortage> NumberPlain(std::span<ComponentEntry> entries,
                                          std::span<const uint32_t> sheetOf,
                                          const DesignNumbering& numbering,
                                          std::span<const uint32_t> laterDuplicate = {},
                                          std::vector<uint8_t>* changed = nullptr);

// One document without controls. `initial` and `step` are within the job's ranges.
std::optional<NumberShortage> RenumberPlain(SchematicDocument& document, int initial, int step);

}  // namespace kerro
