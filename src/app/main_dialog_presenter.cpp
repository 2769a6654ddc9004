#include "app/main_dialog_presenter.h"

#include <algorithm>
#include <limits>

#include "renumber/messages.h"

namespace kerro {

namespace {

std::string HistoryKey(int index) {
  return "File" + std::to_string(index);
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

int ReadDialogInteger(std::string_view text) {
  size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) {
    ++at;
  }
  bool negative = false;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) {
    negative = text[at] == '-';
    ++at;
  }
  if (at >= text.size() || !IsDigit(text[at])) {
    return 0;
  }
  // Accumulated as a negative number, so that INT_MIN itself fits.
  long long value = 0;
  for (; at < text.size() && IsDigit(text[at]); ++at) {
    value = value * 10 - (text[at] - '0');
    if (value < std::numeric_limits<int>::min()) {
      return 0;
    }
  }
  if (!negative) {
    if (-value > std::numeric_limits<int>::max()) {
      return 0;
    }
    value = -value;
  }
  return static_cast<int>(value);
}

MainDialogPresenter::MainDialogPresenter(MainDialogView& view, SettingsStore& settings,
                                         JobRunner runJob, std::string initialFile)
    : view_(view),
      settings_(settings),
      runJob_(std::move(runJob)),
      initialFile_(std::move(initialFile)) {}

void MainDialogPresenter::initialize() {
  history_.clear();
  for (int index = 0; index < kHistorySize; ++index) {
    std::string path = settings_.readString(kHistorySection, HistoryKey(index));
    if (path.empty()) {
      break;
    }
    history_.push_back(std::move(path));
  }
  view_.setHistory(history_);
  if (!initialFile_.empty()) {
    view_.setFilePath(initialFile_);
  } else if (!history_.empty()) {
    view_.selectHistoryEntry(0);
  }
  view_.setValueRange(ValueBox::Initial, kMinInitial, kMaxInitial, kMinInitial);
  view_.setValueRange(ValueBox::Step, kMinStep, kMaxStep, kMinStep);
  view_.setAutoNumber(false);
}

std::optional<int> MainDialogPresenter::checkedValue(ValueBox box, int minimum, int maximum,
                                                     int messageId) {
  const int value = ReadDialogInteger(view_.valueText(box));
  if (value >= minimum && value <= maximum) {
    return value;
  }
  view_.setValue(box, minimum);
  view_.showMessage(FormatMessage(messageId), MessageIcon::Information);
  view_.selectValue(box);
  return std::nullopt;
}

void MainDialogPresenter::execute() {
  const std::optional<int> initial =
      checkedValue(ValueBox::Initial, kMinInitial, kMaxInitial, kMessageInitialOutOfRange);
  if (!initial) {
    return;
  }
  const std::optional<int> step =
      checkedValue(ValueBox::Step, kMinStep, kMaxStep, kMessageStepOutOfRange);
  if (!step) {
    return;
  }
  const std::string path = view_.filePath();
  if (path.empty()) {
    return;
  }

  // The path leaves the list now: a file that cannot be read does not come back.
  std::erase(history_, path);
  view_.setHistory(history_);

  JobRequest request;
  request.path = path;
  request.initial = *initial;
  request.step = *step;
  request.mode = view_.autoNumber() ? NumberingMode::ByLibrary : NumberingMode::Plain;
  const LibraryErrorHandler onLibraryError = [this](const std::string& libraryPath) {
    view_.showMessage(FormatMessage(kMessageReadError, libraryPath), MessageIcon::Information);
  };
  const JobResult result = runJob_(request, onLibraryError);

  switch (result.outcome) {
    case JobOutcome::ReadError:
      view_.showMessage(MessageFor(result, path), MessageIcon::None);
      view_.setFilePath({});
      return;
    case JobOutcome::InitialOutOfRange:
    case JobOutcome::StepOutOfRange:
    case JobOutcome::EmptyPath:
      // The values and the path were checked above; the job agrees with the dialog.
      return;
    case JobOutcome::WriteError:
    case JobOutcome::OutOfNumbers:
    case JobOutcome::SharedFile:  // a design of one file never meets itself
    case JobOutcome::Finished:
      break;
  }
  // The file was read, so it stays in the history even when it could not be written:
  // the user will want to try it again.
  history_.insert(history_.begin(), path);
  if (history_.size() > static_cast<size_t>(kHistorySize)) {
    history_.resize(kHistorySize);
  }
  view_.setHistory(history_);
  view_.setFilePath(path);
  const bool failed = result.outcome != JobOutcome::Finished;
  view_.showMessage(MessageFor(result, path),
                    failed ? MessageIcon::Warning : MessageIcon::Information);
}

void MainDialogPresenter::quit() {
  for (int index = 0; index < kHistorySize; ++index) {
    const size_t at = static_cast<size_t>(index);
    settings_.writeString(kHistorySection, HistoryKey(index),
                          at < history_.size() ? history_[at] : std::string());
  }
  view_.close();
}

void MainDialogPresenter::chooseFile() {
  FileChooserOptions options;
  options.filterName = std::string(MessageText(kTextFileType));
  options.filterPattern = "*.CE2";
  options.defaultExtension = "CE2";
  if (std::optional<std::string> chosen = view_.chooseFile(options)) {
    view_.setFilePath(*chosen);
  }
}

void MainDialogPresenter::about() {
  view_.showAbout();
}

}  // namespace kerro
