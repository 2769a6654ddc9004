#pragma once
// kerro-cli --apply MAP.csv [--reverse]: renames references by a was/is map (see
// annotation/reference_map.h) through the renumbering job, so that the safe save, the
// backup, --dry-run, --check and --report work as they do for numbering.
//
// Before any file is touched the map is read and tried on every FILE in memory: a map
// that cannot be read or is malformed, or a result that would hold a duplicate the file
// does not hold now, ends the run with nothing written. A row that names no component in
// any FILE is reported as a warning. Rows of a FILE's later sections also find the files
// FILE-01 ... where a run saved them, without their being named.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "annotation/reference_map.h"
#include "cli/cli.h"
#include "cli/lint_command.h"

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

  // The files to run the jobs on: each FILE once, in order, each followed by the files
  // FILE-01 ... that are there and that rows of FILE's later sections name (a run saved
  // those sections there).
  const std::vector<std::string>& files() const { return files_; }

 private:
  MapApplier(ReferenceMap map, std::vector<std::string> files)
      : map_(std::move(map)), files_(std::move(files)) {}

  ReferenceMap map_;
  std::vector<std::string> files_;
};

}  // namespace kerro
