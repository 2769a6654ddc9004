#pragma once
// Where a schematic's previous content is kept.

#include <string>

#include "platform/paths.h"

namespace kerro {

// The backup path of a schematic path: the first character after the extension's dot
// becomes "$" (SHEET.CE2 gives SHEET.$E2, A.X gives A.$); a path without extension, or
// with a lone dot, gets ".$". A path whose extension already starts with "$" is its own
// backup name. On Windows a double-byte first character is replaced whole.
std::string MakeBackupName(const std::string& path, PathStyle style = kNativePathStyle);

}  // namespace kerro
