// kerro on Linux: chooses the settings file, takes the file from the command line and runs
// the main dialog until the user quits.

#include <wx/app.h>

#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/settings_file.h"
#include "app/settings_store.h"
#include "app/wx/main_dialog_wx.h"
#include "platform/file_system.h"
#include "renumber/renumber_job.h"

namespace {

// The arguments as the system passed them, bytes unchanged (wxWidgets would convert them).
std::vector<std::string> rawArguments;

class KerroApp final : public wxApp {
 public:
  // The command line is the program's own business: one file path, switches ignored.
  bool OnInit() override { return true; }

  // Runs the dialog modally; the process ends when it closes.
  int OnRun() override {
    kerro::ProfileSettingsStore settings(kerro::ChooseSettingsFile());
    const kerro::JobRunner runJob = [](const kerro::JobRequest& request,
                                       const kerro::LibraryErrorHandler& onLibraryError) {
      kerro::JobContext context{kerro::realFileSystem(), onLibraryError};
      return kerro::RenumberJob(request, context);
    };
    kerro::MainDialogWx dialog(nullptr, settings, runJob,
                               kerro::InitialFileFromArguments(rawArguments));
    dialog.CentreOnScreen();
    dialog.ShowModal();
    return 0;
  }
};

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(KerroApp);

int main(int argc, char** argv) {
  rawArguments.assign(argv + (argc > 0 ? 1 : 0), argv + argc);
  return wxEntry(argc, argv);
}
