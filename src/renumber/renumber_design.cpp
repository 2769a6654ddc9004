#include "renumber/renumber_design.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "renumber/duplicate_repair.h"
#include "renumber/renumber_plain.h"
#include "schematic/schematic_format.h"

namespace kerro {

namespace {

// The components of a design in design order, with what the steps need to tell the
// documents apart.
struct DesignBoard {
  std::vector<ComponentEntry> joined;  // for a design of several documents
  std::span<ComponentEntry> entries;
  std::vector<uint32_t> sheetOf;  // when the controls need sheets
  std::vector<size_t> firstOf;    // by document: the index of its first component
  std::vector<int> firstSheetOf;  // by document: the design's sheet of its first section
};

DesignBoard BoardOf(std::span<SchematicDocument* const> design, bool needsSheets) {
  DesignBoard board;
  int sheets = 0;
  for (SchematicDocument* document : design) {
    board.firstSheetOf.push_back(sheets);
    sheets += document->sectionCount();
  }
  if (design.size() == 1) {
    board.entries = design.front()->entries();
    board.firstOf = {0};
  } else {
    size_t components = 0;
    for (SchematicDocument* document : design) {
      components += document->entries().size();
    }
    board.joined.reserve(components);
    int64_t sheetsBefore = 0;
    for (SchematicDocument* document : design) {
      board.firstOf.push_back(board.joined.size());
      // Positions far beyond any drawing saturate rather than wrap.
      const int64_t shift =
          std::min<int64_t>(sheetsBefore * kSectionWidth, std::numeric_limits<int32_t>::max() / 2);
      for (const ComponentEntry& entry : document->entries()) {
        board.joined.push_back(entry.shiftedBy(static_cast<int32_t>(shift)));
      }
      sheetsBefore += document->sectionCount();
    }
    board.entries = board.joined;
  }
  if (needsSheets) {
    board.sheetOf.reserve(board.entries.size());
    uint32_t sheetsBefore = 0;
    for (SchematicDocument* document : design) {
      for (const ComponentEntry& entry : document->entries()) {
        board.sheetOf.push_back(sheetsBefore + static_cast<uint32_t>(entry.section()));
      }
      sheetsBefore += static_cast<uint32_t>(document->sectionCount());
    }
  }
  return board;
}

}  // namespace

std::optional<NumberShortage> RenumberDesign(std::span<SchematicDocument* const> design,
                                             const DesignNumbering& numbering,
                                             const BlockCountLookup& blockCountOf,
                                             std::vector<DocumentChanges>* changedDocuments) {
  if (design.empty()) {
    return std::nullopt;
  }
  const NumberingControls& controls = numbering.controls;
  const bool library = numbering.mode == NumberingMode::ByLibrary;
  const bool needsSheets =
      controls.sheetBase > 0 || (library && controls.order == NumberingOrder::Rows);
  DesignBoard board = BoardOf(design, needsSheets);
  std::vector<uint32_t> laterDuplicate;
  if (controls.fixDuplicates) {
    laterDuplicate =
        FindLaterDuplicates(board.entries, controls, library ? &blockCountOf : nullptr);
  }
  std::vector<uint8_t> changed(changedDocuments != nullptr ? board.entries.size() : 0, 0);
  std::vector<uint8_t>* const marks = changedDocuments != nullptr ? &changed : nullptr;
  std::optional<NumberShortage> shortage =
      library ? NumberByLibrary(board.entries, board.sheetOf, numbering, blockCountOf,
                                laterDuplicate, marks)
              : NumberPlain(board.entries, board.sheetOf, numbering, laterDuplicate, marks);
  if (changedDocuments != nullptr) {
    changedDocuments->assign(design.size(), {});
    for (size_t d = 0; d < design.size(); ++d) {
      DocumentChanges& document = (*changedDocuments)[d];
      const auto first = changed.begin() + static_cast<ptrdiff_t>(board.firstOf[d]);
      for (const uint8_t mark :
           std::span(first, first + static_cast<ptrdiff_t>(design[d]->entries().size()))) {
        document.anyByte = document.anyByte || (mark & StoredChange::kBytes) != 0;
        document.references += (mark & StoredChange::kReference) != 0 ? 1 : 0;
        document.blocks += (mark & StoredChange::kBlock) != 0 ? 1 : 0;
      }
    }
  }
  if (shortage) {
    // Back from the design's components to the document's.
    const auto after = std::upper_bound(board.firstOf.begin(), board.firstOf.end(),
                                        static_cast<size_t>(shortage->component));
    shortage->document = static_cast<size_t>(after - board.firstOf.begin()) - 1;
    shortage->component -= static_cast<uint32_t>(board.firstOf[shortage->document]);
    shortage->sheet = board.firstSheetOf[shortage->document] + shortage->section;
  }
  return shortage;
}

}  // namespace kerro
