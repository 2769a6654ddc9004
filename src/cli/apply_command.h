#pragma once
// kerro-cli --apply MAP.csv [--reverse]: renames references by a was/is map (see
// annotation/reference_map.h) through the renumbering job, so that the safe save, the
// backup, --dry-run, --check and --report work as they do for numbering.
//
// Before any file is touched the map is read and tried on every FILE in memory: a map
// that cannot be read or is malformed, or a result that would hold a duplicate the file
// does not hold now, ends the run with nothing written. A row that names no component in
// any FILE is reported as a warning.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/lint_command.h"
#include "annotation/reference_map.h"

namespace kerro {

class MapApplier {
 public:
  struct Request {
    std::string mapPath;
    bool reverse = false;
    bool quiet = false;
    std::vector<std::string> files;
  };

  // Reads and tries the map. On refusal prints why and returns nullopt, with the exit
  // status (1 the map cannot be read, 2 it is refused) in `status`.
  static std::optional<MapApplier> Prepare(const Request& request, const MapTextToFile& toFile,
                                           const TextShown& shown, CliEnvironment& environment,
                                           int& status);

  // The edit that the job of the file at `path` runs instead of numbering.
  std::function<void(SchematicDocument&)> editFor(const std::string& path) const;

 private:
  explicit MapApplier(ReferenceMap map) : map_(std::move(map)) {}

  ReferenceMap map_;
};

}  // namespace kerro
