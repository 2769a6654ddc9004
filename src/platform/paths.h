#pragma once
// Splitting a path into drive, directory, base name and extension, and joining it again.
// Windows paths take both '\' and '/' as separators and may start with a drive ("C:");
// POSIX paths use '/' only and have no drive.

#include <string>
#include <string_view>

namespace kerro {

enum class PathStyle { Posix, Windows };

#ifdef _WIN32
inline constexpr PathStyle kNativePathStyle = PathStyle::Windows;
#else
inline constexpr PathStyle kNativePathStyle = PathStyle::Posix;
#endif

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

}  // namespace kerro
