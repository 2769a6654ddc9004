#include "platform/paths.h"

namespace kerro {

namespace {

bool isSeparator(char c, PathStyle style) {
  return c == '/' || (style == PathStyle::Windows && c == '\\');
}

}  // namespace

PathParts SplitPath(std::string_view path, PathStyle style) {
  PathParts parts;
  if (style == PathStyle::Windows && path.size() >= 2 && path[1] == ':') {
    parts.drive = std::string(path.substr(0, 2));
    path.remove_prefix(2);
  }
  size_t nameStart = 0;
  for (size_t i = path.size(); i > 0; --i) {
    if (isSeparator(path[i - 1], style)) {
      nameStart = i;
      break;
    }
  }
  parts.directory = std::string(path.substr(0, nameStart));
  std::string_view name = path.substr(nameStart);
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) {
    parts.baseName = std::string(name);
  } else {
    parts.baseName = std::string(name.substr(0, dot));
    parts.extension = std::string(name.substr(dot));
  }
  return parts;
}

std::string JoinPath(const PathParts& parts) {
  return parts.drive + parts.directory + parts.baseName + parts.extension;
}

std::string DirectoryOf(std::string_view path, PathStyle style) {
  PathParts parts = SplitPath(path, style);
  return parts.drive + parts.directory;
}

}  // namespace kerro
