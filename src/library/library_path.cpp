#include "library/library_path.h"

#include <algorithm>

namespace kerro {

namespace {

char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}

// The name in `folder` that equals `part` without regard to case, the lowest in byte
// order if there are several.
std::optional<std::string> MatchInFolder(const std::string& folder, std::string_view part,
                                         FileSystem& fileSystem) {
  const auto names = fileSystem.listFolder(folder);
  if (!names) {
    return std::nullopt;
  }
  std::optional<std::string> match;
  for (const std::string& name : *names) {
    if (EqualIgnoringAsciiCase(name, part) && (!match || name < *match)) {
      match = name;
    }
  }
  return match;
}

// `path` with each '\\' that is a character of its own in `style` made a '/'.
std::string WithForwardSlashes(std::string_view path, PathStyle style) {
  std::string result(path);
  for (size_t at = 0; at < result.size(); at += CharacterSizeAt(result, at, style)) {
    if (result[at] == '\\') {
      result[at] = '/';
    }
  }
  return result;
}

// The paths a listed path may mean here. On POSIX: the path as it stands (a '\\' byte may
// belong to a name, as the second byte of a double-byte character does), then with every
// '\\' a separator, then with only those '\\' a separator that are characters of code
// page 932 (in 表\\ソ.LB3 the '\\' byte inside each character stays). Without duplicates.
std::vector<std::string> ReadingsOf(std::string_view listed, PathStyle style) {
  std::vector<std::string> readings{std::string(listed)};
  if (style != PathStyle::Posix) {
    return readings;
  }
  for (PathStyle bytes : {PathStyle::Posix, PathStyle::WindowsCodePage932}) {
    std::string reading = WithForwardSlashes(listed, bytes);
    if (std::find(readings.begin(), readings.end(), reading) == readings.end()) {
      readings.push_back(std::move(reading));
    }
  }
  return readings;
}

// The file names to look for in the library folders: those of the readings that take
// '\\' as a separator, or of the one reading there is.
std::vector<std::string> FileNamesOf(std::span<const std::string> readings, PathStyle style) {
  std::vector<std::string> names;
  for (size_t i = readings.size() > 1 ? 1 : 0; i < readings.size(); ++i) {
    const PathParts parts = SplitPath(readings[i], style);
    std::string name = parts.baseName + parts.extension;
    if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) {
      names.push_back(std::move(name));
    }
  }
  return names;
}

// Looks for `path` exactly and then, on POSIX, without regard to case. Records what it
// looked for in `search`. Returns true when a file was found.
bool LookFor(const std::string& path, PathStyle style, FileSystem& fileSystem,
             LibraryFileSearch& search) {
  search.tried.push_back(path);
  if (fileSystem.exists(path)) {
    search.found = path;
    return true;
  }
  if (style != PathStyle::Posix) {
    return false;
  }
  auto match = FindIgnoringCase(path, fileSystem);
  if (!match) {
    return false;
  }
  if (*match != path) {
    search.tried.push_back(*match);
  }
  search.found = std::move(match);
  return true;
}

// Whether `path` is taken from the current folder: no root, no drive.
bool IsRelative(std::string_view path) {
  const bool drive = path.size() >= 2 && path[1] == ':' &&
                     ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  return !path.empty() && path[0] != '/' && path[0] != '\\' && !drive;
}

}  // namespace

std::optional<std::string> FindIgnoringCase(std::string_view path, FileSystem& fileSystem) {
  std::string found = path.starts_with('/') ? "/" : "";
  size_t start = 0;
  while (start <= path.size()) {
    const size_t end = std::min(path.find('/', start), path.size());
    const std::string_view part = path.substr(start, end - start);
    start = end + 1;
    if (part.empty()) {
      continue;
    }
    if (part == "." || part == ".." || fileSystem.exists(found + std::string(part))) {
      found += part;
    } else if (auto name = MatchInFolder(found, part, fileSystem)) {
      found += *name;
    } else {
      return std::nullopt;
    }
    if (end < path.size()) {
      found += '/';
    }
  }
  return found;
}

LibraryFileSearch FindLibraryFile(std::string_view listedPath,
                                  std::span<const std::string> libraryFolders,
                                  FileSystem& fileSystem, std::string_view settingsFolder,
                                  PathStyle style) {
  LibraryFileSearch search;
  const std::vector<std::string> readings = ReadingsOf(listedPath, style);
  for (const std::string& reading : readings) {
    if (LookFor(reading, style, fileSystem, search)) {
      return search;
    }
    // A program started from elsewhere (a desktop menu, a script one folder up) still
    // finds the libraries that a TOSK.INI lists relative to its own folder.
    if (!settingsFolder.empty() && IsRelative(reading)) {
      const std::string besideSettings = WithTrailingSeparator(settingsFolder, style) + reading;
      if (besideSettings != reading && LookFor(besideSettings, style, fileSystem, search)) {
        return search;
      }
    }
  }
  const std::vector<std::string> names = FileNamesOf(readings, style);
  for (const std::string& folder : libraryFolders) {
    for (const std::string& name : names) {
      if (LookFor(WithTrailingSeparator(folder, style) + name, style, fileSystem, search)) {
        return search;
      }
    }
  }
  return search;
}

std::string JoinTriedPaths(std::span<const std::string> tried) {
  std::string joined;
  for (size_t i = 0; i < tried.size(); ++i) {
    if (i > 0) {
      joined += "\", \"";
    }
    joined += tried[i];
  }
  return joined;
}

}  // namespace kerro
