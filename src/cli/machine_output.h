#pragma once
// kerro-cli's output for programs (--format): one JSON document per run, GitHub Actions
// workflow commands, and SARIF 2.1.0 for the findings of --lint.
//
// The JSON document follows share/kerro/output.schema.json (format version 1). Texts of the
// files come as UTF-8: converted with --encoding, else their bytes where they are UTF-8 and
// "\xNN" for each byte that is not.

#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/change_report.h"
#include "renumber/component_changes.h"
#include "renumber/renumber_job.h"

namespace kerro {

enum class OutputFormat { Text, Json, GitHub, Sarif };

// "text", "json", "github" or "sarif"; nullopt for anything else.
std::optional<OutputFormat> ParseOutputFormat(std::string_view name);

// `text` as a JSON string, quotes included; the same onto the end of `json`.
std::string JsonString(std::string_view text);
void AppendJsonString(std::string& json, std::string_view text);

// One finding of --lint, with the texts as they are shown.
struct FindingRow {
  std::string file;
  // Where the component is; none for a library that fails to load.
  bool hasComponent = false;
  int section = 0;  // from 1
  int x = 0;
  int y = 0;
  std::string part;
  std::string tag;
  std::string reference;
  int block = 0;
  std::string finding;  // the finding's name, as in the text lines
  std::string detail;
  std::string line;  // the text line of the finding
};

// Gathers what a run did, and writes it as one JSON document at the end.
class JsonReport {
 public:
  // "renumber", "apply", "list" or "lint"; `writes` false when nothing may be written.
  JsonReport(std::string command, bool writes);

  // `changes`, kept as they are until the document is written.
  void addChanges(const std::string& file, std::vector<ComponentChange> changes);
  // How the texts of the changes and of the listed components are shown; their bytes
  // unless this is called.
  void showTexts(TextShown shown) { shown_ = std::move(shown); }
  void addFile(const FileSummary& file);
  // The components of a listed file, kept with their texts as the file holds them until the
  // document is written.
  void addComponents(const std::string& file, std::span<const ComponentEntry> components);
  void addFinding(const FindingRow& finding);

  // The document, onto `out`.
  void write(std::ostream& out, int exitStatus) const;

 private:
  std::string command_;
  bool writes_;
  // Each list as its items joined by commas; the changes as they were given, the longest
  // list by far, made into text only as the document goes out.
  std::string files_;
  std::vector<FileChanges> changes_;
  TextShown shown_;
  // A listed component in some 60 bytes: a million of them as items of text took 150 MB, and
  // twice that while the text grew.
  struct Listed {
    int32_t x = 0;  // as stored in the record
    int32_t y = 0;
    uint8_t section = 0;  // from 0
    uint8_t block = 0;
    RecordText<kPartNameFieldSize> part;
    RecordText<kPackageTagCapacity> tag;
    RecordText<kReferenceCapacity> reference;
  };
  std::vector<std::pair<std::string, std::vector<Listed>>> listed_;  // per file
  std::string findings_;
};

// A GitHub Actions workflow command that marks `file` with an error.
std::string GitHubError(std::string_view file, std::string_view title, std::string_view message);

// The findings as a SARIF 2.1.0 log, with one rule per kind of finding, onto `out`.
void WriteSarifLog(std::ostream& out, const std::vector<FindingRow>& findings);

}  // namespace kerro
