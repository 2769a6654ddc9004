#include "renumber/backup_name.h"

namespace kerro {

std::string MakeBackupName(const std::string& path, PathStyle style) {
  PathParts parts = SplitPath(path, style);
  if (parts.extension.size() <= 1) {
    parts.extension = ".$";
  } else {
    parts.extension.replace(1, CharacterSizeAt(parts.extension, 1, style), "$");
  }
  return JoinPath(parts);
}

}  // namespace kerro
