#pragma once
// kerro-cli --preview OUT.svg: a picture of the run, one panel per sheet (see
// preview/svg_preview.h), drawn from the job's numbered design before anything is saved, so
// with --dry-run too. The jobs of one call all go into one picture, in order.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"
#include "preview/preview_sheets.h"
#include "renumber/renumber_job.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace kerro {

// Declares --preview; it goes with neither --list nor --lint, which number nothing.
void AddPreviewOption(CLI::App& app, std::string& path, CLI::Option* listOption,
                      CLI::Option* lintOption);

// Before any job: a picture that would replace one of the FILEs or its backup, or FILEs of
// more components than a picture draws (kMaxComponents), is refused. Returns the exit
// status then (2), with the reason reported.
std::optional<int> RefusePreview(const std::string& path, const std::vector<std::string>& files,
                                 CliEnvironment& environment);

class PreviewCollector {
 public:
  // `shown` turns the files' texts into UTF-8 (--encoding); it must outlive the collector.
  PreviewCollector(std::string path, const std::function<std::string(std::string_view)>& shown)
      : path_(std::move(path)), shown_(shown) {}

  // For JobRequest::inspect: adds the sheets of a numbered design.
  std::function<void(const NumberedDesign&)> inspector();

  // Writes the picture of every design inspected; a call whose jobs all stopped before
  // numbering writes none. Returns the exit status of the writing (3 when it fails).
  int write(CliEnvironment& environment) const;

 private:
  std::string path_;
  const std::function<std::string(std::string_view)>& shown_;
  std::vector<PreviewSheet> sheets_;
  bool inspected_ = false;
};

}  // namespace kerro
