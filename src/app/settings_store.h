#pragma once
// The program's own settings, as strings under section and key names. The dialog keeps
// its file history here; tests give it a store in memory.

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

}  // namespace kerro
