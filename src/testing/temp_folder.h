#pragma once
// A fresh folder on the real disk for one test, removed with everything in it afterwards.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace kerro::testing {

class TempFolder {
 public:
  TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder();

  const std::string& path() const { return path_; }
  // The path of `name` inside the folder. The name goes in as bytes, never converted, so
  // that names in the system's multibyte code page reach the disk as they are.
  std::string file(const std::string& name) const;
  // Creates the folder `name` inside this one and returns its path.
  std::string makeFolder(const std::string& name) const;
  // Names of the files in the folder, sorted.
  std::vector<std::string> list() const;

 private:
  std::string path_;
};

// The machine's file system, one for the whole test program.
FileSystem& RealFiles();

// Whole-file helpers for tests on the real disk; they throw on failure.
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::string& path);

}  // namespace kerro::testing
