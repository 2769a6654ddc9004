#include "renumber/design_job.h"

#include <algorithm>
#include <map>

#include "library/library_set.h"
#include "renumber/component_changes.h"
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
      break;
    }
    loaded.files.push_back(std::move(file));
    loaded.documents.push_back(std::move(document));
  }
  return loaded;
}

std::optional<std::pair<std::string, std::string>> FindSharedFile(const LoadedDesign& loaded) {
  std::map<std::string, size_t> owners;
  for (size_t d = 0; d < loaded.documents.size(); ++d) {
    const std::string& file = loaded.files[d];
    std::vector<std::string> names{MakeBackupName(file)};
    for (int section = 0; section < loaded.documents[d].sectionCount(); ++section) {
      names.push_back(SchematicDocument::SectionFileName(file, section));
    }
    for (const std::string& name : names) {
      auto [owner, added] = owners.try_emplace(name, d);
      if (!added && owner->second != d) {
        return std::make_pair(loaded.paths[owner->second], loaded.paths[d]);
      }
    }
  }
  return std::nullopt;
}

DesignSave SaveDesign(FileSystem& fileSystem, const LoadedDesign& loaded) {
  DesignSave save;
  for (size_t d = 0; d < loaded.documents.size(); ++d) {
    if (!MayReplace(fileSystem, loaded.documents[d], loaded.files[d])) {
      save.left.push_back(loaded.paths[d]);
      for (size_t other = 0; other < loaded.documents.size(); ++other) {
        if (other != d) {
          save.left.push_back(loaded.paths[other]);
        }
      }
      return save;
    }
  }
  for (size_t d = 0; d < loaded.documents.size(); ++d) {
    const std::string& file = loaded.files[d];
    if (!save.ok() ||
        !SaveWithBackup(fileSystem, loaded.documents[d], file, MakeBackupName(file))) {
      save.left.push_back(loaded.paths[d]);
    } else {
      save.replaced.push_back(loaded.paths[d]);
    }
  }
  return save;
}

namespace {

DesignResult Failure(DesignOutcome outcome, const std::string& path) {
  DesignResult result;
  result.outcome = outcome;
  result.errorPath = path;
  return result;
}

// Removing the old backup would remove the schematic itself.
bool IsOwnBackup(const std::string& path) {
  return MakeBackupName(path) == path;
}

}  // namespace

DesignResult RenumberDesignJob(const DesignRequest& request, JobContext& context) {
  // A file that is its own backup name is refused once it is read: one that is not there
  // is a read error like any other.
  LoadedDesign loaded = LoadDesign(context.fileSystem, request.paths);
  if (!loaded.complete()) {
    return Failure(DesignOutcome::ReadError, loaded.failedPath);
  }
  for (size_t d = 0; d < loaded.files.size(); ++d) {
    if (IsOwnBackup(loaded.paths[d]) || IsOwnBackup(loaded.files[d])) {
      return Failure(DesignOutcome::WriteError, loaded.paths[d]);
    }
  }
  DesignResult result;
  result.sharedFile = FindSharedFile(loaded);
  if (result.sharedFile) {
    result.outcome = DesignOutcome::SharedFile;
    return result;
  }
  std::vector<ChangeRecorder> recorders;
  if (request.collectChanges) {
    for (SchematicDocument& document : loaded.documents) {
      recorders.emplace_back(document);
    }
  }
  std::vector<SchematicDocument*> design = loaded.design();
  result.shortage = NumberWithLibraries(design, request.numbering, loaded.paths.front(), context);
  if (result.shortage) {
    result.outcome = DesignOutcome::OutOfNumbers;
    result.errorPath = loaded.paths[result.shortage->document];
    return result;
  }
  for (size_t d = 0; d < recorders.size(); ++d) {
    result.changes.push_back(recorders[d].changes(loaded.documents[d]));
  }
  if (request.writeFiles) {
    result.save = SaveDesign(context.fileSystem, loaded);
    if (!result.save.ok()) {
      result.outcome = DesignOutcome::WriteError;
      result.errorPath = result.save.left.front();
    }
  }
  return result;
}

}  // namespace kerro
