#include "cli/change_report.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace kerro {
namespace {

TEST(CsvField, QuotesOnlyWhatMustBeQuoted) {
  struct Case {
    std::string_view text;
    std::string_view expected;
  };
  const Case cases[] = {
      {"R1", "R1"},
      {"", ""},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\nlines", "\"two\nlines\""},
      {"cr\r", "\"cr\r\""},
      {"semi;colon 'single'", "semi;colon 'single'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text));
    EXPECT_EQ(CsvField(c.text), c.expected);
  }
}

// Against the rule a byte at a time, on random texts of up to 40 bytes: mostly letters, a
// byte of any value now and then, and the bytes beside the limits (0x1F, 0x20, 0x7E, 0x7F,
// 0x80) more often, anywhere in a text and in words of both sizes.
TEST(Printable, ShowsControlCharactersAndNothingElse) {
  std::mt19937 random(31);
  const auto model = [](std::string_view text) {
    std::string shown;
    for (const char c : text) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 0x20 || byte == 0x7F) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        shown += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
      } else {
        shown += c;
      }
    }
    return shown;
  };
  constexpr unsigned char kEdges[] = {0x00, 0x1F, 0x20, 0x7E, 0x7F, 0x80, 0xFF};
  for (int i = 0; i < 20000; ++i) {
    std::string text(random() % 41, ' ');
    const size_t rare = 1 + random() % 40;  // one byte in this many is not a letter
    for (char& c : text) {
      const size_t pick = random() % (2 * rare);
      c = static_cast<char>(pick == 0   ? kEdges[random() % std::size(kEdges)]
                            : pick == 1 ? random() % 256
                                        : 'a' + random() % 26);
    }
    ASSERT_EQ(Printable(text), model(text)) << i;
  }
}

// Rows of random changes, whose texts hold every character CSV gives a meaning and some it
// does not, read back by a reader of RFC 4180 to the fields they were made from.
TEST(FormatChangesCsv, ReadsBackToItsFieldsOnRandomChanges) {
  // The fields of each row, and whether every row ended with CR LF.
  auto readCsv = [](const std::string& csv) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool endsWell = true;
    size_t at = 0;
    while (at < csv.size()) {
      if (csv[at] == '"') {
        for (++at; at < csv.size(); ++at) {
          if (csv[at] == '"' && (at + 1 == csv.size() || csv[at + 1] != '"')) {
            ++at;
            break;
          }
          at += csv[at] == '"' ? 1 : 0;
          field += csv[at];
        }
      } else {
        while (at < csv.size() && csv[at] != ',' && csv[at] != '\r' && csv[at] != '\n') {
          field += csv[at++];
        }
      }
      row.push_back(std::move(field));
      field.clear();
      if (at < csv.size() && csv[at] == ',') {
        ++at;
        continue;
      }
      endsWell = endsWell && csv.compare(at, 2, "\r\n") == 0;
      at += 2;
      rows.push_back(std::move(row));
      row.clear();
    }
    return std::pair(rows, endsWell);
  };
  std::mt19937 random(20261209);
  auto text = [&] {
    std::string made(random() % 7, ' ');
    for (char& c : made) {
      c = "A,\"\r\n\t \x7F\xE9"[random() % 9];
    }
    return made;
  };
  auto number = [&] { return static_cast<int32_t>(random()); };
  // Every other round converts the texts, each byte to two, as an encoding may.
  const TextShown converted = [](std::string_view bytes) {
    std::string shown;
    for (const char c : bytes) {
      shown += {'<', c};
    }
    return shown;
  };
  for (int round = 0; round < 200; ++round) {
    const TextShown shown = round % 2 == 0 ? TextShown{} : converted;
    const auto shownAs = [&](std::string_view bytes) {
      return shown ? shown(bytes) : std::string(bytes);
    };
    std::vector<FileChanges> files(1 + random() % 3);
    std::vector<std::vector<std::string>> expected = {{"file", "section", "x", "y", "part", "tag",
                                                       "old_reference", "new_reference",
                                                       "old_block", "new_block"}};
    for (FileChanges& file : files) {
      file.path = text() + ".CE2";
      for (size_t n = random() % 6; n > 0; --n) {
        const ComponentChange change{.x = number(),
                                     .y = static_cast<int16_t>(number()),
                                     .section = static_cast<uint8_t>(random() % 63),
                                     .partName = text(),
                                     .packageTag = text(),
                                     .oldReference = text(),
                                     .newReference = text(),
                                     .oldBlock = static_cast<uint8_t>(random()),
                                     .newBlock = static_cast<uint8_t>(random())};
        file.changes.push_back(change);
        expected.push_back({file.path, std::to_string(change.section + 1), std::to_string(change.x),
                            std::to_string(change.y), shownAs(change.partName),
                            shownAs(change.packageTag), shownAs(change.oldReference),
                            shownAs(change.newReference), std::to_string(change.oldBlock),
                            std::to_string(change.newBlock)});
      }
    }
    const auto [rows, endsWell] = readCsv(FormatChangesCsv(files, shown));
    ASSERT_TRUE(endsWell) << "round " << round;
    ASSERT_EQ(rows, expected) << "round " << round;
  }
}

TEST(ChangeLine, ShowsBlockOnlyWhenItChangedAndAppends) {
  ComponentChange change{.x = -3,
                         .y = 4,
                         .section = 1,
                         .partName = "74LS00",
                         .packageTag = "T\t",
                         .oldReference = "U7",
                         .newReference = "U1",
                         .oldBlock = 0,
                         .newBlock = 0};
  std::string lines = "before\n";
  AppendChangeLine(lines, "a.CE2", change);
  EXPECT_EQ(lines, "before\na.CE2: section 2 at (-3, 4) 74LS00 [T\\x09]: U7 -> U1");
  change.newBlock = 3;
  lines.clear();
  AppendChangeLine(lines, "a.CE2", change);
  EXPECT_EQ(lines, "a.CE2: section 2 at (-3, 4) 74LS00 [T\\x09]: U7 -> U1, block 0 -> 3");
}

}  // namespace
}  // namespace kerro
