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

std::string WithForwardSlashes(std::string_view path) {
  std::string result(path);
  std::replace(result.begin(), result.end(), '\\', '/');
  return result;
}

std::string InFolder(const std::string& folder, const std::string& name, PathStyle style) {
  if (folder.empty()) {
    return name;
  }
  const char last = folder.back();
  if (last == '/' || (style == PathStyle::Windows && (last == '\\' || last == ':'))) {
    return folder + name;
  }
  return folder + (style == PathStyle::Windows ? '\\' : '/') + name;
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
                                  FileSystem& fileSystem, PathStyle style) {
  LibraryFileSearch search;
  const std::string path =
      style == PathStyle::Posix ? WithForwardSlashes(listedPath) : std::string(listedPath);
  if (LookFor(path, style, fileSystem, search)) {
    return search;
  }
  const PathParts parts = SplitPath(path, style);
  const std::string name = parts.baseName + parts.extension;
  if (name.empty()) {
    return search;
  }
  for (const std::string& folder : libraryFolders) {
    if (LookFor(InFolder(folder, name, style), style, fileSystem, search)) {
      return search;
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
