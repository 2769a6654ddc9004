#include "platform/paths.h"

#include "platform/code_page.h"

namespace kerro {

namespace {

bool IsLeadByte(char c, PathStyle style) {
  const auto byte = static_cast<unsigned char>(c);
  switch (style) {
    case PathStyle::Posix:
      return false;
    case PathStyle::Windows:
      return IsSystemLeadByte(byte);
    case PathStyle::WindowsCodePage932:
      return IsCodePage932LeadByte(byte);
  }
  return false;
}

bool IsSeparator(char c, PathStyle style) {
  return c == '/' || (IsWindowsStyle(style) && c == '\\');
}

bool HasDrive(std::string_view path, PathStyle style) {
  return IsWindowsStyle(style) && path.size() >= 2 && path[1] == ':' && !IsLeadByte(path[0], style);
}

}  // namespace

size_t CharacterSizeAt(std::string_view text, size_t at, PathStyle style) {
  return at + 1 < text.size() && IsLeadByte(text[at], style) ? 2 : 1;
}

PathParts SplitPath(std::string_view path, PathStyle style) {
  PathParts parts;
  if (HasDrive(path, style)) {
    parts.drive = std::string(path.substr(0, 2));
    path.remove_prefix(2);
  }
  // One walk from the front finds the last separator and the last dot after it: only a
  // walk from the front knows which bytes start characters.
  size_t nameStart = 0;
  size_t dot = std::string_view::npos;
  for (size_t at = 0; at < path.size(); at += CharacterSizeAt(path, at, style)) {
    if (IsSeparator(path[at], style)) {
      nameStart = at + 1;
      dot = std::string_view::npos;
    } else if (path[at] == '.') {
      dot = at;
    }
  }
  parts.directory = std::string(path.substr(0, nameStart));
  if (dot == std::string_view::npos) {
    parts.baseName = std::string(path.substr(nameStart));
  } else {
    parts.baseName = std::string(path.substr(nameStart, dot - nameStart));
    parts.extension = std::string(path.substr(dot));
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

std::string WithTrailingSeparator(std::string_view folder, PathStyle style) {
  std::string result(folder);
  if (folder.empty()) {
    return result;
  }
  const PathParts parts = SplitPath(folder, style);
  const bool separated = parts.baseName.empty() && parts.extension.empty();
  if (!separated) {
    result += IsWindowsStyle(style) ? '\\' : '/';
  }
  return result;
}

}  // namespace kerro
