#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/text_compare.h"

namespace kerro {

namespace {

int sign(int value) {
  return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

}  // namespace

int CompareText(std::string_view a, std::string_view b) {
  // lstrcmpA stops at a NUL. A text that holds one is compared piece by piece, so that
  // two texts differing only after a NUL never compare equal.
  for (;;) {
    const size_t endA = std::min(a.find('\0'), a.size());
    const size_t endB = std::min(b.find('\0'), b.size());
    const std::string pieceA(a.substr(0, endA));
    const std::string pieceB(b.substr(0, endB));
    const int result = sign(::lstrcmpA(pieceA.c_str(), pieceB.c_str()));
    if (result != 0) {
      return result;
    }
    const bool moreA = endA < a.size();
    const bool moreB = endB < b.size();
    if (!moreA || !moreB) {
      return moreA ? 1 : (moreB ? -1 : 0);
    }
    a.remove_prefix(endA + 1);
    b.remove_prefix(endB + 1);
  }
}

}  // namespace kerro
