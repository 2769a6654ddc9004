#pragma once
// The annotation checker: finds references that a board cannot be built from, without
// changing anything. A design is one schematic file or several checked as one.
//
// Findings that need no library, for every component except power symbols:
//   DuplicateReference  one reference on components that cannot be blocks of one package:
//                       their tags differ (a power block fits any package of its tag), as
//                       numbering packs by tag and prefix. Named beside it: the first
//                       ordinary component of that reference.
//   OneBlockTwice       one reference and tag, and the same block index twice (two
//                       resistors both R5 block 0). Named: the first with that block.
//   PartsDiffer         blocks of one package (reference and tag) whose part names differ;
//                       power blocks excepted. Named: the package's first block.
//   WrittenTwoWays      one number written two ways: R03 beside R3, which numbering takes
//                       as one reference and assembly files do not. Named: the first.
//   Misread             a reference that part-placement software misreads: a number with a
//                       leading zero (R01), or a "-", ",", ";" or blank in it.
//   PackageOnTwoSheets  with sheet ranges in use (LintOptions): blocks of one package on two
//                       sheets, which numbering never packs so. Named: the first block.
//   Unnumbered          R, R?, U?, IC??: see UnnumberedPrefix.
//   TooLongToRenumber   the prefix alone fills the 8 characters, so no number fits after it.
// Unnumbered references take part in no duplicate finding: numbering gives each its own.
//
// Findings that need the part libraries (ordinary components unless said otherwise):
//   PartNotFound           no library has the part.
//   BlockBeyondCount       the block index is at or beyond the part's block count.
//   MoreBlocksThanPart     more components of one multi-block part under one reference than
//                          the part has blocks; each one past the count is a finding.
//   PowerBlockWithoutPackage  a power block whose reference no ordinary component of its
//                          tag carries.
//   LibraryFailed          a listed library does not load (a finding of the file, not of a
//                          component).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "library/library_set.h"
#include "platform/file_system.h"
#include "schematic/schematic_document.h"

namespace kerro {

enum class FindingKind : uint8_t {
  LibraryFailed,
  DuplicateReference,
  OneBlockTwice,
  Unnumbered,
  TooLongToRenumber,
  PartNotFound,
  BlockBeyondCount,
  MoreBlocksThanPart,
  PowerBlockWithoutPackage,
  PartsDiffer,
  WrittenTwoWays,
  Misread,
  PackageOnTwoSheets,
};

// The words the finding lines and the CSV use for a kind.
std::string_view FindingName(FindingKind kind);

// A component of a design: the index of its document and of its entry there.
struct ComponentAt {
  size_t document = 0;
  size_t entry = 0;
  auto operator<=>(const ComponentAt&) const = default;
};

struct AnnotationFinding {
  FindingKind kind = FindingKind::DuplicateReference;
  // The component found; for LibraryFailed only its document counts.
  ComponentAt component;
  // The component the finding names beside it, for the duplicate and block findings.
  std::optional<ComponentAt> other;
  // The part's block count, for the block findings.
  int blockCount = 0;
  // The library that failed to load.
  std::string libraryPath;
};

// What the check is told of how the design is numbered.
struct LintOptions {
  bool sheetRanges = false;  // --sheet-base in use
};

using FindingVisitor = std::function<void(const AnnotationFinding&)>;

// Checks a design. Without `blockCountOf` only the findings that need no library are
// looked for. The findings come in file order: document by document, and within one by
// component, each component's findings in the order of FindingKind. `visit` is handed
// each in turn: a hand-edited board can hold millions, which are kept meanwhile in a
// fifth of the room of a list of them.
void CheckAnnotation(std::span<const SchematicDocument> design,
                     const BlockCountLookup* blockCountOf, const LintOptions& options,
                     const FindingVisitor& visit);
// The same, as a list.
std::vector<AnnotationFinding> CheckAnnotation(std::span<const SchematicDocument> design,
                                               const BlockCountLookup* blockCountOf = nullptr,
                                               const LintOptions& options = {});

// The same with the part libraries listed for the schematic at `schematicPath` (TOSK.INI
// beside it or beside the program), loaded as library-guided numbering loads them. A
// library that fails is a LibraryFailed finding of the first document; the set is then
// empty, as in numbering, and the findings that need libraries are not looked for (every
// part would be "not found" for want of one file). A library not found at its listed path
// is looked for by file name in `libraryFolders`.
void CheckAnnotationWithLibraries(std::span<const SchematicDocument> design,
                                  const std::string& schematicPath, FileSystem& fileSystem,
                                  const std::vector<std::string>& libraryFolders,
                                  const LintOptions& options, const FindingVisitor& visit);
std::vector<AnnotationFinding> CheckAnnotationWithLibraries(
    std::span<const SchematicDocument> design, const std::string& schematicPath,
    FileSystem& fileSystem, const std::vector<std::string>& libraryFolders = {},
    const LintOptions& options = {});

}  // namespace kerro
