#include "testing/memory_file_system.h"

namespace kerro::testing {

bool MemoryFileSystem::shouldFail(FileOperation operation, const std::string& path,
                                  const std::string& otherPath) const {
  return faults_.count({operation, ""}) != 0 || faults_.count({operation, path}) != 0 ||
         (!otherPath.empty() && faults_.count({operation, otherPath}) != 0);
}

bool MemoryFileSystem::nextChangeFails() {
  const int index = changes_++;
  return failingChanges_.count(index) != 0;
}

void MemoryFileSystem::failOn(FileOperation operation, const std::string& path) {
  faults_.insert({operation, path});
}

void MemoryFileSystem::failNthChange(int n) {
  failingChanges_.insert(changes_ + n);
}

void MemoryFileSystem::clearFaults() {
  faults_.clear();
  locked_.clear();
  corrupted_.clear();
  failingChanges_.clear();
}

std::optional<std::vector<uint8_t>> MemoryFileSystem::readFile(const std::string& path) {
  log.push_back("read " + path);
  auto it = files.find(path);
  if (it == files.end() || locked_.count(path) != 0 || shouldFail(FileOperation::Read, path)) {
    return std::nullopt;
  }
  return it->second;
}

std::optional<std::vector<uint8_t>> MemoryFileSystem::readFileShared(const std::string& path) {
  log.push_back("read " + path);
  auto it = files.find(path);
  if (it == files.end() || shouldFail(FileOperation::Read, path)) {
    return std::nullopt;
  }
  return it->second;
}

bool MemoryFileSystem::writeTemporary(const std::string& path, std::span<const uint8_t> bytes,
                                      const std::string& permissionsOf) {
  (void)permissionsOf;
  if (files.count(path) != 0) {
    log.push_back("write " + path);
    return false;
  }
  if (!writeFile(path, bytes)) {
    files.erase(path);
    return false;
  }
  held_.insert(path);
  return true;
}

bool MemoryFileSystem::removeUnlessLocked(const std::string& path) {
  log.push_back("remove " + path);
  if (locked_.count(path) != 0 || held_.count(path) != 0) {
    return false;
  }
  return files.erase(path) != 0;
}

bool MemoryFileSystem::writeFile(const std::string& path, std::span<const uint8_t> bytes) {
  log.push_back("write " + path);
  const bool injected = nextChangeFails();
  if (locked_.count(path) != 0) {
    return false;
  }
  const size_t lastSeparator = path.rfind('/');
  if (foldersMustExist && lastSeparator != std::string::npos && lastSeparator != 0 &&
      folders.count(path.substr(0, lastSeparator)) == 0) {
    return false;
  }
  if (injected || shouldFail(FileOperation::Write, path)) {
    files[path].assign(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(bytes.size() / 2));
    return false;
  }
  auto& stored = files[path];
  stored.assign(bytes.begin(), bytes.end());
  if (corrupted_.count(path) != 0) {
    if (stored.empty()) {
      stored.push_back(0);
    } else {
      stored.back() = static_cast<uint8_t>(stored.back() ^ 0xFF);
    }
  }
  return !shouldFail(FileOperation::Flush, path);
}

bool MemoryFileSystem::removeFile(const std::string& path) {
  log.push_back("remove " + path);
  if (nextChangeFails() || locked_.count(path) != 0 || shouldFail(FileOperation::Remove, path)) {
    return false;
  }
  held_.erase(path);
  return files.erase(path) != 0;
}

bool MemoryFileSystem::renameFile(const std::string& from, const std::string& to) {
  log.push_back("rename " + from + " " + to);
  if (nextChangeFails() || locked_.count(from) != 0 || locked_.count(to) != 0 ||
      shouldFail(FileOperation::Rename, from, to)) {
    return false;
  }
  auto it = files.find(from);
  if (it == files.end()) {
    return false;
  }
  std::vector<uint8_t> bytes = std::move(it->second);
  files.erase(it);
  held_.erase(from);
  files[to] = std::move(bytes);
  return true;
}

bool MemoryFileSystem::exists(const std::string& path) {
  return files.count(path) != 0;
}

bool MemoryFileSystem::createFolders(const std::string& path) {
  log.push_back("create " + path);
  if (path.empty() || shouldFail(FileOperation::CreateFolder, path)) {
    return false;
  }
  std::vector<std::string> missing;
  for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    const std::string folder = path.substr(0, end);
    if (files.count(folder) != 0) {
      return false;
    }
    missing.push_back(folder);
    if (end == std::string::npos) {
      break;
    }
  }
  folders.insert(missing.begin(), missing.end());
  return true;
}

std::optional<std::vector<std::string>> MemoryFileSystem::listFolder(const std::string& path) {
  log.push_back("list " + path);
  const std::string prefix = path.empty() || path.back() == '/' ? path : path + '/';
  std::set<std::string> names;
  for (const auto& [file, bytes] : files) {
    if (file.size() > prefix.size() && file.compare(0, prefix.size(), prefix) == 0) {
      const std::string rest = file.substr(prefix.size());
      const std::string name = rest.substr(0, rest.find('/'));
      if (!name.empty()) {
        names.insert(name);
      }
    }
  }
  if (names.empty()) {
    return std::nullopt;
  }
  return std::vector<std::string>(names.begin(), names.end());
}

}  // namespace kerro::testing
