#pragma once
// What --fix-duplicates renumbers, and nothing else.
//
// Components share a reference rightly when they can be blocks of one package: one tag
// (and so one prefix), distinct blocks, and, where the libraries give a part more than one
// block, no more components than its first part has blocks; a power block fits any package
// of its tag. Power symbols never count as holders.
//
// Of the holders of one reference, those the run cannot renumber (no tag; locked) come
// first, then the others in file order. The first holder's package keeps the reference,
// and so does every later holder that can join it. The other holders form packages of their
// own, each joining the first earlier one it fits, and each package takes one new number.

#include <cstdint>
#include <span>
#include <vector>

#include "library/library_set.h"
#include "renumber/numbering_controls.h"
#include "schematic/schematic_document.h"

namespace kerro {

// By component: 0 for a component that keeps its reference (or is not a holder at all),
// else the number (from 1, in file order of their first members) of the package it moves
// with. `blockCountOf` is given in library-guided mode only.
std::vector<uint32_t> FindLaterDuplicates(std::span<const ComponentEntry> entries,
                                          const NumberingControls& controls,
                                          const BlockCountLookup* blockCountOf);

}  // namespace kerro
