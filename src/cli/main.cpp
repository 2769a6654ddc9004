#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/memory.h"

int main(int argc, char** argv) {
  kerro::PreferLargePagesForTheHeap();
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    arguments.emplace_back(argv[i]);
  }
  const std::unique_ptr<kerro::FileSystem> fileSystem = kerro::CreateRealFileSystem();
  kerro::CliEnvironment environment{*fileSystem, std::cout, std::cerr};
  return kerro::RunCli(arguments, environment);
}
