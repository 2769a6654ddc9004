#include "board/placement_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace kerro {
namespace {

constexpr int64_t kMm = kNanometresPerMillimetre;

using Row = std::tuple<std::string, int64_t, int64_t, BoardSide>;

std::vector<Row> RowsOf(const std::vector<PlacementRow>& rows) {
  std::vector<Row> plain;
  for (const PlacementRow& row : rows) {
    plain.emplace_back(row.reference, row.x, row.y, row.side);
  }
  return plain;
}

TEST(PlacementFile, ReadsTheFormsThatLayoutsWrite) {
  constexpr BoardSide kTop = BoardSide::Top;
  constexpr BoardSide kBottom = BoardSide::Bottom;
  struct Case {
    const char* name;
    std::string text;
    std::vector<Row> rows;
  };
  const Case cases[] = {
      {"comma, millimetres, side words",
       "Ref,Val,PosX,PosY,Side\nR1,1k,10.5,-2,top\nC2,1n,0,3.25,bottom\n",
       {{"R1", 10'500'000, -2 * kMm, kTop}, {"C2", 0, 3'250'000, kBottom}}},
      {"semicolon, quotes, decimal commas, layer names",
       "\"Designator\";\"Mid X\";\"Mid Y\";\"Layer\"\r\n\"U1\";\"1,5\";\"2\";\"TopLayer\"\r\n"
       " U2 ; 3 ; 4 ; BottomLayer \r\n",
       {{"U1", 1'500'000, 2 * kMm, kTop}, {"U2", 3 * kMm, 4 * kMm, kBottom}}},
      {"tab, unit in the header, T and B",
       "RefDes\tCenter-X(mil)\tCenter-Y (mil)\tTB\nQ1\t100\t-50\tT\nQ2\t1000\t0\tB\n",
       {{"Q1", 100 * kNanometresPerMil, -50 * kNanometresPerMil, kTop},
        {"Q2", 1000 * kNanometresPerMil, 0, kBottom}}},
      {"units on the numbers, no side column",
       "Reference,X,Y\nR1,12.5mm,490mil\nR2,0.5in,-1 mm\n",
       {{"R1", 12'500'000, 490 * kNanometresPerMil, kTop},
        {"R2", kNanometresPerInch / 2, -kMm, kTop}}},
      {"text form with a unit comment and F.Cu / B.Cu",
       "### positions\n## Unit = inch, Angle = deg.\n# Ref   Val     PosX    PosY  Layer\n"
       "C1      \"1 n\"   1.0     -0.5  F.Cu\nC2      10n     0.25    2     B.Cu\n## End\n",
       {{"C1", kNanometresPerInch, -kNanometresPerInch / 2, kTop},
        {"C2", kNanometresPerInch / 4, 2 * kNanometresPerInch, kBottom}}},
      {"byte order mark, blank lines and empty rows",
       "\xEF\xBB\xBF\n\nRef,PosX,PosY\r\n\r\n,,\r\nD1,1,2\r\n",
       {{"D1", kMm, 2 * kMm, kTop}}},
      {"every unit and the longest side names, in any case and with marks",
       "Ref,X,Y,Side\nA1,1MM,2 Mil,Bottom-Side\nA2,3mils,4Thou,BOTTOM_LAYER\n"
       "A3,1In,2 inch,Top Side\nA4,0.5 INCHES,-1,b.cu\n",
       {{"A1", kMm, 2 * kNanometresPerMil, kBottom},
        {"A2", 3 * kNanometresPerMil, 4 * kNanometresPerMil, kBottom},
        {"A3", kNanometresPerInch, 2 * kNanometresPerInch, kTop},
        {"A4", kNanometresPerInch / 2, -kMm, kBottom}}},
      {"the centre preferred to the reference point",
       "Ref,Ref X,Ref Y,Mid X,Mid Y,Side\nJ1,1,1,5,6,front\nJ2,1,1,7,8,back\n",
       {{"J1", 5 * kMm, 6 * kMm, kTop}, {"J2", 7 * kMm, 8 * kMm, kBottom}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PlacementReadResult read = ReadPlacement(c.text);
    ASSERT_TRUE(read.rows.has_value()) << read.error;
    EXPECT_EQ(RowsOf(*read.rows), c.rows);
  }
}

TEST(PlacementFile, RefusesWhatCannotBeReadNamingTheLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "line 1: no header row"},
      {"\n\nRef,Val\nR1,1k\n", "line 3: no x column"},
      {"Name,X,Y\nR1,1,2\n", "line 1: no reference column"},
      {"Ref,X\nR1,1\n", "line 1: no y column"},
      {"# Val X Y\nR1 1 2\n", "line 1: no header line"},
      {"Ref,X,Y\nR1,1,2\nR2,3,4\nR1,5,6\n", "line 4: \"R1\" is on line 2 too"},
      {"Ref,X,Y\nR1,,2\n", "line 2: a row with no position"},
      {"Ref,X,Y\nR1,1\n", "line 2: a row with no position"},
      {"Ref,X,Y\n,1,2\n", "line 2: a row with no reference"},
      {"Ref,X,Y\nR1,1.2.3,2\n", "line 2: \"1.2.3\" is not a position"},
      {"Ref,X,Y\nR1,5furlong,2\n", "line 2: \"5furlong\" is not a position"},
      {"Ref,X,Y\nR1,1,99999999999\n", "line 2: \"99999999999\" is not a position"},
      {"Ref,X,Y,Side\nR1,1,2,middle\n", "line 2: \"middle\" is not a side"},
      {"Ref,X,Y,Side\nR1,1,2,bottom-layers\n", "line 2: \"bottom-layers\" is not a side"},
      {"Ref,X,Y\nR1,1inchess,2\n", "line 2: \"1inchess\" is not a position"},
      {"Ref,X,Y,Side\nR1,1,2,\n", "line 2: \"\" is not a side"},
      {"Ref,X,Y\n\"R1,1,2\n", "line 2: a quote that does not close"},
      {"Ref,X,Y\n\"R1\"x,1,2\n", "line 2: text after a closing quote"},
      {"# Ref Val X Y\nC1 100 nF 1 2\n", "line 2: 5 fields where the header has 4"},
  };
  for (const auto& [text, error] : cases) {
    SCOPED_TRACE(text);
    const PlacementReadResult read = ReadPlacement(text);
    EXPECT_FALSE(read.rows.has_value());
    EXPECT_EQ(read.error.substr(0, std::string(error).size()), error) << read.error;
  }
}

// Long files with references on two rows and rows that cannot be read, in any order:
// the refusal names the first fault in the file, as a reader going row by row finds it.
TEST(PlacementFile, RefusesLongFilesAtTheirFirstFault) {
  std::mt19937 random(11);
  const auto pick = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  for (int trial = 0; trial < 300; ++trial) {
    const int count = pick(1, 400);
    std::vector<std::string> references;
    std::string text = "Ref,X,Y\n";
    std::string expected;
    for (int i = 0; i < count; ++i) {
      const int line = i + 2;
      std::string reference = "R" + std::to_string(i);
      std::string x = "1";
      const int fault = pick(0, 199);
      if (fault < 2 && !references.empty()) {
        reference =
            references[static_cast<size_t>(pick(0, static_cast<int>(references.size()) - 1))];
      } else if (fault == 2) {
        x = "1.2.3";
      }
      if (expected.empty()) {
        const auto earlier = std::find(references.begin(), references.end(), reference);
        if (earlier != references.end()) {
          expected = "line " + std::to_string(line) + ": \"" + reference + "\" is on line " +
                     std::to_string(earlier - references.begin() + 2) + " too";
        } else if (fault == 2) {
          expected = "line " + std::to_string(line) + ": \"1.2.3\" is not a position";
        }
      }
      references.push_back(reference);
      text += reference + "," + x + ",2\n";
    }
    SCOPED_TRACE(text);
    const PlacementReadResult read = ReadPlacement(text);
    EXPECT_EQ(read.rows.has_value(), expected.empty());
    EXPECT_EQ(read.error, expected);
  }
}

TEST(PlacementFile, RenamesOnlyTheReferences) {
  const std::string text =
      "Ref;Val;PosX;PosY\r\n\"R12\" ;\"R12\";1;2\r\n  C3;C3;3;4\r\nU1;x;5;6\r\n";
  const PlacementReadResult read = ReadPlacement(text);
  ASSERT_TRUE(read.rows.has_value()) << read.error;
  const std::vector<std::string_view> newNames = {"R1", "C\"10", ""};  // per row
  EXPECT_EQ(RenamePlacement(text, ReferenceSpansOf(*read.rows),
                            [&](size_t row) { return newNames[row]; }),
            "Ref;Val;PosX;PosY\r\n\"R1\" ;\"R12\";1;2\r\n  C\"10;C3;3;4\r\nU1;x;5;6\r\n");
}

// Random files of both forms, with quoted references that hold quotes, separators and
// blanks, blank lines, CR LF and padding: every row comes back as it was written, its
// reference found at the bytes that hold it, and renaming changes only those bytes.
// A length is its decimal number times the unit, rounded to the nearest nanometre (halves
// up), from at most 9 whole digits and the first 9 of the fraction, within a kilometre:
// checked against that rule on random numbers.
TEST(PlacementFile, LengthsAreTheNumberTimesTheUnitRounded) {
  std::mt19937 random(31);
  const std::pair<const char*, int64_t> units[] = {
      {"", kMm}, {"mm", kMm}, {" mil", kNanometresPerMil}, {"in", kNanometresPerInch}};
  for (int round = 0; round < 20000; ++round) {
    const auto digits = [&random](size_t count) {
      std::string made(count, '0');
      for (char& c : made) {
        c = static_cast<char>('0' + random() % 10);
      }
      return made;
    };
    const std::string whole = digits(random() % 11);
    const std::string fraction = digits(random() % 13);
    const auto& [unitName, unit] = units[random() % 4];
    const bool negative = random() % 2 == 0;
    const std::string text = (negative ? "-" : "") + whole +
                             (fraction.empty() && random() % 2 ? "" : ".") + fraction + unitName;
    SCOPED_TRACE(text);
    std::optional<int64_t> expected;
    const std::string kept = fraction.substr(0, 9);
    if (whole.size() <= 9 && whole.size() + fraction.size() > 0) {
      // The whole part's product and the fraction's, each exact in 64 bits.
      const int64_t wholeValue = whole.empty() ? 0 : std::stoll(whole);
      const int64_t fractionValue = kept.empty() ? 0 : std::stoll(kept);
      int64_t scale = 1;
      for (size_t i = 0; i < kept.size(); ++i) {
        scale *= 10;
      }
      const int64_t rounded = wholeValue * unit + (2 * fractionValue * unit + scale) / (2 * scale);
      if (rounded <= 1'000'000 * kMm) {
        expected = negative ? -rounded : rounded;
      }
    }
    ASSERT_EQ(ParseLength(text, kMm), expected);
  }
}

TEST(PlacementFile, ReadsRandomFilesAsTheyWereWrittenAndRenamesOnlyTheReferences) {
  std::mt19937 random(2027);
  const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const char separator = ",;\t "[pick(4)];  // a blank: the text form
    const bool textForm = separator == ' ';
    const std::string end = pick(2) ? "\r\n" : "\n";
    const std::string gap =
        textForm ? std::string(static_cast<size_t>(1 + pick(3)), ' ') : std::string(1, separator);
    std::string file = pick(4) == 0 ? "\xEF\xBB\xBF" : "";
    file += textForm ? "# Ref" + gap + "PosX" + gap + "PosY" + gap + "Side" + end
                     : "Ref" + gap + "PosX" + gap + "PosY" + gap + "Side" + end;
    std::string renamed = file;
    std::vector<Row> expected;
    const int rows = pick(40);
    for (int r = 0; r < rows; ++r) {
      if (pick(5) == 0) {
        file += end;  // a blank line
        renamed += end;
      }
      std::string reference = "R" + std::to_string(r);
      const std::string extras = "\",; \t";
      for (int k = pick(4); k > 0; --k) {
        reference.insert(reference.begin() + pick(static_cast<int>(reference.size()) + 1),
                         extras[static_cast<size_t>(pick(5))]);
      }
      const bool plain = reference.find_first_of(extras) == std::string::npos;
      const bool quoted = !plain || pick(3) == 0;
      const auto written = [&](const std::string& text) {
        if (!quoted) {
          return text;
        }
        std::string inside;
        for (const char c : text) {
          inside += c == '"' ? std::string("\"\"") : std::string(1, c);
        }
        return "\"" + inside + "\"";
      };
      const std::string padding = textForm || pick(3) ? "" : " ";
      const int64_t x = pick(2001) - 1000;
      const int64_t y = pick(2001) - 1000;
      const bool top = pick(2) == 0;
      // The other fields quoted now and then too: several quoted texts in one line.
      const auto maybeQuoted = [&](const std::string& text) {
        return pick(4) == 0 ? "\"" + text + "\"" : text;
      };
      const std::string rest = gap + maybeQuoted(std::to_string(x)) + gap +
                               maybeQuoted(std::to_string(y)) + gap +
                               maybeQuoted(top ? "top" : "bottom") + end;
      file += padding + written(reference) + padding + rest;
      renamed += padding + written("N" + reference) + padding + rest;
      expected.emplace_back(reference, x * kMm, y * kMm, top ? BoardSide::Top : BoardSide::Bottom);
    }
    const PlacementReadResult read = ReadPlacement(file);
    ASSERT_TRUE(read.rows.has_value()) << read.error << "\n" << file;
    ASSERT_EQ(RowsOf(*read.rows), expected) << file;
    std::vector<std::string> newNames;
    for (const PlacementRow& row : *read.rows) {
      newNames.push_back("N" + row.reference);
    }
    EXPECT_EQ(RenamePlacement(file, ReferenceSpansOf(*read.rows),
                              [&](size_t row) { return std::string_view(newNames[row]); }),
              renamed)
        << file;
  }
}

}  // namespace
}  // namespace kerro
