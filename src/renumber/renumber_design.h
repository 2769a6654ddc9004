#pragma once
// Numbering steered by NumberingControls, over a design: one or more documents numbered as
// one, in the order given, as if they were the sections of one file. Sheets are counted
// across the documents, and so are positions (5000 for every sheet before a component's).
//
// With no control on and one document the result is exactly that of RenumberPlain or
// RenumberByLibrary (packages keyed by tag and prefix). Otherwise no component is given a
// reference that another component holds or is given, unless the two shared one before or
// are blocks of one package: the references of the components left as they are (locked,
// kept, power symbols, empty tag or reference) are reserved, and a number whose reference
// is taken, the 8-character cut included, is passed over.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "renumber/numbering_controls.h"
#include "renumber/renumber_by_library.h"
#include "renumber/renumber_job.h"
#include "schematic/schematic_document.h"

namespace kerro {

struct DesignNumbering {
  int initial = 1;
  int step = 1;
  NumberingMode mode = NumberingMode::Plain;
  NumberingControls controls;
};

// A prefix that ran out of numbers, and where.
struct NumberShortage {
  size_t document = 0;  // index in the design
  int section = 0;      // within that document, from 0
  int sheet = 0;        // within the design, from 0
  std::string prefix;
  // The sheet's range, first and last number, when sheets have ranges; otherwise the
  // 8 characters of a reference hold no free reference for the prefix.
  std::optional<std::pair<int64_t, int64_t>> range;
};

// Renumbers the documents in place. When some prefix needs more numbers than its range or
// 8 characters hold, returns where, and no document is changed. `blockCountOf` is asked
// in library-guided mode only, once per distinct part name.
std::optional<NumberShortage> RenumberDesign(std::span<SchematicDocument* const> design,
                                             const DesignNumbering& numbering,
                                             const BlockCountLookup& blockCountOf);

}  // namespace kerro
