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

}  // namespace kerro
