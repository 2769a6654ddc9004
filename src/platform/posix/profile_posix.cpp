// POSIX has no profile functions of its own: INI files are read and written by ours.

#include "platform/ini_file.h"
#include "platform/profile.h"

namespace kerro {

std::string ReadProfileString(FileSystem& fileSystem, const std::string& file,
                              std::string_view section, std::string_view key,
                              std::string_view defaultValue) {
  return ReadIniString(fileSystem, file, section, key, defaultValue);
}

bool WriteProfileString(FileSystem& fileSystem, const std::string& file, std::string_view section,
                        std::string_view key, std::string_view value) {
  return WriteIniString(fileSystem, file, section, key, value);
}

}  // namespace kerro
