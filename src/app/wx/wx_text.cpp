#include "app/wx/wx_text.h"

#include <wx/strconv.h>

namespace kerro {

namespace {

const wxMBConv& ByteConverter() {
  static const wxMBConvUTF8 converter(wxMBConvUTF8::MAP_INVALID_UTF8_TO_PUA);
  return converter;
}

}  // namespace

wxString ToWxString(std::string_view bytes) {
  if (bytes.empty()) {
    return {};
  }
  return wxString(bytes.data(), ByteConverter(), bytes.size());
}

std::string FromWxString(const wxString& text) {
  if (text.empty()) {
    return {};
  }
  const wxCharBuffer buffer = text.mb_str(ByteConverter());
  return std::string(buffer.data(), buffer.length());
}

}  // namespace kerro
