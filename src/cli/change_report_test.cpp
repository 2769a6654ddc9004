#include "cli/change_report.h"

#include <gtest/gtest.h>

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

TEST(DescribeChange, ShowsBlockOnlyWhenItChanged) {
  ComponentChange change{.section = 1,
                         .x = -3,
                         .y = 4,
                         .partName = "74LS00",
                         .packageTag = "T\t",
                         .oldReference = "U7",
                         .newReference = "U1",
                         .oldBlock = 0,
                         .newBlock = 0};
  EXPECT_EQ(DescribeChange("a.CE2", change),
            "a.CE2: section 2 at (-3, 4) 74LS00 [T\\x09]: U7 -> U1");
  change.newBlock = 3;
  EXPECT_EQ(DescribeChange("a.CE2", change),
            "a.CE2: section 2 at (-3, 4) 74LS00 [T\\x09]: U7 -> U1, block 0 -> 3");
}

}  // namespace
}  // namespace kerro
