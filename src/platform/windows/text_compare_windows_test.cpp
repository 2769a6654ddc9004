#include <gtest/gtest.h>

#include "platform/text_compare.h"

namespace kerro {
namespace {

TEST(WindowsTextCompare, LocaleOrderCaseSensitive) {
  struct Case {
    const char* name;
    std::string_view a;
    std::string_view b;
    int expected;
  };
  using namespace std::string_view_literals;
  const Case cases[] = {
      {"equal", "R", "R", 0},
      {"case matters", "r", "R", -1},  // the locale puts lower case first
      {"letters before case", "a", "B", -1},
      {"prefix first", "IC", "ICX", -1},
      {"digits before letters", "1", "A", -1},
      {"differs after a NUL", "A\0B"sv, "A\0C"sv, -1},
      {"more after a NUL", "A\0"sv, "A", 1},
      {"soft hyphen is not ignored", "R\xAD", "R", 1},
      {"empty", "", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CompareText(c.a, c.b), c.expected);
    EXPECT_EQ(CompareText(c.b, c.a), -c.expected);
  }
}

}  // namespace
}  // namespace kerro
