#include "renumber/short_text_ids.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// A key made in place, over whatever key stood there, holds the bytes the definition
// gives, zero after them: the length of the first text, its bytes, the second's bytes, cut
// to fit; every split across the key's words is met.
TEST(ShortTextIds, KeysMadeInPlaceHoldTheTextsBytes) {
  std::mt19937 random(77);
  const auto text = [&random] {
    std::string made(random() % 27, ' ');
    for (char& c : made) {
      c = static_cast<char>(random());
    }
    return made;
  };
  ShortText reused;
  for (int i = 0; i < 5000; ++i) {
    const std::string first = text();
    const std::string second = text();
    const size_t head = std::min<size_t>(first.size(), ShortText::kCapacity - 1);
    const size_t tail = std::min(second.size(), ShortText::kCapacity - 1 - head);
    const std::string joined =
        std::string(1, static_cast<char>(head)) + first.substr(0, head) + second.substr(0, tail);
    reused.assignJoined(first, second);
    ASSERT_EQ(reused.view(), joined);
    ASSERT_EQ(reused, ShortText::Joined(first, second));
    reused.assign(first);
    ASSERT_EQ(reused.view(), first.substr(0, ShortText::kCapacity));
    ShortText fresh;
    std::copy_n(first.data(), reused.length, fresh.chars.data());
    fresh.length = reused.length;
    ASSERT_EQ(reused, fresh) << "bytes after the text must be zero";
  }
}

}  // namespace
}  // namespace kerro
