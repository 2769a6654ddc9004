#pragma once
// The program's command line: at most one schematic path, as when a file is dropped on the
// program's icon. Arguments that begin with '-' (and on Windows '/') are switches, which
// have no effect; the first other argument is the file. Quotes are the platform argument
// parser's business: a quoted path arrives here as one argument without its quotes.

#include <span>
#include <string>

#include "platform/paths.h"

namespace kerro {

// `arguments` excludes the program's own name. Returns empty if there is no file.
std::string InitialFileFromArguments(std::span<const std::string> arguments,
                                     PathStyle style = kNativePathStyle);

// What the Linux program is asked to do. "--help" (or "-h") and "--version" print and end
// the program without opening the dialog, as Linux programs do; they count wherever they
// stand, before a file or after it. Every other switch still has no effect.
enum class ProgramRequest { RunDialog, PrintHelp, PrintVersion };

ProgramRequest RequestFromArguments(std::span<const std::string> arguments);

}  // namespace kerro
