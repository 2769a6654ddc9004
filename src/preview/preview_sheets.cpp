#include "preview/preview_sheets.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "annotation/annotation_check.h"
#include "renumber/part_role.h"

namespace kerro {

namespace {

LeftAloneBecause WhyLeftAlone(const ComponentEntry& component, std::string_view oldReference,
                              const NumberedDesign& design) {
  if (design.mode == NumberingMode::ByLibrary &&
      PartRoleOf(component.partName()) == PartRole::PowerSymbol) {
    return LeftAloneBecause::PowerSymbol;
  }
  if (oldReference.empty() || component.packageTag().empty()) {
    return LeftAloneBecause::NoTagOrReference;
  }
  if (design.controls != nullptr && design.controls->isLocked(oldReference)) {
    return LeftAloneBecause::Locked;
  }
  if (design.controls != nullptr && design.controls->leavesAlone(oldReference)) {
    return LeftAloneBecause::Kept;
  }
  return LeftAloneBecause::NotLeftAlone;
}

// How many components of the design hold each reference under each tag.
using PackageCounts = std::unordered_map<std::string, int>;

std::string PackageKey(std::string_view reference, std::string_view tag) {
  std::string key(reference);
  key += '\0';
  key += tag;
  return key;
}

}  // namespace

void AddPreviewSheets(const NumberedDesign& design, std::vector<PreviewSheet>& sheets) {
  std::vector<std::vector<bool>> duplicate(design.documents.size());
  for (size_t d = 0; d < design.documents.size(); ++d) {
    duplicate[d].assign(design.documents[d].entries().size(), false);
  }
  for (const AnnotationFinding& finding : CheckAnnotation(design.documents)) {
    if (finding.kind != FindingKind::DuplicateReference &&
        finding.kind != FindingKind::OneBlockTwice) {
      continue;
    }
    duplicate[finding.component.document][finding.component.entry] = true;
    if (finding.other) {
      duplicate[finding.other->document][finding.other->entry] = true;
    }
  }

  PackageCounts now;
  PackageCounts before;
  for (size_t d = 0; d < design.documents.size(); ++d) {
    const auto entries = design.documents[d].entries();
    for (size_t e = 0; e < entries.size(); ++e) {
      ++now[PackageKey(entries[e].reference(), entries[e].packageTag())];
      ++before[PackageKey(design.before[d].referenceBefore(e), entries[e].packageTag())];
    }
  }

  for (size_t d = 0; d < design.documents.size(); ++d) {
    const SchematicDocument& document = design.documents[d];
    const size_t first = sheets.size();
    for (int s = 0; s < document.sectionCount(); ++s) {
      sheets.push_back({design.paths[d], s, document.sectionCount(), {}});
    }
    const auto entries = document.entries();
    for (size_t e = 0; e < entries.size(); ++e) {
      const ComponentEntry& entry = entries[e];
      PreviewComponent component;
      component.x = entry.storedX();
      component.y = entry.y();
      component.reference = std::string(entry.reference());
      component.oldReference = std::string(design.before[d].referenceBefore(e));
      component.packageTag = std::string(entry.packageTag());
      component.block = entry.block();
      component.oldBlock = design.before[d].blockBefore(e);
      component.showBlock =
          component.block != 0 || now[PackageKey(entry.reference(), entry.packageTag())] > 1;
      component.showOldBlock = component.oldBlock != 0 ||
                               before[PackageKey(component.oldReference, entry.packageTag())] > 1;
      if (!component.changed()) {
        component.leftAlone = WhyLeftAlone(entry, component.oldReference, design);
      }
      component.duplicate = duplicate[d][e];
      const size_t section =
          std::min(static_cast<size_t>(entry.section()), sheets.size() - first - 1);
      sheets[first + section].components.push_back(std::move(component));
    }
  }
}

}  // namespace kerro
