#include "preview/preview_sheets.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::MemoryFileSystem;
using testing::SchematicBuilder;

// The sheets that the job's inspection gives for one file and one request.
std::vector<PreviewSheet> SheetsOf(const SchematicBuilder& file, JobRequest request) {
  MemoryFileSystem fileSystem;
  fileSystem.files["A.CE2"] = file.bytes();
  std::vector<PreviewSheet> sheets;
  request.path = "A.CE2";
  request.writeFiles = false;
  request.inspect = [&](const NumberedDesign& design) { AddPreviewSheets(design, sheets); };
  JobContext context{fileSystem, {}};
  EXPECT_EQ(RenumberJob(request, context).outcome, JobOutcome::Finished);
  return sheets;
}

struct Expected {
  std::string reference;
  std::string oldReference;
  LeftAloneBecause leftAlone = LeftAloneBecause::NotLeftAlone;
  bool duplicate = false;
  bool showBlock = false;
};

void ExpectComponents(const PreviewSheet& sheet, const std::vector<Expected>& expected) {
  ASSERT_EQ(sheet.components.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    const PreviewComponent& got = sheet.components[i];
    EXPECT_EQ(got.reference, expected[i].reference);
    EXPECT_EQ(got.oldReference, expected[i].oldReference);
    EXPECT_EQ(got.leftAlone, expected[i].leftAlone);
    EXPECT_EQ(got.duplicate, expected[i].duplicate);
    EXPECT_EQ(got.showBlock, expected[i].showBlock);
  }
}

// Why each part was left alone, which ones keep a duplicate, and which show a block letter,
// for the controls that leave parts alone; sheets come one per section, positions as stored.
TEST(AddPreviewSheets, TellsWhyPartsWereLeftAloneAndWhichHoldDuplicates) {
  using enum LeftAloneBecause;
  SchematicBuilder file;
  file.header()
      .component({.x = 7, .y = -3, .packageTag = "74LS00", .reference = "U3", .partName = "74LS00"})
      .component({.block = 1, .packageTag = "74LS00", .reference = "U3", .partName = "74LS00"})
      .component({.packageTag = "T1", .reference = "R5", .partName = "RES"})
      .component({.packageTag = "T2", .reference = "R5", .partName = "RES"})
      .component({.packageTag = "T3", .reference = "R?", .partName = "RES"})
      .component({.reference = "J1", .partName = "CONN"})
      .header()
      .component({.x = 40, .y = 9, .packageTag = "GND", .reference = "G1", .partName = "GND"});

  JobRequest keep;
  keep.controls.keep = true;
  keep.controls.locks = {"U*"};
  const std::vector<PreviewSheet> kept = SheetsOf(file, keep);
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept[1].section, 1);
  EXPECT_EQ(kept[1].sectionCount, 2);
  EXPECT_EQ(kept[0].components[0].x, 7);
  EXPECT_EQ(kept[0].components[0].y, -3);
  EXPECT_EQ(kept[1].components[0].x, 40) << "the position on its own sheet";
  ExpectComponents(kept[0], {{"U3", "U3", Locked, false, true},
                             {"U3", "U3", Locked, false, true},
                             {"R5", "R5", Kept, true},
                             {"R5", "R5", Kept, true},
                             {"R1", "R?"},
                             {"J1", "J1", NoTagOrReference}});
  ExpectComponents(kept[1], {{"G1", "G1", Kept}});

  // Library-guided numbering leaves the power symbol as it is, and numbers the rest by
  // position; plain numbering numbers the power symbol like any part.
  JobRequest byLibrary;
  byLibrary.mode = NumberingMode::ByLibrary;
  EXPECT_EQ(SheetsOf(file, byLibrary)[1].components[0].leftAlone, PowerSymbol);
  const std::vector<PreviewSheet> plain = SheetsOf(file, {});
  ExpectComponents(plain[1], {{"G1", "G1"}});
  // Plain numbering keeps a shared reference shared, so the duplicate stays, renumbered.
  EXPECT_EQ(plain[0].components[2].reference, plain[0].components[3].reference);
  EXPECT_TRUE(plain[0].components[2].changed());
  EXPECT_TRUE(plain[0].components[3].duplicate);
}

}  // namespace
}  // namespace kerro
