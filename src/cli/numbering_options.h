#pragma once
// The numbering controls of kerro-cli (--keep, --lock, --sheet-base, --order, --together)
// and the messages of the jobs that use them.

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "renumber/numbering_controls.h"
#include "renumber/renumber_job.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace kerro {

struct NumberingOptions {
  bool keep = false;
  std::vector<std::string> locks;
  std::string sheetBase;
  std::string order;
  bool together = false;
  bool fixDuplicates = false;
  std::string newNumbers;
};

// Adds the options to `app`. --order needs `autoOption`; none goes with `listOption` or
// `applyOption`.
void AddNumberingOptions(CLI::App& app, NumberingOptions& options, CLI::Option* autoOption,
                         CLI::Option* listOption, CLI::Option* applyOption);

// Examples of the options, one line each, for the help text.
const char* NumberingExamples();

// The controls the options ask for; a bad value is reported to `err` and gives nullopt.
std::optional<NumberingControls> CheckNumberingOptions(const NumberingOptions& options,
                                                       std::ostream& err);

// What to tell the user when a design job stops for a reason of its own: numbers that ran
// out, two files whose outputs meet, or which files a failed write replaced and left.
std::string DescribeShortage(const NumberShortage& shortage, const std::string& path);
std::string DescribeSharedFile(const std::pair<std::string, std::string>& files);
std::string DescribeSave(const DesignSave& save);

}  // namespace kerro
