// kerro.exe: chooses the settings file, takes the file from the command line and runs the
// main dialog until the user quits.

#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/settings_file.h"
#include "app/settings_store.h"
#include "app/win32/main_dialog_win32.h"
#include "platform/file_system.h"
#include "renumber/renumber_job.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS};
  ::InitCommonControlsEx(&controls);

  const std::unique_ptr<kerro::FileSystem> fileSystem = kerro::CreateRealFileSystem();
  kerro::ProfileSettingsStore settings(*fileSystem, kerro::ChooseSettingsFile(*fileSystem));
  // The C runtime splits the command line by the platform's rules, quotes included.
  const std::vector<std::string> arguments(__argv + (__argc > 0 ? 1 : 0), __argv + __argc);
  const kerro::JobRunner runJob = [&fileSystem](const kerro::JobRequest& request,
                                                const kerro::LibraryErrorHandler& onLibraryError) {
    kerro::JobContext context{*fileSystem, onLibraryError};
    return kerro::RenumberJob(request, context);
  };
  kerro::RunMainDialog(instance, settings, runJob, kerro::InitialFileFromArguments(arguments));
  return 0;
}
