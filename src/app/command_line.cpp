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

ProgramRequest RequestFromArguments(std::span<const std::string> arguments) {
  for (const std::string& argument : arguments) {
    if (argument == "--help" || argument == "-h") {
      return ProgramRequest::PrintHelp;
    }
    if (argument == "--version") {
      return ProgramRequest::PrintVersion;
    }
  }
  return ProgramRequest::RunDialog;
}

}  // namespace kerro
