#include "cli/cli.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <functional>
#include <optional>
#include <ostream>
#include <sstream>

#include "cli/apply_command.h"
#include "cli/board_options.h"
#include "cli/change_report.h"
#include "cli/lint_command.h"
#include "cli/numbering_options.h"
#include "kerro_version.h"
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
    "Plain numbering groups the components by reference prefix and numbers each prefix\n"
    "from the initial value on, keeping the present order; the blocks of one package keep\n"
    "sharing one reference. Components with an empty reference or package tag are left\n"
    "alone.\n"
    "\n"
    "Exit status (the worst over all files):\n"
    "  0  every job finished (with --check: no file would change)\n"
    "  1  a file could not be read\n"
    "  2  bad usage or a value out of range; no file was touched\n"
    "  3  a file could not be written\n"
    "  4  with --check: some file would change\n"
    "  5  with --lint: some finding\n"
    "\n"
    "The change list has one row per component whose reference or block changed. As CSV\n"
    "(--report, \"-\" for standard output; RFC 4180 quoting, CR LF line ends):\n"
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
  std::function<std::string(std::string_view)> shownTexts;

  void take(const std::string& file, std::vector<ComponentChange>& changes) {
    if (shownTexts) {
      ShowTexts(changes, shownTexts);
    }
    if (showChanges) {
      for (const ComponentChange& change : changes) {
        environment.out << DescribeChange(file, change) << '\n';
      }
    }
    if (!options.report.empty()) {
      report.push_back({file, std::move(changes)});
    }
  }

  void finished() {
    if (!options.quiet) {
      environment.out << FormatMessage(kMessageFinished) << '\n';
    }
  }
};

// One job: one file, or with --together every file as one design.
void RunJob(const std::vector<std::string>& files, const DesignNumbering& numbering,
            std::function<void(SchematicDocument&)> edit, JobContext& context, JobOutput& output) {
  const bool writeNothing = output.options.dryRun || output.options.check;
  JobRequest request;
  request.path = files.front();
  request.together.assign(files.begin() + 1, files.end());
  request.initial = numbering.initial;
  request.step = numbering.step;
  request.mode = numbering.mode;
  request.controls = numbering.controls;
  request.writeFiles = !writeNothing;
  request.collectChanges = writeNothing || !output.options.report.empty();
  request.edit = std::move(edit);
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
      if (const std::string message = MessageFor(result); !message.empty()) {
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
  if (output.options.check && !result.written.empty()) {
    KeepWorst(output.worst, kExitWouldChange);
  }
  output.finished();
}

// Lists the components of one file. Returns the file's exit status.
int ListComponents(const std::string& path, CliEnvironment& environment, bool quiet,
                   const TextShown& shown) {
  SchematicDocument document;
  if (!document.load(environment.fileSystem, path)) {
    environment.err << FormatMessage(kMessageReadError, path) << '\n';
    return kExitReadError;
  }
  if (quiet) {
    return kExitFinished;
  }
  std::ostream& out = environment.out;
  out << Printable(path) << '\n';
  char line[160];
  std::snprintf(line, sizeof line, "  %7s %6s %6s %5s  %-15s  %-8s  %s\n", "section", "x", "y",
                "block", "tag", "ref", "part");
  out << line;
  for (const ComponentEntry& component : document.entries()) {
    // x as the record stores it, on the component's own sheet.
    std::snprintf(line, sizeof line, "  %7d %6d %6d %5d  %-15s  %-8s  %s\n",
                  component.section() + 1, static_cast<int>(component.storedX()),
                  static_cast<int>(component.y()), static_cast<int>(component.block()),
                  Printable(shown(component.packageTag())).c_str(),
                  Printable(shown(component.reference())).c_str(),
                  Printable(shown(component.partName())).c_str());
    out << line;
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
  AddBoardOptions(app, options.board, autoOption, listOption, applyOption);
  lintOption->excludes(app.get_option("--by-board"));
  CLI::Option* encodingOption =
      app.add_option("--encoding", options.encoding,
                     "show the texts of the files (references, tags, part names) as UTF-8, "
                     "converted from NAME (CP932, CP1252 ...); a map's texts are converted back")
          ->type_name("NAME");
  app.add_flag("-q,--quiet", options.quiet, "print errors only");
  app.add_option("--lib-dir", options.libraryFolders,
                 "with --auto: look here, by file name, for a library that TOSK.INI lists but "
                 "that is not where it says (repeatable)")
      ->type_name("DIR")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  app.add_option("FILE", options.files, "schematic files, each renumbered in turn")->required();
  // A repeatable option takes one value each time it is given; CLI11 would let it take
  // the FILEs that follow as further values (-L 'J*' A.CE2 B.CE2 numbered only B.CE2).
  for (const char* repeatable : {"--lock", "--lib-dir"}) {
    app.get_option(repeatable)->allow_extra_args(false);
  }

  return encodingOption;
}

// Step 1. Fills `options` from the arguments. Returns the exit status when there is
// nothing more to do: help, the version, or bad usage (reported by CLI11).
std::optional<int> ParseArguments(const std::vector<std::string>& arguments,
                                  CliEnvironment& environment, Options& options) {
  CLI::App app(kDescription, "kerro-cli");
  CLI::Option* encodingOption = DefineOptions(app, options);
  try {
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    app.parse(reversed);
  } catch (const CLI::ParseError& error) {
    const int status = app.exit(error, environment.out, environment.err);
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
    environment.err << FormatMessage(kMessageInitialOutOfRange) << '\n';
    return std::nullopt;
  }
  const std::optional<int> step = ParseInteger(options.step);
  if (!InRange(step, kMinStep, kMaxStep)) {
    environment.err << FormatMessage(kMessageStepOutOfRange) << '\n';
    return std::nullopt;
  }
  const std::optional<NumberingControls> controls =
      CheckNumberingOptions(options.numbering, environment.err);
  if (!controls) {
    return std::nullopt;
  }
  for (const std::string& file : options.files) {
    if (file.empty()) {
      environment.err << "kerro-cli: an empty FILE name was given\n";
      return std::nullopt;
    }
    if (!options.report.empty() &&
        (options.report == file || options.report == MakeBackupName(file))) {
      environment.err << "kerro-cli: the report would replace \"" << options.report << "\"\n";
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
    environment.err << "kerro-cli: unknown encoding \"" << Printable(options.encoding) << "\"\n";
    return false;
  }
  return true;
}

// In place of the jobs with --list.
int ListFiles(const Options& options, CliEnvironment& environment, const TextShown& shown) {
  int worst = kExitFinished;
  for (const std::string& file : options.files) {
    KeepWorst(worst, ListComponents(file, environment, options.quiet, shown));
  }
  return worst;
}

// Step 4. Runs the jobs and hands their changes to `output`.
void RunJobs(const Options& options, const DesignNumbering& numbering,
             const std::optional<MapApplier>& applier, JobOutput& output) {
  CliEnvironment& environment = output.environment;
  JobContext context{environment.fileSystem,
                     [&](const std::string& libraryPath) {
                       environment.err << FormatMessage(kMessageReadError, libraryPath) << '\n';
                     },
                     options.libraryFolders};
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
      environment.err << "kerro-cli: warning: --lock " << Printable(locks[i])
                      << " matches no reference in any FILE\n";
    }
  }
}

// The report is the undo record of a run, so it is on the disk before the first
// schematic is replaced: the jobs first run in memory only, silently, and the change list
// they give is written through a temporary, flushed and renamed into place. Returns the
// CSV written, or nullopt, with the error reported, when the report cannot be written:
// then no schematic is touched.
std::optional<std::string> WriteReportBeforeJobs(
    const Options& options, const DesignNumbering& numbering,
    const std::optional<MapApplier>& applier,
    const std::function<std::string(std::string_view)>& shownTexts, CliEnvironment& environment) {
  std::ostringstream silent;
  CliEnvironment silentEnvironment{environment.fileSystem, silent, silent};
  Options preview = options;
  preview.dryRun = true;
  preview.check = false;
  preview.quiet = true;
  JobOutput output{silentEnvironment, preview};
  output.shownTexts = shownTexts;
  RunJobs(preview, numbering, applier, output);
  std::string csv = FormatChangesCsv(output.report);
  std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(csv.data()), csv.size());
  if (!environment.fileSystem.replaceFile(options.report, bytes)) {
    environment.err << FormatMessage(kMessageWriteError, options.report) << '\n';
    return std::nullopt;
  }
  return csv;
}

// Step 5. Writes the CSV change list where --report says, unless `written` holds it
// already. Returns its exit status.
int WriteReport(const Options& options, const std::vector<FileChanges>& report,
                const std::optional<std::string>& written, CliEnvironment& environment) {
  if (options.report.empty()) {
    return kExitFinished;
  }
  const std::string csv = FormatChangesCsv(report);
  if (options.report == "-") {
    environment.out << csv;
    return kExitFinished;
  }
  if (written == csv) {
    return kExitFinished;
  }
  // A job that failed, or a file that changed between the two passes: the report says
  // what was done.
  std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(csv.data()), csv.size());
  if (!environment.fileSystem.replaceFile(options.report, bytes)) {
    environment.err << FormatMessage(kMessageWriteError, options.report) << '\n';
    return kExitWriteError;
  }
  return kExitFinished;
}

}  // namespace

int RunCli(const std::vector<std::string>& arguments, CliEnvironment& environment) {
  Options options;
  if (const std::optional<int> status = ParseArguments(arguments, environment, options)) {
    return *status;
  }
  std::optional<DesignNumbering> numbering = CheckOptions(options, environment);
  std::optional<TextEncoding> encoding;
  if (!numbering || !OpenEncoding(options, environment, encoding)) {
    return kExitUsage;
  }
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
                           .report = options.report};
    return RunLint(lint, shown, environment);
  }
  if (options.list) {
    return ListFiles(options, environment, shown);
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
      return status;
    }
    options.files = applier->files();
  }
  const bool writeNothing = options.dryRun || options.check;
  JobOutput output{jobEnvironment, options, writeNothing && !options.quiet};
  if (encoding) {
    output.shownTexts = shown;
  }
  WarnOfLocksThatMatchNothing(options, jobEnvironment);
  if (board && !writeNothing) {
    if (const int status = board->writeRecords(*numbering, options.files, environment)) {
      return status;
    }
  }
  std::optional<std::string> reportWritten;
  if (!writeNothing && !options.report.empty() && options.report != "-") {
    reportWritten =
        WriteReportBeforeJobs(options, *numbering, applier, output.shownTexts, environment);
    if (!reportWritten) {
      return kExitWriteError;
    }
  }
  RunJobs(options, *numbering, applier, output);
  KeepWorst(output.worst, WriteReport(options, output.report, reportWritten, environment));
  environment.out.flush();
  return output.worst;
}

}  // namespace kerro
