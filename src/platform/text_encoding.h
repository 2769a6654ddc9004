#pragma once
// Texts of a schematic (references, tags, part names) are bytes in the code page of the
// machine that wrote the file. A TextEncoding turns them into UTF-8 for people and
// programs to read, and turns UTF-8 texts back into the file's bytes.
//
// POSIX: any encoding the C library's iconv knows (CP932, CP1252, ...). Windows: the
// system's code-page conversion, with the names CPnnnn, WINDOWS-nnnn, a bare code-page
// number, SHIFT_JIS, UTF-8, and ANSI for the machine's ANSI code page.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kerro {

class TextEncoding {
 public:
  // Nullopt when the system has no conversion between `name` and UTF-8.
  static std::optional<TextEncoding> Open(const std::string& name);

  TextEncoding(TextEncoding&&) noexcept;
  TextEncoding& operator=(TextEncoding&&) noexcept;
  ~TextEncoding();

  // The bytes as UTF-8. A byte that starts no convertible character is shown as \xNN
  // (two upper-case hex digits) and the conversion goes on after it, so that a text
  // never breaks the output.
  std::string toUtf8(std::string_view bytes) const;

  // A UTF-8 text back in this encoding; each \xNN in it stands for that byte itself, so
  // that what toUtf8 gave comes back whole. Nullopt when the text is not UTF-8 or holds a
  // character that this encoding has no form for.
  std::optional<std::string> fromUtf8(std::string_view text) const;

 private:
  struct Converters;  // the platform's conversion handles
  explicit TextEncoding(std::unique_ptr<Converters> converters);

  // The platform's strict conversion of a run of UTF-8 without escapes.
  std::optional<std::string> encodeRun(std::string_view utf8) const;

  std::unique_ptr<Converters> converters_;
};

// The \xNN form of one byte.
std::string EscapedByte(unsigned char byte);

}  // namespace kerro
