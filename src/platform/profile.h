#pragma once
// Private profile (INI) files, with the rules of the Windows profile functions on every
// platform: section and key names are compared without regard to case, the first match
// wins, blanks around a value are trimmed, and a missing file or key gives the default.
// The system's own functions serve where the file system has them (the real one on
// Windows); everywhere else our reader and writer (ini_file.h) work through the
// FileSystem.

#include <string>
#include <string_view>

#include "platform/file_system.h"

// <windows.h> defines WriteProfileString as a macro for its own WriteProfileStringA, which
// would rename ours wherever both headers are seen; include this header after it.
#ifdef WriteProfileString
#undef WriteProfileString
#endif

namespace kerro {

// Longest value a read returns (the Windows buffer of 260 characters holds 259 and a NUL).
inline constexpr size_t kProfileValueLimit = 259;

std::string ReadProfileString(FileSystem& fileSystem, const std::string& file,
                              std::string_view section, std::string_view key,
                              std::string_view defaultValue);

// Writes or replaces one key, creating the file and the section if needed. Every other
// line of the file stays as it was. Returns false if the file cannot be written.
bool WriteProfileString(FileSystem& fileSystem, const std::string& file, std::string_view section,
                        std::string_view key, std::string_view value);

}  // namespace kerro
