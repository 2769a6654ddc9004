// kerro-cli --encoding: the texts of the files as UTF-8 in what the tool prints and writes,
// and a map's texts back in the file's bytes.

#include <gtest/gtest.h>

#include <sstream>

#include "cli/cli.h"
#include "cli/cli_test_support.h"
#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::MemoryFileSystem;
using testing::Outcome;
using testing::RunTool;
using testing::SchematicBuilder;

std::string Text(const std::vector<uint8_t>& bytes) {
  return {bytes.begin(), bytes.end()};
}

// 抵抗 (resistor) as code page 932 writes it, and as UTF-8.
const std::string kResistor932 = "\x92\xEF\x8D\x52";
const std::string kResistorUtf8 = "\xE6\x8A\xB5\xE6\x8A\x97";

class JapaneseBoard : public ::testing::Test {
 protected:
  void SetUp() override {
    SchematicBuilder board;
    board.header()
        .component({.x = 10, .packageTag = "T", .reference = "R5", .partName = kResistor932})
        .component({.x = 20, .packageTag = "T", .reference = "R2", .partName = "R\x81"});
    original_ = board.bytes();
    files_.files["J.CE2"] = original_;
  }

  MemoryFileSystem files_;
  std::vector<uint8_t> original_;
};

TEST_F(JapaneseBoard, ChangeListAndReportShowCodePage932AsUtf8) {
  Outcome outcome = RunTool(files_, {"--encoding", "CP932", "-n", "-r", "r.csv", "J.CE2"});
  EXPECT_EQ(outcome.status, kExitFinished);
  EXPECT_EQ(outcome.out, "J.CE2: section 1 at (10, 0) " + kResistorUtf8 +
                             " [T]: R5 -> R2\n"
                             "J.CE2: section 1 at (20, 0) R\\x81 [T]: R2 -> R1\n"
                             "J.CE2: 2 references would change; would write J.CE2; previous "
                             "content would be kept in J.$E2\n"
                             "Finished\n");
  EXPECT_EQ(Text(files_.files["r.csv"]),
            "file,section,x,y,part,tag,old_reference,new_reference,old_block,new_block\r\n"
            "J.CE2,1,10,0," +
                kResistorUtf8 + ",T,R5,R2,0,0\r\nJ.CE2,1,20,0,R\\x81,T,R2,R1,0,0\r\n");
  EXPECT_EQ(files_.files["J.CE2"], original_);
  // A run that writes puts the same report on the disk before it replaces the schematic.
  ASSERT_EQ(RunTool(files_, {"--encoding", "CP932", "-q", "-r", "w.csv", "J.CE2"}).status,
            kExitFinished);
  EXPECT_EQ(files_.files["w.csv"], files_.files["r.csv"]);
  files_.files["J.CE2"] = original_;

  // Without the option the bytes go out as they are.
  Outcome raw = RunTool(files_, {"-n", "J.CE2"});
  EXPECT_NE(raw.out.find(kResistor932), std::string::npos);
}

TEST_F(JapaneseBoard, TheJsonListShowsTheTextsAsUtf8) {
  const Outcome outcome =
      RunTool(files_, {"--format", "json", "--list", "--encoding", "CP932", "J.CE2"});
  EXPECT_EQ(outcome.status, kExitFinished);
  EXPECT_NE(outcome.out.find("\"reference\":\"R5\",\"part\":\"" + kResistorUtf8 + "\""),
            std::string::npos)
      << outcome.out;
  EXPECT_EQ(outcome.out.find(kResistor932), std::string::npos) << outcome.out;
}

TEST_F(JapaneseBoard, LintLinesAndMapsUseTheEncodingToo) {
  SchematicBuilder board;
  board.header()
      .component({.x = 10, .packageTag = "A", .reference = "R1", .partName = kResistor932})
      .component({.x = 20, .packageTag = "B", .reference = "R1", .partName = kResistor932});
  files_.files["J.CE2"] = board.bytes();
  Outcome lint = RunTool(files_, {"--lint", "--encoding", "CP932", "J.CE2"});
  EXPECT_EQ(lint.status, kExitFindings);
  EXPECT_EQ(lint.out, "J.CE2: section 1 at (20, 0) " + kResistorUtf8 +
                          " [B] R1 block 0: duplicate reference: also on " + kResistorUtf8 +
                          " [A] section 1 at (10, 0)\n");

  // A component map names the part in UTF-8: only converted does it find the file's bytes.
  const std::string map =
      "section,x,y,part,old_reference,new_reference,old_block,new_block\n"
      "1,20,0," +
      kResistorUtf8 + ",R1,R7,0,0\n";
  files_.files["m.csv"] = {map.begin(), map.end()};
  Outcome unconverted = RunTool(files_, {"--apply", "m.csv", "J.CE2"});
  EXPECT_EQ(unconverted.err, "kerro-cli: warning: line 2 of m.csv matches no component\n");
  Outcome converted = RunTool(files_, {"--encoding", "CP932", "--apply", "m.csv", "J.CE2"});
  EXPECT_EQ(converted.status, kExitFinished);
  EXPECT_EQ(converted.err, "");
  EXPECT_EQ(testing::ReferencesIn(files_.files["J.CE2"]), (std::vector<std::string>{"R1", "R7"}));
}

TEST(EncodingOption, AnUnknownEncodingIsBadUsage) {
  MemoryFileSystem files;
  files.files["A.CE2"] = testing::SmallUnnumberedBoard();
  Outcome outcome = RunTool(files, {"--encoding", "NO-SUCH-CODE-PAGE", "A.CE2"});
  EXPECT_EQ(outcome.status, kExitUsage);
  EXPECT_EQ(outcome.err, "kerro-cli: unknown encoding \"NO-SUCH-CODE-PAGE\"\n");
  EXPECT_TRUE(files.log.empty());
}

}  // namespace
}  // namespace kerro
