#include "app/settings_file.h"

#include <cstdio>

#include "platform/process_paths.h"

namespace kerro {

namespace {

// Opens the file as text and closes it at once, as the program has always tested it.
bool canOpenForReading(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) {
    return false;
  }
  std::fclose(file);
  return true;
}

}  // namespace

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

std::string ChooseSettingsFile() {
  return ChooseSettingsFile(CurrentDirectory(), ExecutablePath(), canOpenForReading);
}

}  // namespace kerro
