#include "app/settings_file.h"

#include <cstdlib>

#include "platform/process_paths.h"

namespace kerro {

namespace {

std::string InFolder(std::string_view folder, PathStyle style) {
  return WithTrailingSeparator(folder, style) + std::string(kSettingsFileName);
}

bool IsAbsolutePosixPath(std::string_view path) {
  return !path.empty() && path.front() == '/';
}

// The user's configuration folder for this program, or empty if the environment names none.
std::string UserConfigFolder(const SettingsFilePlaces& places) {
  std::string base;
  if (IsAbsolutePosixPath(places.configHome)) {
    base = places.configHome;
  } else if (IsAbsolutePosixPath(places.homeDirectory)) {
    base = WithTrailingSeparator(places.homeDirectory, places.style) + ".config";
  } else {
    return {};
  }
  return WithTrailingSeparator(base, places.style) + "kerro";
}

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

}  // namespace

std::string ChooseSettingsFile(const SettingsFilePlaces& places, const CanOpenFile& canOpen) {
  if (!places.currentDirectory.empty()) {
    const std::string inCurrent = InFolder(places.currentDirectory, places.style);
    if (canOpen(inCurrent)) {
      return inCurrent;
    }
  }
  if (places.home == SettingsHome::UserConfigFolder) {
    const std::string folder = UserConfigFolder(places);
    if (!folder.empty()) {
      return InFolder(folder, places.style);
    }
    return places.currentDirectory.empty() ? std::string(kSettingsFileName)
                                           : InFolder(places.currentDirectory, places.style);
  }
  PathParts parts = SplitPath(places.executablePath, places.style);
  parts.baseName = "KERRO";
  parts.extension = ".INI";
  return JoinPath(parts);
}

std::string ChooseSettingsFile(FileSystem& fileSystem) {
  SettingsFilePlaces places{.currentDirectory = CurrentDirectory(),
                            .executablePath = ExecutablePath()};
  if (places.home == SettingsHome::UserConfigFolder) {
    places.configHome = EnvironmentValue("XDG_CONFIG_HOME");
    places.homeDirectory = EnvironmentValue("HOME");
  }
  return ChooseSettingsFile(
      places, [&](const std::string& path) { return fileSystem.readFileShared(path).has_value(); });
}

}  // namespace kerro
