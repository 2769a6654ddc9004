#include "annotation/annotation_check.h"

#include <algorithm>
#include <functional>
#include <tuple>
#include <utility>

#include "library/library_set.h"
#include "library/name_index.h"
#include "platform/memory.h"
#include "renumber/block_counts.h"
#include "renumber/part_role.h"
#include "renumber/reference.h"
#include "renumber/reference_groups.h"

namespace kerro {

namespace {

// A numbered component of the design with what the checks ask of it: 16 bytes, as a
// board holds a million.
struct Member {
  const ComponentEntry* entry = nullptr;
  uint32_t document = 0;
  PartRole role = PartRole::Ordinary;
  // The part's block count, -1 when no library has the part; asked once per component, and
  // only with libraries.
  int16_t blockCount = -1;
};

// Blocks of one package share a tag (and so, under one reference, a prefix); a power block
// fits any package of its tag. Numbering packs so; parts that differ are a finding of their
// own.
bool CanShareAPackage(const Member& a, const Member& b) {
  return a.entry->packageTag() == b.entry->packageTag();
}

// Sorts member indexes by a key, those of one key in ascending order: the first of each
// key is then the first in design order.
template <typename KeyOf>
void SortByKey(std::vector<uint32_t>& indexes, const KeyOf& keyOf) {
  std::sort(indexes.begin(), indexes.end(), [&](uint32_t a, uint32_t b) {
    const auto keyA = keyOf(a);
    const auto keyB = keyOf(b);
    return keyA != keyB ? keyA < keyB : a < b;
  });
}

// Calls `visit` with each run of equal keys in `indexes`, sorted as above.
template <typename KeyOf, typename Visit>
void ForEachRunOfKey(std::span<const uint32_t> indexes, const KeyOf& keyOf, const Visit& visit) {
  for (size_t first = 0; first < indexes.size();) {
    size_t end = first + 1;
    while (end < indexes.size() && keyOf(indexes[end]) == keyOf(indexes[first])) {
      ++end;
    }
    visit(indexes.subspan(first, end - first));
    first = end;
  }
}

// A number with a leading zero, or a character that reads as a list or a range.
bool IsMisread(std::string_view reference) {
  if (reference.find_first_of("-,; ") != std::string_view::npos) {
    return true;
  }
  const SplitResult split = SplitReference(reference);
  const std::string_view digits = reference.substr(split.prefix.size());
  return digits.size() > 1 && digits.front() == '0';
}

class Checker {
 public:
  Checker(std::span<const SchematicDocument> design, const BlockCountLookup* blockCountOf,
          const LintOptions& options)
      : design_(design), options_(options) {
    if (blockCountOf != nullptr) {
      blockCounts_.emplace(*blockCountOf);
    }
    size_t components = 0;
    for (const SchematicDocument& document : design) {
      components += document.entries().size();
    }
    ReserveLarge(members_, components);
    groupedKeys_.reserve(components);
    int sheets = 0;
    for (size_t d = 0; d < design.size(); ++d) {
      sheetsBefore_.push_back(sheets);
      for (const ComponentEntry& entry : design[d].entries()) {
        addComponent(static_cast<uint32_t>(d), entry);
      }
      sheets += design[d].sectionCount();
    }
  }

  // Visits the findings in file order.
  void run(const FindingVisitor& visit) {
    checkWritings();
    const auto referenceOf = [this](uint32_t index) { return members_[index].entry->reference(); };
    // A reference of one component can only be a power block that lacks its package, which
    // is looked for only with the libraries.
    const bool singles = blockCounts_.has_value();
    ForEachReferenceGroup(std::move(groupedKeys_), referenceOf, singles,
                          [this](std::span<const uint32_t> group) { checkGroup(group); });
    std::stable_sort(findings_.begin(), findings_.end(), [](const Found& a, const Found& b) {
      return std::tie(a.document, a.entry, a.kind) < std::tie(b.document, b.entry, b.kind);
    });
    AnnotationFinding finding;
    for (const Found& found : findings_) {
      finding.kind = found.kind;
      finding.component = {found.document, found.entry};
      finding.other.reset();
      if (found.otherDocument != kNoOther) {
        finding.other = ComponentAt{found.otherDocument, found.otherEntry};
      }
      finding.blockCount = found.blockCount;
      visit(finding);
    }
  }

 private:
  ComponentAt at(const Member& member) const {
    const ComponentEntry* first = design_[member.document].entries().data();
    return {member.document, static_cast<size_t>(member.entry - first)};
  }
  int sheetOf(const Member& member) const {
    return sheetsBefore_[member.document] + member.entry->section();
  }

  void add(FindingKind kind, const Member& member, std::optional<ComponentAt> other = {},
           int blockCount = 0) {
    const ComponentAt component = at(member);
    findings_.push_back({.document = static_cast<uint32_t>(component.document),
                         .entry = static_cast<uint32_t>(component.entry),
                         .otherDocument = other ? static_cast<uint32_t>(other->document) : kNoOther,
                         .otherEntry = other ? static_cast<uint32_t>(other->entry) : 0,
                         .blockCount = static_cast<int16_t>(blockCount),
                         .kind = kind});
  }

  // Checks a component on its own, and keeps it for the findings among the components of
  // its reference if it is numbered.
  void addComponent(uint32_t document, const ComponentEntry& entry) {
    const std::string_view reference = entry.reference();
    const PartRole role = PartRoleOf(entry.partName());
    if (role == PartRole::PowerSymbol || reference.empty()) {
      return;
    }
    Member member{.entry = &entry, .document = document, .role = role};
    if (blockCounts_ && role == PartRole::Ordinary) {
      member.blockCount = blockCounts_->find(entry.partName());
    }
    checkAlone(member);
    if (UnnumberedPrefix(reference)) {
      return;
    }
    members_.push_back(member);
    groupedKeys_.add(reference);
    const SplitResult split = SplitReference(reference);
    zeroLeads_ = zeroLeads_ || reference.substr(split.prefix.size()).starts_with('0');
  }

  // A number as a prefix writes it: R5 and R05 are one writing apart. Two writings of one
  // prefix and number differ in their digits, and the digits of one of them begin with a
  // 0 (R05 beside R5, R0 beside R): on a board where no digits do, there is nothing to
  // look for.
  void checkWritings() {
    if (!zeroLeads_) {
      return;
    }
    NameIndex writings;
    writings.reserve(members_.size());
    for (uint32_t index = 0; index < members_.size(); ++index) {
      const std::string_view reference = members_[index].entry->reference();
      const SplitResult split = SplitReference(reference);
      const uint32_t hash =
          NameIndex::Join(NameIndex::Hash(split.prefix), static_cast<uint64_t>(split.number));
      const uint32_t first = writings.addFirstKeyed(hash, index, [&](uint32_t other) {
        const SplitResult otherSplit = SplitReference(members_[other].entry->reference());
        return otherSplit.number == split.number && otherSplit.prefix == split.prefix;
      });
      if (first != index && members_[first].entry->reference() != reference) {
        add(FindingKind::WrittenTwoWays, members_[index], at(members_[first]));
      }
    }
  }

  // The findings of one component on its own.
  void checkAlone(const Member& member) {
    const std::string_view reference = member.entry->reference();
    if (UnnumberedPrefix(reference)) {
      add(FindingKind::Unnumbered, member);
    }
    if (ReferencePrefix(reference).size() >= kMaxReferenceLength) {
      add(FindingKind::TooLongToRenumber, member);
    }
    if (IsMisread(reference)) {
      add(FindingKind::Misread, member);
    }
    if (!blockCounts_ || member.role != PartRole::Ordinary) {
      return;
    }
    if (member.blockCount < 0) {
      add(FindingKind::PartNotFound, member);
    } else if (member.entry->block() >= member.blockCount) {
      add(FindingKind::BlockBeyondCount, member, {}, member.blockCount);
    }
  }

  // The findings among the components of one reference, given in design order. Each rule
  // names the first component of a key (a tag, a part, a block) in design order: the
  // components are sorted by the key, then by design order, so that boards where one
  // reference holds thousands take no longer than sorting them.
  void checkGroup(std::span<const uint32_t> group) {
    if (group.size() == 1 && members_[group.front()].role != PartRole::PowerBlock) {
      return;
    }
    const auto ordinary = [this](uint32_t index) {
      return members_[index].role == PartRole::Ordinary;
    };
    const auto anchorAt = std::find_if(group.begin(), group.end(), ordinary);
    const Member& anchor = members_[anchorAt != group.end() ? *anchorAt : group.front()];
    for (uint32_t index : group) {
      if (!CanShareAPackage(members_[index], anchor)) {
        add(FindingKind::DuplicateReference, members_[index], at(anchor));
      }
    }
    const auto tagOf = [this](uint32_t index) { return members_[index].entry->packageTag(); };
    sorted_.assign(group.begin(), group.end());
    SortByKey(sorted_, tagOf);
    // By tag: the package's first block, and its first ordinary one.
    ForEachRunOfKey(sorted_, tagOf, [&](std::span<const uint32_t> package) {
      const Member& first = members_[package.front()];
      const auto firstOrdinaryAt = std::find_if(package.begin(), package.end(), ordinary);
      for (uint32_t index : package) {
        const Member& member = members_[index];
        if (options_.sheetRanges && index != package.front() && sheetOf(member) != sheetOf(first)) {
          add(FindingKind::PackageOnTwoSheets, member, at(first));
        }
        if (member.role == PartRole::PowerBlock) {
          if (blockCounts_ && firstOrdinaryAt == package.end()) {
            add(FindingKind::PowerBlockWithoutPackage, member);
          }
          continue;
        }
        const Member& firstBlock = members_[*firstOrdinaryAt];
        if (member.entry->partName() != firstBlock.entry->partName()) {
          add(FindingKind::PartsDiffer, member, at(firstBlock));
        }
      }
    });
    // The ordinary components alone, by part (tag and part name) and by block of a tag.
    std::erase_if(sorted_, [&](uint32_t index) { return !ordinary(index); });
    const auto partOf = [this](uint32_t index) {
      return std::pair(members_[index].entry->packageTag(), members_[index].entry->partName());
    };
    SortByKey(sorted_, partOf);
    ForEachRunOfKey(sorted_, partOf, [&](std::span<const uint32_t> part) {
      // More components of a multi-block part under this reference than it has blocks.
      const Member& first = members_[part.front()];
      for (size_t ordinal = 1; ordinal <= part.size(); ++ordinal) {
        const Member& member = members_[part[ordinal - 1]];
        if (member.blockCount > 1 && ordinal > static_cast<size_t>(member.blockCount)) {
          add(FindingKind::MoreBlocksThanPart, member, at(first), member.blockCount);
        }
      }
    });
    const auto blockOf = [this](uint32_t index) {
      return std::pair(members_[index].entry->packageTag(), members_[index].entry->block());
    };
    SortByKey(sorted_, blockOf);
    ForEachRunOfKey(sorted_, blockOf, [&](std::span<const uint32_t> claims) {
      for (uint32_t index : claims.subspan(1)) {
        add(FindingKind::OneBlockTwice, members_[index], at(members_[claims.front()]));
      }
    });
  }

  std::span<const SchematicDocument> design_;
  LintOptions options_;
  std::vector<int> sheetsBefore_;           // by document: the sheets of those before it
  std::optional<BlockCounts> blockCounts_;  // none: only the findings that need no library
  std::vector<Member> members_;             // the numbered components, in design order
  bool zeroLeads_ = false;        // whether the digits of some member's reference begin with a 0
  ReferenceKeys groupedKeys_;     // by member: its reference
  std::vector<uint32_t> sorted_;  // a group's members, sorted by one of its keys
  // A finding as it waits for its turn: 20 bytes, as a hand-edited board can hold
  // several for each of a million components.
  static constexpr uint32_t kNoOther = UINT32_MAX;
  struct Found {
    uint32_t document = 0;
    uint32_t entry = 0;
    uint32_t otherDocument = kNoOther;
    uint32_t otherEntry = 0;
    int16_t blockCount = 0;  // a library's count, at most BlockCounts::kMost
    FindingKind kind = FindingKind::DuplicateReference;
  };
  std::vector<Found> findings_;
};

}  // namespace

std::string_view FindingName(FindingKind kind) {
  switch (kind) {
    case FindingKind::LibraryFailed:
      return "library fails to load";
    case FindingKind::DuplicateReference:
      return "duplicate reference";
    case FindingKind::OneBlockTwice:
      return "one block twice";
    case FindingKind::Unnumbered:
      return "unnumbered reference";
    case FindingKind::TooLongToRenumber:
      return "reference too long to renumber";
    case FindingKind::PartNotFound:
      return "part not found";
    case FindingKind::BlockBeyondCount:
      return "block beyond the part's block count";
    case FindingKind::MoreBlocksThanPart:
      return "more blocks than the part has";
    case FindingKind::PowerBlockWithoutPackage:
      return "power block without a package";
    case FindingKind::PartsDiffer:
      return "parts differ within one package";
    case FindingKind::WrittenTwoWays:
      return "one number written two ways";
    case FindingKind::Misread:
      return "reference misread by placement software";
    case FindingKind::PackageOnTwoSheets:
      return "package on two sheets";
  }
  return {};
}

void CheckAnnotation(std::span<const SchematicDocument> design,
                     const BlockCountLookup* blockCountOf, const LintOptions& options,
                     const FindingVisitor& visit) {
  Checker(design, blockCountOf, options).run(visit);
}

std::vector<AnnotationFinding> CheckAnnotation(std::span<const SchematicDocument> design,
                                               const BlockCountLookup* blockCountOf,
                                               const LintOptions& options) {
  std::vector<AnnotationFinding> findings;
  CheckAnnotation(design, blockCountOf, options,
                  [&](const AnnotationFinding& finding) { findings.push_back(finding); });
  return findings;
}

void CheckAnnotationWithLibraries(std::span<const SchematicDocument> design,
                                  const std::string& schematicPath, FileSystem& fileSystem,
                                  const std::vector<std::string>& libraryFolders,
                                  const LintOptions& options, const FindingVisitor& visit) {
  std::vector<AnnotationFinding> failures;
  LibrarySet libraries(
      [&](const std::string& libraryPath) {
        failures.push_back({FindingKind::LibraryFailed, {}, {}, 0, libraryPath});
      },
      fileSystem);
  libraries.setLibraryFolders(libraryFolders);
  if (!libraries.loadLibraries(schematicPath)) {
    for (const AnnotationFinding& failure : failures) {
      visit(failure);
    }
    CheckAnnotation(design, nullptr, options, visit);
    return;
  }
  const BlockCountLookup blockCountOf = [&](std::string_view partName) {
    return libraries.blockCountOf(partName);
  };
  CheckAnnotation(design, &blockCountOf, options, visit);
}

std::vector<AnnotationFinding> CheckAnnotationWithLibraries(
    std::span<const SchematicDocument> design, const std::string& schematicPath,
    FileSystem& fileSystem, const std::vector<std::string>& libraryFolders,
    const LintOptions& options) {
  std::vector<AnnotationFinding> findings;
  CheckAnnotationWithLibraries(
      design, schematicPath, fileSystem, libraryFolders, options,
      [&](const AnnotationFinding& finding) { findings.push_back(finding); });
  return findings;
}

}  // namespace kerro
