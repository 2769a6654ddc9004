#include <windows.h>

#include <cctype>
#include <charconv>
#include <vector>

#include "platform/text_encoding.h"

namespace kerro {

namespace {

std::string UpperCase(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return upper;
}

std::optional<UINT> Number(std::string_view digits) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
    return std::nullopt;
  }
  return static_cast<UINT>(value);
}

// The code page an encoding name stands for.
std::optional<UINT> CodePageOf(const std::string& name) {
  const std::string upper = UpperCase(name);
  if (upper == "ANSI" || upper == "ACP") {
    return ::GetACP();
  }
  if (upper == "UTF-8" || upper == "UTF8") {
    return CP_UTF8;
  }
  if (upper == "SHIFT_JIS" || upper == "SJIS" || upper == "WINDOWS-31J") {
    return 932;
  }
  for (std::string_view prefix : {"CP", "WINDOWS-"}) {
    if (upper.starts_with(prefix)) {
      return Number(std::string_view(upper).substr(prefix.size()));
    }
  }
  return Number(upper);
}

// UTF-16 in between: the system converts from and to it.
std::optional<std::wstring> Widen(UINT codePage, std::string_view bytes) {
  if (bytes.empty()) {
    return std::wstring();
  }
  const int size = static_cast<int>(bytes.size());
  const int length =
      ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
  if (length <= 0) {
    return std::nullopt;
  }
  std::wstring wide(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(), length);
  return wide;
}

std::optional<std::string> Narrow(UINT codePage, const std::wstring& wide) {
  if (wide.empty()) {
    return std::string();
  }
  const int size = static_cast<int>(wide.size());
  // UTF-8 takes no default character; every other code page says when it used one.
  BOOL usedDefault = FALSE;
  BOOL* usedDefaultOut = codePage == CP_UTF8 ? nullptr : &usedDefault;
  const DWORD flags = codePage == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  const int length = ::WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr,
                                           usedDefaultOut);
  if (length <= 0 || usedDefault) {
    return std::nullopt;
  }
  std::string bytes(static_cast<size_t>(length), '\0');
  ::WideCharToMultiByte(codePage, flags, wide.data(), size, bytes.data(), length, nullptr,
                        usedDefaultOut);
  if (usedDefault) {
    return std::nullopt;
  }
  return bytes;
}

std::optional<std::string> Convert(UINT from, UINT to, std::string_view bytes) {
  const std::optional<std::wstring> wide = Widen(from, bytes);
  return wide ? Narrow(to, *wide) : std::nullopt;
}

}  // namespace

struct TextEncoding::Converters {
  UINT codePage = 0;
};

TextEncoding::TextEncoding(std::unique_ptr<Converters> converters)
    : converters_(std::move(converters)) {}
TextEncoding::TextEncoding(TextEncoding&&) noexcept = default;
TextEncoding& TextEncoding::operator=(TextEncoding&&) noexcept = default;
TextEncoding::~TextEncoding() = default;

std::optional<TextEncoding> TextEncoding::Open(const std::string& name) {
  const std::optional<UINT> codePage = CodePageOf(name);
  if (!codePage || !::IsValidCodePage(*codePage)) {
    return std::nullopt;
  }
  auto converters = std::make_unique<Converters>();
  converters->codePage = *codePage;
  return TextEncoding(std::move(converters));
}

std::string TextEncoding::toUtf8(std::string_view bytes) const {
  const UINT codePage = converters_->codePage;
  if (auto whole = Convert(codePage, CP_UTF8, bytes)) {
    return *whole;
  }
  // Character by character, so that only what does not convert is escaped.
  std::string text;
  for (size_t at = 0; at < bytes.size();) {
    size_t length = 1;
    if (codePage != CP_UTF8 && at + 1 < bytes.size() &&
        ::IsDBCSLeadByteEx(codePage, static_cast<BYTE>(bytes[at]))) {
      length = 2;
    }
    if (auto character = Convert(codePage, CP_UTF8, bytes.substr(at, length))) {
      text += *character;
      at += length;
    } else {
      text += EscapedByte(static_cast<unsigned char>(bytes[at]));
      ++at;
    }
  }
  return text;
}

std::optional<std::string> TextEncoding::encodeRun(std::string_view utf8) const {
  return Convert(CP_UTF8, converters_->codePage, utf8);
}

}  // namespace kerro
