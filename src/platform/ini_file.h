#pragma once
// Our own reader and writer of INI files, with the rules of the Windows profile functions
// (see profile.h), over a FileSystem. The profile functions use it wherever the system
// has none of its own, and on every file system that is not the machine's.

#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace kerro {

// The value of `key` in `section`, at most kProfileValueLimit characters, or the default
// when the file cannot be read or has no such key.
std::string ReadIniString(FileSystem& fileSystem, const std::string& file, std::string_view section,
                          std::string_view key, std::string_view defaultValue);

// Writes or replaces one key, creating the file and the section if needed, and replaces
// the file safely. Every other line stays as it was. Returns false if the file cannot be
// written or the texts would break its lines.
bool WriteIniString(FileSystem& fileSystem, const std::string& file, std::string_view section,
                    std::string_view key, std::string_view value);

}  // namespace kerro
