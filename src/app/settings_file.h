#pragma once
// Where the program keeps its settings: "KERRO.INI" in the current directory if that file
// can be opened for reading, else "KERRO.INI" beside the executable (which need not exist:
// the first Quit creates it).

#include <functional>
#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "platform/paths.h"

namespace kerro {

inline constexpr std::string_view kSettingsFileName = "KERRO.INI";

// Returns true if the file at the path can be opened for reading.
using CanOpenFile = std::function<bool(const std::string& path)>;

std::string ChooseSettingsFile(std::string_view currentDirectory, std::string_view executablePath,
                               const CanOpenFile& canOpen, PathStyle style = kNativePathStyle);

// The choice for this process, with the real current directory and executable.
std::string ChooseSettingsFile(FileSystem& fileSystem);

}  // namespace kerro
