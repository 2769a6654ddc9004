#include "renumber/design_files.h"

#include <algorithm>
#include <map>

#include "renumber/backup_name.h"
#include "renumber/safe_save.h"

namespace kerro {

std::vector<SchematicDocument*> LoadedDesign::design() {
  std::vector<SchematicDocument*> pointers;
  for (SchematicDocument& document : documents) {
    pointers.push_back(&document);
  }
  return pointers;
}

LoadedDesign LoadDesign(FileSystem& fileSystem, std::span<const std::string> paths) {
  LoadedDesign loaded;
  loaded.paths.assign(paths.begin(), paths.end());
  for (const std::string& path : paths) {
    std::string file = fileSystem.resolveLinks(path);
    SchematicDocument document;
    if (!document.load(fileSystem, file)) {
      loaded.failedPath = path;
      loaded.failedBecause = document.loadError();
      break;
    }
    loaded.files.push_back(std::move(file));
    loaded.documents.push_back(std::move(document));
  }
  return loaded;
}

namespace {

// The files that saving a file of `sections` sections would write or replace.
std::vector<std::string> OutputsOf(const std::string& file, int sections) {
  std::vector<std::string> names{MakeBackupName(file)};
  for (int section = 0; section < sections; ++section) {
    names.push_back(SchematicDocument::SectionFileName(file, section));
  }
  return names;
}

// Notes the outputs of file `index`; returns the earlier file they meet, if any.
std::optional<size_t> NoteOutputs(std::map<std::string, size_t>& owners, size_t index,
                                  const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    auto [owner, added] = owners.try_emplace(name, index);
    if (!added && owner->second != index) {
      return owner->second;
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::pair<std::string, std::string>> FindSharedFile(const LoadedDesign& loaded) {
  std::map<std::string, size_t> owners;
  for (size_t d = 0; d < loaded.documents.size(); ++d) {
    const std::vector<std::string> names =
        OutputsOf(loaded.files[d], loaded.documents[d].sectionCount());
    if (const std::optional<size_t> other = NoteOutputs(owners, d, names)) {
      return std::make_pair(loaded.paths[*other], loaded.paths[d]);
    }
  }
  return std::nullopt;
}

std::optional<std::pair<std::string, std::string>> FindSharedFile(
    FileSystem& fileSystem, std::span<const std::string> paths) {
  std::map<std::string, size_t> owners;
  for (size_t d = 0; d < paths.size(); ++d) {
    const std::string file = fileSystem.resolveLinks(paths[d]);
    SchematicDocument document;
    if (!document.load(fileSystem, file)) {
      continue;  // its own job reports it
    }
    if (const std::optional<size_t> other =
            NoteOutputs(owners, d, OutputsOf(file, document.sectionCount()))) {
      return std::make_pair(paths[*other], paths[d]);
    }
  }
  return std::nullopt;
}

DesignSave SaveDesign(FileSystem& fileSystem, const LoadedDesign& loaded,
                      const std::vector<bool>& toWrite) {
  DesignSave save;
  for (size_t d = 0; d < loaded.documents.size(); ++d) {
    if (toWrite[d] && !MayReplace(fileSystem, loaded.documents[d], loaded.files[d])) {
      save.left.push_back(loaded.paths[d]);
      for (size_t other = 0; other < loaded.documents.size(); ++other) {
        if (other != d && toWrite[other]) {
          save.left.push_back(loaded.paths[other]);
        }
      }
      return save;
    }
  }
  for (size_t d = 0; d < loaded.documents.size(); ++d) {
    const std::string& file = loaded.files[d];
    if (!toWrite[d]) {
      continue;
    }
    if (!save.ok() ||
        !SaveWithBackup(fileSystem, loaded.documents[d], file, MakeBackupName(file))) {
      save.left.push_back(loaded.paths[d]);
    } else {
      save.replaced.push_back(loaded.paths[d]);
    }
  }
  return save;
}

}  // namespace kerro
