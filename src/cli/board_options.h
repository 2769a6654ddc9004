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

  BoardOptions options_;
  // For the renamed placement file: where each row's reference stands, the row of each
  // place in the board's order, and what the file held.
  std::vector<ReferenceSpan> spans_;
  std::vector<uint32_t> rowOfPlace_;
  size_t placementSize_ = 0;
  size_t placementHash_ = 0;
  // For a record applied line by line: the references of the FILEs' components and of the
  // rows that begin as a temporary name does, sorted.
  std::vector<std::string> namesLikeTemporary_;
};

}  // namespace kerro
