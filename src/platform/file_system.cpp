#include "platform/file_system.h"

#include <algorithm>
#include <cstdint>

#include "platform/paths.h"

namespace kerro {

namespace {

// Six base-36 characters of the FNV-1a hash of the target's file name: names of different
// targets in one folder rarely meet, and when they do, the slots keep them apart.
std::string TargetTag(std::string_view fileName) {
  uint32_t hash = 2166136261u;
  for (const char c : fileName) {
    hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
  }
  static constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string tag(6, '0');
  for (char& c : tag) {
    c = kDigits[hash % 36];
    hash /= 36;
  }
  return tag;
}

}  // namespace

bool FileSystem::flushTemporariesVerified(std::span<const TemporaryBytes> temporaries) {
  return std::all_of(temporaries.begin(), temporaries.end(), [this](const TemporaryBytes& file) {
    return hasContent(file.path, file.bytes);
  });
}

std::string TemporaryName(const std::string& target, int slot) {
  const std::string folder = DirectoryOf(target);
  const std::string_view fileName = std::string_view(target).substr(folder.size());
  return folder + "~" + TargetTag(fileName) + ".KR" + static_cast<char>('0' + slot % 10);
}

std::optional<std::string> FreeTemporaryName(FileSystem& fileSystem, const std::string& target) {
  std::optional<std::string> free;
  for (int slot = 0; slot < kTemporarySlots; ++slot) {
    std::string name = TemporaryName(target, slot);
    // A temporary that no one holds was left by a run that was killed.
    if (fileSystem.exists(name) && !fileSystem.removeUnlessLocked(name)) {
      continue;
    }
    if (!free) {
      free = std::move(name);
    }
  }
  return free;
}

bool FileSystem::replaceFile(const std::string& path, std::span<const uint8_t> bytes) {
  const std::optional<std::string> temporary = FreeTemporaryName(*this, path);
  if (!temporary || !writeTemporary(*temporary, bytes, path)) {
    return false;
  }
  if (!renameFile(*temporary, path)) {
    removeFile(*temporary);
    return false;
  }
  return true;
}

bool FileSystem::replaceWithBackup(const std::string& replacement, const std::string& target,
                                   const std::string& backup) {
  if (!renameFile(target, backup)) {
    return false;
  }
  if (!renameFile(replacement, target)) {
    // The target's name is free here: put the previous content back.
    renameFile(backup, target);
    return false;
  }
  return true;
}

}  // namespace kerro
