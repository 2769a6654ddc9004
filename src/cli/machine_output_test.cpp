// kerro-cli --format: every JSON document a run can give is checked against the shipped
// schema, and the SARIF log against the SARIF 2.1.0 schema, by a validator no one here
// wrote (Debian's python3-jsonschema).

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <sstream>

#include "cli/cli_test_support.h"
#include "cli/machine_output.h"
#include "testing/schematic_builder.h"
#include "testing/temp_folder.h"
#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::Outcome;
using testing::PlacedPart;
using testing::RunTool;
using testing::SchematicBuilder;

int Validate(const std::string& schema, const std::vector<std::string>& documents) {
  std::string command = std::string(KERRO_PYTHON) + " " + KERRO_VALIDATOR + " " + schema;
  for (const std::string& document : documents) {
    command += " '" + document + "'";
  }
  return std::system(command.c_str());
}

size_t LinesStartingWith(const std::string& text, const std::string& start) {
  size_t count = 0;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    count += line.rfind(start, 0) == 0 ? 1 : 0;
  }
  return count;
}

class MachineOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    // Findings of several kinds, texts that are not UTF-8 or hold a control character
    // and a quote, and a second section; a TOSK.INI whose library is missing.
    SchematicBuilder board;
    board.header()
        .component({.x = 10, .y = 5, .packageTag = "RES", .reference = "R5", .partName = "RES"})
        .component({.x = 20, .y = 5, .packageTag = "R\"2", .reference = "R5", .partName = "RES"})
        .component(PlacedPart("\x81\x40", "U?", 30, 5))
        .component(PlacedPart("CAP\t1", "C\xFF", 40, 5))
        .header()
        .component(PlacedPart("DUAL", "U1", 50, 5, 0))
        .component(PlacedPart("DUAL", "U1", 60, 5, 0));
    testing::WriteBytes(path_, board.bytes());
    const std::string ini = "[LIBRARY]\r\nLIB0=" + folder_.file("GONE.LB3") + "\r\n";
    testing::WriteBytes(folder_.file("TOSK.INI"), std::vector<uint8_t>(ini.begin(), ini.end()));
  }

  // Runs kerro-cli and keeps its standard output as a document to validate.
  Outcome run(const std::vector<std::string>& arguments, int expectedStatus) {
    Outcome outcome = RunTool(testing::RealFiles(), arguments);
    EXPECT_EQ(outcome.status, expectedStatus) << outcome.err;
    const std::string document = folder_.file("out-" + std::to_string(documents_.size()));
    testing::WriteBytes(document, std::vector<uint8_t>(outcome.out.begin(), outcome.out.end()));
    documents_.push_back(document);
    return outcome;
  }

  testing::TempFolder folder_;
  std::string path_ = folder_.file("B.CE2");
  std::vector<std::string> documents_;
};

TEST_F(MachineOutput, JsonOfEveryCommandFollowsTheSchema) {
  run({"--format", "json", "--list", path_}, kExitFinished);
  run({"--format", "json", "--lint", path_}, kExitFindings);
  run({"--format", "json", "--lint", "--auto", path_}, kExitFindings);
  run({"--format", "json", "--check", path_}, kExitWouldChange);
  run({"--format", "json", "--auto", "-n", path_}, kExitReadError);
  run({"--format", "json", "-n", "--encoding", "CP932", path_}, kExitFinished);
  const Outcome written =
      run({"--format", "json", path_, folder_.file("NONE.CE2")}, kExitReadError);
  EXPECT_NE(written.out.find("\"written\":true"), std::string::npos);
  EXPECT_EQ(written.out.find("Finished"), std::string::npos);
  run({"--format", "json", "--check", path_}, kExitFinished);  // numbered now
  // A change list of some 400 KiB, which goes out in pieces: every change, once.
  SchematicBuilder large;
  large.header();
  for (int i = 0; i < 2000; ++i) {
    large.component(
        {.x = static_cast<int16_t>(i), .packageTag = "RES", .reference = "R?", .partName = "RES"});
  }
  const std::string largePath = folder_.file("L.CE2");
  testing::WriteBytes(largePath, large.bytes());
  const Outcome many = run({"--format", "json", "--check", largePath}, kExitWouldChange);
  size_t changes = 0;
  for (size_t at = many.out.find("{\"file\""); at != std::string::npos;
       at = many.out.find("{\"file\"", at + 1)) {
    ++changes;
  }
  EXPECT_EQ(changes, 2000u);
  EXPECT_EQ(Validate(KERRO_OUTPUT_SCHEMA, documents_), 0);
}

TEST_F(MachineOutput, SarifAndWorkflowCommandsGiveOneResultPerFinding) {
  const Outcome text = RunTool(testing::RealFiles(), {"--lint", "--auto", path_});
  const size_t findings = LinesStartingWith(text.out, path_ + ": ");
  ASSERT_GE(findings, 4u);

  const Outcome sarif = run({"--format", "sarif", "--lint", "--auto", path_}, kExitFindings);
  EXPECT_EQ(Validate(KERRO_SARIF_SCHEMA, documents_), 0);
  size_t results = 0;
  for (size_t at = sarif.out.find("\"ruleId\""); at != std::string::npos;
       at = sarif.out.find("\"ruleId\"", at + 1)) {
    ++results;
  }
  EXPECT_EQ(results, findings);

  const Outcome github = RunTool(testing::RealFiles(), {"--format", "github", "--lint", path_});
  EXPECT_EQ(github.status, kExitFindings);
  const size_t withoutLibraries = LinesStartingWith(text.out, path_ + ": ") - 1;
  EXPECT_EQ(LinesStartingWith(github.out, "::error file=" + path_ + ",title="), withoutLibraries);
  EXPECT_EQ(LinesStartingWith(github.out, "::"), LinesStartingWith(github.out, ""));

  const Outcome check = RunTool(testing::RealFiles(), {"--format", "github", "--check", path_});
  EXPECT_EQ(check.status, kExitWouldChange);
  EXPECT_EQ(check.out.rfind("::error file=" + path_ + ",title=kerro-cli --check::", 0), 0u)
      << check.out;
  EXPECT_EQ(LinesStartingWith(check.out, ""), 1u);
}

// Texts of random pieces, each either whole UTF-8 or one byte that starts no sequence, read
// back by a JSON string reader: UTF-8 comes back as it was, every other byte as \xNN. Half
// the pieces are runs of plain characters, so that words of four and eight of them meet
// every other piece on either side.
TEST(JsonString, ReadsBackToTheTextOnRandomTexts) {
  struct Piece {
    std::string_view bytes;
    std::string_view shown;
  };
  const Piece pieces[] = {
      {"a", "a"},
      {" ", " "},
      {"\"", "\""},
      {"\\", "\\"},
      {"/", "/"},
      {"\t", "\t"},
      {"\x1F", "\x1F"},
      {"\x7F", "\x7F"},
      {"\xC3\xA9", "\xC3\xA9"},
      {"\xE2\x82\xAC", "\xE2\x82\xAC"},
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
      {"\xFF", "\\xFF"},
      {"\xC0", "\\xC0"},
      {"\xF5", "\\xF5"},
      {"\x80", "\\x80"},
  };
  const std::string_view plain[] = {"R",       "Q7",       "abc",         "U123",
                                    "RN_0603", "ABCDEFGH", "~!#$%&()*+,-"};
  // The text a JSON string literal stands for, or nullopt if it is not one as written here.
  auto read = [](std::string_view json) -> std::optional<std::string> {
    if (json.size() < 2 || json.front() != '"' || json.back() != '"') {
      return std::nullopt;
    }
    std::string text;
    for (size_t at = 1; at + 1 < json.size(); ++at) {
      const char c = json[at];
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '"') {
        return std::nullopt;  // DEL is allowed in JSON, but is escaped here like the rest
      }
      if (c != '\\') {
        text += c;
        continue;
      }
      if (++at + 1 >= json.size()) {
        return std::nullopt;
      }
      const std::string_view simple = "\"\\/bfnrt";
      const std::string_view meant = "\"\\/\b\f\n\r\t";
      if (const size_t which = simple.find(json[at]); which != std::string_view::npos) {
        text += meant[which];
      } else if (json[at] == 'u' && at + 4 < json.size() - 1) {
        const unsigned long value = std::stoul(std::string(json.substr(at + 1, 4)), nullptr, 16);
        if (value >= 0x80) {
          return std::nullopt;  // nothing here needs more than one byte
        }
        text += static_cast<char>(value);
        at += 4;
      } else {
        return std::nullopt;
      }
    }
    return text;
  };
  std::mt19937 random(1209);
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    std::string shown;
    for (size_t n = random() % 12; n > 0; --n) {
      if (random() % 2 == 0) {
        const std::string_view run = plain[random() % std::size(plain)];
        text += run;
        shown += run;
        continue;
      }
      const Piece& piece = pieces[random() % std::size(pieces)];
      text += piece.bytes;
      shown += piece.shown;
    }
    const std::string json = JsonString(text);
    ASSERT_EQ(read(json), shown) << json;
  }
}

TEST(MachineOutputUsage, FormatsGoOnlyWhereTheyMeanSomething) {
  testing::MemoryFileSystem fileSystem;
  fileSystem.files["A.CE2"] = testing::SmallUnnumberedBoard();
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--format", "xml", "A.CE2"},
        {"--format", "github", "A.CE2"},
        {"--format", "sarif", "--check", "A.CE2"},
        {"--format", "json", "-r", "-", "A.CE2"}}) {
    const Outcome outcome = RunTool(fileSystem, arguments);
    EXPECT_EQ(outcome.status, kExitUsage) << arguments[1];
    EXPECT_EQ(fileSystem.changeCount(), 0);
  }
}

}  // namespace
}  // namespace kerro
