#pragma once
// Where the program keeps its settings. "KERRO.INI" in the current directory wins if that
// file can be opened for reading. Otherwise:
//   - on Windows, "KERRO.INI" beside the executable;
//   - on Linux, where programs live in folders their users may not write, the user's own
//     configuration folder: $XDG_CONFIG_HOME/kerro/KERRO.INI, or ~/.config/kerro/KERRO.INI
//     when that variable is unset or not an absolute path. With neither it nor a home
//     folder, "KERRO.INI" in the current directory, where the next start finds it again.
// The chosen file need not exist: the first Quit creates it (and on Linux its folder).

#include <functional>
#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "platform/paths.h"

namespace kerro {

inline constexpr std::string_view kSettingsFileName = "KERRO.INI";

// Where the settings go when the current directory holds none.
enum class SettingsHome { BesideProgram, UserConfigFolder };

#ifdef _WIN32
inline constexpr SettingsHome kNativeSettingsHome = SettingsHome::BesideProgram;
#else
inline constexpr SettingsHome kNativeSettingsHome = SettingsHome::UserConfigFolder;
#endif

// What the choice depends on, as the process finds it.
struct SettingsFilePlaces {
  std::string currentDirectory;
  std::string executablePath;
  std::string configHome;     // $XDG_CONFIG_HOME, empty when unset
  std::string homeDirectory;  // $HOME, empty when unset
  SettingsHome home = kNativeSettingsHome;
  PathStyle style = kNativePathStyle;
};

// Returns true if the file at the path can be opened for reading.
using CanOpenFile = std::function<bool(const std::string& path)>;

std::string ChooseSettingsFile(const SettingsFilePlaces& places, const CanOpenFile& canOpen);

// The choice for this process, with its real current directory, executable and environment.
std::string ChooseSettingsFile(FileSystem& fileSystem);

}  // namespace kerro
