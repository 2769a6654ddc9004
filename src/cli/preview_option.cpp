#include "cli/preview_option.h"

#include <CLI/CLI.hpp>

#include <ostream>
#include <span>

#include "cli/change_report.h"
#include "preview/svg_preview.h"
#include "renumber/backup_name.h"
#include "renumber/messages.h"
#include "schematic/schematic_document.h"

namespace kerro {

void AddPreviewOption(CLI::App& app, std::string& path, CLI::Option* listOption,
                      CLI::Option* lintOption) {
  app.add_option("--preview", path,
                 "also draw the run as an SVG picture to OUT.svg, one panel per sheet (with "
                 "--dry-run too); labels up to " +
                     std::to_string(kLabelledComponents) + " components, at most " +
                     std::to_string(kMaxComponents))
      ->type_name("OUT.svg")
      ->excludes(listOption)
      ->excludes(lintOption);
}

std::optional<int> RefusePreview(const std::string& path, const std::vector<std::string>& files,
                                 CliEnvironment& environment) {
  size_t components = 0;
  for (const std::string& file : files) {
    SchematicDocument document;
    const bool loaded = document.load(environment.fileSystem, file);  // else the job reports
    // The picture is written after the files, so it must not be one of those they write.
    const int sections = loaded ? document.sectionCount() : 1;
    for (int s = 0; s < sections; ++s) {
      const std::string written = SchematicDocument::SectionFileName(file, s);
      if (path == written || path == MakeBackupName(written) ||
          environment.fileSystem.sameFile(path, written)) {
        environment.err << "kerro-cli: the preview would replace \"" << Printable(path) << "\"\n";
        return kExitUsage;
      }
    }
    if (loaded) {
      components += document.entries().size();
    }
  }
  if (components > kMaxComponents) {
    environment.err << "kerro-cli: --preview draws at most " << kMaxComponents
                    << " components, and the FILEs hold " << components
                    << "; nothing was written\n";
    return kExitUsage;
  }
  return std::nullopt;
}

std::function<void(const NumberedDesign&)> PreviewCollector::inspector() {
  return [this](const NumberedDesign& design) {
    inspected_ = true;
    AddPreviewSheets(design, sheets_);
  };
}

int PreviewCollector::write(CliEnvironment& environment) const {
  if (!inspected_) {
    return kExitFinished;
  }
  const std::string svg = DrawPreview(sheets_, shown_);
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(svg.data()), svg.size());
  if (!environment.fileSystem.replaceFile(path_, bytes)) {
    environment.err << FormatMessage(kMessageWriteError, path_) << '\n';
    return kExitWriteError;
  }
  return kExitFinished;
}

}  // namespace kerro
