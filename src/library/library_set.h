#pragma once
// The part libraries loaded for one library-guided run, and the lookup of part names.
//
// Use: construct one set per run, call loadLibraries(schematicPath), ask findPart(name)
// for each part name and read the entry's blockCount(), then freeLibraries() (or let the
// set go out of scope). Nothing is kept between runs.
//
// The library list comes from the editor's settings file TOSK.INI beside the schematic,
// or, if there is none, beside the executable: section "LIBRARY", keys "LIB0", "LIB1", ...
// up to "LIB15", read until the first empty or missing key. A relative path is taken
// from the current directory; a path written on Windows is found as library_path.h says,
// also in the library folders given to the set. Every file is read through the FileSystem
// given to the set: TOSK.INI by the profile functions, binary libraries whole and held
// exclusively while they are read, text libraries shared with other readers.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "library/part_model.h"
#include "platform/file_system.h"

namespace kerro {

inline constexpr int kMaxLibraries = 16;

// Called with the path of a library that fails to load; the caller shows or prints
// "File read error. "%1"" with it, and the run goes on. When several paths were tried for
// the library, they come joined by JoinTriedPaths, so that the message names each between
// quotes.
using LibraryErrorHandler = std::function<void(const std::string& libraryPath)>;

// The block count of a part as the libraries give it, or nullopt if no library has it.
using BlockCountLookup = std::function<std::optional<int>(std::string_view partName)>;

class LibrarySet {
 public:
  struct PartLocation {
    int library = 0;  // slot, the order of the LIB keys
    int entry = 0;    // index of the entry within its library
  };

  LibrarySet(LibraryErrorHandler onError, FileSystem& fileSystem);

  // The folder whose TOSK.INI is used when the schematic's folder has none; by default
  // the folder of the running executable.
  void setProgramFolder(std::string folder);

  // Folders in which a listed library that is not found where TOSK.INI says is looked for
  // by its file name, in this order.
  void setLibraryFolders(std::vector<std::string> folders) { libraryFolders_ = std::move(folders); }

  // Empties the set, then loads every library listed for the schematic at
  // `schematicPath`. Returns true when the list was read to its end (also when it lists
  // nothing). A library that fails is reported to the error handler and ends the list;
  // the set is then emptied and false returned, so every lookup finds nothing.
  bool loadLibraries(const std::string& schematicPath);

  void freeLibraries();

  // The library that ended the last loadLibraries, and why it could not be loaded.
  struct LibraryFailure {
    std::string paths;  // as the error handler gets them
    std::string cause;  // in words: "no such file", "permission denied" ...
  };
  const std::optional<LibraryFailure>& failure() const { return failure_; }

  // The first entry named `name`, exactly and case-sensitively, searching the libraries
  // in their order and each library in file order; null if there is none. The entry
  // lives until freeLibraries().
  const PartEntry* findPart(std::string_view name) const;

  // The block count of the first part of that name (1 for a single-block part), or
  // nullopt if no library has it. What numbering and the annotation check both ask.
  std::optional<int> blockCountOf(std::string_view name) const {
    const PartEntry* entry = findPart(name);
    return entry ? std::optional<int>(entry->blockCount()) : std::nullopt;
  }
  std::optional<PartLocation> locatePart(std::string_view name) const;

  int libraryCount() const { return static_cast<int>(libraries_.size()); }
  // The library in `slot`, or null past the loaded ones.
  const PartLibrary* library(int slot) const;

  // The settings file used for `schematicPath`.
  std::string settingsFileFor(const std::string& schematicPath) const;

 private:
  LibraryErrorHandler onError_;
  FileSystem& fileSystem_;
  std::optional<std::string> programFolder_;
  std::vector<std::string> libraryFolders_;
  std::vector<std::unique_ptr<PartLibrary>> libraries_;
  std::optional<LibraryFailure> failure_;
};

}  // namespace kerro
