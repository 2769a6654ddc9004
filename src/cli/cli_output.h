#pragma once
// How kerro-cli words what goes to the error stream.

#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "renumber/messages.h"
#include "schematic/schematic_document.h"

namespace kerro {

// Starts every line written through it with "kerro-cli: ", so that a script's log tells
// this program's lines from those of others. A line that already starts so is left alone.
class ProgramNamePrefixer : public std::streambuf {
 public:
  explicit ProgramNamePrefixer(std::ostream& target) : target_(target) {}
  ~ProgramNamePrefixer() override { sync(); }

 protected:
  int_type overflow(int_type c) override {
    if (c == traits_type::eof()) {
      return traits_type::not_eof(c);
    }
    line_ += traits_type::to_char_type(c);
    if (c == '\n') {
      writeLine();
    }
    return c;
  }

  int sync() override {
    if (!line_.empty()) {
      writeLine();
    }
    target_.flush();
    return 0;
  }

 private:
  static constexpr std::string_view kPrefix = "kerro-cli: ";

  void writeLine() {
    if (std::string_view(line_).substr(0, kPrefix.size()) != kPrefix) {
      target_ << kPrefix;
    }
    target_ << line_;
    line_.clear();
  }

  std::ostream& target_;
  std::string line_;
};

// "File read error. "X.CE2"", and after it why, when that is known.
inline std::string ReadErrorWithCause(const std::string& path, const std::string& cause) {
  std::string text = FormatMessage(kMessageReadError, path);
  if (!cause.empty()) {
    text += ": " + cause;
  }
  return text;
}

// What follows a value's out-of-range message: ` (1 to 1000; got "abc")`.
inline std::string RangeAndValue(long long low, long long high, std::string_view given) {
  std::string text = " (" + std::to_string(low) + " to " + std::to_string(high) + "; got \"";
  for (const char c : given) {
    // The value as typed, but no control character reaches the terminal.
    text += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
  }
  return text + "\")";
}

// The section files that a save of several sections left beside `path` (path-01,
// path-02 ... as long as they exist), read with it as the sheets of one design.
inline std::vector<std::string> SectionFilesBeside(FileSystem& fileSystem,
                                                   const std::string& path) {
  std::vector<std::string> files;
  for (int section = 1; section < kMaxSections; ++section) {
    std::string name = SchematicDocument::SectionFileName(path, section);
    if (!fileSystem.exists(name)) {
      break;
    }
    files.push_back(std::move(name));
  }
  return files;
}

}  // namespace kerro
