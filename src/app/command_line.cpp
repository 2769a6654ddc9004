#include "app/command_line.h"

namespace kerro {

std::string InitialFileFromArguments(std::span<const std::string> arguments, PathStyle style) {
  for (const std::string& argument : arguments) {
    const bool isSwitch = !argument.empty() && (argument.front() == '-' ||
                                                (IsWindowsStyle(style) && argument.front() == '/'));
    if (!argument.empty() && !isSwitch) {
      return argument;
    }
  }
  return {};
}

}  // namespace kerro
