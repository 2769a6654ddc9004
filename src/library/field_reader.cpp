#include "library/field_reader.h"

#include <algorithm>
#include <array>
#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Whether a field opens or closes a section.
bool IsMarked(std::string_view field) {
  return !field.empty() && (field.front() == '+' || field.front() == '-');
}

// The characters that may begin a marked field: its mark, or an escape that may decode
// to one.
constexpr std::array<bool, 256> kMayMark = [] {
  std::array<bool, 256> marks{};
  marks['+'] = marks['-'] = marks['%'] = true;
  return marks;
}();

#if defined(__SSE2__)
// The bits set in a 16-bit mask, without the library call that std::popcount becomes for a
// processor not known to count them itself.
int BitsSet(uint32_t mask) {
  mask = mask - ((mask >> 1) & 0x5555u);
  mask = (mask & 0x3333u) + ((mask >> 2) & 0x3333u);
  mask = (mask + (mask >> 4)) & 0x0F0Fu;
  return static_cast<int>((mask + (mask >> 8)) & 0x1Fu);
}
#endif

// The position of the first character of text[from, end) that may begin a marked field, or
// the text's end; adds the line feeds before it to `lines`. Sixteen characters are looked
// at together where the processor offers it: a library's items are mostly short lines.
size_t FindMayMark(std::span<const uint8_t> text, size_t from, int32_t& lines) {
  size_t at = from;
#if defined(__SSE2__)
  const __m128i plus = _mm_set1_epi8('+');
  const __m128i minus = _mm_set1_epi8('-');
  const __m128i percent = _mm_set1_epi8('%');
  const __m128i lineFeed = _mm_set1_epi8('\n');
  for (; at + 16 <= text.size(); at += 16) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
    const auto marks = static_cast<uint32_t>(_mm_movemask_epi8(
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, plus), _mm_cmpeq_epi8(chunk, minus)),
                     _mm_cmpeq_epi8(chunk, percent))));
    const auto feeds = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, lineFeed)));
    if (marks != 0) {
      const int first = std::countr_zero(marks);
      lines += BitsSet(feeds & ((1u << first) - 1));
      return at + static_cast<size_t>(first);
    }
    lines += BitsSet(feeds);
  }
#endif
  for (; at < text.size() && !kMayMark[text[at]]; ++at) {
    lines += text[at] == '\n' ? 1 : 0;
  }
  return at;
}

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

int FieldReader::ReadMarkedField(std::string_view& field) {
  while (true) {
    // Up to the first character that could begin a marked field. The fields before it
    // have none: no field among them is marked, none holds an escape that could end the
    // input, and a field cut at the length limit goes on with characters that are not
    // marks either. So they can be passed over, counting their line feeds.
    const size_t from = position_;
    const size_t at = FindMayMark(text_, from, line_);
    if (at == text_.size()) {
      position_ = at;
      field = {};
      return -1;
    }
    // Its field starts after the last terminator before it, or where this scan began;
    // ReadField reads that field exactly, escapes and length limit included.
    size_t start = at;
    while (start > from && !IsTerminator(text_[start - 1])) {
      --start;
    }
    position_ = start;
    const int line = ReadField(field);
    if (line < 0) {
      return -1;
    }
    if (IsMarked(field)) {
      return line;
    }
  }
}

int FieldReader::SkipTo(std::string_view target) {
  const bool marked = IsMarked(target);
  std::string_view field;
  while ((marked ? ReadMarkedField(field) : ReadField(field)) >= 0) {
    if (field == target) {
      return 0;
    }
  }
  return -1;
}

}  // namespace kerro
