#include "renumber/safe_save.h"

#include <algorithm>
#include <vector>

#include "platform/process_paths.h"

namespace kerro {

namespace {

struct PendingFile {
  std::string target;
  std::string temporary;
};

void removeTemporaries(FileSystem& fileSystem, const std::vector<PendingFile>& files) {
  for (const PendingFile& file : files) {
    if (fileSystem.exists(file.temporary)) {
      fileSystem.removeFile(file.temporary);
    }
  }
}

// Writes and flushes the bytes, then reads them back: a disk can accept a write and still
// hold something else afterwards.
bool writeVerified(FileSystem& fileSystem, const std::string& path,
                   std::span<const uint8_t> bytes) {
  if (!fileSystem.writeFile(path, bytes)) {
    return false;
  }
  return fileSystem.hasContent(path, bytes);
}

}  // namespace

std::string TemporaryNameFor(const std::string& target) {
  return target + ".kerro-new-" + std::to_string(CurrentProcessId());
}

bool SaveWithBackup(FileSystem& fileSystem, const SchematicDocument& document,
                    const std::string& path, const std::string& backupPath) {
  if (!document.isLoaded() || path == backupPath) {
    return false;
  }
  std::vector<PendingFile> files;
  for (int i = 0; i < document.sectionCount(); ++i) {
    std::string target = SchematicDocument::SectionFileName(path, i);
    std::string temporary = TemporaryNameFor(target);
    files.push_back({std::move(target), std::move(temporary)});
    if (!writeVerified(fileSystem, files.back().temporary, document.sectionBytes(i))) {
      removeTemporaries(fileSystem, files);
      return false;
    }
  }

  // Where the file system has links, the schematic gets its backup name as a second name
  // and keeps its path until the new content replaces it: no moment leaves the path, or
  // the backup name, without a whole file.
  const std::string backupTemporary = TemporaryNameFor(backupPath);
  // One of this name can only be left by a killed run whose process id this one now has.
  if (fileSystem.exists(backupTemporary)) {
    fileSystem.removeFile(backupTemporary);
  }
  if (fileSystem.linkFile(path, backupTemporary)) {
    if (!fileSystem.renameFile(backupTemporary, backupPath)) {
      fileSystem.removeFile(backupTemporary);
      removeTemporaries(fileSystem, files);
      return false;
    }
    // A rename between two names of one file succeeds and changes nothing (the backup may
    // already be this file, linked by another run): the temporary name is then still there.
    if (fileSystem.exists(backupTemporary)) {
      fileSystem.removeFile(backupTemporary);
    }
    for (size_t i = files.size(); i-- > 0;) {
      if (!fileSystem.renameFile(files[i].temporary, files[i].target)) {
        removeTemporaries(fileSystem, files);
        return false;  // the path still holds the previous content, as does the backup
      }
    }
    return true;
  }

  // Otherwise the schematic is renamed to its backup name first. A backup that exists
  // but cannot be removed would make the rename below replace it or
  // fail depending on the system; stop while the schematic is still untouched.
  if (fileSystem.exists(backupPath) && !fileSystem.removeFile(backupPath)) {
    removeTemporaries(fileSystem, files);
    return false;
  }
  if (!fileSystem.renameFile(path, backupPath)) {
    removeTemporaries(fileSystem, files);
    return false;
  }

  // Later sections first: the path itself is the last name to receive new content.
  for (size_t i = files.size(); i-- > 0;) {
    if (!fileSystem.renameFile(files[i].temporary, files[i].target)) {
      // The path is still free here: put the previous content back first.
      fileSystem.renameFile(backupPath, path);
      removeTemporaries(fileSystem, files);
      return false;
    }
  }
  return true;
}

}  // namespace kerro
