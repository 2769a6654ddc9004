#include "preview/preview_sheets.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

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

// One component's reference under its tag, at `slot` among the design's components.
struct PackageKey {
  std::string_view reference;
  std::string_view tag;
  size_t slot = 0;
};

// Marks every slot whose reference and tag another component of the design shares too.
// Sorting keeps this cheap on large boards, where a table of texts would not be.
std::vector<bool> SharedPackages(std::vector<PackageKey> keys) {
  const auto package = [](const PackageKey& key) { return std::pair(key.reference, key.tag); };
  std::sort(keys.begin(), keys.end(),
            [&](const PackageKey& a, const PackageKey& b) { return package(a) < package(b); });
  std::vector<bool> shared(keys.size(), false);
  for (size_t i = 0; i < keys.size();) {
    size_t end = i + 1;
    while (end < keys.size() && package(keys[end]) == package(keys[i])) {
      ++end;
    }
    for (size_t k = i; end - i > 1 && k < end; ++k) {
      shared[keys[k].slot] = true;
    }
    i = end;
  }
  return shared;
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

  std::vector<PackageKey> now;
  std::vector<PackageKey> before;
  for (size_t d = 0; d < design.documents.size(); ++d) {
    for (size_t e = 0; e < design.documents[d].entries().size(); ++e) {
      const ComponentEntry& entry = design.documents[d].entries()[e];
      now.push_back({entry.reference(), entry.packageTag(), now.size()});
      before.push_back({design.before[d].referenceBefore(e), entry.packageTag(), before.size()});
    }
  }
  const std::vector<bool> sharedNow = SharedPackages(std::move(now));
  const std::vector<bool> sharedBefore = SharedPackages(std::move(before));

  size_t slot = 0;
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
      component.showBlock = component.block != 0 || sharedNow[slot];
      component.showOldBlock = component.oldBlock != 0 || sharedBefore[slot];
      ++slot;
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
