#include <errno.h>
#include <iconv.h>

#include "platform/text_encoding.h"

namespace kerro {

namespace {

// One iconv conversion descriptor, closed with its owner.
class Iconv {
 public:
  Iconv(const std::string& to, const std::string& from)
      : handle_(iconv_open(to.c_str(), from.c_str())) {}
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  ~Iconv() {
    if (valid()) {
      iconv_close(handle_);
    }
  }

  bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return handle_; }

  // Back to the initial shift state, after a failure or before a new text.
  void reset() const { iconv(handle_, nullptr, nullptr, nullptr, nullptr); }

 private:
  iconv_t handle_;
};

// Converts as much of `in` as converts, appending to `out`; leaves `in` at the first
// byte that does not. Returns false on a conversion failure.
bool ConvertSome(const Iconv& converter, std::string_view& in, std::string& out) {
  char buffer[256];
  while (!in.empty()) {
    char* inPointer = const_cast<char*>(in.data());  // iconv's signature; it only reads
    size_t inLeft = in.size();
    char* outPointer = buffer;
    size_t outLeft = sizeof buffer;
    const size_t result = iconv(converter.get(), &inPointer, &inLeft, &outPointer, &outLeft);
    out.append(buffer, static_cast<size_t>(outPointer - buffer));
    in.remove_prefix(in.size() - inLeft);
    if (result == static_cast<size_t>(-1) && errno != E2BIG) {
      return false;
    }
  }
  // Whatever a stateful encoding still owes at the end.
  char* outPointer = buffer;
  size_t outLeft = sizeof buffer;
  if (iconv(converter.get(), nullptr, nullptr, &outPointer, &outLeft) == static_cast<size_t>(-1)) {
    return false;
  }
  out.append(buffer, static_cast<size_t>(outPointer - buffer));
  return true;
}

}  // namespace

struct TextEncoding::Converters {
  Converters(const std::string& name) : toUtf8("UTF-8", name), fromUtf8(name, "UTF-8") {}
  Iconv toUtf8;
  Iconv fromUtf8;
};

TextEncoding::TextEncoding(std::unique_ptr<Converters> converters)
    : converters_(std::move(converters)) {}
TextEncoding::TextEncoding(TextEncoding&&) noexcept = default;
TextEncoding& TextEncoding::operator=(TextEncoding&&) noexcept = default;
TextEncoding::~TextEncoding() = default;

std::optional<TextEncoding> TextEncoding::Open(const std::string& name) {
  auto converters = std::make_unique<Converters>(name);
  if (name.empty() || !converters->toUtf8.valid() || !converters->fromUtf8.valid()) {
    return std::nullopt;
  }
  return TextEncoding(std::move(converters));
}

std::string TextEncoding::toUtf8(std::string_view bytes) const {
  const Iconv& converter = converters_->toUtf8;
  std::string text;
  converter.reset();
  while (!ConvertSome(converter, bytes, text)) {
    if (bytes.empty()) {
      break;
    }
    text += EscapedByte(static_cast<unsigned char>(bytes.front()));
    bytes.remove_prefix(1);
    converter.reset();
  }
  return text;
}

std::optional<std::string> TextEncoding::encodeRun(std::string_view utf8) const {
  const Iconv& converter = converters_->fromUtf8;
  std::string bytes;
  converter.reset();
  if (!ConvertSome(converter, utf8, bytes)) {
    return std::nullopt;
  }
  return bytes;
}

}  // namespace kerro
