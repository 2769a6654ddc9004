#pragma once
// Writes text part libraries for tests: whole sections from descriptions, or any fields
// and raw text for malformed files. Texts given to component(), alias() and pattern() are
// escaped where the format needs it; field() and raw() write exactly what they are given.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kerro::testing {

struct TextPin {
  std::optional<std::string> name;      // N
  std::optional<std::string> location;  // L, e.g. "R12"
  std::optional<std::string> flags;     // T, e.g. "Cm"
  std::vector<std::string> numbers;     // M items, in order
};

struct TextComponent {
  std::string name;
  int sizeX = 40;
  int sizeY = 40;
  int blocks = 1;
  std::optional<std::string> refPrefix;  // none: the reader's default "U"
  std::optional<std::string> pattern;
  std::vector<TextPin> pins;
};

class TextLibraryBuilder {
 public:
  inline static const std::string kMagic = "+TOSK3_LIB_V.1.0";

  // Starts with the magic line unless `withMagic` is false.
  explicit TextLibraryBuilder(bool withMagic = true);

  // Line breaks as CR LF instead of LF, from now on.
  TextLibraryBuilder& crlf(bool on = true);
  // One field on a line of its own, unescaped.
  TextLibraryBuilder& field(const std::string& text);
  TextLibraryBuilder& fields(std::initializer_list<std::string> texts);
  TextLibraryBuilder& raw(const std::string& text);

  TextLibraryBuilder& component(const TextComponent& component);
  TextLibraryBuilder& alias(const std::string& name, const std::string& alias);
  // `rows` are bytes, (width + 7) / 8 per row.
  TextLibraryBuilder& pattern(const std::string& name, int width, int height,
                              const std::vector<std::vector<uint8_t>>& rows);

  const std::string& text() const { return text_; }
  std::vector<uint8_t> bytes() const { return {text_.begin(), text_.end()}; }

  // `text` with every character that would end a field or start an escape escaped.
  static std::string Escaped(std::string_view text);
  // Bytes as a bitmap row of letter pairs.
  static std::string BitmapRow(std::span<const uint8_t> bytes);

 private:
  TextLibraryBuilder& item(const std::string& key, const std::string& value);

  std::string text_;
  std::string lineBreak_ = "\n";
};

}  // namespace kerro::testing
