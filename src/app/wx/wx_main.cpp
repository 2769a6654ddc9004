// kerro on Linux: chooses the settings file, takes the file from the command line and runs
// the main dialog until the user quits.

#include <wx/app.h>

#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/settings_file.h"
#include "app/settings_store.h"
#include "app/wx/main_dialog_wx.h"
#include "platform/file_system.h"
#include "platform/memory.h"
#include "renumber/renumber_job.h"

namespace {

// The arguments as the system passed them, bytes unchanged (wxWidgets would convert them).
std::vector<std::string> rawArguments;
// The machine's file system, created by main() for the whole run.
kerro::FileSystem* realFiles = nullptr;

}  // namespace

// Not in the unnamed namespace: the wxGetApp() that wxIMPLEMENT_APP_NO_MAIN defines would
// then be an unused function of this file alone, which clang reports.

class KerroApp final : public wxApp {
 public:
  // The command line is the program's own business: one file path, switches ignored.
  bool OnInit() override { return true; }

  // Runs the dialog modally; the process ends when it closes.
  int OnRun() override {
    kerro::FileSystem& fileSystem = *realFiles;
    kerro::ProfileSettingsStore settings(fileSystem, kerro::ChooseSettingsFile(fileSystem));
    const kerro::JobRunner runJob = [&fileSystem](
                                        const kerro::JobRequest& request,
                                        const kerro::LibraryErrorHandler& onLibraryError) {
      kerro::JobContext context{fileSystem, onLibraryError};
      return kerro::RenumberJob(request, context);
    };
    kerro::MainDialogWx dialog(nullptr, settings, runJob,
                               kerro::InitialFileFromArguments(rawArguments));
    dialog.CentreOnScreen();
    dialog.ShowModal();
    return 0;
  }
};

wxIMPLEMENT_APP_NO_MAIN(KerroApp);

int main(int argc, char** argv) {
  kerro::PreferLargePagesForTheHeap();
  rawArguments.assign(argv + (argc > 0 ? 1 : 0), argv + argc);
  const std::unique_ptr<kerro::FileSystem> fileSystem = kerro::CreateRealFileSystem();
  realFiles = fileSystem.get();
  return wxEntry(argc, argv);
}
