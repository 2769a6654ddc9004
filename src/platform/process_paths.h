#pragma once
// Where the program runs from and where it runs.

#include <string>

namespace kerro {

// The full path of the running executable, or empty if the system cannot tell.
std::string ExecutablePath();

// The process's current directory, without a trailing separator (a root keeps its own).
std::string CurrentDirectory();

// The identifier of the running process, which no other running process shares.
unsigned long CurrentProcessId();

}  // namespace kerro
