#include <windows.h>

#include <algorithm>
#include <limits>

#include "platform/file_system.h"
#include "platform/windows/win32_handle.h"

namespace kerro {

namespace {

// One ReadFile or WriteFile call moves at most this much, well inside a DWORD.
constexpr DWORD kChunk = 1u << 20;

class WindowsFileSystem final : public FileSystem {
 public:
  std::optional<std::vector<uint8_t>> readFile(const std::string& path) override {
    // Share mode 0: nobody else may open the file while we hold it, and we fail if
    // somebody already does.
    Win32Handle file(::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
      return std::nullopt;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
        static_cast<unsigned long long>(size.QuadPart) >
            static_cast<unsigned long long>(std::numeric_limits<ptrdiff_t>::max())) {
      return std::nullopt;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
      const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, kChunk));
      DWORD got = 0;
      if (!::ReadFile(file.get(), bytes.data() + done, want, &got, nullptr) || got == 0) {
        return std::nullopt;  // an error, or fewer bytes than the file's length
      }
      done += got;
    }
    return bytes;
  }

  bool writeFile(const std::string& path, std::span<const uint8_t> bytes) override {
    // CREATE_ALWAYS truncates only once the open has succeeded, so a file that another
    // process holds is left as it is.
    Win32Handle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
      return false;
    }
    size_t done = 0;
    while (done < bytes.size()) {
      const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, kChunk));
      DWORD written = 0;
      if (!::WriteFile(file.get(), bytes.data() + done, want, &written, nullptr) || written == 0) {
        return false;
      }
      done += written;
    }
    if (!::FlushFileBuffers(file.get())) {
      return false;
    }
    return file.close();
  }

  bool removeFile(const std::string& path) override { return ::DeleteFileA(path.c_str()) != 0; }

  bool renameFile(const std::string& from, const std::string& to) override {
    return ::MoveFileExA(from.c_str(), to.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }

  // NTFS has hard links; FAT volumes and network shares may not, and the save then
  // renames instead.
  bool linkFile(const std::string& from, const std::string& to) override {
    return ::CreateHardLinkA(to.c_str(), from.c_str(), nullptr) != 0;
  }

  bool exists(const std::string& path) override {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }
};

}  // namespace

FileSystem& realFileSystem() {
  static WindowsFileSystem fileSystem;
  return fileSystem;
}

}  // namespace kerro
