#include "library/library_set.h"

#include <new>

#include "library/binary_library.h"
#include "library/library_path.h"
#include "library/text_library.h"
#include "platform/paths.h"
#include "platform/process_paths.h"
#include "platform/profile.h"

namespace kerro {

namespace {

constexpr std::string_view kSettingsFileName = "TOSK.INI";

bool IsTextLibraryExtension(std::string_view extension) {
  static constexpr std::string_view kExtension = ".LB3";
  if (extension.size() != kExtension.size()) {
    return false;
  }
  for (size_t i = 0; i < extension.size(); ++i) {
    char c = extension[i];
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
    if (c != kExtension[i]) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool PartLibrary::loadLibrary(const std::string& path, FileSystem& fileSystem, PartDetail detail) {
  if (fileName_) {
    return false;
  }
  try {
    const bool text = IsTextLibraryExtension(SplitPath(path).extension);
    // A text library is read as the editor's own tools read it, sharing the file with
    // other readers, so that a library the editor holds open still loads.
    const auto bytes = text ? fileSystem.readFileShared(path) : fileSystem.readFile(path);
    if (!bytes) {
      return false;
    }
    // The readers replace this library only when they succeed.
    const bool ok = text ? LoadTextLibrary(*this, *bytes, detail)
                         : HasBinaryLibraryMagic(*bytes) && LoadBinaryLibrary(*this, *bytes);
    if (!ok) {
      return false;
    }
    fileName_ = path;
    return true;
  } catch (const std::bad_alloc&) {
    return false;  // a file too large for memory
  }
}

LibrarySet::LibrarySet(LibraryErrorHandler onError, FileSystem& fileSystem)
    : onError_(std::move(onError)), fileSystem_(fileSystem) {}

void LibrarySet::setProgramFolder(std::string folder) {
  programFolder_ = WithTrailingSeparator(folder);
}

std::string LibrarySet::settingsFileFor(const std::string& schematicPath) const {
  std::string besideSchematic = DirectoryOf(schematicPath) + std::string(kSettingsFileName);
  // Used when it can be opened for reading, as the profile functions will read it.
  if (fileSystem_.readFileShared(besideSchematic)) {
    return besideSchematic;
  }
  const std::string programFolder =
      programFolder_ ? *programFolder_ : DirectoryOf(ExecutablePath());
  return programFolder + std::string(kSettingsFileName);
}

bool LibrarySet::loadLibraries(const std::string& schematicPath) {
  freeLibraries();
  failure_.reset();
  const std::string settings = settingsFileFor(schematicPath);
  bool ok = true;
  for (int n = 0; n < kMaxLibraries; ++n) {
    const std::string listed =
        ReadProfileString(fileSystem_, settings, "LIBRARY", "LIB" + std::to_string(n), "");
    if (listed.empty()) {
      break;
    }
    const LibraryFileSearch search =
        FindLibraryFile(listed, libraryFolders_, fileSystem_, DirectoryOf(settings));
    auto library = std::make_unique<PartLibrary>();
    // The set serves numbering, which never looks at a pin.
    if (!search.found ||
        !library->loadLibrary(*search.found, fileSystem_, PartDetail::kWithoutPins)) {
      failure_ = LibraryFailure{JoinTriedPaths(search.tried), "no such file"};
      if (search.found) {
        failure_->cause = fileSystem_.readFileShared(*search.found)
                              ? "not a part library that can be read"
                              : fileSystem_.whyUnreadable(*search.found);
      }
      if (onError_) {
        onError_(failure_->paths);
      }
      ok = false;
      break;
    }
    libraries_.push_back(std::move(library));
  }
  if (!ok) {
    freeLibraries();
    return false;
  }
  return true;
}

void LibrarySet::freeLibraries() {
  libraries_.clear();
}

std::optional<LibrarySet::PartLocation> LibrarySet::locatePart(std::string_view name) const {
  // Names match as CompareText matches them, and on every system it finds only texts of
  // the same bytes equal: each library's index of first names gives the first match.
  const uint32_t hash = NameIndex::Hash(name);
  for (size_t i = 0; i < libraries_.size(); ++i) {
    const int32_t entry = libraries_[i]->firstEntryNamed(name, hash);
    if (entry >= 0) {
      return PartLocation{static_cast<int>(i), entry};
    }
  }
  return std::nullopt;
}

const PartEntry* LibrarySet::findPart(std::string_view name) const {
  const auto location = locatePart(name);
  if (!location) {
    return nullptr;
  }
  return libraries_[static_cast<size_t>(location->library)]->entryAt(location->entry);
}

const PartLibrary* LibrarySet::library(int slot) const {
  if (slot < 0 || slot >= libraryCount()) {
    return nullptr;
  }
  return libraries_[static_cast<size_t>(slot)].get();
}

}  // namespace kerro
