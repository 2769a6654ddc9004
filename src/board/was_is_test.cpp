#include "board/was_is.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace kerro {
namespace {

TEST(WasIs, LinesAppliedOneAtATimeNeverHoldOneNameTwice) {
  std::mt19937 random(25);
  for (int trial = 0; trial < 300; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    // Parts R1 ... Rn; some of them renamed, to names of other parts (chains and
    // cycles) or to free ones. TMP1 is a part's name, so a temporary must be another.
    const int parts = std::uniform_int_distribution<int>(1, 12)(random);
    std::vector<std::string> names;
    for (int i = 1; i <= parts; ++i) {
      names.push_back("R" + std::to_string(i));
    }
    names.push_back("TMP1");
    std::vector<std::string> targets = names;
    for (int i = 1; i <= 4; ++i) {
      targets.push_back("C" + std::to_string(i));
    }
    std::shuffle(targets.begin(), targets.end(), random);
    std::vector<Rename> renames;
    for (size_t i = 0; i < names.size(); ++i) {
      if (names[i] != targets[i] && std::uniform_int_distribution<int>(0, 3)(random) > 0) {
        renames.push_back({names[i], targets[i]});
      }
    }
    // A target that is the name of a part not renamed would take a name in use: the run
    // never gives such a rename, so it is dropped (which can leave another such).
    for (size_t before = 0; before != renames.size();) {
      before = renames.size();
      std::set<std::string> renamedFrom;
      for (const Rename& rename : renames) {
        renamedFrom.insert(rename.from);
      }
      std::erase_if(renames, [&](const Rename& rename) {
        return std::find(names.begin(), names.end(), rename.to) != names.end() &&
               !renamedFrom.contains(rename.to);
      });
    }

    std::map<std::string, std::string> holder;  // name -> part
    for (const std::string& name : names) {
      holder[name] = name;
    }
    const auto inUse = [&](std::string_view name) {
      return std::find(names.begin(), names.end(), name) != names.end();
    };
    for (const Rename& line : OneAtATime(renames, inUse)) {
      ASSERT_TRUE(holder.contains(line.from)) << line.from << " -> " << line.to;
      ASSERT_FALSE(holder.contains(line.to)) << line.from << " -> " << line.to;
      holder[line.to] = holder[line.from];
      holder.erase(line.from);
    }
    std::map<std::string, std::string> expected;
    for (const std::string& name : names) {
      expected[name] = name;
    }
    for (const Rename& rename : renames) {
      expected.erase(rename.from);
    }
    for (const Rename& rename : renames) {
      expected[rename.to] = rename.from;
    }
    EXPECT_EQ(holder, expected);
  }
}

TEST(WasIs, WritesEachForm) {
  const std::vector<Rename> renames = {{"R1", "R2"}, {"R2", "R1"}, {"C7", "C1"}};
  const auto inUse = [](std::string_view name) { return name == "TMP1"; };
  EXPECT_EQ(FormatWasIs(renames, WasIsFormat::Csv, inUse),
            "old_reference,new_reference\r\nR1,R2\r\nR2,R1\r\nC7,C1\r\n");
  EXPECT_EQ(FormatWasIs(renames, WasIsFormat::Pads, inUse),
            "*PADS-ECO*\r\n*RENPART*\r\nC7 C1\r\nR1 TMP2\r\nR2 R1\r\nTMP2 R2\r\n*END*\r\n");
  EXPECT_EQ(FormatWasIs(renames, WasIsFormat::Swap, inUse),
            "CHANGEREF C7 C1\r\nCHANGEREF R1 TMP2\r\nCHANGEREF R2 R1\r\nCHANGEREF TMP2 R2\r\n");
}

}  // namespace
}  // namespace kerro
