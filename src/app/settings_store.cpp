#include "app/settings_store.h"

#include "platform/profile.h"

namespace kerro {

std::string ProfileSettingsStore::readString(std::string_view section, std::string_view key) {
  return ReadProfileString(fileSystem_, file_, section, key, "");
}

bool ProfileSettingsStore::writeString(std::string_view section, std::string_view key,
                                       std::string_view value) {
  return WriteProfileString(fileSystem_, file_, section, key, value);
}

}  // namespace kerro
