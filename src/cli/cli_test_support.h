#pragma once
// Runs kerro-cli inside a test program, with what it prints captured.

#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"

namespace kerro::testing {

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

inline Outcome RunTool(FileSystem& fileSystem, const std::vector<std::string>& arguments) {
  std::ostringstream out;
  std::ostringstream err;
  CliEnvironment environment{fileSystem, out, err};
  const int status = RunCli(arguments, environment);
  return {status, out.str(), err.str()};
}

}  // namespace kerro::testing
