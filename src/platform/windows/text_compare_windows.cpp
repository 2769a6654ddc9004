#include <windows.h>

#include <string>

#include "platform/text_compare.h"

namespace kerro {

namespace {

int Sign(int value) {
  return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

}  // namespace

int CompareText(std::string_view a, std::string_view b) {
  const std::string textA(a);
  const std::string textB(b);
  const int result = Sign(::lstrcmpA(textA.c_str(), textB.c_str()));
  if (result != 0) {
    return result;
  }
  // lstrcmpA stops at a NUL and may find texts equal that differ in characters the locale
  // ignores. Such ties are broken byte by byte, so that only equal texts compare equal and
  // callers may sort with this and group by byte equality.
  return Sign(a.compare(b));
}

}  // namespace kerro
