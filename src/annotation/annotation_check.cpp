#include "annotation/annotation_check.h"

#include <algorithm>
#include <map>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "library/library_set.h"
#include "renumber/part_role.h"
#include "renumber/reference.h"

namespace kerro {

namespace {

// One component of the design with what the checks ask of it.
struct Member {
  ComponentAt at;
  const ComponentEntry* entry = nullptr;
  PartRole role = PartRole::Ordinary;
};

// Blocks of one package share a tag and a part; a power block fits any package of its tag.
bool CanShareAPackage(const Member& a, const Member& b) {
  if (a.entry->packageTag() != b.entry->packageTag()) {
    return false;
  }
  return a.role == PartRole::PowerBlock || b.role == PartRole::PowerBlock ||
         a.entry->partName() == b.entry->partName();
}

class Checker {
 public:
  Checker(std::span<const SchematicDocument> design, const BlockCountLookup* blockCountOf)
      : blockCountOf_(blockCountOf) {
    for (size_t d = 0; d < design.size(); ++d) {
      const auto entries = design[d].entries();
      for (size_t e = 0; e < entries.size(); ++e) {
        addMember({{d, e}, &entries[e], PartRoleOf(entries[e].partName())});
      }
    }
  }

  std::vector<AnnotationFinding> run() {
    for (const Member& member : members_) {
      checkAlone(member);
    }
    for (const auto& [reference, group] : groups_) {
      checkGroup(group);
    }
    std::stable_sort(findings_.begin(), findings_.end(),
                     [](const AnnotationFinding& a, const AnnotationFinding& b) {
                       if (a.component != b.component) {
                         return a.component < b.component;
                       }
                       return a.kind < b.kind;
                     });
    return std::move(findings_);
  }

 private:
  void addMember(const Member& member) {
    const std::string_view reference = member.entry->reference();
    if (member.role == PartRole::PowerSymbol || reference.empty()) {
      return;
    }
    members_.push_back(member);
    if (!UnnumberedPrefix(reference)) {
      groups_[reference].push_back(members_.size() - 1);
    }
  }

  void add(FindingKind kind, const Member& member, std::optional<ComponentAt> other = {},
           int blockCount = 0) {
    findings_.push_back({kind, member.at, other, blockCount, {}});
  }

  std::optional<int> blockCountOf(std::string_view partName) {
    auto known = blockCounts_.find(partName);
    if (known == blockCounts_.end()) {
      known = blockCounts_.emplace(partName, (*blockCountOf_)(partName)).first;
    }
    return known->second;
  }

  // The findings of one component on its own.
  void checkAlone(const Member& member) {
    const std::string_view reference = member.entry->reference();
    if (UnnumberedPrefix(reference)) {
      add(FindingKind::Unnumbered, member);
    }
    if (SplitReference(reference).prefix.size() >= kMaxReferenceLength) {
      add(FindingKind::TooLongToRenumber, member);
    }
    if (blockCountOf_ == nullptr || member.role != PartRole::Ordinary) {
      return;
    }
    const std::optional<int> count = blockCountOf(member.entry->partName());
    if (!count) {
      add(FindingKind::PartNotFound, member);
    } else if (member.entry->block() >= *count) {
      add(FindingKind::BlockBeyondCount, member, {}, *count);
    }
  }

  // The findings among the components of one reference, in design order.
  void checkGroup(const std::vector<size_t>& group) {
    const Member* anchor = nullptr;
    std::unordered_set<std::string_view> packagedTags;  // tags of the ordinary components
    for (size_t index : group) {
      const Member& member = members_[index];
      if (member.role == PartRole::Ordinary) {
        anchor = anchor ? anchor : &member;
        packagedTags.insert(member.entry->packageTag());
      }
    }
    anchor = anchor ? anchor : &members_[group.front()];
    // Per part (tag and part name): the first component and how many there are so far;
    // per part and block: the component that claimed the block first.
    struct PartSeen {
      const Member* first = nullptr;
      int count = 0;
    };
    std::map<std::pair<std::string_view, std::string_view>, PartSeen> parts;
    std::map<std::tuple<std::string_view, std::string_view, int>, const Member*> blockOwners;
    for (size_t index : group) {
      const Member& member = members_[index];
      if (!CanShareAPackage(member, *anchor)) {
        add(FindingKind::DuplicateReference, member, anchor->at);
      }
      if (member.role == PartRole::PowerBlock) {
        if (blockCountOf_ && !packagedTags.contains(member.entry->packageTag())) {
          add(FindingKind::PowerBlockWithoutPackage, member);
        }
        continue;
      }
      PartSeen& part = parts[{member.entry->packageTag(), member.entry->partName()}];
      part.first = part.first ? part.first : &member;
      const auto [owner, claimed] = blockOwners.try_emplace(
          {member.entry->packageTag(), member.entry->partName(), member.entry->block()}, &member);
      if (!claimed) {
        add(FindingKind::OneBlockTwice, member, owner->second->at);
      }
      checkBlockCount(member, *part.first, ++part.count);
    }
  }

  // `ordinal` counts the components of this part under this reference, this one included.
  void checkBlockCount(const Member& member, const Member& first, int ordinal) {
    if (blockCountOf_ == nullptr) {
      return;
    }
    const std::optional<int> count = blockCountOf(member.entry->partName());
    if (count && *count > 1 && ordinal > *count) {
      add(FindingKind::MoreBlocksThanPart, member, first.at, *count);
    }
  }

  const BlockCountLookup* blockCountOf_;
  std::vector<Member> members_;
  // Members by reference; the views point into the documents' images.
  std::unordered_map<std::string_view, std::vector<size_t>> groups_;
  std::unordered_map<std::string_view, std::optional<int>> blockCounts_;
  std::vector<AnnotationFinding> findings_;
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
  }
  return {};
}

std::vector<AnnotationFinding> CheckAnnotation(std::span<const SchematicDocument> design,
                                               const BlockCountLookup* blockCountOf) {
  return Checker(design, blockCountOf).run();
}

std::vector<AnnotationFinding> CheckAnnotationWithLibraries(
    std::span<const SchematicDocument> design, const std::string& schematicPath,
    FileSystem& fileSystem, const std::vector<std::string>& libraryFolders) {
  std::vector<AnnotationFinding> failures;
  LibrarySet libraries(
      [&](const std::string& libraryPath) {
        failures.push_back({FindingKind::LibraryFailed, {}, {}, 0, libraryPath});
      },
      fileSystem);
  libraries.setLibraryFolders(libraryFolders);
  if (!libraries.loadLibraries(schematicPath)) {
    std::vector<AnnotationFinding> findings = CheckAnnotation(design);
    findings.insert(findings.begin(), failures.begin(), failures.end());
    return findings;
  }
  const BlockCountLookup blockCountOf = [&](std::string_view partName) {
    return libraries.blockCountOf(partName);
  };
  return CheckAnnotation(design, &blockCountOf);
}

}  // namespace kerro
