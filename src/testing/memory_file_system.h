#pragma once
// An in-memory FileSystem for tests. It records every operation and fails on request:
// a chosen kind of operation on a chosen path, or the n-th operation that changes files.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace kerro::testing {

enum class FileOperation { Read, Write, Flush, Remove, Rename, CreateFolder };

class MemoryFileSystem : public FileSystem {
 public:
  std::optional<std::vector<uint8_t>> readFile(const std::string& path) override;
  std::optional<std::vector<uint8_t>> readFileShared(const std::string& path) override;
  bool writeFile(const std::string& path, std::span<const uint8_t> bytes) override;
  // Fails as writeFile does, and then removes what it wrote. The file counts as locked by
  // another process for removeUnlessLocked until it is renamed or removed.
  // Files here have no permission bits.
  bool writeTemporary(const std::string& path, std::span<const uint8_t> bytes,
                      const std::string& permissionsOf) override;
  bool removeUnlessLocked(const std::string& path) override;
  bool removeFile(const std::string& path) override;
  bool renameFile(const std::string& from, const std::string& to) override;
  bool exists(const std::string& path) override;
  std::string whyUnreadable(const std::string& path) override {
    return files.count(path) ? "cannot be read" : "no such file";
  }
  // Folders are the '/'-separated leading parts of the stored paths; "" is the folder of
  // the relative ones.
  std::optional<std::vector<std::string>> listFolder(const std::string& path) override;
  // Adds the folder and those above it to `folders` ("create P" in the log). Fails, adding
  // nothing, on a CreateFolder fault for the path or when a file holds the name.
  bool createFolders(const std::string& path) override;

  // Makes every `operation` on `path` fail; an empty path matches every path. For a rename
  // the path is matched against both names. A failed Write leaves the first half of the
  // bytes in the file; a failed Flush leaves them all there, as a real disk could.
  void failOn(FileOperation operation, const std::string& path = {});

  // Makes the n-th (from 0) write, remove or rename fail, counting from now. Each call adds
  // one more failing change.
  void failNthChange(int n);

  // Writes to `path` store different bytes (the last one altered, or one byte for an empty
  // write) and still report success, as a failing disk could.
  void corruptWritesTo(const std::string& path) { corrupted_.insert(path); }

  // Another process holds this file: it can be neither read (exclusively), written nor
  // removed while locked.
  void lock(const std::string& path) { locked_.insert(path); }

  void clearFaults();

  // Number of writes, removes and renames attempted so far, failed ones included.
  int changeCount() const { return changes_; }

  // Files and contents.
  std::map<std::string, std::vector<uint8_t>> files;
  // Folders made by createFolders or put here by a test. Only where `foldersMustExist` is
  // set do they matter: a write then fails unless the file's '/'-separated folder is here.
  std::set<std::string> folders;
  bool foldersMustExist = false;
  // Every operation attempted, in order: "read P", "write P", "remove P", "rename A B"
  // ("read P" for shared reads too, "write P" for temporaries too).
  std::vector<std::string> log;

 private:
  bool shouldFail(FileOperation operation, const std::string& path,
                  const std::string& otherPath = {}) const;
  bool nextChangeFails();

  std::set<std::pair<FileOperation, std::string>> faults_;
  std::set<std::string> locked_;
  std::set<std::string> held_;  // temporaries being written
  std::set<std::string> corrupted_;
  int changes_ = 0;
  std::set<int> failingChanges_;
};

}  // namespace kerro::testing
