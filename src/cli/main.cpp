#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    arguments.emplace_back(argv[i]);
  }
  kerro::CliEnvironment environment{kerro::realFileSystem(), std::cout, std::cerr};
  return kerro::RunCli(arguments, environment);
}
