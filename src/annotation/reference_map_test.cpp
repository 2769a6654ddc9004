#include "annotation/reference_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::PlacedPart;
using testing::SchematicBuilder;

SchematicDocument Load(const std::vector<testing::ComponentRecord>& components) {
  SchematicBuilder builder;
  builder.header();
  for (const auto& component : components) {
    builder.component(component);
  }
  SchematicDocument document;
  EXPECT_TRUE(document.loadImage(builder.bytes()));
  return document;
}

std::vector<std::string> References(const SchematicDocument& document) {
  std::vector<std::string> references;
  for (const ComponentEntry& entry : document.entries()) {
    references.emplace_back(entry.reference());
  }
  return references;
}

TEST(ReferenceMap, RefusesMalformedMaps) {
  struct Case {
    const char* name;
    std::string csv;
    std::string error;  // expected within the message
  };
  const std::string component =
      "section,x,y,part,old_reference,new_reference,old_block,new_block\n";
  const Case cases[] = {
      {"empty", "", "no header row"},
      {"no new column", "old_reference,reference\nR1,R2\n", "no column new_reference"},
      {"short row", "old_reference,new_reference\nR1,R2\nR3\n", "line 3 of the map: the row has 1"},
      {"open quote", "old_reference,new_reference\nR1,\"R2\n", "line 2 of the map: a quoted"},
      {"text after a quote", "old_reference,new_reference\n\"R1\"x,R2\n", "line 2"},
      {"one old to two new", "old_reference,new_reference\nR1,R2\nR1,R3\n",
       "otherwise than line 2"},
      {"new too long", "old_reference,new_reference\nR1,R123456789\n", "longer than 8"},
      {"empty new", "old_reference,new_reference\nR1,\n", "an empty reference"},
      {"section 0", component + "0,1,2,RES,R1,R2,0,0\n", "not a number in its range"},
      {"block 256", component + "1,1,2,RES,R1,R2,0,256\n", "not a number in its range"},
      {"x beyond 16 bits", component + "1,40000,2,RES,R1,R2,0,0\n", "not a number"},
      {"x not a number", component + "1,1x,2,RES,R1,R2,0,0\n", "not a number"},
      {"one component two ways", component + "1,1,2,RES,R1,R2,0,0\n1,1,2,RES,R1,R3,0,0\n",
       "otherwise than line 2"},
      {"blank inside", "old_reference,new_reference\nR1,\"R 1\"\n",
       "line 2 of the map: the new reference \"R 1\" holds a blank"},
      {"blank kept by quotes", "old_reference,new_reference\nR1,\" R100\"\n", "holds a blank"},
      {"control character", "old_reference,new_reference\nR1,R\x01\n", "control character"},
      {"semicolons, no reference columns", "old;new\nR1;R2\n", "no column old_reference"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const MapReadResult read = ReadReferenceMap(c.csv, false);
    EXPECT_FALSE(read.map);
    EXPECT_NE(read.error.find(c.error), std::string::npos) << read.error;
  }
}

TEST(ReferenceMap, ReadsEitherKindInAnyColumnOrder) {
  const MapReadResult references = ReadReferenceMap(
      "\xEF\xBB\xBF New_Reference ,note,OLD_REFERENCE\r\n\"R,2\",\"a \"\"b\"\"\",R1\r\n\r\nC9,,C1",
      false);
  ASSERT_TRUE(references.map) << references.error;
  EXPECT_EQ(references.map->kind, MapKind::References);
  ASSERT_EQ(references.map->rows.size(), 2u);
  EXPECT_EQ(references.map->rows[0].oldReference, "R1");
  EXPECT_EQ(references.map->rows[0].newReference, "R,2");
  EXPECT_EQ(references.map->rows[1].line, 4u);

  const MapReadResult components = ReadReferenceMap(
      "file,section,x,y,part,tag,old_reference,new_reference,old_block,new_block\n"
      "A.CE2,2,-7,8,74LS00,G,U9,U1,3,0\n",
      true);
  ASSERT_TRUE(components.map) << components.error;
  EXPECT_EQ(components.map->kind, MapKind::Components);
  const MapRow& row = components.map->rows[0];
  EXPECT_EQ(row.file, "A.CE2");
  EXPECT_EQ(std::tie(row.section, row.x, row.y, row.partName), std::tuple(1, -7, 8, "74LS00"));
  // Reversed: what the run made is what is looked for, and what it was comes back.
  EXPECT_EQ(std::tie(row.oldReference, row.oldBlock, row.newReference, row.newBlock),
            std::tuple("U1", 0, "U9", 3));
}

TEST(ReferenceMap, TrimsBlanksAroundFieldsAndReadsSemicolons) {
  for (const char* csv : {"old_reference , new_reference\nR12, R100\n \"R,1\" ,\tR2 \n",
                          "old_reference;new_reference\r\nR12; R100\r\n\"R,1\";R2\r\n"}) {
    SCOPED_TRACE(csv);
    const MapReadResult read = ReadReferenceMap(csv, false);
    ASSERT_TRUE(read.map) << read.error;
    ASSERT_EQ(read.map->rows.size(), 2u);
    EXPECT_EQ(read.map->rows[0].newReference, "R100");
    EXPECT_EQ(read.map->rows[1].oldReference, "R,1");
    EXPECT_EQ(read.map->rows[1].newReference, "R2");
  }
}

TEST(ReferenceMap, RenamesAllAtOnceAndFlagsRowsThatMatchNothing) {
  SchematicDocument document = Load({PlacedPart("RES", "R1", 10, 0), PlacedPart("RES", "R2", 20, 0),
                                     PlacedPart("CAP", "C1", 30, 0)});
  const auto map = ReadReferenceMap("old_reference,new_reference\nR1,R2\nR2,R1\nR7,R8\n", false);
  ASSERT_TRUE(map.map);
  std::vector<bool> matched;
  EXPECT_FALSE(ApplyReferenceMap(*map.map, "A.CE2", document, matched));
  EXPECT_EQ(References(document), (std::vector<std::string>{"R2", "R1", "C1"}));
  EXPECT_EQ(matched, (std::vector<bool>{true, true, false}));
}

TEST(ReferenceMap, RefusesANewDuplicateButMayMoveAnOldOne) {
  // R1 is already carried by two different parts; a swap keeps that pair together.
  SchematicDocument document = Load({PlacedPart("RES", "R1", 10, 0), PlacedPart("POT", "R1", 20, 0),
                                     PlacedPart("RES", "R2", 30, 0)});
  std::vector<bool> matched;
  const auto swap = ReadReferenceMap("old_reference,new_reference\nR1,R2\nR2,R1\n", false);
  EXPECT_FALSE(ApplyReferenceMap(*swap.map, "A.CE2", document, matched));
  EXPECT_EQ(References(document), (std::vector<std::string>{"R2", "R2", "R1"}));

  const std::vector<uint8_t> image(document.image().begin(), document.image().end());
  const auto clash = ReadReferenceMap("old_reference,new_reference\nR1,R2\n", false);
  const std::optional<MapRefusal> refusal =
      ApplyReferenceMap(*clash.map, "A.CE2", document, matched);
  ASSERT_TRUE(refusal);
  EXPECT_EQ(refusal->reference, "R2");
  EXPECT_TRUE(
      std::equal(image.begin(), image.end(), document.image().begin(), document.image().end()));
}

// Only a clash that a rename brings about counts: the pair U2 [A] and U2 [B] stays as it
// was when the first U2 [A], which the checker names beside the others, is renamed.
TEST(ReferenceMap, AnOldDuplicateBesideARenamedComponentIsNoRefusal) {
  SchematicDocument document =
      Load({{.x = 1, .block = 1, .packageTag = "A", .reference = "U2", .partName = "QUAD"},
            {.x = 2, .block = 0, .packageTag = "A", .reference = "U2", .partName = "QUAD"},
            {.x = 3, .block = 0, .packageTag = "B", .reference = "U2", .partName = "QUAD"}});
  const auto map = ReadReferenceMap(
      "section,x,y,part,old_reference,new_reference,old_block,new_block\n"
      "1,1,0,QUAD,U2,U7,1,0\n",
      false);
  std::vector<bool> matched;
  EXPECT_FALSE(ApplyReferenceMap(*map.map, "A.CE2", document, matched));
  EXPECT_EQ(References(document), (std::vector<std::string>{"U7", "U2", "U2"}));
}

// A run's record, given back, restores the board byte for byte: its duplicates, and the
// zeros after a shorter reference.
TEST(ReferenceMap, ARecordGivenBackRestoresTheBoardItRecords) {
  const std::vector<testing::ComponentRecord> board = {{.x = 1,
                                                        .packageTag = "T1",
                                                        .reference = "R5",
                                                        .partName = "RES",
                                                        .cleanReferenceField = true},
                                                       {.x = 2,
                                                        .packageTag = "T2",
                                                        .reference = "R5",
                                                        .partName = "RES",
                                                        .cleanReferenceField = true},
                                                       {.x = 3,
                                                        .block = 2,
                                                        .packageTag = "T3",
                                                        .reference = "U?",
                                                        .partName = "QUAD",
                                                        .cleanReferenceField = true}};
  SchematicDocument document = Load(board);
  const std::vector<uint8_t> original(document.image().begin(), document.image().end());
  const std::string record =
      "section,x,y,part,old_reference,new_reference,old_block,new_block\n"
      "1,1,0,RES,R5,R100,0,0\n"
      "1,2,0,RES,R5,R101,0,0\n"
      "1,3,0,QUAD,U?,U1000000,2,0\n";
  std::vector<bool> matched;
  ASSERT_FALSE(ApplyReferenceMap(*ReadReferenceMap(record, false).map, "A.CE2", document, matched));
  EXPECT_EQ(References(document), (std::vector<std::string>{"R100", "R101", "U1000000"}));
  const MapReadResult back = ReadReferenceMap(record, true);
  ASSERT_TRUE(back.map->restoresRecord);
  EXPECT_FALSE(ApplyReferenceMap(*back.map, "A.CE2", document, matched));
  EXPECT_TRUE(std::equal(original.begin(), original.end(), document.image().begin(),
                         document.image().end()));

  // The same renames back as a map of references, written by a user: refused.
  SchematicDocument renumbered = Load(board);
  ApplyReferenceMap(*ReadReferenceMap(record, false).map, "A.CE2", renumbered, matched);
  EXPECT_TRUE(ApplyReferenceMap(
      *ReadReferenceMap("old_reference,new_reference\nR100,R5\nR101,R5\n", false).map, "A.CE2",
      renumbered, matched));
}

TEST(ReferenceMap, AReversedMapUndoesARandomRenaming) {
  std::mt19937 random(2);
  for (int round = 0; round < 200; ++round) {
    SCOPED_TRACE(round);
    // Distinct references; some components are blocks of one package and share theirs.
    std::vector<testing::ComponentRecord> records;
    std::vector<std::string> references;
    const int count = 1 + static_cast<int>(random() % 20);
    for (int i = 0; i < count; ++i) {
      const bool sharesPackage = i > 0 && random() % 4 == 0 && records.back().block < 3;
      const std::string reference =
          sharesPackage ? records.back().reference : "U" + std::to_string(i + 1);
      const uint8_t block = sharesPackage ? static_cast<uint8_t>(records.back().block + 1) : 0;
      records.push_back(PlacedPart("QUAD", reference, static_cast<int16_t>(i), 0, block));
      if (!sharesPackage) {
        references.push_back(reference);
      }
    }
    std::vector<std::string> renamed = references;
    std::shuffle(renamed.begin(), renamed.end(), random);
    std::string csv = "old_reference,new_reference\n";
    for (size_t i = 0; i < references.size(); ++i) {
      csv += references[i] + "," + renamed[i] + "\n";
    }
    SchematicDocument document = Load(records);
    std::vector<bool> matched;
    ASSERT_FALSE(ApplyReferenceMap(*ReadReferenceMap(csv, false).map, "B.CE2", document, matched));
    for (size_t e = 0; e < records.size(); ++e) {
      const size_t at = static_cast<size_t>(
          std::find(references.begin(), references.end(), records[e].reference) -
          references.begin());
      EXPECT_EQ(document.entries()[e].reference(), renamed[at]);
    }
    ASSERT_FALSE(ApplyReferenceMap(*ReadReferenceMap(csv, true).map, "B.CE2", document, matched));
    for (size_t e = 0; e < records.size(); ++e) {
      EXPECT_EQ(document.entries()[e].reference(), records[e].reference);
    }
  }
}

}  // namespace
}  // namespace kerro
