#include "library/field_reader.h"

#include <algorithm>
#include <array>

namespace kerro {

namespace {

bool IsWhitespace(int c) {
  return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

bool IsTerminator(int c) {
  return c == '\n' || c == '\r' || c == ',';
}

// The characters that end a run of plain characters: a terminator, or an escape. One
// look-up a character instead of four comparisons: a library is mostly short fields.
constexpr std::array<bool, 256> kEndsPlainRun = [] {
  std::array<bool, 256> ends{};
  ends['\n'] = ends['\r'] = ends[','] = ends['%'] = true;
  return ends;
}();

int HexDigit(int c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

// The value strtol(text, nullptr, 16) gives for the two-character text `a` `b`, cut to
// eight bits. A "0x" prefix needs a digit after it, so in two characters it reads as 0
// just as it does here. A NUL ends the text as it would end a C string.
uint8_t DecodeEscape(int a, int b) {
  const int text[2] = {a, b};
  size_t i = 0;
  // Line feed and carriage return never get here: they are terminators.
  while (i < 2 && (text[i] == ' ' || text[i] == '\t' || text[i] == '\v' || text[i] == '\f')) {
    ++i;
  }
  bool negative = false;
  if (i < 2 && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  unsigned value = 0;
  for (; i < 2 && HexDigit(text[i]) >= 0; ++i) {
    value = value * 16 + static_cast<unsigned>(HexDigit(text[i]));
  }
  if (negative) {
    value = 0u - value;
  }
  return static_cast<uint8_t>(value & 0xFFu);
}

}  // namespace

void FieldReader::Bind(std::span<const uint8_t> text) {
  text_ = text;
  position_ = 0;
  line_ = 1;
}

int FieldReader::ReadField(std::string_view& field) {
  field = {};
  int c = next();
  while (IsWhitespace(c)) {
    if (c == '\n') {
      ++line_;
    }
    c = next();
  }
  if (c < 0) {
    return -1;
  }
  const int32_t startLine = line_;
  // Nearly every field is plain characters up to its end: it is handed out where it
  // stands in the text, without a copy.
  const size_t begin = position_ - 1;
  const size_t limit = std::min(text_.size(), begin + kMaxFieldLength);
  size_t end = begin;
  while (end < limit && !kEndsPlainRun[text_[end]]) {
    ++end;
  }
  if (end == text_.size() || IsTerminator(text_[end])) {
    field = {reinterpret_cast<const char*>(text_.data() + begin), end - begin};
    position_ = end;
    if (next() == '\n') {
      ++line_;
    }
    return startLine;
  }
  const int line = readDecoding(c, startLine);
  field = decoded_;
  return line;
}

int FieldReader::readDecoding(int c, int32_t startLine) {
  std::string& field = decoded_;
  field.clear();
  while (!IsTerminator(c) && field.size() < kMaxFieldLength) {
    if (c == '%') {
      const int high = next();
      if (high < 0) {
        return startLine;
      }
      if (IsTerminator(high)) {
        return -1;
      }
      const int low = next();
      if (low < 0) {
        return startLine;
      }
      if (IsTerminator(low)) {
        return -1;
      }
      field.push_back(static_cast<char>(DecodeEscape(high, low)));
    } else {
      // A run of plain characters goes in at once. The run stops where the loop above
      // would stop.
      const size_t begin = position_ - 1;
      const size_t limit = std::min(text_.size(), begin + (kMaxFieldLength - field.size()));
      size_t end = begin + 1;
      while (end < limit && !kEndsPlainRun[text_[end]]) {
        ++end;
      }
      field.append(reinterpret_cast<const char*>(text_.data() + begin), end - begin);
      position_ = end;
    }
    c = next();
    if (c < 0) {
      return startLine;
    }
  }
  if (c == '\n') {
    ++line_;
  }
  return startLine;
}

int FieldReader::SkipTo(std::string_view target) {
  std::string_view field;
  while (ReadField(field) >= 0) {
    if (field == target) {
      return 0;
    }
  }
  return -1;
}

}  // namespace kerro
