#pragma once
// The one numbering engine: a design of one or more documents, numbered as one in the order
// given, as if they were the sections of one file. Sheets are counted across the documents,
// and so are positions (5000 for every sheet before a component's). The dialog's file is a
// design of one.
//
// Plain or library-guided steps run over the design with the controls as their variants
// (renumber_plain.h, renumber_by_library.h), and every number comes from the guarded series
// (number_series.h): no component is given a reference that another component holds or is
// given, unless the two shared one before or are blocks of one package.

#include <optional>
#include <span>
#include <vector>

#include "renumber/numbering.h"
#include "renumber/renumber_by_library.h"
#include "schematic/schematic_document.h"

namespace kerro {

// Renumbers the documents in place. When some prefix needs more numbers than its range or
// 8 characters hold, returns where, and no document is changed. `blockCountOf` is asked
// in library-guided mode only, once per distinct part name.
// `changedDocuments`, where given, is set to tell for each document whether a byte of it
// changed, and how many references and blocks.
std::optional<NumberShortage> RenumberDesign(
    std::span<SchematicDocument* const> design, const DesignNumbering& numbering,
    const BlockCountLookup& blockCountOf, std::vector<DocumentChanges>* changedDocuments = nullptr);

}  // namespace kerro
