#include "testing/tosk_ini_builder.h"

#include "testing/temp_folder.h"

namespace kerro::testing {

std::string ToskIniText(const std::vector<std::string>& libraries) {
  std::string text = "[EDITOR]\r\nGRID=10\r\n\r\n[LIBRARY]\r\n";
  for (size_t i = 0; i < libraries.size(); ++i) {
    text += "LIB" + std::to_string(i) + "=" + libraries[i] + "\r\n";
  }
  text += "\r\n[PRINTER]\r\nLIB0=not a library\r\n";
  return text;
}

void WriteToskIni(const std::string& path, const std::vector<std::string>& libraries) {
  const std::string text = ToskIniText(libraries);
  WriteBytes(path, {text.begin(), text.end()});
}

}  // namespace kerro::testing
