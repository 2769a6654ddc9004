#pragma once
// Cuts text into fields, the tokens of the text part library.
//
// Whitespace is tab, line feed, carriage return and space; a field ends at a line feed,
// carriage return or comma. Leading whitespace is skipped, so blank lines and indentation
// vanish; blanks inside and at the end of a field belong to it. "%XX" decodes to one byte,
// the two characters read as the C library's strtol with base 16 reads them (leading
// blanks and a sign allowed, stopping at the first non-digit, no digit giving 0). A field
// holds at most 32768 bytes. CR LF and LF line ends give the same fields and line numbers.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kerro {

class FieldReader {
 public:
  static constexpr size_t kMaxFieldLength = 32768;

  // Reads `text`, which must outlive the reader, from its start; the line counter is 1.
  void Bind(std::span<const uint8_t> text);

  // Reads the next field into `field`: a view of the text, or of the reader's own copy
  // where escapes were decoded, valid until the next read. Returns the line on which the
  // field starts, or -1 at end of input and when a "%" is followed by a line end or comma
  // within its next two characters. A field cut at 32768 bytes loses the character after
  // them, unless that ends the field; the rest comes back as further fields.
  int ReadField(std::string_view& field);

  // Reads fields up to the first one that opens or closes a section, one whose first
  // character (after escapes are decoded) is "+" or "-", and returns it as ReadField
  // would; returns -1 where ReadField would report the end first. The same as calling
  // ReadField until then, line count included, but the fields before it are only scanned:
  // most of a library is the items of sections whose contents nobody asks for.
  int ReadMarkedField(std::string_view& field);

  // Reads fields up to and including the first one equal to `target` and returns 0, or
  // returns -1 if ReadField reports the end first.
  int SkipTo(std::string_view target);

  int32_t line() const { return line_; }

 private:
  // The next character (0 to 255), or -1 at the end.
  int next() { return position_ < text_.size() ? text_[position_++] : -1; }
  // Reads the rest of a field that holds an escape or reaches the length limit into
  // decoded_, from its first character `c`.
  int readDecoding(int c, int32_t startLine);

  std::span<const uint8_t> text_;
  size_t position_ = 0;
  int32_t line_ = 1;
  std::string decoded_;
};

}  // namespace kerro
