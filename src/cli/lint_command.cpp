#include "cli/lint_command.h"

#include <algorithm>
#include <ostream>

#include "annotation/annotation_check.h"
#include "cli/change_report.h"
#include "cli/cli_output.h"
#include "renumber/messages.h"
#include "renumber/reference.h"
#include "schematic/schematic_document.h"

namespace kerro {

namespace {

// The files that loaded, in order, side by side with their paths.
struct LoadedFiles {
  std::vector<std::string> paths;
  std::vector<SchematicDocument> documents;
};

// Where a component is drawn: its section (from 0) and the position stored in its record.
struct Place {
  int section = 0;
  int x = 0;
  int y = 0;
};

Place PlaceOf(const SchematicDocument& document, size_t entry) {
  const ComponentEntry& component = document.entries()[entry];
  Place place;
  place.section = component.section();
  place.x = component.storedX();
  place.y = component.y();
  return place;
}

std::string PlaceText(const Place& place) {
  return "section " + std::to_string(place.section + 1) + " at (" + std::to_string(place.x) + ", " +
         std::to_string(place.y) + ")";
}

// Formats the findings of one design for people and for the CSV.
class FindingWriter {
 public:
  FindingWriter(std::span<const std::string> paths, std::span<const SchematicDocument> design,
                const TextShown& shown)
      : paths_(paths), design_(design), shown_(shown) {}

  std::string line(const AnnotationFinding& finding) const {
    const std::string& path = paths_[finding.component.document];
    std::string text = Printable(path) + ": ";
    if (finding.kind != FindingKind::LibraryFailed) {
      const ComponentEntry& component = entryAt(finding.component);
      text += PlaceText(placeOf(finding.component)) + " " +
              Printable(shown_(component.partName())) + " [" +
              Printable(shown_(component.packageTag())) + "] " +
              Printable(shown_(component.reference())) + " block " +
              std::to_string(component.block()) + ": ";
    }
    text += FindingName(finding.kind);
    const std::string why = detail(finding);
    if (finding.kind == FindingKind::LibraryFailed) {
      // Between quotes, as the read-error message shows it: several tried paths come
      // joined so that each then stands between quotes.
      text += ": \"" + Printable(why) + "\"";
    } else if (!why.empty()) {
      text += ": " + Printable(why);
    }
    return text;
  }

  FindingRow row(const AnnotationFinding& finding) const {
    FindingRow row;
    row.file = paths_[finding.component.document];
    if (finding.kind != FindingKind::LibraryFailed) {
      const ComponentEntry& component = entryAt(finding.component);
      const Place place = placeOf(finding.component);
      row.hasComponent = true;
      row.section = place.section + 1;
      row.x = place.x;
      row.y = place.y;
      row.part = shown_(component.partName());
      row.tag = shown_(component.packageTag());
      row.reference = shown_(component.reference());
      row.block = component.block();
    }
    row.finding = FindingName(finding.kind);
    row.detail = detail(finding);
    row.line = line(finding);
    return row;
  }

  std::string csvRow(const AnnotationFinding& finding) const {
    std::string row = CsvField(paths_[finding.component.document]);
    if (finding.kind == FindingKind::LibraryFailed) {
      row += ",,,,,,,";
    } else {
      const ComponentEntry& component = entryAt(finding.component);
      const Place place = placeOf(finding.component);
      for (const std::string& field :
           {std::to_string(place.section + 1), std::to_string(place.x), std::to_string(place.y),
            CsvField(shown_(component.partName())), CsvField(shown_(component.packageTag())),
            CsvField(shown_(component.reference())), std::to_string(component.block())}) {
        row += ',';
        row += field;
      }
    }
    row += ',';
    row += CsvField(FindingName(finding.kind));
    row += ',';
    row += CsvField(detail(finding));
    row += "\r\n";
    return row;
  }

 private:
  const ComponentEntry& entryAt(const ComponentAt& at) const {
    return design_[at.document].entries()[at.entry];
  }
  Place placeOf(const ComponentAt& at) const { return PlaceOf(design_[at.document], at.entry); }

  // Where the other component of a finding is, with its file when that is another one.
  std::string otherPlace(const AnnotationFinding& finding) const {
    std::string text = PlaceText(placeOf(*finding.other));
    if (finding.other->document != finding.component.document) {
      text += " of " + paths_[finding.other->document];
    }
    return text;
  }

  std::string detail(const AnnotationFinding& finding) const {
    const std::string blocks = "the part has " + std::to_string(finding.blockCount) + " block" +
                               (finding.blockCount == 1 ? "" : "s");
    switch (finding.kind) {
      case FindingKind::LibraryFailed:
        return finding.libraryPath;
      case FindingKind::DuplicateReference: {
        const ComponentEntry& other = entryAt(*finding.other);
        return "also on " + shown_(other.partName()) + " [" + shown_(other.packageTag()) + "] " +
               otherPlace(finding);
      }
      case FindingKind::OneBlockTwice:
        return "the same block " + otherPlace(finding);
      case FindingKind::TooLongToRenumber:
        return "no room for a number within " + std::to_string(kMaxReferenceLength) + " characters";
      case FindingKind::BlockBeyondCount:
        return blocks;
      case FindingKind::MoreBlocksThanPart:
        return blocks + "; the first of them " + otherPlace(finding);
      case FindingKind::PowerBlockWithoutPackage:
        return "no ordinary part of its tag carries its reference";
      case FindingKind::PartsDiffer: {
        const ComponentEntry& other = entryAt(*finding.other);
        return "the package's first block is " + shown_(other.partName()) + " " +
               otherPlace(finding);
      }
      case FindingKind::WrittenTwoWays:
        return "as " + shown_(entryAt(*finding.other).reference()) + " " + otherPlace(finding);
      case FindingKind::Misread:
        return "a leading zero, or a character that reads as a list or a range";
      case FindingKind::PackageOnTwoSheets:
        return "its first block is on another sheet, " + otherPlace(finding);
      case FindingKind::Unnumbered:
      case FindingKind::PartNotFound:
        return {};
    }
    return {};
  }

  std::span<const std::string> paths_;
  std::span<const SchematicDocument> design_;
  const TextShown& shown_;
};

// Loads each file in order (each named once); a file that cannot be read is reported and
// left out.
LoadedFiles LoadFiles(const std::vector<std::string>& paths, CliEnvironment& environment,
                      bool& readFailed) {
  LoadedFiles files;
  for (const std::string& path : paths) {
    SchematicDocument document;
    if (!document.load(environment.fileSystem, path)) {
      environment.err << ReadErrorWithCause(path, document.loadError()) << '\n';
      readFailed = true;
      continue;
    }
    files.paths.push_back(path);
    files.documents.push_back(std::move(document));
  }
  return files;
}

}  // namespace

int RunLint(const LintRequest& request, const TextShown& shown, CliEnvironment& environment) {
  bool readFailed = false;
  std::string csv = "file,section,x,y,part,tag,reference,block,finding,detail\r\n";
  const LintOptions lintOptions{.sheetRanges = request.sheetRanges};
  size_t findingCount = 0;
  // With the CSV on standard output, the lines go to the error stream.
  std::ostream& lines = request.report == "-" ? environment.err : environment.out;
  std::vector<std::string> checked;
  std::vector<FindingRow> rows;
  const size_t designCount = request.together ? 1 : request.files.size();
  for (size_t d = 0; d < designCount; ++d) {
    std::vector<std::string> designPaths = request.files;
    if (!request.together) {
      designPaths.assign(1, request.files[d]);
    }
    if (std::find(checked.begin(), checked.end(), designPaths.front()) != checked.end()) {
      continue;  // a section file that an earlier FILE brought in
    }
    LoadedFiles files = LoadFiles(designPaths, environment, readFailed);
    if (files.documents.empty()) {
      continue;
    }
    // A file of one section is checked together with the section files that a save left
    // beside it (FILE-01 ...): a duplicate across the sheets of one design matters most.
    if (!request.together && files.documents.front().sectionCount() == 1) {
      const std::vector<std::string> sectionFiles =
          SectionFilesBeside(environment.fileSystem, files.paths.front());
      LoadedFiles more = LoadFiles(sectionFiles, environment, readFailed);
      for (size_t i = 0; i < more.paths.size(); ++i) {
        files.paths.push_back(std::move(more.paths[i]));
        files.documents.push_back(std::move(more.documents[i]));
      }
    }
    checked.insert(checked.end(), files.paths.begin(), files.paths.end());
    const std::span<const std::string> loadedPaths(files.paths);
    const std::span<const SchematicDocument> design(files.documents);
    const FindingWriter writer(loadedPaths, design, shown);
    size_t findingsHere = 0;
    const FindingVisitor visit = [&](const AnnotationFinding& finding) {
      ++findingsHere;
      if (request.format != OutputFormat::Text) {
        rows.push_back(writer.row(finding));
      } else if (!request.quiet) {
        lines << writer.line(finding) << '\n';
      }
      if (!request.report.empty()) {
        csv += writer.csvRow(finding);
      }
    };
    if (request.withLibraries) {
      CheckAnnotationWithLibraries(design, loadedPaths.front(), environment.fileSystem,
                                   request.libraryFolders, lintOptions, visit);
    } else {
      CheckAnnotation(design, nullptr, lintOptions, visit);
    }
    findingCount += findingsHere;
    if (findingsHere == 0 && !request.quiet && request.format == OutputFormat::Text) {
      std::string named;
      for (const std::string& path : files.paths) {
        named += (named.empty() ? "" : ", ") + Printable(path);
      }
      lines << named << ": no findings\n";
    }
  }
  int status = findingCount > 0 ? kExitFindings : kExitFinished;
  if (readFailed) {
    status = kExitReadError;
  }
  if (request.report == "-") {
    environment.out << csv;
  } else if (!request.report.empty()) {
    std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(csv.data()), csv.size());
    if (!environment.fileSystem.replaceFile(request.report, bytes)) {
      environment.err << FormatMessage(kMessageWriteError, request.report) << '\n';
      status = kExitWriteError;
    }
  }
  switch (request.format) {
    case OutputFormat::Text:
      break;
    case OutputFormat::Json: {
      JsonReport json("lint", false);
      for (const FindingRow& row : rows) {
        json.addFinding(row);
      }
      json.write(environment.out, status);
      break;
    }
    case OutputFormat::GitHub:
      for (const FindingRow& row : rows) {
        environment.out << GitHubError(Printable(row.file), row.finding, row.line) << '\n';
      }
      break;
    case OutputFormat::Sarif:
      WriteSarifLog(environment.out, rows);
      break;
  }
  environment.out.flush();
  return status;
}

}  // namespace kerro
