#pragma once
// Library-guided numbering: components are numbered in the order of their position on the
// drawing (by x, the sections one after another, then by y), the blocks of multi-block
// parts are packed into packages by the block counts the part libraries give, and each
// component's block index is written. Power symbols (part named exactly "VCC", "VDD",
// "GND", "VEE" or "VSS") are left alone; power blocks (part names that begin with one of
// them) take the references of the ordinary packages of the same tag and prefix.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "library/library_set.h"
#include "platform/file_system.h"
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
// known) and released at the end. A document without components loads none.
size_t RenumberByLibrary(SchematicDocument& document, int initial, int step,
                         const std::string& path, FileSystem& fileSystem,
                         const LibraryErrorHandler& onLibraryError);

}  // namespace kerro
