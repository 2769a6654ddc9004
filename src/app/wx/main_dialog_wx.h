#pragma once
// The main dialog on Linux: a wxWidgets dialog with the controls, texts and layout of the
// Windows dialog template (positions in dialog units), forwarding its events to the
// presenter. The presenter decides everything; this class only shows and reads controls.

#include <wx/dialog.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/main_dialog_presenter.h"
#include "kerro_version.h"

class wxCheckBox;
class wxIconBundle;
class wxKeyEvent;
class wxComboBox;
class wxSpinButton;
class wxSpinEvent;
class wxTextCtrl;

namespace kerro {

// Window ids of the controls, the same numbers as the Windows dialog's control ids.
enum MainDialogControl : int {
  kControlFile = 1001,
  kControlRef = 1003,
  kControlAutoNum = 1004,
  kControlInitialSpin = 1005,
  kControlInitial = 1006,
  kControlStepSpin = 1007,
  kControlStep = 1008,
  kControlExecute = 1,
  kControlAbout = 3,
  kControlQuit = 2,
};

inline constexpr const char* kMainDialogCaption = KERRO_CAPTION_TEXT;
inline constexpr const char* kAboutCaption = "About Kerro";

// Replacements for the modal windows, for tests that drive the dialog without a user.
// An empty hook shows the real window.
struct MainDialogHooks {
  std::function<void(const std::string& text, MessageIcon icon)> showMessage;
  std::function<std::optional<std::string>(const FileChooserOptions& options)> chooseFile;
  std::function<void()> showAbout;
};

class MainDialogWx final : public wxDialog, public MainDialogView {
 public:
  // The settings and the runner must outlive the dialog. `initialFile` comes from the
  // command line; empty if none.
  MainDialogWx(wxWindow* parent, SettingsStore& settings, JobRunner runJob,
               std::string initialFile = {}, MainDialogHooks hooks = {});

  // True once the presenter has closed the dialog (Quit, Esc or the close box).
  bool closed() const { return closed_; }

  // MainDialogView
  void setHistory(const std::vector<std::string>& entries) override;
  std::string filePath() override;
  void setFilePath(const std::string& path) override;
  void selectHistoryEntry(size_t index) override;
  std::string valueText(ValueBox box) override;
  void setValueRange(ValueBox box, int minimum, int maximum, int value) override;
  void setValue(ValueBox box, int value) override;
  void selectValue(ValueBox box) override;
  bool autoNumber() override;
  void setAutoNumber(bool checked) override;
  void showMessage(const std::string& text, MessageIcon icon) override;
  std::optional<std::string> chooseFile(const FileChooserOptions& options) override;
  void showAbout() override;
  void close() override;

 private:
  void createControls();
  wxTextCtrl* edit(ValueBox box) const;
  wxSpinButton* spin(ValueBox box) const;
  void onSpin(ValueBox box, wxSpinEvent& event);
  void onValueText(ValueBox box);
  void onValueKey(ValueBox box, wxKeyEvent& event);

  MainDialogHooks hooks_;
  MainDialogPresenter presenter_;
  bool closed_ = false;
  wxComboBox* file_ = nullptr;
  wxCheckBox* autoNum_ = nullptr;
  wxTextCtrl* initial_ = nullptr;
  wxSpinButton* initialSpin_ = nullptr;
  wxTextCtrl* step_ = nullptr;
  wxSpinButton* stepSpin_ = nullptr;
};

// The file chooser's pattern with each ASCII letter matched in either case ("*.CE2" gives
// "*.[cC][eE]2"): GTK's file filter is case-sensitive, the Windows one is not, and a
// schematic named board.ce2 must be offered too.
std::string CaseInsensitivePattern(std::string_view pattern);

// The program's icon, drawn in code: a large 32 × 32 and a small 16 × 16 one.
wxIconBundle ApplicationIcons();

}  // namespace kerro
