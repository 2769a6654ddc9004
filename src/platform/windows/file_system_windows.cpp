#include <windows.h>

#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <optional>

#include "platform/file_system.h"
#include "platform/windows/win32_handle.h"

namespace kerro {

namespace {

// One ReadFile or WriteFile call moves at most this much, well inside a DWORD.
constexpr DWORD kChunk = 1u << 20;

// Reads the whole file open at `file`, from its start.
std::optional<std::vector<uint8_t>> ReadAll(HANDLE file) {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file, &size) || size.QuadPart < 0 ||
      static_cast<unsigned long long>(size.QuadPart) >
          static_cast<unsigned long long>(std::numeric_limits<ptrdiff_t>::max())) {
    return std::nullopt;
  }
  LARGE_INTEGER start{};
  if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) {
    return std::nullopt;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(size.QuadPart));
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, kChunk));
    DWORD got = 0;
    if (!::ReadFile(file, bytes.data() + done, want, &got, nullptr) || got == 0) {
      return std::nullopt;  // an error, or fewer bytes than the file's length
    }
    done += got;
  }
  return bytes;
}

bool WriteAll(HANDLE file, std::span<const uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, kChunk));
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data() + done, want, &written, nullptr) || written == 0) {
      return false;
    }
    done += written;
  }
  return ::FlushFileBuffers(file) != 0;
}

std::optional<std::vector<uint8_t>> ReadWithSharing(const std::string& path, DWORD shareMode) {
  Win32Handle file(::CreateFileA(path.c_str(), GENERIC_READ, shareMode, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    return std::nullopt;
  }
  return ReadAll(file.get());
}

struct FileIdentity {
  DWORD volume = 0;
  DWORD indexHigh = 0;
  DWORD indexLow = 0;
  bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  // No access asked and every sharing allowed: this works while others hold the file.
  Win32Handle file(::CreateFileA(path.c_str(), 0,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION information{};
  if (!file.valid() || !::GetFileInformationByHandle(file.get(), &information)) {
    return std::nullopt;
  }
  return FileIdentity{information.dwVolumeSerialNumber, information.nFileIndexHigh,
                      information.nFileIndexLow};
}

class WindowsFileSystem final : public FileSystem {
 public:
  std::optional<std::vector<uint8_t>> readFile(const std::string& path) override {
    // Share mode 0: nobody else may open the file while we hold it, and we fail if
    // somebody already does.
    return ReadWithSharing(path, 0);
  }

  std::optional<std::vector<uint8_t>> readFileShared(const std::string& path) override {
    // The C runtime's fopen shares a file this way.
    return ReadWithSharing(path, FILE_SHARE_READ | FILE_SHARE_WRITE);
  }

  bool hasContent(const std::string& path, std::span<const uint8_t> bytes) override {
    // A temporary of ours is read back through the handle that holds it.
    const auto held = held_.find(path);
    const auto content = held != held_.end() ? ReadAll(held->second->get()) : readFile(path);
    return content && std::equal(content->begin(), content->end(), bytes.begin(), bytes.end());
  }

  bool writeFile(const std::string& path, std::span<const uint8_t> bytes) override {
    // CREATE_ALWAYS truncates only once the open has succeeded, so a file that another
    // process holds is left as it is.
    Win32Handle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid() && WriteAll(file.get(), bytes) && file.close();
  }

  // Windows files have no permission bits to carry over; ReplaceFile keeps the replaced
  // file's attributes where the save uses it.
  bool writeTemporary(const std::string& path, std::span<const uint8_t> bytes,
                      const std::string& permissionsOf) override {
    (void)permissionsOf;
    auto file = std::make_unique<Win32Handle>(
        ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file->valid()) {
      return false;
    }
    if (!WriteAll(file->get(), bytes)) {
      file->close();
      ::DeleteFileA(path.c_str());
      return false;
    }
    held_.insert_or_assign(path, std::move(file));
    return true;
  }

  bool removeUnlessLocked(const std::string& path) override {
    // Opening with share mode 0 fails while anyone holds the file; closing removes it.
    Win32Handle file(::CreateFileA(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return file.valid() && file.close();
  }

  bool removeFile(const std::string& path) override {
    held_.erase(path);
    return ::DeleteFileA(path.c_str()) != 0;
  }

  bool renameFile(const std::string& from, const std::string& to) override {
    // Windows renames no file that is open without delete sharing: let a temporary go
    // just before its rename.
    held_.erase(from);
    return ::MoveFileExA(from.c_str(), to.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }

  // One call moves the file at `target` to `backup` and `replacement` to `target`, and
  // gives the new file the attributes of the one it replaces. Where ReplaceFile cannot
  // serve (a target it may not merge with, a file system that refuses it), the save
  // renames as the default does.
  bool replaceWithBackup(const std::string& replacement, const std::string& target,
                         const std::string& backup) override {
    held_.erase(replacement);
    if (::ReplaceFileA(target.c_str(), replacement.c_str(), backup.c_str(),
                       REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0) {
      return true;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
      // The previous content went to `backup` and the replacement stayed where it was:
      // put the previous content back first.
      ::MoveFileExA(backup.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
      return false;
    }
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT || !exists(replacement) || !exists(target)) {
      return false;
    }
    return FileSystem::replaceWithBackup(replacement, target, backup);
  }

  // NTFS has hard links; FAT volumes and network shares may not, and the save then
  // renames instead.
  bool linkFile(const std::string& from, const std::string& to) override {
    return ::CreateHardLinkA(to.c_str(), from.c_str(), nullptr) != 0;
  }

  // Windows ignores case and has short names, so two spellings are compared by the
  // volume and index of the file they open.
  bool sameFile(const std::string& first, const std::string& second) override {
    const std::optional<FileIdentity> firstIdentity = IdentityOf(first);
    const std::optional<FileIdentity> secondIdentity = IdentityOf(second);
    if (!firstIdentity || !secondIdentity) {
      return first == second;
    }
    return *firstIdentity == *secondIdentity;
  }

  bool exists(const std::string& path) override {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  std::string whyUnreadable(const std::string& path) override {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD error = ::GetLastError();
      return error == ERROR_ACCESS_DENIED ? "permission denied" : "no such file";
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return "is a folder";
    }
    const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
        return "held by another program";
      }
      return error == ERROR_ACCESS_DENIED ? "permission denied" : "cannot be read";
    }
    ::CloseHandle(handle);
    return "cannot be read";
  }

  // Each missing folder on the way is made in turn. Both separators count; a double-byte
  // character of the ANSI code page, whose second byte may be that of '\', is stepped over.
  bool createFolders(const std::string& path) override {
    for (const char* at = path.c_str(); *at != '\0';
         at += ::IsDBCSLeadByte(static_cast<BYTE>(*at)) && at[1] != '\0' ? 2 : 1) {
      const bool separator = *at == '\\' || *at == '/';
      const std::string folder(path.c_str(), at);
      if (separator && !folder.empty() && folder.back() != ':' &&
          ::GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
        ::CreateDirectoryA(folder.c_str(), nullptr);
      }
    }
    if (::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
      ::CreateDirectoryA(path.c_str(), nullptr);
    }
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }

  bool hasSystemProfiles() const override { return true; }

 private:
  // Temporaries written by this run, held open until they are renamed or removed.
  std::map<std::string, std::unique_ptr<Win32Handle>> held_;
};

}  // namespace

std::unique_ptr<FileSystem> CreateRealFileSystem() {
  return std::make_unique<WindowsFileSystem>();
}

}  // namespace kerro
