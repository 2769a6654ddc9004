#include "platform/text_compare.h"

namespace kerro {

int CompareText(std::string_view a, std::string_view b) {
  // string_view compares bytes as unsigned char, so high characters sort after ASCII.
  int result = a.compare(b);
  return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

}  // namespace kerro
