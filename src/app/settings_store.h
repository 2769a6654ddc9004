#pragma once
// The program's own settings, as strings under section and key names. The dialog keeps
// its file history here; tests give it a store in memory.

#include <functional>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace kerro {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // Returns the stored value, or empty if there is none.
  virtual std::string readString(std::string_view section, std::string_view key) = 0;
  // Returns false if the value could not be stored.
  virtual bool writeString(std::string_view section, std::string_view key,
                           std::string_view value) = 0;
};

// Settings kept in a private profile (INI) file.
class ProfileSettingsStore final : public SettingsStore {
 public:
  // The file system must outlive the store.
  ProfileSettingsStore(FileSystem& fileSystem, std::string file)
      : fileSystem_(fileSystem), file_(std::move(file)) {}
  std::string readString(std::string_view section, std::string_view key) override;
  bool writeString(std::string_view section, std::string_view key, std::string_view value) override;
  const std::string& file() const { return file_; }

 private:
  FileSystem& fileSystem_;
  std::string file_;
};

// What the Linux dialog shows, once per run, when its settings file cannot be written; %1
// is the file's path.
inline constexpr std::string_view kSettingsWriteErrorText =
    "The file history cannot be saved to \"%1\".";

// Settings kept in the user's own settings file (the Linux dialog's): before the first
// write its folder is created, with those above it, and the first write that fails is
// reported through the handler with the file's path. Later failures of the same run are
// not reported again: one Quit writes several keys, and one message says it all.
class UserSettingsStore final : public SettingsStore {
 public:
  using WriteErrorHandler = std::function<void(const std::string& file)>;
  // The file system must outlive the store.
  UserSettingsStore(FileSystem& fileSystem, std::string file, WriteErrorHandler onWriteError);
  std::string readString(std::string_view section, std::string_view key) override;
  bool writeString(std::string_view section, std::string_view key, std::string_view value) override;
  const std::string& file() const { return profile_.file(); }

 private:
  FileSystem& fileSystem_;
  ProfileSettingsStore profile_;
  WriteErrorHandler onWriteError_;
  bool folderMade_ = false;
  bool reported_ = false;
};

}  // namespace kerro
