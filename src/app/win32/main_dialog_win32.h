#pragma once
// The main dialog on Windows: the dialog template IDD_MAIN run modally, its controls shown
// to the presenter through MainDialogView, its messages mapped onto the presenter.

#include <windows.h>

#include <string>

#include "app/main_dialog_presenter.h"
#include "app/settings_store.h"

namespace kerro {

class Win32MainDialogView final : public MainDialogView {
 public:
  explicit Win32MainDialogView(HINSTANCE instance) : instance_(instance) {}
  void attach(HWND dialog) { dialog_ = dialog; }
  HWND window() const { return dialog_; }

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
  HWND item(int id) const { return ::GetDlgItem(dialog_, id); }

  HINSTANCE instance_;
  HWND dialog_ = nullptr;
};

// Runs the main dialog from the resources of `instance` until the user quits. The
// common controls must have been initialised.
void RunMainDialog(HINSTANCE instance, SettingsStore& settings, JobRunner runJob,
                   std::string initialFile);

}  // namespace kerro
