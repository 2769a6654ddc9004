#include "cli/board_options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <memory>
#include <ostream>

#include "board/board_order.h"
#include "board/was_is.h"
#include "cli/change_report.h"
#include "platform/memory.h"
#include "platform/whole_number.h"
#include "renumber/backup_name.h"
#include "renumber/messages.h"
#include "renumber/renumber_job.h"
#include "schematic/schematic_document.h"

namespace kerro {

namespace {

constexpr int64_t kLargestBottomStart = 1'000'000;

std::span<const uint8_t> BytesOf(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

std::string_view PlacementText(const std::vector<uint8_t>& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The numbering controls that cannot steer a board's order. Returns the first given.
std::optional<std::string> RefusedControl(const NumberingOptions& numbering) {
  if (!numbering.locks.empty()) {
    return "--lock";
  }
  if (!numbering.sheetBase.empty()) {
    return "--sheet-base";
  }
  if (numbering.keep) {
    return "--keep";
  }
  if (numbering.fixDuplicates) {
    return "--fix-duplicates";
  }
  if (!numbering.newNumbers.empty()) {
    return "--new-numbers";
  }
  return std::nullopt;
}

// Returns false, with the problem reported, for a value that cannot be used.
bool CheckLayout(const BoardOptions& options, BoardLayout& layout, std::ostream& err) {
  if (options.order == "columns") {
    layout.reading = BoardReading::Columns;
  } else if (!options.order.empty() && options.order != "rows") {
    err << "kerro-cli: --board-order takes rows or columns\n";
    return false;
  }
  if (!options.rowTolerance.empty()) {
    const std::optional<int64_t> tolerance =
        ParseLength(options.rowTolerance, kNanometresPerMillimetre);
    if (!tolerance || *tolerance < 0) {
      err << "kerro-cli: --row-tolerance takes a length such as 1, 0.5mm or 40mil\n";
      return false;
    }
    layout.tolerance = *tolerance;
  }
  layout.yDown = options.yDown;
  if (!options.bottomStart.empty()) {
    const std::optional<int64_t> start =
        ParseWholeNumber(options.bottomStart, 1, kLargestBottomStart);
    if (!start) {
      err << "kerro-cli: --bottom-start takes a number from 1 to " << kLargestBottomStart << '\n';
      return false;
    }
    layout.bottomStart = *start;
  }
  return true;
}

std::optional<WasIsFormat> FormatNamed(const std::string& name) {
  if (name.empty() || name == "csv") {
    return WasIsFormat::Csv;
  }
  if (name == "pads") {
    return WasIsFormat::Pads;
  }
  if (name == "swap") {
    return WasIsFormat::Swap;
  }
  return std::nullopt;
}

// An output that would replace an input, another output, a FILE or its backup.
std::optional<std::string> OutputInTheWay(const BoardRun::Request& request,
                                          FileSystem& fileSystem) {
  const BoardOptions& board = request.board;
  if (!request.report.empty() &&
      (request.report == board.placement || fileSystem.sameFile(request.report, board.placement))) {
    return request.report;
  }
  std::vector<std::string> taken = {board.placement};
  if (!request.report.empty()) {
    taken.push_back(request.report);
  }
  for (const std::string& file : request.files) {
    taken.push_back(file);
    taken.push_back(MakeBackupName(file));
  }
  for (const std::string* output : {&board.wasIs, &board.placementOut}) {
    if (output->empty()) {
      continue;
    }
    for (const std::string& other : taken) {
      if (*output == other || fileSystem.sameFile(*output, other)) {
        return *output;
      }
    }
    taken.push_back(*output);
  }
  return std::nullopt;
}

// An empty name would quietly turn the option off.
const CLI::Validator kNamed(
    [](std::string& name) { return name.empty() ? std::string("an empty FILE name") : ""; },
    "FILE");

}  // namespace

void AddBoardOptions(CLI::App& app, BoardOptions& options, CLI::Option* autoOption,
                     CLI::Option* listOption, CLI::Option* applyOption) {
  CLI::Option* byBoard =
      app.add_option("--by-board", options.placement,
                     "number the FILEs, as one design, in the reading order of the board in "
                     "PLACEMENT (a placement CSV or text file): each prefix top side first, then "
                     "bottom; parts not placed keep their references")
          ->type_name("PLACEMENT")
          ->check(kNamed);
  byBoard->excludes(autoOption)->excludes(listOption)->excludes(applyOption);
  app.add_option("--board-order", options.order,
                 "with --by-board: rows (top down, each left to right; the default) or columns "
                 "(left to right, each top down)")
      ->type_name("rows|columns")
      ->needs(byBoard);
  app.add_option("--row-tolerance", options.rowTolerance,
                 "with --by-board: parts whose y (x for columns) differ by at most D from the "
                 "first part of a row share it (default 1 mm; 0.5mm, 20mil ...)")
      ->type_name("D")
      ->needs(byBoard);
  app.add_flag("--y-down", options.yDown,
               "with --by-board: y grows downward in PLACEMENT (by default it grows upward)")
      ->needs(byBoard);
  app.add_option("--bottom-start", options.bottomStart,
                 "with --by-board: the bottom side's numbers of each prefix start at N (after "
                 "the top's where those reach N), 1 to 1000000")
      ->type_name("N")
      ->needs(byBoard);
  CLI::Option* wasIs = app.add_option("--was-is", options.wasIs,
                                      "with --by-board: write which reference became which to "
                                      "FILE, for the layout, before any schematic is replaced")
                           ->type_name("FILE")
                           ->check(kNamed)
                           ->needs(byBoard);
  app.add_option("--was-is-format", options.wasIsFormat,
                 "csv (old_reference,new_reference; --apply FILE --reverse undoes the run; the "
                 "default), pads (ECO file) or swap (CHANGEREF lines)")
      ->type_name("csv|pads|swap")
      ->needs(wasIs);
  app.add_option("--placement-out", options.placementOut,
                 "with --by-board: write PLACEMENT with the new references to FILE, every other "
                 "byte as it was")
      ->type_name("FILE")
      ->check(kNamed)
      ->needs(byBoard);
}

const char* BoardExample() {
  return "Numbering by board position (one design; each prefix top side first, then\n"
         "bottom):\n"
         "  kerro-cli --by-board BOARD-POS.csv --was-is WAS-IS.csv SHEET.CE2";
}

std::optional<BoardRun> BoardRun::Prepare(const Request& request, DesignNumbering& numbering,
                                          CliEnvironment& environment, int& status) {
  const BoardOptions& options = request.board;
  std::ostream& err = environment.err;
  status = kExitUsage;
  if (const std::optional<std::string> control = RefusedControl(request.numbering)) {
    err << "kerro-cli: " << *control << " does not go with --by-board\n";
    return std::nullopt;
  }
  BoardLayout layout;
  if (!CheckLayout(options, layout, err)) {
    return std::nullopt;
  }
  if (!FormatNamed(options.wasIsFormat)) {
    err << "kerro-cli: --was-is-format takes csv, pads or swap\n";
    return std::nullopt;
  }
  if (const std::optional<std::string> output = OutputInTheWay(request, environment.fileSystem)) {
    err << "kerro-cli: \"" << Printable(*output)
        << "\" would replace an input or another output of the run\n";
    return std::nullopt;
  }
  std::optional<std::vector<uint8_t>> bytes =
      environment.fileSystem.readFileShared(options.placement);
  if (!bytes) {
    err << FormatMessage(kMessageReadError, options.placement) << '\n';
    status = kExitReadError;
    return std::nullopt;
  }
  BoardRun run;
  run.options_ = options;
  const std::string_view placement = PlacementText(*bytes);
  PlacementReadResult read = ReadPlacement(placement);
  if (!read.rows) {
    err << "kerro-cli: " << Printable(options.placement) << ": " << Printable(read.error)
        << "; nothing was written\n";
    return std::nullopt;
  }
  // The rows, four times the placement file on a board of a million parts, are let go of
  // once read: the renamed placement file needs only where each row's reference stands,
  // and the row that has each place.
  const std::vector<PlacementRow> rows = std::move(*read.rows);
  auto order = std::make_shared<const BoardOrder>(OrderBoard(rows, layout));
  numbering.controls.board = order;
  if (!options.placementOut.empty()) {
    run.placementSize_ = placement.size();
    run.placementHash_ = std::hash<std::string_view>()(placement);
    run.spans_ = ReferenceSpansOf(rows);
    run.rowOfPlace_.resize(order->places.size());
    order->places.forEachPlace(
        rows.size(), [&](size_t i) { return std::string_view(rows[i].reference); },
        [&](size_t i, std::optional<uint32_t> place) {
          if (place) {
            run.rowOfPlace_[*place] = static_cast<uint32_t>(i);
          }
        });
  }

  // The FILEs' references: for the warning, which places some component holds; for a
  // record applied line by line, the names in use that a temporary name could take. A
  // quiet run without such a record needs neither.
  const bool warn = !request.quiet;
  const bool names = !options.wasIs.empty() && FormatNamed(options.wasIsFormat) != WasIsFormat::Csv;
  if (names) {
    for (const PlacementRow& row : rows) {
      if (row.reference.starts_with(kTemporaryPrefix)) {
        run.namesLikeTemporary_.push_back(row.reference);
      }
    }
  }
  status = kExitFinished;
  if (!warn && !names) {
    return run;
  }
  std::vector<bool> held(order->places.size());
  for (const std::string& file : request.files) {
    SchematicDocument document;
    if (!document.load(environment.fileSystem, file)) {
      continue;  // the job reports it
    }
    const std::span<const ComponentEntry> entries = document.entries();
    if (warn) {
      order->places.forEachPlace(
          entries.size(), [&](size_t i) { return entries[i].reference(); },
          [&](size_t, std::optional<uint32_t> place) {
            if (place) {
              held[*place] = true;
            }
          });
    }
    if (names) {
      for (const ComponentEntry& component : entries) {
        if (component.reference().starts_with(kTemporaryPrefix)) {
          run.namesLikeTemporary_.emplace_back(component.reference());
        }
      }
    }
  }
  std::sort(run.namesLikeTemporary_.begin(), run.namesLikeTemporary_.end());
  if (warn) {
    order->places.forEachPlace(
        rows.size(), [&](size_t i) { return rows[i].reference; },
        [&](size_t i, std::optional<uint32_t> place) {
          if (!place || !held[*place]) {
            const PlacementRow& row = rows[i];
            err << "kerro-cli: warning: line " << row.line << " of " << Printable(options.placement)
                << ": " << Printable(row.reference) << " is no part of any FILE\n";
          }
        });
  }
  return run;
}

int BoardRun::writeRecords(const DesignNumbering& numbering, const std::vector<std::string>& files,
                           CliEnvironment& environment) const {
  if (options_.wasIs.empty() && options_.placementOut.empty()) {
    return kExitFinished;
  }
  // The placement file's rows were let go of: their room goes back before the numbering.
  ReleaseFreedMemory();
  JobRequest request = NumberingRequest(files, numbering);
  request.writeFiles = false;
  request.collectChanges = true;
  JobContext context{environment.fileSystem, [](const std::string&) {}};
  JobResult result = RenumberJob(request, context);
  if (result.outcome != JobOutcome::Finished) {
    return kExitFinished;  // the job itself reports it, and writes nothing
  }
  const std::vector<Rename> renames = RenamesOf(result.changes);
  result.changes = std::vector<FileChanges>();  // a million changes beside the records' texts
  // The placement file is read again for its renamed copy: its bytes would have stayed
  // beside the whole numbering. It must hold what was read before.
  std::optional<std::vector<uint8_t>> placement;
  if (!options_.placementOut.empty()) {
    placement = environment.fileSystem.readFileShared(options_.placement);
    if (!placement) {
      environment.err << FormatMessage(kMessageReadError, options_.placement) << '\n';
      return kExitReadError;
    }
    if (PlacementText(*placement).size() != placementSize_ ||
        std::hash<std::string_view>()(PlacementText(*placement)) != placementHash_) {
      environment.err << "kerro-cli: " << Printable(options_.placement)
                      << " changed during the run; nothing was written\n";
      return kExitReadError;
    }
  }
  const auto write = [&](const std::string& path, const std::string& text) {
    if (environment.fileSystem.replaceFile(path, BytesOf(text))) {
      return true;
    }
    environment.err << FormatMessage(kMessageWriteError, path) << '\n';
    return false;
  };
  if (!options_.wasIs.empty()) {
    const auto inUse = [&](std::string_view name) {
      return std::binary_search(namesLikeTemporary_.begin(), namesLikeTemporary_.end(), name);
    };
    if (!write(options_.wasIs, FormatWasIs(renames, *FormatNamed(options_.wasIsFormat), inUse))) {
      return kExitWriteError;
    }
  }
  if (!options_.placementOut.empty()) {
    // Each renamed reference finds its row through its place on the board.
    std::vector<uint32_t> renameOfRow(spans_.size());  // the rename's index + 1; 0 for none
    numbering.controls.board->places.forEachPlace(
        renames.size(), [&](size_t i) { return std::string_view(renames[i].from); },
        [&](size_t i, std::optional<uint32_t> place) {
          if (place) {
            renameOfRow[rowOfPlace_[*place]] = static_cast<uint32_t>(i + 1);
          }
        });
    const auto newNameOf = [&](size_t row) {
      return renameOfRow[row] == 0 ? std::string_view()
                                   : std::string_view(renames[renameOfRow[row] - 1].to);
    };
    if (!write(options_.placementOut,
               RenamePlacement(PlacementText(*placement), spans_, newNameOf))) {
      return kExitWriteError;
    }
  }
  return kExitFinished;
}

}  // namespace kerro
