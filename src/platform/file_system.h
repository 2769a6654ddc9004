#pragma once
// The few file operations the renumbering job needs. The job talks to this interface only,
// so that tests can inject a failure at any step without touching the disk.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kerro {

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Reads the whole file while holding it exclusively, so that no other process can write
  // it meanwhile. Returns nullopt if the file cannot be opened, locked or read in full.
  virtual std::optional<std::vector<uint8_t>> readFile(const std::string& path) = 0;

  // Creates or truncates `path`, writes `bytes` and flushes them to the disk. Returns false
  // if any of that fails; the file may then exist with partial content.
  virtual bool writeFile(const std::string& path, std::span<const uint8_t> bytes) = 0;

  // Returns false if the file could not be removed (also when it does not exist).
  virtual bool removeFile(const std::string& path) = 0;

  // Renames `from` to `to`, replacing a file at `to`. Returns false on failure.
  virtual bool renameFile(const std::string& from, const std::string& to) = 0;

  virtual bool exists(const std::string& path) = 0;

  // The names in the folder `path` ("" for the current folder), "." and ".." left out, in
  // no particular order. Returns nullopt if the folder cannot be read, and where names
  // never need looking up by listing (the default: Windows folders ignore case already).
  virtual std::optional<std::vector<std::string>> listFolder(const std::string& path) {
    (void)path;
    return std::nullopt;
  }

  // True if the file at `path` can be read (exclusively, as readFile) and holds exactly
  // `bytes`. A file system may compare piece by piece, without a second copy in memory.
  virtual bool hasContent(const std::string& path, std::span<const uint8_t> bytes) {
    const auto content = readFile(path);
    return content && std::equal(content->begin(), content->end(), bytes.begin(), bytes.end());
  }

  // Gives the file at `from` the further name `to`, which must not exist, so that both
  // names hold the same file. Returns false on failure and where the file system has no
  // such links (the default).
  virtual bool linkFile(const std::string& from, const std::string& to) {
    (void)from;
    (void)to;
    return false;
  }
};

// The file system of the machine, with this platform's locking rules.
FileSystem& realFileSystem();

}  // namespace kerro
