#include "annotation/annotation_check.h"

#include <algorithm>
#include <functional>
#include <map>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "library/library_set.h"
#include "renumber/part_role.h"
#include "renumber/reference.h"
#include "renumber/reference_groups.h"

namespace kerro {

namespace {

// One component of the design with what the checks ask of it.
struct Member {
  ComponentAt at;
  const ComponentEntry* entry = nullptr;
  PartRole role = PartRole::Ordinary;
};

// Blocks of one package share a tag (and so, under one reference, a prefix); a power block
// fits any package of its tag. Numbering packs so; parts that differ are a finding of their
// own.
bool CanShareAPackage(const Member& a, const Member& b) {
  return a.entry->packageTag() == b.entry->packageTag();
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

// A number as a prefix writes it: R5 and R05 are one writing apart.
struct Writing {
  std::string_view prefix;
  int64_t number;
  bool operator==(const Writing&) const = default;
};

struct WritingHash {
  size_t operator()(const Writing& writing) const {
    const uint64_t mixed = static_cast<uint64_t>(writing.number) * 0x9E3779B97F4A7C15u;
    return std::hash<std::string_view>{}(writing.prefix) ^ static_cast<size_t>(mixed >> 32);
  }
};

class Checker {
 public:
  Checker(std::span<const SchematicDocument> design, const BlockCountLookup* blockCountOf,
          const LintOptions& options)
      : blockCountOf_(blockCountOf), options_(options) {
    size_t components = 0;
    for (const SchematicDocument& document : design) {
      components += document.entries().size();
    }
    members_.reserve(components);
    memberSheet_.reserve(components);
    writingOf_.reserve(components);
    writings_.reserve(components);
    grouped_.reserve(components);
    groupedKeys_.reserve(components);
    int sheetsBefore = 0;
    for (size_t d = 0; d < design.size(); ++d) {
      const auto entries = design[d].entries();
      for (size_t e = 0; e < entries.size(); ++e) {
        addMember({{d, e}, &entries[e], PartRoleOf(entries[e].partName())},
                  sheetsBefore + entries[e].section());
      }
      sheetsBefore += design[d].sectionCount();
    }
  }

  std::vector<AnnotationFinding> run() {
    for (size_t i = 0; i < members_.size(); ++i) {
      checkAlone(members_[i]);
      const Member& first = members_[writingOf_[i]];
      if (first.entry->reference() != members_[i].entry->reference()) {
        add(FindingKind::WrittenTwoWays, members_[i], first.at);
      }
    }
    std::vector<size_t> group;
    const auto referenceOf = [this](uint32_t index) {
      return members_[grouped_[index]].entry->reference();
    };
    ForEachReferenceGroup(std::move(groupedKeys_), referenceOf, true,
                          [&](std::span<const uint32_t> indexes) {
                            group.clear();
                            for (const uint32_t index : indexes) {
                              group.push_back(grouped_[index]);
                            }
                            checkGroup(group);
                          });
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
  void addMember(const Member& member, int sheet) {
    const std::string_view reference = member.entry->reference();
    if (member.role == PartRole::PowerSymbol || reference.empty()) {
      return;
    }
    const size_t index = members_.size();
    members_.push_back(member);
    memberSheet_.push_back(sheet);
    writingOf_.push_back(index);
    if (!UnnumberedPrefix(reference)) {
      grouped_.push_back(index);
      groupedKeys_.add(reference);
      const SplitResult split = SplitReference(reference);
      writingOf_.back() =
          writings_.try_emplace(Writing{split.prefix, split.number}, index).first->second;
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
    if (ReferencePrefix(reference).size() >= kMaxReferenceLength) {
      add(FindingKind::TooLongToRenumber, member);
    }
    if (IsMisread(reference)) {
      add(FindingKind::Misread, member);
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
    // Most references have one component, which can only lack its package (a power block)
    // or be checked against its part; the tables below would cost more than the rest.
    if (group.size() == 1 && members_[group.front()].role != PartRole::PowerBlock) {
      const Member& member = members_[group.front()];
      checkBlockCount(member, member, 1);
      return;
    }
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
    std::map<std::pair<std::string_view, int>, const Member*> blockOwners;
    // By tag: the package's first block, and its first ordinary one.
    std::map<std::string_view, size_t> firstOfTag;
    std::map<std::string_view, size_t> firstOrdinaryOfTag;
    for (size_t index : group) {
      const Member& member = members_[index];
      if (!CanShareAPackage(member, *anchor)) {
        add(FindingKind::DuplicateReference, member, anchor->at);
      }
      const auto [first, opened] = firstOfTag.try_emplace(member.entry->packageTag(), index);
      if (!opened && options_.sheetRanges && memberSheet_[index] != memberSheet_[first->second]) {
        add(FindingKind::PackageOnTwoSheets, member, members_[first->second].at);
      }
      if (member.role == PartRole::Ordinary) {
        const size_t firstOrdinary =
            firstOrdinaryOfTag.try_emplace(member.entry->packageTag(), index).first->second;
        const Member& firstBlock = members_[firstOrdinary];
        if (member.entry->partName() != firstBlock.entry->partName()) {
          add(FindingKind::PartsDiffer, member, firstBlock.at);
        }
      }
      if (member.role == PartRole::PowerBlock) {
        if (blockCountOf_ && !packagedTags.contains(member.entry->packageTag())) {
          add(FindingKind::PowerBlockWithoutPackage, member);
        }
        continue;
      }
      PartSeen& part = parts[{member.entry->packageTag(), member.entry->partName()}];
      part.first = part.first ? part.first : &member;
      const auto [owner, claimed] =
          blockOwners.try_emplace({member.entry->packageTag(), member.entry->block()}, &member);
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
  LintOptions options_;
  std::vector<Member> members_;
  std::vector<int> memberSheet_;  // by member: its sheet in the design
  // By member: the first member with its prefix and number (itself, if none before it).
  std::vector<size_t> writingOf_;
  std::unordered_map<Writing, size_t, WritingHash> writings_;
  // The numbered members, to be grouped by reference, and their references' keys.
  std::vector<size_t> grouped_;
  ReferenceKeys groupedKeys_;
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

std::vector<AnnotationFinding> CheckAnnotation(std::span<const SchematicDocument> design,
                                               const BlockCountLookup* blockCountOf,
                                               const LintOptions& options) {
  return Checker(design, blockCountOf, options).run();
}

std::vector<AnnotationFinding> CheckAnnotationWithLibraries(
    std::span<const SchematicDocument> design, const std::string& schematicPath,
    FileSystem& fileSystem, const std::vector<std::string>& libraryFolders,
    const LintOptions& options) {
  std::vector<AnnotationFinding> failures;
  LibrarySet libraries(
      [&](const std::string& libraryPath) {
        failures.push_back({FindingKind::LibraryFailed, {}, {}, 0, libraryPath});
      },
      fileSystem);
  libraries.setLibraryFolders(libraryFolders);
  if (!libraries.loadLibraries(schematicPath)) {
    std::vector<AnnotationFinding> findings = CheckAnnotation(design, nullptr, options);
    findings.insert(findings.begin(), failures.begin(), failures.end());
    return findings;
  }
  const BlockCountLookup blockCountOf = [&](std::string_view partName) {
    return libraries.blockCountOf(partName);
  };
  return CheckAnnotation(design, &blockCountOf, options);
}

}  // namespace kerro
