#include "testing/text_library_builder.h"

#include <cstdio>

namespace kerro::testing {

TextLibraryBuilder::TextLibraryBuilder(bool withMagic) {
  if (withMagic) {
    field(kMagic);
  }
}

TextLibraryBuilder& TextLibraryBuilder::crlf(bool on) {
  lineBreak_ = on ? "\r\n" : "\n";
  return *this;
}

TextLibraryBuilder& TextLibraryBuilder::field(const std::string& text) {
  text_ += text;
  text_ += lineBreak_;
  return *this;
}

TextLibraryBuilder& TextLibraryBuilder::fields(std::initializer_list<std::string> texts) {
  for (const auto& text : texts) {
    field(text);
  }
  return *this;
}

TextLibraryBuilder& TextLibraryBuilder::raw(const std::string& text) {
  text_ += text;
  return *this;
}

TextLibraryBuilder& TextLibraryBuilder::item(const std::string& key, const std::string& value) {
  return field(key + ":" + Escaped(value));
}

TextLibraryBuilder& TextLibraryBuilder::component(const TextComponent& component) {
  field("+COMP");
  item("N", component.name);
  item("X", std::to_string(component.sizeX));
  item("Y", std::to_string(component.sizeY));
  item("B", std::to_string(component.blocks));
  if (component.refPrefix) {
    item("R", *component.refPrefix);
  }
  if (component.pattern) {
    item("P", *component.pattern);
  }
  for (const TextPin& pin : component.pins) {
    field("+PIN");
    if (pin.name) {
      item("N", *pin.name);
    }
    if (pin.location) {
      item("L", *pin.location);
    }
    if (pin.flags) {
      item("T", *pin.flags);
    }
    for (const auto& number : pin.numbers) {
      item("M", number);
    }
    field("-PIN");
  }
  return field("-COMP");
}

TextLibraryBuilder& TextLibraryBuilder::alias(const std::string& name, const std::string& alias) {
  field("+ALIAS");
  item("N", name);
  item("A", alias);
  return field("-ALIAS");
}

TextLibraryBuilder& TextLibraryBuilder::pattern(const std::string& name, int width, int height,
                                                const std::vector<std::vector<uint8_t>>& rows) {
  field("+PTN");
  item("X", std::to_string(width));
  item("Y", std::to_string(height));
  item("N", name);
  field("+BMP");
  for (const auto& row : rows) {
    field(BitmapRow(row));
  }
  field("-BMP");
  return field("-PTN");
}

std::string TextLibraryBuilder::Escaped(std::string_view text) {
  std::string escaped;
  for (char c : text) {
    if (c == ',' || c == '%' || c == '\r' || c == '\n') {
      char code[4];
      std::snprintf(code, sizeof code, "%%%02X", static_cast<unsigned char>(c));
      escaped += code;
    } else {
      escaped.push_back(c);
    }
  }
  return escaped;
}

std::string TextLibraryBuilder::BitmapRow(std::span<const uint8_t> bytes) {
  std::string row;
  for (uint8_t byte : bytes) {
    row.push_back(static_cast<char>(64 + (byte >> 4)));
    row.push_back(static_cast<char>(64 + (byte & 0x0F)));
  }
  return row;
}

}  // namespace kerro::testing
