#include "platform/text_encoding.h"

#include <gtest/gtest.h>

#include <random>

namespace kerro {
namespace {

// "テスト抵抗" as code page 932 writes it.
const std::string kJapanese932 = "\x83\x65\x83\x58\x83\x67\x92\xEF\x8D\x52";
const std::string kJapaneseUtf8 = "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88\xE6\x8A\xB5\xE6\x8A\x97";

TEST(TextEncoding, ConvertsCodePage932BothWays) {
  auto encoding = TextEncoding::Open("CP932");
  ASSERT_TRUE(encoding);
  EXPECT_EQ(encoding->toUtf8(kJapanese932), kJapaneseUtf8);
  EXPECT_EQ(encoding->fromUtf8(kJapaneseUtf8), kJapanese932);
  EXPECT_EQ(encoding->toUtf8(""), "");
}

TEST(TextEncoding, BytesThatDoNotConvertAreEscapedAndComeBack) {
  auto encoding = TextEncoding::Open("CP932");
  ASSERT_TRUE(encoding);
  // A lead byte before a blank, and a lead byte with nothing after it.
  const std::string broken = "R\x81 \x83\x65\x83";
  const std::string shown = encoding->toUtf8(broken);
  EXPECT_EQ(shown, "R\\x81 \xE3\x83\x86\\x83");
  EXPECT_EQ(encoding->fromUtf8(shown), broken);
}

TEST(TextEncoding, RefusesWhatTheEncodingCannotHold) {
  auto encoding = TextEncoding::Open("CP1252");
  ASSERT_TRUE(encoding);
  EXPECT_EQ(encoding->toUtf8("R\xE9"), "R\xC3\xA9");
  EXPECT_EQ(encoding->fromUtf8(kJapaneseUtf8), std::nullopt);
  EXPECT_EQ(encoding->fromUtf8("R\xFF"), std::nullopt);  // not UTF-8
  EXPECT_FALSE(TextEncoding::Open("NO-SUCH-ENCODING-16"));
  EXPECT_FALSE(TextEncoding::Open(""));
}

// Random texts of characters that code page 932 maps one to one (some of its extensions
// share one Unicode character and would come back as the other code), broken bytes among
// them.
TEST(TextEncoding, WhatItShowsReadsBackToTheSameBytes) {
  auto encoding = TextEncoding::Open("CP932");
  ASSERT_TRUE(encoding);
  std::mt19937 random(932);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes;
    const int length = static_cast<int>(random() % 12);
    for (int i = 0; i < length; ++i) {
      switch (random() % 4) {
        case 0:  // ASCII without the backslash that escapes begin with
          bytes += static_cast<char>('0' + random() % 40);
          break;
        case 1:  // half-width katakana
          bytes += static_cast<char>(0xA1 + random() % 0x3F);
          break;
        case 2:  // hiragana: two bytes
          bytes += '\x82';
          bytes += static_cast<char>(0x9F + random() % 0x53);
          break;
        default:  // a lead byte without a second byte
          bytes += "\x83 ";
          break;
      }
    }
    if (random() % 2 == 0) {
      bytes += '\x83';  // cut off at the end
    }
    SCOPED_TRACE(bytes);
    EXPECT_EQ(encoding->fromUtf8(encoding->toUtf8(bytes)), bytes);
  }
}

}  // namespace
}  // namespace kerro
