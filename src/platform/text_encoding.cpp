#include "platform/text_encoding.h"

namespace kerro {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  return -1;
}

// The byte an escape at `at` stands for, if a whole \xNN starts there.
std::optional<char> EscapeAt(std::string_view text, size_t at) {
  if (at + 4 > text.size() || text[at] != '\\' || text[at + 1] != 'x') {
    return std::nullopt;
  }
  const int high = HexValue(text[at + 2]);
  const int low = HexValue(text[at + 3]);
  if (high < 0 || low < 0) {
    return std::nullopt;
  }
  return static_cast<char>(high * 16 + low);
}

}  // namespace

std::string EscapedByte(unsigned char byte) {
  constexpr std::string_view kDigits = "0123456789ABCDEF";
  return {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 0xF]};
}

std::optional<std::string> TextEncoding::fromUtf8(std::string_view text) const {
  std::string bytes;
  size_t runStart = 0;
  auto flushRun = [&](size_t end) {
    if (end == runStart) {
      return true;
    }
    const std::optional<std::string> run = encodeRun(text.substr(runStart, end - runStart));
    if (!run) {
      return false;
    }
    bytes += *run;
    return true;
  };
  for (size_t at = 0; at < text.size();) {
    const std::optional<char> escaped = EscapeAt(text, at);
    if (!escaped) {
      ++at;
      continue;
    }
    if (!flushRun(at)) {
      return std::nullopt;
    }
    bytes += *escaped;
    at += 4;
    runStart = at;
  }
  if (!flushRun(text.size())) {
    return std::nullopt;
  }
  return bytes;
}

}  // namespace kerro
