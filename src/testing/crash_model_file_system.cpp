#include "testing/crash_model_file_system.h"

#include <set>

#include "platform/paths.h"

namespace kerro::testing {

namespace {

std::string FolderOf(const std::string& path) {
  return DirectoryOf(path);
}

// True if a later operation within the first `done` makes operation `index` durable.
bool IsDurable(std::span<const DiskOperation> operations, size_t index, size_t done) {
  const DiskOperation& operation = operations[index];
  for (size_t later = index + 1; later < done; ++later) {
    const DiskOperation& flush = operations[later];
    switch (operation.kind) {
      case DiskOperationKind::Write:
      case DiskOperationKind::SetMode:
        if (flush.kind == DiskOperationKind::FlushFile && flush.file == operation.file) {
          return true;
        }
        break;
      case DiskOperationKind::Create:
      case DiskOperationKind::Link:
      case DiskOperationKind::Remove:
      case DiskOperationKind::Rename: {
        // A rename or link changes the folder of the new name, and a rename that of the
        // old name too: every folder it changes must be flushed.
        const std::string& name =
            operation.kind == DiskOperationKind::Link ? operation.otherPath : operation.path;
        if (flush.kind == DiskOperationKind::FlushFolder && flush.path == FolderOf(name) &&
            (operation.kind != DiskOperationKind::Rename ||
             FolderOf(operation.path) == FolderOf(operation.otherPath))) {
          return true;
        }
        break;
      }
      case DiskOperationKind::FlushFile:
      case DiskOperationKind::FlushFolder:
        return true;  // changes nothing
    }
  }
  return operation.kind == DiskOperationKind::FlushFile ||
         operation.kind == DiskOperationKind::FlushFolder;
}

}  // namespace

const DiskFile* DiskState::at(const std::string& path) const {
  const auto name = names.find(path);
  if (name == names.end()) {
    return nullptr;
  }
  const auto file = files.find(name->second);
  return file == files.end() ? nullptr : &file->second;
}

std::optional<std::vector<uint8_t>> DiskState::content(const std::string& path) const {
  const DiskFile* file = at(path);
  return file ? std::optional(file->bytes) : std::nullopt;
}

void DiskState::put(const std::string& path, std::vector<uint8_t> bytes, uint32_t mode,
                    int64_t changedAt) {
  const int file = nextFile++;
  files[file] = {std::move(bytes), mode, changedAt};
  names[path] = file;
}

std::string DiskState::describe() const {
  std::string text;
  for (const auto& [path, file] : names) {
    const DiskFile& content = files.at(file);
    text += path + " #" + std::to_string(file) + " mode " + std::to_string(content.mode) + " " +
            std::to_string(content.bytes.size()) + " bytes:";
    for (const uint8_t byte : content.bytes) {
      text += ' ' + std::to_string(byte);
    }
    text += '\n';
  }
  return text;
}

void ApplyDiskOperation(DiskState& state, const DiskOperation& operation, bool half) {
  switch (operation.kind) {
    case DiskOperationKind::Create:
      state.files[operation.file] = {{}, operation.mode, operation.at};
      state.names[operation.path] = operation.file;
      state.nextFile = std::max(state.nextFile, operation.file + 1);
      break;
    case DiskOperationKind::Write:
      if (const auto file = state.files.find(operation.file); file != state.files.end()) {
        const size_t size = half ? operation.bytes.size() / 2 : operation.bytes.size();
        file->second.bytes.assign(operation.bytes.begin(),
                                  operation.bytes.begin() + static_cast<ptrdiff_t>(size));
        file->second.changedAt = operation.at;
      }
      break;
    case DiskOperationKind::SetMode:
      if (const auto file = state.files.find(operation.file); file != state.files.end()) {
        file->second.mode = operation.mode;
      }
      break;
    case DiskOperationKind::Rename: {
      const auto from = state.names.find(operation.path);
      if (from == state.names.end()) {
        break;
      }
      // Two names of one file: POSIX renames nothing and keeps both.
      const auto to = state.names.find(operation.otherPath);
      if (to != state.names.end() && to->second == from->second) {
        break;
      }
      const int file = from->second;
      state.names.erase(from);
      state.names[operation.otherPath] = file;
      break;
    }
    case DiskOperationKind::Link:
      if (const auto from = state.names.find(operation.path); from != state.names.end()) {
        state.names.try_emplace(operation.otherPath, from->second);
      }
      break;
    case DiskOperationKind::Remove:
      state.names.erase(operation.path);
      break;
    case DiskOperationKind::FlushFile:
    case DiskOperationKind::FlushFolder:
      break;
  }
}

bool OnlyRemovalsMayBeLost(std::span<const DiskOperation> operations) {
  for (size_t i = 0; i < operations.size(); ++i) {
    if (operations[i].kind != DiskOperationKind::Remove &&
        !IsDurable(operations, i, operations.size())) {
      return false;
    }
  }
  return true;
}

int ForEachCrashState(const DiskState& start, std::span<const DiskOperation> operations,
                      const std::function<void(const DiskState&, size_t done)>& visit,
                      int maxPending) {
  std::set<std::string> seen;
  for (size_t done = 0; done <= operations.size(); ++done) {
    std::vector<size_t> pending;
    for (size_t i = 0; i < done; ++i) {
      if (!IsDurable(operations, i, done)) {
        pending.push_back(i);
      }
    }
    if (static_cast<int>(pending.size()) > maxPending) {
      return -1;
    }
    // Each pending operation is lost (0) or reached the disk (1); a write may also have
    // reached it half done (2). Counted as a number in mixed radix.
    std::vector<int> radix;
    size_t combinations = 1;
    for (const size_t index : pending) {
      radix.push_back(operations[index].kind == DiskOperationKind::Write ? 3 : 2);
      combinations *= static_cast<size_t>(radix.back());
    }
    for (size_t combination = 0; combination < combinations; ++combination) {
      std::vector<int> choice(done, 1);
      size_t rest = combination;
      for (size_t p = 0; p < pending.size(); ++p) {
        choice[pending[p]] = static_cast<int>(rest % static_cast<size_t>(radix[p]));
        rest /= static_cast<size_t>(radix[p]);
      }
      DiskState state = start;
      for (size_t i = 0; i < done; ++i) {
        if (choice[i] != 0) {
          ApplyDiskOperation(state, operations[i], choice[i] == 2);
        }
      }
      if (seen.insert(state.describe()).second) {
        visit(state, done);
      }
    }
  }
  return static_cast<int>(seen.size());
}

CrashModelFileSystem::CrashModelFileSystem(DiskState start, bool hasLinks, int64_t now)
    : state_(std::move(start)), hasLinks_(hasLinks), now_(now) {}

void CrashModelFileSystem::record(DiskOperation operation) {
  operation.at = ++now_;
  ApplyDiskOperation(state_, operation);
  log_.push_back(std::move(operation));
}

std::optional<std::vector<uint8_t>> CrashModelFileSystem::readFile(const std::string& path) {
  return state_.content(path);
}

std::optional<std::vector<uint8_t>> CrashModelFileSystem::readFileShared(const std::string& path) {
  return state_.content(path);
}

// As the POSIX file system does: open (creating), truncate, write, flush.
bool CrashModelFileSystem::writeFile(const std::string& path, std::span<const uint8_t> bytes) {
  if (!exists(path)) {
    record(
        {.kind = DiskOperationKind::Create, .path = path, .file = state_.nextFile, .mode = 0644});
  }
  const int file = state_.names.at(path);
  record({.kind = DiskOperationKind::Write,
          .path = path,
          .file = file,
          .bytes = {bytes.begin(), bytes.end()}});
  record({.kind = DiskOperationKind::FlushFile, .path = path, .file = file});
  return true;
}

// Create, set the bits, write, flush: the order of the POSIX file system.
bool CrashModelFileSystem::writeTemporary(const std::string& path, std::span<const uint8_t> bytes,
                                          const std::string& permissionsOf) {
  if (!writeTemporaryUnflushed(path, bytes, permissionsOf)) {
    return false;
  }
  record({.kind = DiskOperationKind::FlushFile, .path = path, .file = held_.at(path)});
  return true;
}

bool CrashModelFileSystem::writeTemporaryUnflushed(const std::string& path,
                                                   std::span<const uint8_t> bytes,
                                                   const std::string& permissionsOf) {
  if (exists(path)) {
    return false;
  }
  const int file = state_.nextFile;
  record({.kind = DiskOperationKind::Create, .path = path, .file = file, .mode = 0644});
  held_[path] = file;
  if (const DiskFile* model = permissionsOf.empty() ? nullptr : state_.at(permissionsOf)) {
    record({.kind = DiskOperationKind::SetMode, .path = path, .file = file, .mode = model->mode});
  }
  record({.kind = DiskOperationKind::Write,
          .path = path,
          .file = file,
          .bytes = {bytes.begin(), bytes.end()}});
  return true;
}

bool CrashModelFileSystem::flushTemporariesVerified(std::span<const TemporaryBytes> temporaries) {
  for (const TemporaryBytes& temporary : temporaries) {
    const auto held = held_.find(temporary.path);
    if (held == held_.end()) {
      return false;
    }
    record({.kind = DiskOperationKind::FlushFile, .path = temporary.path, .file = held->second});
  }
  return FileSystem::flushTemporariesVerified(temporaries);
}

bool CrashModelFileSystem::removeUnlessLocked(const std::string& path) {
  const DiskFile* file = state_.at(path);
  if (file == nullptr || held_.contains(path)) {
    return false;
  }
  if (file->bytes.empty() && now_ - file->changedAt < kFreshTemporarySeconds) {
    return false;
  }
  record({.kind = DiskOperationKind::Remove, .path = path});
  return true;
}

bool CrashModelFileSystem::removeFile(const std::string& path) {
  held_.erase(path);
  if (!exists(path)) {
    return false;
  }
  record({.kind = DiskOperationKind::Remove, .path = path});
  return true;
}

bool CrashModelFileSystem::renameFile(const std::string& from, const std::string& to) {
  if (!renameFileUnflushed(from, to)) {
    return false;
  }
  flushFolderOf(to);
  return true;
}

bool CrashModelFileSystem::renameFileUnflushed(const std::string& from, const std::string& to) {
  if (!exists(from)) {
    return false;
  }
  record({.kind = DiskOperationKind::Rename, .path = from, .otherPath = to});
  held_.erase(from);
  return true;
}

bool CrashModelFileSystem::linkFile(const std::string& from, const std::string& to) {
  if (!linkFileUnflushed(from, to)) {
    return false;
  }
  flushFolderOf(to);
  return true;
}

bool CrashModelFileSystem::linkFileUnflushed(const std::string& from, const std::string& to) {
  if (!hasLinks_ || !exists(from) || exists(to)) {
    return false;
  }
  record({.kind = DiskOperationKind::Link, .path = from, .otherPath = to});
  held_[to] = state_.names.at(to);
  return true;
}

void CrashModelFileSystem::flushFolderOf(const std::string& path) {
  record({.kind = DiskOperationKind::FlushFolder, .path = FolderOf(path)});
}

bool CrashModelFileSystem::exists(const std::string& path) {
  return state_.at(path) != nullptr;
}

bool CrashModelFileSystem::sameFile(const std::string& first, const std::string& second) {
  const auto a = state_.names.find(first);
  const auto b = state_.names.find(second);
  if (a == state_.names.end() || b == state_.names.end()) {
    return first == second;
  }
  return a->second == b->second;
}

bool CrashModelFileSystem::isReadOnly(const std::string& path) {
  const DiskFile* file = state_.at(path);
  return file != nullptr && (file->mode & 0222) == 0;
}

std::optional<std::vector<std::string>> CrashModelFileSystem::listFolder(const std::string& path) {
  const std::string prefix = path.empty() || path.back() == '/' ? path : path + '/';
  std::vector<std::string> names;
  for (const auto& [name, file] : state_.names) {
    if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
        name.find('/', prefix.size()) == std::string::npos) {
      names.push_back(name.substr(prefix.size()));
    }
  }
  return names;
}

}  // namespace kerro::testing
