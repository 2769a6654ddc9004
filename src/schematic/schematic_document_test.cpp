#include "schematic/schematic_document.h"

#include <gtest/gtest.h>

#include <random>

#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::ComponentRecord;
using testing::MemoryFileSystem;
using testing::SchematicBuilder;

SchematicDocument Loaded(const std::vector<uint8_t>& bytes) {
  SchematicDocument document;
  EXPECT_TRUE(document.loadImage(bytes));
  return document;
}

std::vector<uint8_t> Concatenated(const MemoryFileSystem& fileSystem, const std::string& path,
                                  int sections) {
  std::vector<uint8_t> all;
  for (int i = 0; i < sections; ++i) {
    const auto& part = fileSystem.files.at(SchematicDocument::SectionFileName(path, i));
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

TEST(SchematicDocument, ReadsComponentFields) {
  SchematicBuilder builder;
  builder.header().component({.x = -120,
                              .y = 345,
                              .block = 2,
                              .packageTag = "74LS00",
                              .reference = "U12",
                              .partName = "74LS00"});
  SchematicDocument document = Loaded(builder.bytes());
  ASSERT_EQ(document.entries().size(), 1u);
  const ComponentEntry& entry = document.entries()[0];
  EXPECT_EQ(entry.x(), -120 + 5000);
  EXPECT_EQ(entry.y(), 345);
  EXPECT_EQ(entry.block(), 2);
  EXPECT_EQ(entry.packageTag(), "74LS00");
  EXPECT_EQ(entry.reference(), "U12");
  EXPECT_EQ(entry.partName(), "74LS00");
}

TEST(SchematicDocument, BothSignaturesAreAccepted) {
  for (const auto& signature : {SchematicBuilder::kSignature0, SchematicBuilder::kSignature1}) {
    SchematicBuilder builder;
    builder.header(signature).component({.reference = "R1"});
    SchematicDocument document;
    EXPECT_TRUE(document.loadImage(builder.bytes())) << signature;
    EXPECT_EQ(document.entries().size(), 1u);
  }
}

TEST(SchematicDocument, EmptyAndOversizedTextFields) {
  SchematicBuilder builder;
  builder.header()
      .component({.packageTag = "T", .reference = "R1", .referenceLengthByte = 0})
      .component({.packageTag = "T", .reference = "R2", .referenceLengthByte = 0x85})
      .component({.packageTag = "TAG",
                  .reference = "ABCDEFGH",
                  .packageTagLengthByte = 100,
                  .referenceLengthByte = 127})
      .component({.reference = "R9", .partName = "SIXTEEN_CHARS_XX"});
  SchematicDocument document = Loaded(builder.bytes());
  auto entries = document.entries();
  EXPECT_EQ(entries[0].reference(), "");
  EXPECT_EQ(entries[1].reference(), "");  // top bit set reads as empty
  // A length byte past the field is read no further than the field.
  EXPECT_EQ(entries[2].reference().size(), 8u);
  EXPECT_EQ(entries[2].reference(), "ABCDEFGH");
  EXPECT_EQ(entries[2].packageTag().size(), 15u);
  EXPECT_EQ(entries[2].packageTag().substr(0, 3), "TAG");
  // A part name without terminator ends with its field.
  EXPECT_EQ(entries[3].partName(), "SIXTEEN_CHARS_XX");
}

TEST(SchematicDocument, SectionOffsetsAddToX) {
  SchematicBuilder builder;
  builder.header().component({.x = 10, .reference = "R1"});
  builder.header().component({.x = 10, .reference = "R2"});
  builder.header().component({.x = -10, .reference = "R3"});
  SchematicDocument document = Loaded(builder.bytes());
  ASSERT_EQ(document.sectionCount(), 3);
  auto entries = document.entries();
  EXPECT_EQ(entries[0].x(), 5010);
  EXPECT_EQ(entries[1].x(), 10010);
  EXPECT_EQ(entries[2].x(), 14990);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(entries[static_cast<size_t>(i)].section(), i);
  }
  EXPECT_EQ(entries[1].storedX(), 10);
  EXPECT_EQ(entries[2].storedX(), -10);
}

TEST(SchematicDocument, HeaderOnlyFileRoundTrips) {
  SchematicBuilder builder;
  builder.header();
  SchematicDocument document = Loaded(builder.bytes());
  EXPECT_EQ(document.sectionCount(), 1);
  EXPECT_TRUE(document.entries().empty());
  MemoryFileSystem fileSystem;
  ASSERT_TRUE(document.save(fileSystem, "A.CE2"));
  EXPECT_EQ(fileSystem.files.size(), 1u);
  EXPECT_EQ(fileSystem.files["A.CE2"], builder.bytes());
}

TEST(SchematicDocument, ThreeSectionsGoToThreeFiles) {
  SchematicBuilder builder;
  builder.header().component({.reference = "R1"}).fixedRecord(3);
  builder.header().variableRecord(200, 24);
  builder.header().component({.reference = "C1"});
  SchematicDocument document = Loaded(builder.bytes());
  MemoryFileSystem fileSystem;
  ASSERT_TRUE(document.save(fileSystem, "A.CE2"));
  ASSERT_EQ(fileSystem.files.size(), 3u);
  EXPECT_EQ(fileSystem.files.at("A.CE2").size(), 60u + 60 + 10);
  EXPECT_EQ(fileSystem.files.at("A.CE2-01").size(), 60u + 24);
  EXPECT_EQ(fileSystem.files.at("A.CE2-02").size(), 60u + 60);
  EXPECT_EQ(Concatenated(fileSystem, "A.CE2", 3), builder.bytes());
}

TEST(SchematicDocument, SeventyHeadersMakeSixtyThreeSections) {
  SchematicBuilder builder;
  for (int i = 0; i < 70; ++i) {
    builder.header().component({.x = static_cast<int16_t>(i), .reference = "R1"});
  }
  SchematicDocument document = Loaded(builder.bytes());
  ASSERT_EQ(document.sectionCount(), 63);
  EXPECT_EQ(document.sectionStarts().back(), builder.size());
  // Components after the 63rd header stay in the 63rd section.
  EXPECT_EQ(document.entries()[62].x(), 62 + 63 * 5000);
  EXPECT_EQ(document.entries()[69].x(), 69 + 63 * 5000);
  EXPECT_EQ(document.entries()[69].section(), 62);
  EXPECT_EQ(document.entries()[69].storedX(), 69);
  MemoryFileSystem fileSystem;
  ASSERT_TRUE(document.save(fileSystem, "B.CE2"));
  EXPECT_EQ(fileSystem.files.size(), 63u);
  EXPECT_EQ(fileSystem.files.count("B.CE2-62"), 1u);
  EXPECT_EQ(Concatenated(fileSystem, "B.CE2", 63), builder.bytes());
}

TEST(SchematicDocument, RecordsBeforeTheFirstHeaderAreKept) {
  // The signature sits in the bytes of a leading component record; it and the record after
  // it come before the file's first header record.
  SchematicBuilder leading;
  leading.header();
  std::vector<uint8_t> bytes = leading.bytes();
  bytes[0] = 8;  // the signature now lies inside a component record
  SchematicBuilder rest;
  rest.fixedRecord(0).header().component({.x = 7, .reference = "R1"});
  bytes.insert(bytes.end(), rest.bytes().begin(), rest.bytes().end());

  SchematicDocument document = Loaded(bytes);
  ASSERT_EQ(document.entries().size(), 2u);
  EXPECT_EQ(document.entries()[1].x(), 5007);
  EXPECT_EQ(document.entries()[0].section(), 0);
  EXPECT_EQ(document.entries()[1].section(), 0);
  MemoryFileSystem fileSystem;
  ASSERT_TRUE(document.save(fileSystem, "C.CE2"));
  EXPECT_EQ(Concatenated(fileSystem, "C.CE2", document.sectionCount()), bytes);

  // No header record at all: still one section holding every byte.
  std::vector<uint8_t> headerless = leading.bytes();
  headerless[0] = 8;
  SchematicDocument second = Loaded(headerless);
  EXPECT_EQ(second.sectionCount(), 1);
  ASSERT_TRUE(second.save(fileSystem, "D.CE2"));
  EXPECT_EQ(fileSystem.files.at("D.CE2"), headerless);
}

TEST(SchematicDocument, EveryRecordKindRoundTrips) {
  SchematicBuilder builder;
  builder.header();
  for (uint8_t kind = 0; kind <= 7; ++kind) {
    builder.fixedRecord(kind);
  }
  for (int kind = 16; kind <= 255; ++kind) {
    builder.variableRecord(static_cast<uint8_t>(kind), static_cast<int16_t>(12 + kind % 40));
  }
  builder.component({.partName = "GND"});
  SchematicDocument document = Loaded(builder.bytes());
  EXPECT_EQ(document.entries().size(), 1u);
  MemoryFileSystem fileSystem;
  ASSERT_TRUE(document.save(fileSystem, "E.CE2"));
  EXPECT_EQ(fileSystem.files.at("E.CE2"), builder.bytes());
}

TEST(SchematicDocument, RandomFilesRoundTripByteForByte) {
  std::mt19937 random(20261208);
  for (int round = 0; round < 200; ++round) {
    SchematicBuilder builder;
    builder.header(round % 2 ? SchematicBuilder::kSignature1 : SchematicBuilder::kSignature0);
    const int records = static_cast<int>(random() % 60);
    size_t components = 0;
    for (int i = 0; i < records; ++i) {
      switch (random() % 4) {
        case 0:
          builder.fixedRecord(static_cast<uint8_t>(random() % 8));
          break;
        case 1:
          builder.variableRecord(static_cast<uint8_t>(16 + random() % 240),
                                 static_cast<int16_t>(12 + random() % 300));
          break;
        case 2:
          builder.component({.x = static_cast<int16_t>(random()),
                             .y = static_cast<int16_t>(random()),
                             .packageTag = "P" + std::to_string(random() % 9),
                             .reference = "R" + std::to_string(random() % 999)});
          ++components;
          break;
        default:
          if (random() % 5 == 0) {
            builder.header();
          }
      }
    }
    SchematicDocument document = Loaded(builder.bytes());
    EXPECT_EQ(document.entries().size(), components);
    MemoryFileSystem fileSystem;
    ASSERT_TRUE(document.save(fileSystem, "R.CE2"));
    EXPECT_EQ(Concatenated(fileSystem, "R.CE2", document.sectionCount()), builder.bytes())
        << "round " << round;
  }
}

struct RejectedCase {
  const char* name;
  std::vector<uint8_t> bytes;
  std::string why;  // what loadError() says, %N standing for the offset of the bad record
};

std::vector<RejectedCase> RejectedCases() {
  std::vector<RejectedCase> cases;
  SchematicBuilder good;
  good.header().component({.reference = "R1"});
  auto with = [&](std::vector<uint8_t> tail) {
    std::vector<uint8_t> bytes = good.bytes();
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
  };
  cases.push_back({"empty file", {}, "the file is empty"});
  std::vector<uint8_t> shortFile = good.bytes();
  shortFile.resize(40);
  cases.push_back({"shorter than a header record", shortFile, "not a schematic (40 bytes)"});
  SchematicBuilder other;
  other.header("CE DATA FILE $0002");
  cases.push_back({"other signature", other.bytes(), "not a schematic (no signature at byte 2)"});
  std::vector<uint8_t> textLibrary(80, ' ');
  std::string magic = "+TOSK3_LIB_V.1.0\n";
  std::copy(magic.begin(), magic.end(), textLibrary.begin());
  cases.push_back({"text library", textLibrary, "not a schematic (no signature at byte 2)"});
  for (uint8_t kind = 10; kind <= 15; ++kind) {
    std::vector<uint8_t> record(20, 1);
    record[0] = kind;
    cases.push_back({"invalid kind", with(record),
                     "unknown record of kind " + std::to_string(kind) + " at byte %N"});
  }
  std::vector<uint8_t> zeroLength(16, 0);
  zeroLength[0] = 40;
  cases.push_back({"variable length 0", with(zeroLength),
                   "a record of kind 40 at byte %N gives its length as 0"});
  std::vector<uint8_t> negative(16, 0);
  negative[0] = 40;
  negative[10] = 0xF0;
  negative[11] = 0xFF;
  cases.push_back({"variable length negative", with(negative),
                   "a record of kind 40 at byte %N gives its length as -16"});
  std::vector<uint8_t> pastEnd(16, 0);
  pastEnd[0] = 40;
  pastEnd[10] = 17;
  cases.push_back({"variable record past the end", with(pastEnd),
                   "a record at byte %N runs past the end of the file"});
  cases.push_back({"length field past the end", with({40, 1, 2, 3, 4, 5}),
                   "a record at byte %N runs past the end of the file"});
  std::vector<uint8_t> truncated = good.bytes();
  truncated.pop_back();
  cases.push_back(
      {"truncated component", truncated, "a record at byte %C runs past the end of the file"});
  cases.push_back({"truncated fixed record", with({7, 0, 0}),
                   "a record at byte %N runs past the end of the file"});
  return cases;
}

TEST(SchematicDocument, RejectsMalformedFilesAndKeepsNothing) {
  SchematicBuilder previous;
  previous.header().component({.reference = "R1"});
  for (const auto& rejected : RejectedCases()) {
    SCOPED_TRACE(rejected.name);
    SchematicDocument document;
    ASSERT_TRUE(document.loadImage(previous.bytes()));
    EXPECT_FALSE(document.loadImage(rejected.bytes));
    // %N: the record after the good file's; %C: the good file's component.
    std::string why = rejected.why;
    SchematicBuilder good;
    good.header();
    const size_t headerSize = good.bytes().size();
    good.component({.reference = "R1"});
    if (const size_t at = why.find("%N"); at != std::string::npos) {
      why.replace(at, 2, std::to_string(good.bytes().size()));
    }
    if (const size_t at = why.find("%C"); at != std::string::npos) {
      why.replace(at, 2, std::to_string(headerSize));
    }
    EXPECT_EQ(document.loadError(), why);
    EXPECT_FALSE(document.isLoaded());
    EXPECT_TRUE(document.entries().empty());
    EXPECT_TRUE(document.image().empty());
    MemoryFileSystem fileSystem;
    EXPECT_FALSE(document.save(fileSystem, "X.CE2"));
    EXPECT_TRUE(fileSystem.files.empty());
  }
}

TEST(SchematicDocument, LoadThroughFileSystem) {
  SchematicBuilder builder;
  builder.header().component({.reference = "R1"});
  MemoryFileSystem fileSystem;
  fileSystem.files["A.CE2"] = builder.bytes();
  SchematicDocument document;
  EXPECT_TRUE(document.load(fileSystem, "A.CE2"));
  EXPECT_FALSE(document.load(fileSystem, "missing.CE2"));
  EXPECT_EQ(document.loadError(), "no such file");
  EXPECT_FALSE(document.isLoaded());
  fileSystem.lock("A.CE2");
  EXPECT_FALSE(document.load(fileSystem, "A.CE2"));
}

TEST(SchematicDocument, SaveStopsAtTheFirstFailedSection) {
  SchematicBuilder builder;
  builder.header().header().header();
  SchematicDocument document = Loaded(builder.bytes());
  MemoryFileSystem fileSystem;
  fileSystem.failOn(testing::FileOperation::Write, "A.CE2-01");
  EXPECT_FALSE(document.save(fileSystem, "A.CE2"));
  EXPECT_EQ(fileSystem.files.count("A.CE2-02"), 0u);
}

TEST(SchematicDocument, EditsChangeOnlyTheirFields) {
  SchematicBuilder builder;
  builder.header().component({.block = 1, .packageTag = "T", .reference = "R1"});
  SchematicDocument document = Loaded(builder.bytes());
  ComponentEntry& entry = document.entries()[0];
  entry.setBlock(3);
  auto field = entry.referenceField();
  field[0] = 2;
  field[1] = 'C';
  field[2] = '7';
  std::vector<uint8_t> expected = builder.bytes();
  expected[60 + 11] = 3;
  expected[60 + 32] = 2;
  expected[60 + 33] = 'C';
  expected[60 + 34] = '7';
  EXPECT_EQ(std::vector<uint8_t>(document.image().begin(), document.image().end()), expected);
  EXPECT_EQ(entry.reference(), "C7");
}

}  // namespace
}  // namespace kerro
