#include "cli/cli.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>

#include "cli/apply_command.h"
#include "cli/board_options.h"
#include "cli/change_report.h"
#include "cli/cli_output.h"
#include "cli/lint_command.h"
#include "cli/machine_output.h"
#include "cli/numbering_options.h"
#include "cli/preview_option.h"
#include "kerro_version.h"
#include "library/library_set.h"
#include "platform/profile.h"
#include "platform/text_encoding.h"
#include "platform/whole_number.h"
#include "renumber/messages.h"
#include "renumber/renumber_job.h"
#include "schematic/schematic_document.h"

namespace kerro {

namespace {

constexpr const char* kDescription =
    "Renumbers the component reference designators (R1, C12, U3 ...) of schematic files "
    "(*.CE2). The previous content of FILE is kept beside it under the backup name, the "
    "first character of the extension replaced by \"$\" (SHEET.CE2 -> SHEET.$E2).";

constexpr const char* kFooter =
    "Plain numbering groups the components by reference prefix and numbers each\n"
    "prefix from the initial value on, keeping the present order; the blocks of one\n"
    "package keep sharing one reference. Components with an empty reference or\n"
    "package tag are left alone.\n"
    "\n"
    "Exit status (the worst over all files):\n"
    "  0  every job finished (with --check: no file would change)\n"
    "  1  a file could not be read\n"
    "  2  bad usage or a value out of range; no file was touched\n"
    "  3  a file could not be written\n"
    "  4  with --check: some file would change\n"
    "  5  with --lint: some finding\n"
    "\n"
    "The change list has one row per component whose reference or block changed.\n"
    "As CSV (--report, \"-\" for standard output; RFC 4180 quoting, CR LF line ends):\n"
    "  file,section,x,y,part,tag,old_reference,new_reference,old_block,new_block\n"
    "section counts from 1; x and y are the positions on the component's sheet.\n"
    "\n"
    "--lint prints one line per finding, in file order; its CSV has the columns\n"
    "  file,section,x,y,part,tag,reference,block,finding,detail";

// Parses a whole decimal integer; anything else, or a value beyond int, gives nullopt.
std::optional<int> ParseInteger(const std::string& text) {
  const std::optional<int64_t> value = ParseWholeNumber(text, INT32_MIN, INT32_MAX);
  return value ? std::optional<int>(static_cast<int>(*value)) : std::nullopt;
}

bool InRange(const std::optional<int>& value, int low, int high) {
  return value && *value >= low && *value <= high;
}

// How bad an exit status is, for keeping the worst over several files.
int Severity(int status) {
  switch (status) {
    case kExitWriteError:
      return 4;
    case kExitUsage:
      return 3;
    case kExitReadError:
      return 2;
    case kExitWouldChange:
      return 1;
    default:
      return 0;
  }
}

void KeepWorst(int& worst, int status) {
  if (Severity(status) > Severity(worst)) {
    worst = status;
  }
}

// The exit status of a job that did not finish.
int ExitStatusFor(JobOutcome outcome) {
  switch (outcome) {
    case JobOutcome::ReadError:
      return kExitReadError;
    case JobOutcome::WriteError:
      return kExitWriteError;
    case JobOutcome::InitialOutOfRange:
    case JobOutcome::StepOutOfRange:
    case JobOutcome::OutOfNumbers:
    case JobOutcome::SharedFile:
      return kExitUsage;
    case JobOutcome::EmptyPath:
    case JobOutcome::Finished:
      break;
  }
  return kExitFinished;
}

struct Options {
  std::string initial = "1";
  std::string step = "1";
  bool autoNumber = false;
  bool dryRun = false;
  std::string report;
  bool list = false;
  bool check = false;
  bool quiet = false;
  bool lint = false;
  std::string apply;
  bool reverse = false;
  std::string encoding;
  bool encodingGiven = false;  // --encoding, even with an empty NAME
  NumberingOptions numbering;
  BoardOptions board;
  std::vector<std::string> libraryFolders;
  std::vector<std::string> files;
  std::string formatName = "text";
  OutputFormat format = OutputFormat::Text;
  std::string preview;
};

// Where finished jobs hand on their change lists: shown, counted for --check and kept for
// the report.
struct JobOutput {
  CliEnvironment& environment;
  const Options& options;
  bool showChanges = false;
  int worst = kExitFinished;
  std::vector<FileChanges> report;
  // Set with --encoding: what the texts of a change become.
  TextShown shownTexts;
  // With --format json, what the run did, written at the end.
  JsonReport* json = nullptr;
  PreviewCollector* preview = nullptr;  // --preview, on the pass that writes
  // Handed to the job as JobRequest::beforeWrite: puts the report on the disk first.
  std::function<std::optional<std::string>(std::span<const FileChanges>)> beforeWrite;

  void take(const std::string& file, std::vector<ComponentChange>& changes) {
    if (json) {
      // The report takes the list too; otherwise the document keeps it. (Not a conditional
      // expression: one of a moved and a named list is a copy either way.)
      if (options.report.empty()) {
        json->addChanges(file, std::move(changes));
      } else {
        json->addChanges(file, changes);
      }
    } else if (showChanges) {
      // Lines go out in pieces of some 64 KiB: a million of them one by one cost more than
      // the numbering.
      constexpr size_t kPiece = 64 * 1024;
      std::string lines;
      lines.reserve(kPiece + 1024);
      for (const ComponentChange& change : changes) {
        AppendChangeLine(lines, file, change, shownTexts);
        lines += '\n';
        if (lines.size() >= kPiece) {
          environment.out << lines;
          lines.clear();
        }
      }
      environment.out << lines;
    }
    if (!options.report.empty()) {
      report.push_back({file, std::move(changes)});
    }
  }

  // One line on what the job did to a file, or would do.
  void summarize(const FileSummary& file) {
    const bool dry = options.dryRun || options.check;
    if (json) {
      json->addFile(file);
    } else if (options.format == OutputFormat::GitHub) {
      if (file.written) {
        environment.out << GitHubError(Printable(file.path), "kerro-cli --check",
                                       SummaryOf(file, dry))
                        << '\n';
      }
    } else if (!options.quiet) {
      environment.out << SummaryOf(file, dry) << '\n';
    }
  }

  static std::string SummaryOf(const FileSummary& file, bool dry) {
    const auto counted = [](size_t count, const char* what) {
      return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
    };
    std::string line = Printable(file.path) + ": ";
    if (file.referencesChanged == 0 && file.blocksChanged == 0) {
      line += dry ? "nothing would change" : "nothing changed";
    } else {
      if (file.referencesChanged > 0) {
        line += counted(file.referencesChanged, "reference");
      }
      if (file.blocksChanged > 0) {
        line += std::string(file.referencesChanged > 0 ? " and " : "") +
                counted(file.blocksChanged, "block");
      }
      line += dry ? " would change" : " changed";
    }
    if (file.written) {
      line += dry ? "; would write " : "; wrote ";
      for (int section = 0; section < file.sections; ++section) {
        line += (section > 0 ? ", " : "") +
                Printable(SchematicDocument::SectionFileName(file.path, section));
      }
      line += dry ? "; previous content would be kept in " : "; previous content in ";
      line += Printable(MakeBackupName(file.path));
    } else {
      line += dry ? "; nothing would be written" : "; nothing written";
    }
    return line;
  }

  // A file of one section with section files beside it is most likely the first sheet of
  // a design that a save split; numbered alone, its numbers may repeat theirs.
  void noteSectionFiles(const std::string& file) {
    // A map renames by file, and section files named in the call are the user's choice.
    if (options.quiet || !options.apply.empty() || options.format != OutputFormat::Text) {
      return;
    }
    const std::vector<std::string> sheets = SectionFilesBeside(environment.fileSystem, file);
    const auto named = [&](const std::string& sheet) {
      return std::find(options.files.begin(), options.files.end(), sheet) != options.files.end();
    };
    if (sheets.empty() || std::any_of(sheets.begin(), sheets.end(), named)) {
      return;
    }
    std::string list;
    for (const std::string& sheet : sheets) {
      list += " " + Printable(sheet);
    }
    environment.err << "note:" << list << " beside " << Printable(file)
                    << " look like its other sheets, numbered on their own; to number them as "
                       "one design: kerro-cli --together "
                    << Printable(file) << list << '\n';
  }

  void finished() {
    if (!options.quiet && options.format == OutputFormat::Text) {
      environment.out << FormatMessage(kMessageFinished) << '\n';
    }
  }
};

// One job: one file, or with --together every file as one design.
void RunJob(const std::vector<std::string>& files, const DesignNumbering& numbering,
            std::function<void(SchematicDocument&)> edit, JobContext& context, JobOutput& output) {
  const bool writeNothing = output.options.dryRun || output.options.check;
  JobRequest request = NumberingRequest(files, numbering);
  request.writeFiles = !writeNothing;
  // The change list only where it is shown, reported or put in the JSON: on a large board
  // it costs more than the numbering.
  request.collectChanges = output.showChanges || !output.options.report.empty() || output.json;
  request.summarize = !output.options.quiet || output.options.format != OutputFormat::Text;
  request.edit = std::move(edit);
  request.inspect = output.preview ? output.preview->inspector() : nullptr;
  request.beforeWrite = output.beforeWrite;
  JobResult result = RenumberJob(request, context);
  std::ostream& err = output.environment.err;
  switch (result.outcome) {
    case JobOutcome::Finished:
      break;
    case JobOutcome::OutOfNumbers:
      if (!result.shortage->range) {
        err << MessageFor(result) << '\n';
      }
      err << DescribeShortage(*result.shortage, result.errorPath) << '\n';
      KeepWorst(output.worst, kExitUsage);
      return;
    case JobOutcome::SharedFile:
      err << DescribeSharedFile(*result.sharedFile) << '\n';
      KeepWorst(output.worst, kExitUsage);
      return;
    default:
      if (result.outcome == JobOutcome::ReadError) {
        err << ReadErrorWithCause(result.errorPath, result.errorCause) << '\n';
      } else if (const std::string message = MessageFor(result); !message.empty()) {
        err << message << '\n';
      }
      if (files.size() > 1 && !result.save.left.empty()) {
        err << DescribeSave(result.save) << '\n';
      }
      KeepWorst(output.worst, ExitStatusFor(result.outcome));
      return;
  }
  for (FileChanges& file : result.changes) {
    output.take(file.path, file.changes);
  }
  for (const FileSummary& file : result.summaries) {
    output.summarize(file);
  }
  if (files.size() == 1 && !result.summaries.empty() && result.summaries.front().sections == 1) {
    output.noteSectionFiles(files.front());
  }
  if (output.options.check && !result.written.empty()) {
    KeepWorst(output.worst, kExitWouldChange);
  }
  output.finished();
}

// Lists the components of one file. Returns the file's exit status.
int ListComponents(const std::string& path, CliEnvironment& environment, const TextShown& shown,
                   JsonReport* json) {
  SchematicDocument document;
  if (!document.load(environment.fileSystem, path)) {
    environment.err << ReadErrorWithCause(path, document.loadError()) << '\n';
    return kExitReadError;
  }
  if (json) {
    json->addComponents(path, document.entries());
    return kExitFinished;
  }
  std::ostream& out = environment.out;
  out << Printable(path) << '\n';
  // Texts are padded, never cut: a long part name or tag shows whole.
  const auto padded = [](std::string text, size_t width) {
    text.resize(std::max(text.size(), width), ' ');
    return text;
  };
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "  %7s %6s %6s %5s  ", "section", "x", "y", "block");
  out << numbers << padded("tag", 15) << "  " << padded("ref", 8) << "  part\n";
  for (const ComponentEntry& component : document.entries()) {
    // x as the record stores it, on the component's own sheet.
    std::snprintf(numbers, sizeof numbers, "  %7d %6d %6d %5d  ", component.section() + 1,
                  static_cast<int>(component.storedX()), static_cast<int>(component.y()),
                  static_cast<int>(component.block()));
    out << numbers << padded(Printable(shown(component.packageTag())), 15) << "  "
        << padded(Printable(shown(component.reference())), 8) << "  "
        << Printable(shown(component.partName())) << '\n';
  }
  return kExitFinished;
}

// Declares every option; returns --encoding, whose use is told apart from its value.
CLI::Option* DefineOptions(CLI::App& app, Options& options) {
  app.footer(std::string(kFooter) + "\n\n" + NumberingExamples() + "\n\n" + BoardExample());
  app.set_version_flag("--version", std::string("kerro-cli ") + KERRO_VERSION);
  app.add_option("-i,--initial", options.initial, "first number of each prefix, 1 to 1000")
      ->type_name("N")
      ->default_str("1");
  app.add_option("-s,--step", options.step, "step between numbers, 1 to 20")
      ->type_name("N")
      ->default_str("1");
  CLI::Option* autoOption =
      app.add_flag("-a,--auto", options.autoNumber,
                   "library-guided numbering (order by position, packages from the part "
                   "libraries in TOSK.INI)");
  CLI::Option* dryRunOption =
      app.add_flag("-n,--dry-run", options.dryRun, "show the change list, write nothing");
  CLI::Option* reportOption =
      app.add_option("-r,--report", options.report, "also write the change list as CSV to FILE")
          ->type_name("FILE");
  CLI::Option* checkOption = app.add_flag(
      "-c,--check", options.check,
      "write nothing; exit 4 when a FILE would change (for scripts and pre-commit checks)");
  CLI::Option* listOption = app.add_flag("-l,--list", options.list,
                                         "list the components of each FILE and change nothing");
  listOption->excludes(autoOption)
      ->excludes(dryRunOption)
      ->excludes(reportOption)
      ->excludes(checkOption);
  CLI::Option* lintOption =
      app.add_flag(
             "--lint", options.lint,
             "check the annotation and write nothing: one line per finding, exit 5 when there "
             "is any (with --auto also against the part libraries)")
          ->excludes(listOption)
          ->excludes(dryRunOption)
          ->excludes(checkOption);
  CLI::Option* applyOption =
      app.add_option("--apply", options.apply,
                     "rename references by a was/is map: CSV with the columns old_reference "
                     "and new_reference, or a --report of kerro-cli; all at once")
          ->type_name("MAP")
          ->excludes(autoOption)
          ->excludes(listOption)
          ->excludes(lintOption);
  app.add_flag("--reverse", options.reverse, "apply the map from new to old (undoes a run)")
      ->needs(applyOption);
  AddNumberingOptions(app, options.numbering, autoOption, listOption, applyOption);
  AddPreviewOption(app, options.preview, listOption, lintOption);
  AddBoardOptions(app, options.board, autoOption, listOption, applyOption);
  lintOption->excludes(app.get_option("--by-board"));
  CLI::Option* encodingOption =
      app.add_option("--encoding", options.encoding,
                     "show the texts of the files (references, tags, part names) as UTF-8, "
                     "converted from NAME (CP932, CP1252 ...); a map's texts are converted back")
          ->type_name("NAME");
  app.add_flag("-q,--quiet", options.quiet, "print errors only");
  app.add_option("--format", options.formatName,
                 "what goes to standard output: text, json (one document per run: --list, the "
                 "changes, --check, --lint), github (workflow commands for --lint and --check) "
                 "or sarif (SARIF 2.1.0 for --lint)")
      ->type_name("text|json|github|sarif")
      ->default_str("text");
  app.add_option("--lib-dir", options.libraryFolders,
                 "with --auto: look here, by file name, for a library that TOSK.INI lists but "
                 "that is not where it says (repeatable)")
      ->type_name("DIR")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  app.add_option("FILE", options.files, "schematic files, each renumbered in turn")
      ->type_name("")
      ->required();
  // A repeatable option takes one value each time it is given; CLI11 would let it take
  // the FILEs that follow as further values (-L 'J*' A.CE2 B.CE2 numbered only B.CE2).
  for (const char* repeatable : {"--lock", "--lib-dir"}) {
    app.get_option(repeatable)->allow_extra_args(false);
  }

  return encodingOption;
}

// Help that fits 80 columns: descriptions wrap beside the option names, and the options'
// relations (which ones exclude which) are left to the error that a wrong combination gives.
class NarrowHelp : public CLI::Formatter {
 public:
  static constexpr size_t kWidth = 80;
  static constexpr size_t kNameColumn = 30;

  NarrowHelp() { column_width(kNameColumn); }

  std::string make_option_opts(const CLI::Option* option) const override {
    std::string text;
    if (!option->get_type_name().empty()) {
      text += " " + option->get_type_name();
    }
    if (!option->get_default_str().empty()) {
      text += " [" + option->get_default_str() + "]";
    }
    return text;
  }

  std::string make_option_desc(const CLI::Option* option) const override {
    return Wrapped(option->get_description(), kWidth - kNameColumn);
  }

  std::string make_description(const CLI::App* app) const override {
    return Wrapped(app->get_description(), kWidth) + "\n";
  }

 private:
  // Breaks `text` at blanks into lines of at most `width` characters (a longer word
  // stands alone).
  static std::string Wrapped(const std::string& text, size_t width) {
    std::string wrapped;
    size_t lineLength = 0;
    std::istringstream words(text);
    std::string word;
    while (words >> word) {
      if (lineLength > 0 && lineLength + 1 + word.size() > width) {
        wrapped += '\n';
        lineLength = 0;
      } else if (lineLength > 0) {
        wrapped += ' ';
        ++lineLength;
      }
      wrapped += word;
      lineLength += word.size();
    }
    return wrapped;
  }
};

// How many single-character edits turn `a` into `b`.
size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) {
    row[j] = j;
  }
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// For each argument that names no option: the nearest long option, when one is near
// enough to be a typing error (--dryrun, --dry_run, --inital).
void SuggestOptions(const std::vector<std::string>& arguments, const CLI::App& app,
                    std::ostream& err) {
  std::vector<std::string> names;
  for (const CLI::Option* option : app.get_options()) {
    for (const std::string& name : option->get_lnames()) {
      names.push_back("--" + name);
    }
  }
  for (const std::string& argument : arguments) {
    if (argument.size() < 3 || argument.compare(0, 2, "--") != 0) {
      continue;
    }
    const std::string given = argument.substr(0, argument.find('='));
    if (std::find(names.begin(), names.end(), given) != names.end()) {
      continue;
    }
    const std::string* nearest = nullptr;
    size_t nearestDistance = 0;
    for (const std::string& name : names) {
      const size_t distance = EditDistance(given, name);
      if (!nearest || distance < nearestDistance) {
        nearest = &name;
        nearestDistance = distance;
      }
    }
    if (nearest && nearestDistance <= std::max<size_t>(2, given.size() / 4)) {
      err << "unknown option " << Printable(given) << "; did you mean " << *nearest << "?\n";
    }
  }
}

// Step 1. Fills `options` from the arguments. Returns the exit status when there is
// nothing more to do: help, the version, or bad usage (reported by CLI11).
std::optional<int> ParseArguments(const std::vector<std::string>& arguments,
                                  CliEnvironment& environment, Options& options) {
  CLI::App app(kDescription, "kerro-cli");
  app.formatter(std::make_shared<NarrowHelp>());
  CLI::Option* encodingOption = DefineOptions(app, options);
  try {
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    app.parse(reversed);
  } catch (const CLI::ParseError& error) {
    const int status = app.exit(error, environment.out, environment.err);
    if (status != 0) {
      SuggestOptions(arguments, app, environment.err);
    }
    return status == 0 ? kExitFinished : kExitUsage;
  }
  options.encodingGiven = encodingOption->count() > 0;
  return std::nullopt;
}

// Step 2. Everything is checked before the first file is touched. Returns the numbering
// every job uses, or nullopt, with the problem reported, if anything is wrong.
std::optional<DesignNumbering> CheckOptions(const Options& options, CliEnvironment& environment) {
  const std::optional<int> initial = ParseInteger(options.initial);
  if (!InRange(initial, kMinInitial, kMaxInitial)) {
    environment.err << FormatMessage(kMessageInitialOutOfRange)
                    << RangeAndValue(kMinInitial, kMaxInitial, options.initial) << '\n';
    return std::nullopt;
  }
  const std::optional<int> step = ParseInteger(options.step);
  if (!InRange(step, kMinStep, kMaxStep)) {
    environment.err << FormatMessage(kMessageStepOutOfRange)
                    << RangeAndValue(kMinStep, kMaxStep, options.step) << '\n';
    return std::nullopt;
  }
  const std::optional<OutputFormat> format = ParseOutputFormat(options.formatName);
  if (!format) {
    environment.err << "--format takes text, json, github or sarif; got \""
                    << Printable(options.formatName) << "\"\n";
    return std::nullopt;
  }
  if (*format == OutputFormat::GitHub && !options.lint && !options.check) {
    environment.err << "--format github goes with --lint or --check\n";
    return std::nullopt;
  }
  if (*format == OutputFormat::Sarif && !options.lint) {
    environment.err << "--format sarif goes with --lint\n";
    return std::nullopt;
  }
  if (*format != OutputFormat::Text && options.report == "-") {
    environment.err << "--report - and --format " << options.formatName
                    << " would both write to standard output\n";
    return std::nullopt;
  }
  const std::optional<NumberingControls> controls =
      CheckNumberingOptions(options.numbering, environment.err);
  if (!controls) {
    return std::nullopt;
  }
  for (const std::string& file : options.files) {
    if (file.empty()) {
      environment.err << "an empty FILE name was given\n";
      return std::nullopt;
    }
    if (!options.report.empty() &&
        (options.report == file || options.report == MakeBackupName(file))) {
      environment.err << "the report would replace \"" << options.report << "\"\n";
      return std::nullopt;
    }
  }
  return DesignNumbering{*initial, *step,
                         options.autoNumber ? NumberingMode::ByLibrary : NumberingMode::Plain,
                         *controls};
}

// Each FILE once, however it is spelt (another spelling, a link): a second job on one file
// would replace its backup with the result of the first job.
std::vector<std::string> EachFileOnce(FileSystem& fileSystem,
                                      const std::vector<std::string>& given) {
  std::vector<std::string> files;
  for (const std::string& file : given) {
    const auto sameAsFile = [&](const std::string& earlier) {
      return fileSystem.sameFile(earlier, file);
    };
    if (std::none_of(files.begin(), files.end(), sameAsFile)) {
      files.push_back(file);
    }
  }
  return files;
}

// Step 3. Texts of the files go out as their bytes, or converted to UTF-8 with --encoding.
// Returns false, with the problem reported, for an encoding this system does not know.
bool OpenEncoding(const Options& options, CliEnvironment& environment,
                  std::optional<TextEncoding>& encoding) {
  if (!options.encodingGiven) {
    return true;
  }
  encoding = TextEncoding::Open(options.encoding);
  if (!encoding) {
    environment.err << "unknown encoding \"" << Printable(options.encoding) << "\"\n";
    return false;
  }
  return true;
}

// In place of the jobs with --list.
int ListFiles(const Options& options, CliEnvironment& environment, const TextShown& shown,
              JsonReport* json) {
  int worst = kExitFinished;
  for (const std::string& file : options.files) {
    KeepWorst(worst, ListComponents(file, environment, shown, json));
  }
  return worst;
}

// Step 4. Runs the jobs and hands their changes to `output`.
void RunJobs(const Options& options, const DesignNumbering& numbering,
             const std::optional<MapApplier>& applier, JobOutput& output) {
  CliEnvironment& environment = output.environment;
  // A library that cannot be loaded stops the job, and its result names the library.
  JobContext context{environment.fileSystem, nullptr, options.libraryFolders,
                     /*libraryFailureStops=*/true};
  const std::vector<std::string>& files = options.files;
  if (options.numbering.together) {
    RunJob(files, numbering, nullptr, context, output);
    return;
  }
  // One file's save must not write another file of the call, nor its backup.
  const bool writes = !options.dryRun && !options.check;
  if (writes && files.size() > 1) {
    if (const auto shared = FindSharedFile(environment.fileSystem, files)) {
      environment.err << DescribeSharedFile(*shared) << '\n';
      KeepWorst(output.worst, kExitUsage);
      return;
    }
  }
  for (const std::string& file : files) {
    RunJob({file}, numbering, applier ? applier->editFor(file) : nullptr, context, output);
  }
}

// Settings that do nothing are most likely mistakes: said once each, and the run goes on.
void WarnOfLibrarySettings(const Options& options, CliEnvironment& environment) {
  if (options.quiet) {
    return;
  }
  if (!options.libraryFolders.empty() && !options.autoNumber) {
    environment.err << "warning: --lib-dir is used only with --auto\n";
  }
  if (!options.autoNumber) {
    return;
  }
  const LibrarySet libraries(nullptr, environment.fileSystem);
  std::vector<std::string> seen;
  for (const std::string& file : options.files) {
    const std::string settings = libraries.settingsFileFor(file);
    if (std::find(seen.begin(), seen.end(), settings) != seen.end()) {
      continue;
    }
    seen.push_back(settings);
    if (!environment.fileSystem.exists(settings)) {
      environment.err << "note: no TOSK.INI beside " << Printable(file)
                      << " or the program: numbering goes by position, without part "
                         "libraries\n";
      continue;
    }
    for (int n = kMaxLibraries; n < 100; ++n) {
      const std::string key = "LIB" + std::to_string(n);
      if (!ReadProfileString(environment.fileSystem, settings, "LIBRARY", key, "").empty()) {
        environment.err << "warning: " << Printable(settings) << " lists " << key
                        << "; only LIB0 to LIB" << kMaxLibraries - 1 << " are read\n";
        break;
      }
    }
  }
}

// A lock pattern that matches no reference in any FILE is most likely a typing error (a
// case that differs, a missing "*"): the run goes on, and says so.
void WarnOfLocksThatMatchNothing(const Options& options, CliEnvironment& environment) {
  const std::vector<std::string>& locks = options.numbering.locks;
  if (locks.empty() || options.quiet) {
    return;
  }
  std::vector<bool> matched(locks.size(), false);
  for (const std::string& file : options.files) {
    SchematicDocument document;
    if (!document.load(environment.fileSystem, file)) {
      continue;  // the job reports it
    }
    for (const ComponentEntry& component : document.entries()) {
      for (size_t i = 0; i < locks.size(); ++i) {
        matched[i] = matched[i] || MatchesPattern(locks[i], component.reference());
      }
    }
  }
  for (size_t i = 0; i < locks.size(); ++i) {
    if (!matched[i]) {
      environment.err << "warning: --lock " << Printable(locks[i])
                      << " matches no reference in any FILE\n";
    }
  }
}

// The report is the undo record of a run, so it is on the disk before the first
// schematic is replaced. A run of one job (one file, or one design) writes it from the
// job's own change list, just before the job touches its first file. Where several jobs
// each replace their own file, the report of them all comes first: the jobs run once in
// memory only, silently, for their change lists.
class ReportBeforeSave {
 public:
  ReportBeforeSave(const Options& options, CliEnvironment& environment)
      : options_(options), environment_(environment) {}

  // Called by the one job with its change list. Returns the report's path when it cannot
  // be written: the job then stops before anything is touched.
  std::optional<std::string> writeForJob(std::span<const FileChanges> changes,
                                         const TextShown& shownTexts) {
    if (!write(FormatChangesCsv(changes, shownTexts))) {
      failed_ = true;
      return options_.report;
    }
    filesOfJob_ = changes.size();
    return std::nullopt;
  }

  // Runs the jobs in memory and writes the report of what they would change. Returns
  // false, with the error reported, when it cannot be written: then no schematic is
  // touched.
  bool writeForJobs(const DesignNumbering& numbering, const std::optional<MapApplier>& applier,
                    const TextShown& shownTexts) {
    std::ostringstream silent;
    CliEnvironment silentEnvironment{environment_.fileSystem, silent, silent};
    Options preview = options_;
    preview.dryRun = true;
    preview.check = false;
    preview.quiet = true;
    JobOutput output{silentEnvironment, preview};
    output.shownTexts = shownTexts;
    RunJobs(preview, numbering, applier, output);
    std::string csv = FormatChangesCsv(output.report, shownTexts);
    if (!write(csv)) {
      environment_.err << FormatMessage(kMessageWriteError, options_.report) << '\n';
      failed_ = true;
      return false;
    }
    csvOfJobs_ = std::move(csv);
    return true;
  }

  // A report that could not be written stopped the run.
  bool failed() const { return failed_; }

  // Step 5. Writes the CSV change list where --report says, unless the report on the disk
  // says already what was done. Returns its exit status.
  int writeWhatWasDone(const std::vector<FileChanges>& done, const TextShown& shownTexts) {
    if (options_.report.empty()) {
      return kExitFinished;
    }
    // The one job took the change list it reported only if it saved every file.
    if (filesOfJob_ && done.size() == *filesOfJob_) {
      return kExitFinished;
    }
    const std::string csv = FormatChangesCsv(done, shownTexts);
    if (options_.report == "-") {
      environment_.out << csv;
      return kExitFinished;
    }
    if (csvOfJobs_ == csv) {
      return kExitFinished;
    }
    // A job that failed, or a file that changed between the two passes: the report says
    // what was done.
    if (!write(csv)) {
      environment_.err << FormatMessage(kMessageWriteError, options_.report) << '\n';
      return kExitWriteError;
    }
    return kExitFinished;
  }

 private:
  bool write(const std::string& csv) {
    std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(csv.data()), csv.size());
    return environment_.fileSystem.replaceFile(options_.report, bytes);
  }

  const Options& options_;
  CliEnvironment& environment_;
  std::optional<size_t> filesOfJob_;      // written from the one job's change list
  std::optional<std::string> csvOfJobs_;  // written from the silent pass of several jobs
  bool failed_ = false;
};

}  // namespace

int RunCli(const std::vector<std::string>& arguments, CliEnvironment& given) {
  ProgramNamePrefixer prefixer(given.err);
  std::ostream prefixedErr(&prefixer);
  CliEnvironment environment{given.fileSystem, given.out, prefixedErr};
  Options options;
  if (const std::optional<int> status = ParseArguments(arguments, environment, options)) {
    return *status;
  }
  std::optional<DesignNumbering> numbering = CheckOptions(options, environment);
  std::optional<TextEncoding> encoding;
  if (!numbering || !OpenEncoding(options, environment, encoding)) {
    return kExitUsage;
  }
  options.format = *ParseOutputFormat(options.formatName);
  options.files = EachFileOnce(environment.fileSystem, options.files);
  const TextShown shown = [&](std::string_view text) {
    return encoding ? encoding->toUtf8(text) : std::string(text);
  };
  // With the CSV on standard output, everything else goes to the error stream.
  CliEnvironment jobEnvironment{environment.fileSystem,
                                options.report == "-" ? environment.err : environment.out,
                                environment.err};
  if (options.lint) {
    const LintRequest lint{.files = options.files,
                           .withLibraries = options.autoNumber,
                           .libraryFolders = options.libraryFolders,
                           .together = options.numbering.together,
                           .sheetRanges = !options.numbering.sheetBase.empty(),
                           .quiet = options.quiet,
                           .report = options.report,
                           .format = options.format};
    return RunLint(lint, shown, environment);
  }
  std::optional<JsonReport> json;
  if (options.format == OutputFormat::Json) {
    json.emplace(options.list            ? "list"
                 : options.apply.empty() ? "renumber"
                                         : "apply",
                 !options.list && !options.dryRun && !options.check);
    if (encoding) {
      json->showTexts(shown);
    }
  }
  if (options.list) {
    const int status = ListFiles(options, environment, shown, json ? &*json : nullptr);
    if (json) {
      json->write(environment.out, status);
    }
    return status;
  }
  std::optional<BoardRun> board;
  if (!options.board.placement.empty()) {
    int status = kExitFinished;
    board = BoardRun::Prepare(
        {options.board, options.numbering, options.files, options.report, options.quiet},
        *numbering, jobEnvironment, status);
    if (!board) {
      return status;
    }
    options.numbering.together = true;
  }
  std::optional<MapApplier> applier;
  if (!options.apply.empty()) {
    MapTextToFile toFile;
    if (encoding) {
      toFile = [&](std::string_view text) { return encoding->fromUtf8(text); };
    }
    int status = kExitFinished;
    applier = MapApplier::Prepare({options.apply, options.reverse, options.quiet, options.files},
                                  toFile, shown, jobEnvironment, status);
    if (!applier) {
      if (json) {
        json->write(environment.out, status);
      }
      return status;
    }
    options.files = applier->files();
  }
  const bool writeNothing = options.dryRun || options.check;
  JobOutput output{jobEnvironment, options,
                   writeNothing && !options.quiet && options.format == OutputFormat::Text};
  if (encoding) {
    output.shownTexts = shown;
  }
  output.json = json ? &*json : nullptr;
  std::optional<PreviewCollector> preview;
  if (!options.preview.empty()) {
    if (const std::optional<int> refused =
            RefusePreview(options.preview, options.files, environment)) {
      return *refused;
    }
    output.preview = &preview.emplace(options.preview, shown);
  }
  WarnOfLocksThatMatchNothing(options, jobEnvironment);
  WarnOfLibrarySettings(options, jobEnvironment);
  if (board && !writeNothing) {
    if (const int status = board->writeRecords(*numbering, options.files, environment)) {
      return status;
    }
  }
  ReportBeforeSave report(options, environment);
  if (!writeNothing && !options.report.empty() && options.report != "-") {
    if (options.numbering.together || options.files.size() == 1) {
      output.beforeWrite = [&](std::span<const FileChanges> changes) {
        return report.writeForJob(changes, output.shownTexts);
      };
    } else {
      report.writeForJobs(*numbering, applier, output.shownTexts);
    }
  }
  if (!report.failed()) {
    RunJobs(options, *numbering, applier, output);
  }
  if (report.failed()) {
    if (json) {
      json->write(environment.out, kExitWriteError);
    }
    return kExitWriteError;
  }
  KeepWorst(output.worst, report.writeWhatWasDone(output.report, output.shownTexts));
  if (preview) {
    KeepWorst(output.worst, preview->write(environment));
  }
  if (json) {
    json->write(environment.out, output.worst);
  }
  environment.out.flush();
  return output.worst;
}

}  // namespace kerro
