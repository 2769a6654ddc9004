#pragma once
// Plain numbering: components are grouped by the prefix of their present reference and keep
// their present order within it; each prefix is given initial, initial + step, ... in that
// order. Components that share one present reference (the blocks of one package) keep
// sharing one new reference. Only reference fields are rewritten; a component whose
// reference or package tag is empty is left as it is.

#include <cstddef>

#include "schematic/schematic_document.h"

namespace kerro {

// Renumbers the document's components in place. `initial` and `step` are expected within
// the job's ranges. Returns the number of components that were given a reference.
size_t RenumberPlain(SchematicDocument& document, int initial, int step);

}  // namespace kerro
