#pragma once
// Writes the editor's settings file TOSK.INI for tests.

#include <string>
#include <vector>

namespace kerro::testing {

// The text of a TOSK.INI that lists `libraries` as LIB0, LIB1, ... in section "LIBRARY",
// between a section before and one after it, with CR LF line breaks as the editor writes.
std::string ToskIniText(const std::vector<std::string>& libraries);

// Writes ToskIniText(libraries) to `path`; throws on failure.
void WriteToskIni(const std::string& path, const std::vector<std::string>& libraries);

}  // namespace kerro::testing
