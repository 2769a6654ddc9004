#include "renumber/short_text_ids.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

namespace kerro {
namespace {

// Against a std::map on random texts of 0 to 24 bytes drawn from a small alphabet that
// holds a zero byte, so that texts differing only in length or in a trailing zero meet,
// and enough of them to make the table grow many times.
TEST(ShortTextIds, GivesEqualTextsOneIdAndIdsInTheOrderMet) {
  std::mt19937 random(1234);
  ShortTextIds ids;
  std::map<std::string, uint32_t> model;
  for (int i = 0; i < 20000; ++i) {
    std::string text(random() % 25, ' ');
    for (char& c : text) {
      c = "\0AB"[random() % 3];
    }
    const auto known = model.find(text);
    const uint32_t expected =
        known != model.end() ? known->second : static_cast<uint32_t>(model.size());
    model.emplace(text, expected);
    ASSERT_EQ(ids.idOf(text), expected) << "text of length " << text.size();
    ASSERT_EQ(ids.text(expected).view(), text);
    ASSERT_EQ(ids.find(ShortText::Of(text)), expected);
  }
  EXPECT_EQ(ids.size(), model.size());
}

TEST(ShortTextIds, JoinedTextsAreKeptApartWhereTheyMeet) {
  ShortTextIds ids;
  EXPECT_EQ(ids.idOf(ShortText::Joined("AB", "C")), 0u);
  EXPECT_EQ(ids.idOf(ShortText::Joined("A", "BC")), 1u);
  EXPECT_EQ(ids.idOf(ShortText::Joined("AB", "C")), 0u);
  EXPECT_EQ(ids.find(ShortText::Of("ABC")), std::nullopt);
  EXPECT_EQ(ids.idOf(ShortText::Joined("ABCDEFGHIJKLMNO", "ABCDEFGH")), 2u);
  EXPECT_EQ(ids.text(2).view().size(), 24u);
}

}  // namespace
}  // namespace kerro
