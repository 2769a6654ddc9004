#pragma once
// Splitting a path into drive, directory, base name and extension, and joining it again.
// Windows paths take both '\' and '/' as separators and may start with a drive ("C:");
// they are walked character by character in the system's code page (see code_page.h), so
// that the second byte of a double-byte character is never taken for a separator. POSIX
// paths use '/' only, have no drive and are plain bytes.

#include <cstddef>
#include <string>
#include <string_view>

namespace kerro {

enum class PathStyle {
  Posix,
  Windows,
  // Windows paths in code page 932 whatever the system's code page is, so that the
  // double-byte rules can be checked on any machine.
  WindowsCodePage932,
};

#ifdef _WIN32
inline constexpr PathStyle kNativePathStyle = PathStyle::Windows;
#else
inline constexpr PathStyle kNativePathStyle = PathStyle::Posix;
#endif

constexpr bool IsWindowsStyle(PathStyle style) {
  return style != PathStyle::Posix;
}

struct PathParts {
  std::string drive;      // "C:" or empty
  std::string directory;  // with its trailing separator, or empty
  std::string baseName;   // file name without extension
  std::string extension;  // from the last dot of the file name, dot included, or empty
};

PathParts SplitPath(std::string_view path, PathStyle style = kNativePathStyle);
std::string JoinPath(const PathParts& parts);

// The folder part of `path` (drive and directory), ready to take a file name.
std::string DirectoryOf(std::string_view path, PathStyle style = kNativePathStyle);

// The folder followed by a separator, unless it is empty or already ends in one (or, on
// Windows, in a drive's colon), ready to take a file name.
std::string WithTrailingSeparator(std::string_view folder, PathStyle style = kNativePathStyle);

// The number of bytes (1 or 2) of the character that starts at byte `at` of `text`. A lead
// byte that ends the text counts as a character of its own.
size_t CharacterSizeAt(std::string_view text, size_t at, PathStyle style = kNativePathStyle);

}  // namespace kerro
