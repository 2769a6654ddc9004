#include <windows.h>

#include <algorithm>
#include <array>
#include <string>

#include "platform/ini_file.h"
#include "platform/paths.h"
#include "platform/profile.h"

namespace kerro {

namespace {

// The profile functions look for a bare file name in the Windows folder. Every caller of
// ours means a file relative to the current directory, as on POSIX.
std::string ProfilePath(const std::string& file) {
  const PathParts parts = SplitPath(file);
  if (parts.drive.empty() && parts.directory.empty()) {
    return ".\\" + file;
  }
  return file;
}

}  // namespace

std::string ReadProfileString(FileSystem& fileSystem, const std::string& file,
                              std::string_view section, std::string_view key,
                              std::string_view defaultValue) {
  if (!fileSystem.hasSystemProfiles()) {
    return ReadIniString(fileSystem, file, section, key, defaultValue);
  }
  const std::string sectionText(section);
  const std::string keyText(key);
  const std::string defaultText(defaultValue);
  std::array<char, kProfileValueLimit + 1> buffer{};
  const DWORD n = ::GetPrivateProfileStringA(
      sectionText.c_str(), keyText.c_str(), defaultText.c_str(), buffer.data(),
      static_cast<DWORD>(buffer.size()), ProfilePath(file).c_str());
  return std::string(buffer.data(), std::min<size_t>(n, kProfileValueLimit));
}

bool WriteProfileString(FileSystem& fileSystem, const std::string& file, std::string_view section,
                        std::string_view key, std::string_view value) {
  if (!fileSystem.hasSystemProfiles()) {
    return WriteIniString(fileSystem, file, section, key, value);
  }
  const std::string sectionText(section);
  const std::string keyText(key);
  const std::string valueText(value);
  return ::WritePrivateProfileStringA(sectionText.c_str(), keyText.c_str(), valueText.c_str(),
                                      ProfilePath(file).c_str()) != 0;
}

}  // namespace kerro
