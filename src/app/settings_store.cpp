#include "app/settings_store.h"

#include "platform/paths.h"
#include "platform/profile.h"

namespace kerro {

std::string ProfileSettingsStore::readString(std::string_view section, std::string_view key) {
  return ReadProfileString(fileSystem_, file_, section, key, "");
}

bool ProfileSettingsStore::writeString(std::string_view section, std::string_view key,
                                       std::string_view value) {
  return WriteProfileString(fileSystem_, file_, section, key, value);
}

UserSettingsStore::UserSettingsStore(FileSystem& fileSystem, std::string file,
                                     WriteErrorHandler onWriteError)
    : fileSystem_(fileSystem),
      profile_(fileSystem, std::move(file)),
      onWriteError_(std::move(onWriteError)) {}

std::string UserSettingsStore::readString(std::string_view section, std::string_view key) {
  return profile_.readString(section, key);
}

bool UserSettingsStore::writeString(std::string_view section, std::string_view key,
                                    std::string_view value) {
  if (!folderMade_) {
    // A file in the current folder needs nothing made; a folder that cannot be made shows
    // in the write that follows.
    std::string folder = DirectoryOf(profile_.file());
    while (folder.size() > 1 && folder.back() == '/') {
      folder.pop_back();
    }
    folderMade_ = folder.empty() || fileSystem_.createFolders(folder);
  }
  const bool written = profile_.writeString(section, key, value);
  if (!written && !reported_) {
    reported_ = true;
    if (onWriteError_) {
      onWriteError_(profile_.file());
    }
  }
  return written;
}

}  // namespace kerro
