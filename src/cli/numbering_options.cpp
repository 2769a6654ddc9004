#include "cli/numbering_options.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <ostream>

#include "cli/change_report.h"
#include "cli/cli_output.h"
#include "platform/whole_number.h"

namespace kerro {

namespace {

std::string Quoted(const std::string& text) {
  return "\"" + Printable(text) + "\"";
}

std::string QuotedList(const std::vector<std::string>& paths) {
  std::string list;
  for (const std::string& path : paths) {
    list += (list.empty() ? "" : ", ") + Quoted(path);
  }
  return list.empty() ? "none" : list;
}

}  // namespace

void AddNumberingOptions(CLI::App& app, NumberingOptions& options, CLI::Option* autoOption,
                         CLI::Option* listOption, CLI::Option* applyOption) {
  const std::vector<CLI::Option*> added = {
      app.add_flag("-k,--keep", options.keep,
                   "keep numbered references and blocks; number only unnumbered parts"),
      app.add_option("-L,--lock", options.locks,
                     "keep the references matching PATTERN and give their numbers to no "
                     "other part (* and ? as in file names; repeatable)")
          ->type_name("PATTERN")
          ->expected(1)
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll),
      app.add_option("--sheet-base", options.sheetBase,
                     "number each sheet from k * N + initial (sheet k, from 1), 1 to 100000")
          ->type_name("N"),
      app.add_option("--order", options.order,
                     "with --auto: by columns (x, then y; the default) or by rows (sheet, "
                     "then y, then x)")
          ->type_name("columns|rows")
          ->needs(autoOption),
      app.add_flag("--together", options.together,
                   "number all FILEs as one design; nothing is written until all are numbered"),
      app.add_flag("--fix-duplicates", options.fixDuplicates,
                   "renumber only where parts that cannot be one package share a reference: the "
                   "first keeps it; and number unnumbered parts as --keep does"),
      app.add_option("--new-numbers", options.newNumbers,
                     "with --keep or --fix-duplicates: the lowest free numbers (fill, the "
                     "default) or numbers above every one the prefix holds (after)")
          ->type_name("fill|after"),
  };
  for (CLI::Option* option : added) {
    listOption->excludes(option);
    applyOption->excludes(option);
  }
}

const char* NumberingExamples() {
  return "Numbering controls (none ever gives one reference to two parts that did not\n"
         "share one, blocks of one package apart; a sheet out of numbers stops the job,\n"
         "exit 2):\n"
         "  kerro-cli -k SHEET.CE2                     R1 R? R3 R C? -> R1 R2 R3 R4 C1\n"
         "  kerro-cli --lock 'J*' --lock TP1 SHEET.CE2 J1, J2 ... and TP1 stay as they are\n"
         "  kerro-cli --sheet-base 100 SHEET.CE2       sheet 1: R101..., sheet 2: R201...\n"
         "  kerro-cli -a --order rows SHEET.CE2        by sheet, then y, then x\n"
         "  kerro-cli --together SHEET.CE2 SHEET.CE2-01 SHEET.CE2-02\n"
         "                                          the files as the sheets of one design\n"
         "  kerro-cli --fix-duplicates SHEET.CE2       R5[T1] R5[T2] R2[T3] -> R5 R1 R2\n"
         "  kerro-cli -k --new-numbers after SHEET.CE2 R1 R? R7 -> R1 R8 R7";
}

std::optional<NumberingControls> CheckNumberingOptions(const NumberingOptions& options,
                                                       std::ostream& err) {
  NumberingControls controls;
  controls.keep = options.keep;
  controls.locks = options.locks;
  if (!options.sheetBase.empty()) {
    const std::string& text = options.sheetBase;
    const std::optional<int64_t> value = ParseWholeNumber(text, kMinSheetBase, kMaxSheetBase);
    if (!value) {
      err << "Sheet base is out of range." << RangeAndValue(kMinSheetBase, kMaxSheetBase, text)
          << '\n';
      return std::nullopt;
    }
    controls.sheetBase = static_cast<int>(*value);
  }
  controls.fixDuplicates = options.fixDuplicates;
  if (options.newNumbers == "after") {
    controls.newNumbers = NewNumberPlace::After;
  } else if (!options.newNumbers.empty() && options.newNumbers != "fill") {
    err << "--new-numbers takes fill or after; got " << Quoted(options.newNumbers) << '\n';
    return std::nullopt;
  }
  if (!options.newNumbers.empty() && !options.keep && !options.fixDuplicates) {
    err << "--new-numbers needs --keep or --fix-duplicates\n";
    return std::nullopt;
  }
  if (options.order == "rows") {
    controls.order = NumberingOrder::Rows;
  } else if (!options.order.empty() && options.order != "columns") {
    err << "--order takes columns or rows; got " << Quoted(options.order) << '\n';
    return std::nullopt;
  }
  return controls;
}

std::string DescribeShortage(const NumberShortage& shortage, const std::string& path) {
  const std::string sheet = std::to_string(shortage.sheet + 1);
  std::string where = "sheet " + sheet + " of " + Quoted(path);
  if (shortage.sheet != shortage.section) {
    where = "sheet " + sheet + " (section " + std::to_string(shortage.section + 1) + " of " +
            Quoted(path) + ")";
  }
  const std::string prefix = Quoted(shortage.prefix);
  if (shortage.range) {
    return where + " needs more " + prefix + " numbers than fit from " +
           std::to_string(shortage.range->first) + " to " + std::to_string(shortage.range->second) +
           "; nothing was written";
  }
  return "no free reference with prefix " + prefix + " fits in 8 characters on " + where +
         "; nothing was written";
}

std::string DescribeSharedFile(const std::pair<std::string, std::string>& files) {
  return Quoted(files.first) + " and " + Quoted(files.second) +
         " would write the same file; nothing was written";
}

std::string DescribeSave(const DesignSave& save) {
  return "replaced " + QuotedList(save.replaced) + "; left as they were " + QuotedList(save.left);
}

}  // namespace kerro
