// kerro on Linux: chooses the settings file, takes the file from the command line and runs
// the main dialog until the user quits. "--help" and "--version" print and end the program.

#include <wx/app.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/settings_file.h"
#include "app/settings_store.h"
#include "app/wx/main_dialog_wx.h"
#include "kerro_version.h"
#include "platform/file_system.h"
#include "platform/memory.h"
#include "renumber/renumber_job.h"

namespace {

// The arguments as the system passed them, bytes unchanged (wxWidgets would convert them).
std::vector<std::string> rawArguments;
// The machine's file system, created by main() for the whole run.
kerro::FileSystem* realFiles = nullptr;

constexpr const char* kHelpText =
    "Usage: kerro [FILE.CE2]\n"
    "Opens the Kerro dialog, which renumbers the reference designators of a schematic;\n"
    "FILE.CE2 fills its file box.\n"
    "  -h, --help     print this help and exit\n"
    "      --version  print the version and exit\n"
    "The last four files are kept in KERRO.INI in the current folder if one is there,\n"
    "else in $XDG_CONFIG_HOME/kerro/ (~/.config/kerro/ when it is unset).\n"
    "For scripts and batch use: kerro-cli --help.\n";

// The text with its one "%1" replaced by `argument`.
std::string WithArgument(std::string_view text, std::string_view argument) {
  std::string result(text);
  if (const size_t at = result.find("%1"); at != std::string::npos) {
    result.replace(at, 2, argument);
  }
  return result;
}

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
    // The dialog exists when the history is written (on Quit); its box reports the failure.
    kerro::MainDialogWx* shown = nullptr;
    kerro::UserSettingsStore settings(
        fileSystem, kerro::ChooseSettingsFile(fileSystem), [&shown](const std::string& file) {
          const std::string text = WithArgument(kerro::kSettingsWriteErrorText, file);
          if (shown != nullptr) {
            shown->showMessage(text, kerro::MessageIcon::Warning);
          }
          std::fprintf(stderr, "kerro: %s\n", text.c_str());
        });
    const kerro::JobRunner runJob = [&fileSystem](
                                        const kerro::JobRequest& request,
                                        const kerro::LibraryErrorHandler& onLibraryError) {
      kerro::JobContext context{fileSystem, onLibraryError};
      return kerro::RenumberJob(request, context);
    };
    kerro::MainDialogWx dialog(nullptr, settings, runJob,
                               kerro::InitialFileFromArguments(rawArguments));
    shown = &dialog;
    dialog.CentreOnScreen();
    dialog.ShowModal();
    shown = nullptr;
    return 0;
  }
};

wxIMPLEMENT_APP_NO_MAIN(KerroApp);

int main(int argc, char** argv) {
  kerro::PreferLargePagesForTheHeap();
  rawArguments.assign(argv + (argc > 0 ? 1 : 0), argv + argc);
  switch (kerro::RequestFromArguments(rawArguments)) {
    case kerro::ProgramRequest::PrintHelp:
      std::fputs(kHelpText, stdout);
      return 0;
    case kerro::ProgramRequest::PrintVersion:
      std::puts("kerro " KERRO_VERSION);
      return 0;
    case kerro::ProgramRequest::RunDialog:
      break;
  }
  const std::unique_ptr<kerro::FileSystem> fileSystem = kerro::CreateRealFileSystem();
  realFiles = fileSystem.get();
  return wxEntry(argc, argv);
}
