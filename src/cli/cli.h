#pragma once
// kerro-cli: the renumbering job for scripts and batch use. Each FILE is one job, in order;
// errors go to the error stream in the system's own words.
//
// Exit status, the worst over all files:
//   0  every job finished (with --check: no file would change)
//   1  a file could not be read
//   2  bad usage or a value out of range; no file was touched
//   3  a file could not be written
//   4  with --check: some file would change
//   5  with --lint: some finding (see lint_command.h)
// A write error outranks a read error, and either outranks a file that would change.

#include <iosfwd>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace kerro {

inline constexpr int kExitFinished = 0;
inline constexpr int kExitReadError = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitWriteError = 3;
inline constexpr int kExitWouldChange = 4;
inline constexpr int kExitFindings = 5;

struct CliEnvironment {
  FileSystem& fileSystem;
  std::ostream& out;
  std::ostream& err;
};

// Runs the tool with its arguments (the program name left out) and returns the exit status.
int RunCli(const std::vector<std::string>& arguments, CliEnvironment& environment);

}  // namespace kerro
