// Field reader: any bytes cut into fields must end, stay within the text and keep the field
// and line limits.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "fuzz_checks.h"
#include "library/field_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> text(data, size);
  // Each line break can count as a line at most once.
  const auto breaks = static_cast<size_t>(
      std::count_if(text.begin(), text.end(), [](uint8_t c) { return c == '\n' || c == '\r'; }));

  kerro::FieldReader reader;
  reader.Bind(text);
  std::string_view field;
  std::string first;
  size_t fields = 0;
  int lastLine = 1;
  for (;;) {
    const int line = reader.ReadField(field);
    if (line < 0) {
      break;
    }
    // Every field uses up at least one character, so a text of n bytes has at most n + 1.
    ++fields;
    KERRO_FUZZ_CHECK(fields <= size + 1, "more fields than the text has characters");
    KERRO_FUZZ_CHECK(line >= lastLine, "line numbers went back");
    KERRO_FUZZ_CHECK(static_cast<size_t>(line) <= breaks + 1, "line number past the last line");
    KERRO_FUZZ_CHECK(field.size() <= kerro::FieldReader::kMaxFieldLength, "field too long");
    KERRO_FUZZ_CHECK(field.size() <= size, "field longer than the text");
    if (fields == 1) {
      first = field;
    }
    lastLine = line;
  }

  // Reading only the fields that open or close a section must give the fields, lines and
  // line count that reading every field and keeping those gives.
  const auto isMarked = [](std::string_view candidate) {
    return !candidate.empty() && (candidate.front() == '+' || candidate.front() == '-');
  };
  kerro::FieldReader every;
  kerro::FieldReader marked;
  every.Bind(text);
  marked.Bind(text);
  for (;;) {
    int line;
    while ((line = every.ReadField(field)) >= 0 && !isMarked(field)) {
    }
    const std::string kept = line < 0 ? std::string() : std::string(field);
    const int markedLine = marked.ReadMarkedField(field);
    KERRO_FUZZ_CHECK(markedLine == line, "a marked field on another line, or none");
    KERRO_FUZZ_CHECK(markedLine < 0 || field == kept, "another marked field");
    KERRO_FUZZ_CHECK(marked.line() == every.line(), "lines counted differently");
    if (line < 0) {
      break;
    }
  }

  // Skipping to the first field found must find it again from the start.
  if (fields > 0) {
    kerro::FieldReader again;
    again.Bind(text);
    KERRO_FUZZ_CHECK(again.SkipTo(first) == 0, "SkipTo missed the first field");
  }
  return 0;
}
