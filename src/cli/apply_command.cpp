#include "cli/apply_command.h"

#include <algorithm>
#include <ostream>

#include "cli/change_report.h"
#include "cli/cli_output.h"
#include "renumber/messages.h"

namespace kerro {

namespace {

std::string Describe(const SchematicDocument& document, size_t entry, const TextShown& shown) {
  const ComponentEntry& component = document.entries()[entry];
  return shown(component.partName()) + " [" + shown(component.packageTag()) + "] block " +
         std::to_string(component.block()) + " at (" + std::to_string(component.storedX()) + ", " +
         std::to_string(component.y()) + ")";
}

// Tries the map on one file in memory. Returns false, having said why, when it is refused.
// `sections` becomes the number of sections of the file, 0 if it cannot be loaded.
bool TryOnFile(const ReferenceMap& map, const std::string& path, const TextShown& shown,
               CliEnvironment& environment, std::vector<bool>& rowMatched, int& sections) {
  SchematicDocument document;
  sections = 0;
  if (!document.load(environment.fileSystem, path)) {
    return true;  // the job reports it in its turn
  }
  sections = document.sectionCount();
  std::vector<bool> matchedHere;
  const std::optional<MapRefusal> refusal = ApplyReferenceMap(map, path, document, matchedHere);
  if (refusal) {
    environment.err << Printable(path) << ": the map would give "
                    << Printable(shown(refusal->reference)) << " to "
                    << Printable(Describe(document, refusal->entry, shown)) << " and to "
                    << Printable(Describe(document, refusal->otherEntry, shown))
                    << ", a duplicate the file does not hold now; nothing was written\n";
    return false;
  }
  for (size_t i = 0; i < matchedHere.size(); ++i) {
    rowMatched[i] = rowMatched[i] || matchedHere[i];
  }
  return true;
}

}  // namespace

std::optional<MapApplier> MapApplier::Prepare(const Request& request, const MapTextToFile& toFile,
                                              const TextShown& shown, CliEnvironment& environment,
                                              int& status) {
  auto bytes = environment.fileSystem.readFile(request.mapPath);
  if (!bytes) {
    environment.err << ReadErrorWithCause(request.mapPath,
                                          environment.fileSystem.whyUnreadable(request.mapPath))
                    << '\n';
    status = kExitReadError;
    return std::nullopt;
  }
  const std::string_view csv(reinterpret_cast<const char*>(bytes->data()), bytes->size());
  MapReadResult read = ReadReferenceMap(csv, request.reverse, toFile);
  bytes.reset();  // the rows hold their texts: the map's bytes are not kept beside the board
  if (!read.map) {
    environment.err << Printable(request.mapPath) << ": " << Printable(read.error)
                    << "; nothing was written\n";
    status = kExitUsage;
    return std::nullopt;
  }
  std::vector<bool> rowMatched(read.map->rows.size(), false);
  std::vector<std::string> tried;
  const auto isTried = [&](const std::string& path) {
    return std::find(tried.begin(), tried.end(), path) != tried.end();
  };
  for (const std::string& path : request.files) {
    if (isTried(path)) {
      continue;
    }
    tried.push_back(path);
    int sections = 0;
    if (!TryOnFile(*read.map, path, shown, environment, rowMatched, sections)) {
      status = kExitUsage;
      return std::nullopt;
    }
    // The run that wrote the map saved the later sections of FILE to files of their own.
    for (const std::string& later : sections == 0 ? std::vector<std::string>()
                                                  : LaterSectionFiles(*read.map, path, sections)) {
      if (isTried(later) || !environment.fileSystem.exists(later)) {
        continue;
      }
      tried.push_back(later);
      int laterSections = 0;
      if (!TryOnFile(*read.map, later, shown, environment, rowMatched, laterSections)) {
        status = kExitUsage;
        return std::nullopt;
      }
    }
  }
  for (size_t i = 0; i < rowMatched.size() && !request.quiet; ++i) {
    if (!rowMatched[i]) {
      environment.err << "warning: line " << read.map->rows[i].line << " of "
                      << Printable(request.mapPath) << " matches no component\n";
    }
  }
  status = kExitFinished;
  return MapApplier(std::move(*read.map), std::move(tried));
}

std::function<void(SchematicDocument&)> MapApplier::editFor(const std::string& path) const {
  return [this, path](SchematicDocument& document) {
    // Tried before; should the file have changed since, a refused map changes nothing.
    std::vector<bool> rowMatched;
    ApplyReferenceMap(map_, path, document, rowMatched);
  };
}

}  // namespace kerro
