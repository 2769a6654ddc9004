#pragma once
// kerro-cli --by-board PLACEMENT: the FILEs, as one design, are numbered in the reading
// order of the board that the placement file describes (see board/board_order.h), and the
// run can leave its was/is record for the layout (--was-is) and the placement file with
// the new references (--placement-out).
//
// Before any schematic is touched, the options and the placement file are checked (a
// refused file ends the run with exit 2, naming the line), and the records are written
// through the safe replace, so that they are on the disk before the first schematic is
// replaced. With --dry-run or --check nothing is written, records included.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "board/placement_file.h"
#include "cli/cli.h"
#include "cli/numbering_options.h"
#include "renumber/numbering.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace kerro {

struct BoardOptions {
  std::string placement;
  std::string order;
  std::string rowTolerance;
  bool yDown = false;
  std::string bottomStart;
  std::string wasIs;
  std::string wasIsFormat;
  std::string placementOut;
};

// Adds the options to `app`; --by-board goes with none of the other three.
void AddBoardOptions(CLI::App& app, BoardOptions& options, CLI::Option* autoOption,
                     CLI::Option* listOption, CLI::Option* applyOption);

// An example for the help text.
const char* BoardExample();

class BoardRun {
 public:
  struct Request {
    const BoardOptions& board;
    const NumberingOptions& numbering;
    const std::vector<std::string>& files;
    const std::string& report;
    bool quiet = false;
  };

  // Checks the options, reads and orders the placement file, gives `numbering` the board's
  // order and warns of rows that name no part of any FILE. On refusal prints why and
  // returns nullopt, with the exit status (1 the file cannot be read, 2 refused) in
  // `status`.
  static std::optional<BoardRun> Prepare(const Request& request, DesignNumbering& numbering,
                                         CliEnvironment& environment, int& status);

  // Numbers the design in memory and writes the was/is record and the renamed placement
  // file, where asked. Returns 0, or 3 when one cannot be written (reported).
  int writeRecords(const DesignNumbering& numbering, const std::vector<std::string>& files,
                   CliEnvironment& environment) const;

 private:
  BoardRun() = default;
  // Lets go of the rows and the placement file's bytes when no record is asked.
  void letGoOfWhatNoRecordNeeds();

  std::string_view placementText() const {
    return {reinterpret_cast<const char*>(placementBytes_.data()), placementBytes_.size()};
  }

  BoardOptions options_;
  std::vector<uint8_t> placementBytes_;
  std::vector<PlacementRow> rows_;
  // Of the components of the FILEs, sorted: those that begin as a temporary name does, for
  // a record applied line by line.
  std::vector<std::string> references_;
};

}  // namespace kerro
