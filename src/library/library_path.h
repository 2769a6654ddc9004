#pragma once
// Where a library listed in TOSK.INI is found on this machine.
//
// TOSK.INI is written on Windows, so its paths may use '\' (lib\DEMO.LB3), name a drive
// (C:\TOSK\LIB\STD.LB3) or differ in case from the files (demo.lb3 for DEMO.LB3). A POSIX
// build looks for such a path in this order, and stops at the first file that exists:
//   1. the path as written, then with '\' taken as a separator (every '\' byte, then, if
//      that differs, only those that are characters of code page 932); each of these
//      exactly, then with each part matched without regard to ASCII case; a relative one
//      from the current folder, then from `settingsFolder` (that of the TOSK.INI listing
//      it) when one is given;
//   2. for each folder of `libraryFolders` in turn, the path's file name in that folder,
//      exactly, then without regard to case.
// A Windows build takes the path as the system does (it ignores case itself) and then
// tries the folders by file name only. A relative path is taken from the current folder,
// then from `settingsFolder`.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "platform/paths.h"

namespace kerro {

struct LibraryFileSearch {
  std::optional<std::string> found;  // the file to load; nullopt if none exists
  std::vector<std::string> tried;    // every path looked for, in order, `found` last
};

LibraryFileSearch FindLibraryFile(std::string_view listedPath,
                                  std::span<const std::string> libraryFolders,
                                  FileSystem& fileSystem, std::string_view settingsFolder = {},
                                  PathStyle style = kNativePathStyle);

// The existing path that matches `path` part by part without regard to ASCII case (bytes
// from 0x80 on must match exactly), preferring exact parts; `path` uses '/' only. Where
// several names of a folder match, the lowest in byte order is taken. Returns nullopt if
// some part has no match.
std::optional<std::string> FindIgnoringCase(std::string_view path, FileSystem& fileSystem);

// The paths of one search as the argument of the read-error message, which puts its
// argument between double quotes: one path stands alone; several are joined by `", "` so
// that each shows between quotes ("a", "b").
std::string JoinTriedPaths(std::span<const std::string> tried);

}  // namespace kerro
