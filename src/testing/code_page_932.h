#pragma once
// Names in code page 932 whose second byte is the byte of '\' (0x5C), for tests of path
// handling on double-byte Windows.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

#include "platform/code_page.h"
#include "platform/paths.h"

namespace kerro::cp932 {

inline constexpr std::string_view kTable = "\x95\x5C";                       // 表
inline constexpr std::string_view kSo = "\x83\x5C";                          // ソ
inline constexpr std::string_view kNo = "\x94\x5C";                          // 能
inline constexpr std::string_view kBoardTable = "\x8A\xEE\x94\xC2\x95\x5C";  // 基板表

// Whether these names are whole characters on this system: always on POSIX, where names
// are plain bytes; on Windows only in a double-byte code page whose lead bytes they start
// with (932 itself, or one of its kin).
inline bool NamesWork() {
  if constexpr (kNativePathStyle == PathStyle::Posix) {
    return true;
  }
  for (std::string_view name : {kTable, kSo, kNo, kBoardTable}) {
    if (!IsSystemLeadByte(static_cast<unsigned char>(name.front()))) {
      return false;
    }
  }
  return true;
}

// True in the test run made for code page 932 (KERRO_EXPECT_CODE_PAGE=932), where a system
// without it is a broken set-up, not a reason to skip.
inline bool RunExpectsCodePage932() {
  const char* expected = std::getenv("KERRO_EXPECT_CODE_PAGE");
  return expected != nullptr && std::string_view(expected) == "932";
}

}  // namespace kerro::cp932

// Skips a test whose names need a double-byte code page where the system has none; fails
// it instead in the run made for code page 932.
#define KERRO_SKIP_UNLESS_CODE_PAGE_932_NAMES()                                      \
  do {                                                                               \
    if (!::kerro::cp932::NamesWork()) {                                              \
      ASSERT_FALSE(::kerro::cp932::RunExpectsCodePage932())                          \
          << "this run expects code page 932: is the ja_JP.UTF-8 locale generated?"; \
      GTEST_SKIP() << "the system's code page is not a double-byte one";             \
    }                                                                                \
  } while (false)
