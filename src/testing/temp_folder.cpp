#include "testing/temp_folder.h"

#ifdef _WIN32
#include <direct.h>
#else
#include <sys/stat.h>
#endif

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <stdexcept>

namespace kerro::testing {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = fs::temp_directory_path() / ("kerro-test-" + std::to_string(random()) +
                                                      "-" + std::to_string(counter++));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      path_ = candidate.string();
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempFolder::~TempFolder() {
  std::error_code error;
  fs::remove_all(path_, error);
}

std::string TempFolder::file(const std::string& name) const {
#ifdef _WIN32
  return path_ + "\\" + name;
#else
  return path_ + "/" + name;
#endif
}

std::string TempFolder::makeFolder(const std::string& name) const {
  const std::string path = file(name);
#ifdef _WIN32
  const bool made = ::_mkdir(path.c_str()) == 0;
#else
  const bool made = ::mkdir(path.c_str(), 0777) == 0;
#endif
  if (!made) {
    throw std::runtime_error("cannot create " + path);
  }
  return path;
}

std::vector<std::string> TempFolder::list() const {
  std::vector<std::string> names;
  for (const auto& item : fs::directory_iterator(path_)) {
    names.push_back(item.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    throw std::runtime_error("cannot write " + path);
  }
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw std::runtime_error("cannot read " + path);
  }
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

FileSystem& RealFiles() {
  static const std::unique_ptr<FileSystem> fileSystem = CreateRealFileSystem();
  return *fileSystem;
}

}  // namespace kerro::testing
