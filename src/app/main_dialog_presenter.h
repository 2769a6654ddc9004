#pragma once
// The main dialog's behaviour, apart from any toolkit. The presenter owns the file history
// and the flows of the dialog (opening, Execute, Quit, Ref..., About); a toolkit's dialog
// implements MainDialogView and forwards its events to the presenter.
//
// The history holds at most four paths, newest first, without duplicates. It is read from
// the settings ("Recent File List", keys "File0" to "File3", ending at the first empty
// value) when the dialog opens and written back, all four keys, on Quit only.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/settings_store.h"
#include "renumber/renumber_job.h"

namespace kerro {

inline constexpr std::string_view kHistorySection = "Recent File List";
inline constexpr int kHistorySize = 4;

// The two number boxes, each an edit with a spin control.
enum class ValueBox { Initial, Step };

enum class MessageIcon { None, Information, Warning };

// What the "&Ref..." file chooser offers.
struct FileChooserOptions {
  std::string filterName;        // "Tosk Files (*.ce2)"
  std::string filterPattern;     // "*.CE2"
  std::string defaultExtension;  // without the dot
};

class MainDialogView {
 public:
  virtual ~MainDialogView() = default;

  // Replaces the file box's list. The text in its edit field stays as it is.
  virtual void setHistory(const std::vector<std::string>& entries) = 0;
  // The text in the file box's edit field.
  virtual std::string filePath() = 0;
  // Puts a text into the file box's edit field, with nothing selected.
  virtual void setFilePath(const std::string& path) = 0;
  // Selects entry `index` of the file box's list: its text fills the edit field, with
  // nothing selected.
  virtual void selectHistoryEntry(size_t index) = 0;

  virtual std::string valueText(ValueBox box) = 0;
  // Sets the spin control's range and position; the edit then shows `value`.
  virtual void setValueRange(ValueBox box, int minimum, int maximum, int value) = 0;
  virtual void setValue(ValueBox box, int value) = 0;
  // Gives the edit the focus with its whole text selected and the caret in view.
  virtual void selectValue(ValueBox box) = 0;

  virtual bool autoNumber() = 0;
  virtual void setAutoNumber(bool checked) = 0;

  // Shows a modal message box with an OK button and returns when it is dismissed.
  virtual void showMessage(const std::string& text, MessageIcon icon) = 0;
  // The file chooser; returns the chosen full path, or nullopt if the user cancelled.
  virtual std::optional<std::string> chooseFile(const FileChooserOptions& options) = 0;
  virtual void showAbout() = 0;
  // Ends the dialog (the Quit result).
  virtual void close() = 0;
};

// Runs one renumbering job. Each part library that fails to load is reported through the
// handler while the job goes on.
using JobRunner = std::function<JobResult(const JobRequest&, const LibraryErrorHandler&)>;

// Reads a number box's text as the dialog always has: leading blanks and one sign are
// skipped and digits are read up to the first other character. A text without digits, or
// one whose number does not fit an int, reads as 0.
int ReadDialogInteger(std::string_view text);

class MainDialogPresenter {
 public:
  // `initialFile` comes from the command line; empty if none. The view, the settings and
  // the runner must outlive the presenter.
  MainDialogPresenter(MainDialogView& view, SettingsStore& settings, JobRunner runJob,
                      std::string initialFile = {});

  // The dialog has been created: load the history, fill the boxes.
  void initialize();
  // "&Execute": check the numbers, run the job on the path, update the history.
  void execute();
  // "&Quit", Esc or the close box: save the history, close the dialog.
  void quit();
  // "&Ref...": choose a file for the file box.
  void chooseFile();
  void about();

  const std::vector<std::string>& history() const { return history_; }

 private:
  // Returns the value if it is within range; otherwise resets the box and reports it.
  std::optional<int> checkedValue(ValueBox box, int minimum, int maximum, int messageId);

  MainDialogView& view_;
  SettingsStore& settings_;
  JobRunner runJob_;
  std::string initialFile_;
  std::vector<std::string> history_;
};

}  // namespace kerro
