#pragma once
// The system's text comparison, used where references and tags are ordered or matched:
// the locale-aware, case-sensitive comparison of Windows there, and a plain byte-for-byte
// comparison elsewhere. Returns <0, 0 or >0.

#include <string_view>

namespace kerro {

int CompareText(std::string_view a, std::string_view b);

}  // namespace kerro
