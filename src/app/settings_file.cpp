#include "app/settings_file.h"

#include "platform/process_paths.h"

namespace kerro {

std::string ChooseSettingsFile(std::string_view currentDirectory, std::string_view executablePath,
                               const CanOpenFile& canOpen, PathStyle style) {
  if (!currentDirectory.empty()) {
    const std::string inCurrent =
        WithTrailingSeparator(currentDirectory, style) + std::string(kSettingsFileName);
    if (canOpen(inCurrent)) {
      return inCurrent;
    }
  }
  PathParts parts = SplitPath(executablePath, style);
  parts.baseName = "KERRO";
  parts.extension = ".INI";
  return JoinPath(parts);
}

std::string ChooseSettingsFile(FileSystem& fileSystem) {
  return ChooseSettingsFile(CurrentDirectory(), ExecutablePath(), [&](const std::string& path) {
    return fileSystem.readFileShared(path).has_value();
  });
}

}  // namespace kerro
