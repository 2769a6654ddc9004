#include "platform/little_endian.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace kerro {
namespace {

// Against the plain definition, on every length up to past a word and on bytes of every
// value: each path that loads whole words must give the same word.
TEST(LittleEndian, FirstEightBytesAreTheTextsFirstBytesInOrder) {
  std::mt19937 random(8);
  for (int round = 0; round < 2000; ++round) {
    std::string text(random() % 13, '\0');
    for (char& c : text) {
      c = static_cast<char>(random());
    }
    uint64_t expected = 0;
    for (size_t i = 0; i < text.size() && i < 8; ++i) {
      expected |= uint64_t{static_cast<uint8_t>(text[i])} << (8 * i);
    }
    ASSERT_EQ(FirstEightBytes(text), expected) << "length " << text.size();
  }
  EXPECT_EQ(FirstEightBytes({}), 0u);
}

}  // namespace
}  // namespace kerro
