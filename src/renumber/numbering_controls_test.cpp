#include "renumber/numbering_controls.h"

#include <gtest/gtest.h>

namespace kerro {
namespace {

TEST(MatchesPattern, StarAndQuestionMarkAsInFileNames) {
  struct Case {
    const char* pattern;
    const char* text;
    bool matches;
  };
  const Case cases[] = {
      {"TP1", "TP1", true},
      {"TP1", "TP12", false},
      {"TP1", "tp1", false},
      {"J*", "J", true},
      {"J*", "J12", true},
      {"J*", "XJ1", false},
      {"*1", "R11", true},
      {"*1", "R12", false},
      {"R?", "R5", true},
      {"R?", "R", false},
      {"R?", "R12", false},
      {"?", "?", true},
      {"*", "", true},
      {"", "", true},
      {"", "R1", false},
      {"U*A*B", "U1AxAB", true},
      {"U*A*B", "U1AxBA", false},
      {"**?", "R", true},
      {"R*?*9", "R19", true},
      {"R*?*9", "R9", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " ~ " + c.text);
    EXPECT_EQ(MatchesPattern(c.pattern, c.text), c.matches);
  }
}

TEST(NumberingControls, AnyIsOffOnlyForTheDefaults) {
  NumberingControls controls;
  EXPECT_FALSE(controls.any());
  controls.order = NumberingOrder::Rows;
  EXPECT_TRUE(controls.any());
  controls = {};
  controls.locks = {"J*"};
  EXPECT_TRUE(controls.any());
  EXPECT_TRUE(controls.isLocked("J3"));
  EXPECT_FALSE(controls.isLocked("R3"));
}

}  // namespace
}  // namespace kerro
