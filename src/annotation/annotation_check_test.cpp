#include "annotation/annotation_check.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <tuple>

#include "renumber/reference.h"
#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::ComponentRecord;
using testing::SchematicBuilder;

SchematicDocument Load(const std::vector<ComponentRecord>& components) {
  SchematicBuilder builder;
  builder.header();
  for (const ComponentRecord& component : components) {
    builder.component(component);
  }
  SchematicDocument document;
  EXPECT_TRUE(document.loadImage(builder.bytes()));
  return document;
}

// A finding as the tests compare it.
using Seen = std::tuple<FindingKind, size_t, size_t, std::optional<std::pair<size_t, size_t>>, int>;

std::vector<Seen> Simplify(const std::vector<AnnotationFinding>& findings) {
  std::vector<Seen> seen;
  for (const AnnotationFinding& f : findings) {
    std::optional<std::pair<size_t, size_t>> other;
    if (f.other) {
      other = std::pair(f.other->document, f.other->entry);
    }
    seen.emplace_back(f.kind, f.component.document, f.component.entry, other, f.blockCount);
  }
  return seen;
}

// The checks written out plainly, comparing every component with every other.
struct Part {
  size_t document;
  size_t entry;
  ComponentRecord record;
  bool powerSymbol() const {
    for (const char* power : {"VCC", "VDD", "GND", "VEE", "VSS"}) {
      if (record.partName == power) {
        return true;
      }
    }
    return false;
  }
  bool powerBlock() const {
    for (const char* power : {"VCC", "VDD", "GND", "VEE", "VSS"}) {
      if (record.partName.rfind(power, 0) == 0 && record.partName != power) {
        return true;
      }
    }
    return false;
  }
  bool ordinary() const { return !powerSymbol() && !powerBlock(); }
  bool checked() const { return !powerSymbol() && !record.reference.empty(); }
  bool numbered() const { return checked() && !UnnumberedPrefix(record.reference); }
};

std::vector<Seen> Model(const std::vector<Part>& parts, const std::map<std::string, int>* library) {
  std::vector<Seen> seen;
  auto at = [](const Part& p) { return std::pair(p.document, p.entry); };
  for (size_t i = 0; i < parts.size(); ++i) {
    const Part& p = parts[i];
    if (!p.checked()) {
      continue;
    }
    const ComponentRecord& r = p.record;
    if (UnnumberedPrefix(r.reference)) {
      seen.emplace_back(FindingKind::Unnumbered, p.document, p.entry, std::nullopt, 0);
    }
    if (SplitReference(r.reference).prefix.size() >= 8) {
      seen.emplace_back(FindingKind::TooLongToRenumber, p.document, p.entry, std::nullopt, 0);
    }
    const std::string digits = r.reference.substr(SplitReference(r.reference).prefix.size());
    if (r.reference.find_first_of("-,; ") != std::string::npos ||
        (digits.size() > 1 && digits[0] == '0')) {
      seen.emplace_back(FindingKind::Misread, p.document, p.entry, std::nullopt, 0);
    }
    std::optional<int> count;
    if (library && p.ordinary()) {
      auto found = library->find(r.partName);
      if (found == library->end()) {
        seen.emplace_back(FindingKind::PartNotFound, p.document, p.entry, std::nullopt, 0);
      } else {
        count = found->second;
        if (r.block >= found->second) {
          seen.emplace_back(FindingKind::BlockBeyondCount, p.document, p.entry, std::nullopt,
                            found->second);
        }
      }
    }
    if (!p.numbered()) {
      continue;
    }
    std::vector<const Part*> group;
    for (const Part& q : parts) {
      if (q.numbered() && q.record.reference == r.reference) {
        group.push_back(&q);
      }
    }
    const Part* anchor = group.front();
    for (const Part* q : group) {
      if (q->ordinary()) {
        anchor = q;
        break;
      }
    }
    if (r.packageTag != anchor->record.packageTag) {
      seen.emplace_back(FindingKind::DuplicateReference, p.document, p.entry, at(*anchor), 0);
    }
    for (const Part& q : parts) {  // the first with this prefix and number
      if (q.numbered() &&
          SplitReference(q.record.reference).prefix == SplitReference(r.reference).prefix &&
          SplitReference(q.record.reference).number == SplitReference(r.reference).number) {
        if (q.record.reference != r.reference) {
          seen.emplace_back(FindingKind::WrittenTwoWays, p.document, p.entry, at(q), 0);
        }
        break;
      }
    }
    if (p.ordinary()) {
      for (const Part* q : group) {  // the package's first ordinary block
        if (q->ordinary() && q->record.packageTag == r.packageTag) {
          if (q->record.partName != r.partName) {
            seen.emplace_back(FindingKind::PartsDiffer, p.document, p.entry, at(*q), 0);
          }
          break;
        }
      }
    }
    if (p.powerBlock()) {
      bool packaged = false;
      for (const Part* q : group) {
        packaged = packaged || (q->ordinary() && q->record.packageTag == r.packageTag);
      }
      if (library && !packaged) {
        seen.emplace_back(FindingKind::PowerBlockWithoutPackage, p.document, p.entry, std::nullopt,
                          0);
      }
      continue;
    }
    const Part* sameBlock = nullptr;
    for (const Part* q : group) {
      if (q == &p) {
        break;
      }
      if (!sameBlock && q->ordinary() && q->record.packageTag == r.packageTag &&
          q->record.block == r.block) {
        sameBlock = q;
      }
    }
    const Part* firstOfPart = nullptr;
    int ordinal = 0;
    for (const Part* q : group) {
      if (!q->ordinary() || q->record.packageTag != r.packageTag ||
          q->record.partName != r.partName) {
        continue;
      }
      firstOfPart = firstOfPart ? firstOfPart : q;
      ++ordinal;
      if (q == &p) {
        break;
      }
    }
    if (sameBlock) {
      seen.emplace_back(FindingKind::OneBlockTwice, p.document, p.entry, at(*sameBlock), 0);
    }
    if (count && *count > 1 && ordinal > *count) {
      seen.emplace_back(FindingKind::MoreBlocksThanPart, p.document, p.entry, at(*firstOfPart),
                        *count);
    }
  }
  std::stable_sort(seen.begin(), seen.end(), [](const Seen& a, const Seen& b) {
    return std::tie(std::get<1>(a), std::get<2>(a), std::get<0>(a)) <
           std::tie(std::get<1>(b), std::get<2>(b), std::get<0>(b));
  });
  return seen;
}

TEST(AnnotationCheck, AgreesWithAPlainModelOnRandomDesigns) {
  const std::vector<std::string> references = {"R1", "R2",  "U1",       "U2",       "R?", "U",
                                               "",   "R01", "ABCDEFGH", "LONGPRE1", "R 2"};
  const std::vector<std::string> tags = {"A", "B", ""};
  const std::vector<std::string> partNames = {"RES",   "DUAL", "QUAD", "MISSING",
                                              "VCC_A", "GND",  "NONE"};
  // NONE: a library may give a part no blocks, which is not a part missing.
  const std::map<std::string, int> library = {{"RES", 1}, {"DUAL", 2}, {"QUAD", 4}, {"NONE", 0}};
  const BlockCountLookup lookup = [&](std::string_view name) -> std::optional<int> {
    auto found = library.find(std::string(name));
    return found == library.end() ? std::nullopt : std::optional<int>(found->second);
  };
  std::mt19937 random(16);
  auto pick = [&](const std::vector<std::string>& from) {
    return from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(random)];
  };
  for (int round = 0; round < 400; ++round) {
    SCOPED_TRACE(round);
    std::vector<Part> parts;
    std::vector<SchematicDocument> design;
    const size_t documents = 1 + static_cast<size_t>(round % 2);
    for (size_t d = 0; d < documents; ++d) {
      std::vector<ComponentRecord> records;
      const size_t count = std::uniform_int_distribution<size_t>(0, 12)(random);
      for (size_t e = 0; e < count; ++e) {
        ComponentRecord record{.x = static_cast<int16_t>(e),
                               .y = 0,
                               .block = static_cast<uint8_t>(random() % 5),
                               .packageTag = pick(tags),
                               .reference = pick(references),
                               .partName = pick(partNames)};
        records.push_back(record);
        parts.push_back({d, e, record});
      }
      design.push_back(Load(records));
    }
    EXPECT_EQ(Simplify(CheckAnnotation(design)), Model(parts, nullptr));
    EXPECT_EQ(Simplify(CheckAnnotation(design, &lookup)), Model(parts, &library));
  }
}

// With sheet ranges, numbering never packs blocks of two sheets; a hand-edited board may.
TEST(AnnotationCheck, APackageOnTwoSheetsIsAFindingWithSheetRanges) {
  std::vector<SchematicDocument> design;
  design.push_back(Load({testing::PlacedPart("QUAD", "U1", 10, 0, 0)}));
  design.push_back(Load({testing::PlacedPart("QUAD", "U1", 10, 0, 1)}));
  EXPECT_TRUE(CheckAnnotation(design).empty());
  const auto findings = CheckAnnotation(design, nullptr, {.sheetRanges = true});
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].kind, FindingKind::PackageOnTwoSheets);
  EXPECT_EQ(findings[0].other, (ComponentAt{0, 0}));
}

TEST(AnnotationCheck, NamesTheComponentItClashesWithAcrossFiles) {
  std::vector<SchematicDocument> design;
  design.push_back(Load({testing::PlacedPart("RES", "R5", 10, 0)}));
  design.push_back(Load({testing::PlacedPart("CAP", "R5", 20, 0)}));
  const auto findings = CheckAnnotation(design);
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].kind, FindingKind::DuplicateReference);
  EXPECT_EQ(findings[0].component, (ComponentAt{1, 0}));
  EXPECT_EQ(findings[0].other, (ComponentAt{0, 0}));
}

TEST(AnnotationCheck, ALibraryThatFailsIsAFindingAndNoPartIsCalledMissing) {
  testing::TempFolder folder;
  testing::WriteToskIni(folder.file("TOSK.INI"), {folder.file("NONE.LB3")});
  std::vector<SchematicDocument> design;
  design.push_back(Load({testing::PlacedPart("RES", "R1", 10, 0)}));
  const auto findings =
      CheckAnnotationWithLibraries(design, folder.file("A.CE2"), testing::RealFiles());
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].kind, FindingKind::LibraryFailed);
  EXPECT_EQ(findings[0].libraryPath, folder.file("NONE.LB3"));
}

}  // namespace
}  // namespace kerro
