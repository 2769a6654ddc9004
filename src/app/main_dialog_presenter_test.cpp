#include "app/main_dialog_presenter.h"

#include <gtest/gtest.h>

#include <map>

#include "renumber/messages.h"

namespace kerro {
namespace {

// A dialog on paper: what the controls show and every message box, in order.
class FakeView : public MainDialogView {
 public:
  struct Message {
    std::string text;
    MessageIcon icon;
    bool operator==(const Message&) const = default;
  };

  void setHistory(const std::vector<std::string>& entries) override { list = entries; }
  std::string filePath() override { return edit; }
  void setFilePath(const std::string& path) override { edit = path; }
  void selectHistoryEntry(size_t index) override {
    selectedEntry = index;
    edit = list.at(index);
  }
  std::string valueText(ValueBox box) override { return values[box]; }
  void setValueRange(ValueBox box, int minimum, int maximum, int value) override {
    ranges[box] = {minimum, maximum};
    values[box] = std::to_string(value);
  }
  void setValue(ValueBox box, int value) override { values[box] = std::to_string(value); }
  void selectValue(ValueBox box) override { selected = box; }
  bool autoNumber() override { return checked; }
  void setAutoNumber(bool value) override { checked = value; }
  void showMessage(const std::string& text, MessageIcon icon) override {
    messages.push_back({text, icon});
  }
  std::optional<std::string> chooseFile(const FileChooserOptions& options) override {
    chooserOptions = options;
    return chosenFile;
  }
  void showAbout() override { ++aboutShown; }
  void close() override { closed = true; }

  std::vector<std::string> list;
  std::string edit;
  std::optional<size_t> selectedEntry;
  std::map<ValueBox, std::string> values;
  std::map<ValueBox, std::pair<int, int>> ranges;
  std::optional<ValueBox> selected;
  bool checked = true;  // the presenter must clear it
  std::vector<Message> messages;
  std::optional<std::string> chosenFile;
  std::optional<FileChooserOptions> chooserOptions;
  int aboutShown = 0;
  bool closed = false;
};

class MemorySettings : public SettingsStore {
 public:
  std::string readString(std::string_view section, std::string_view key) override {
    auto it = values.find({std::string(section), std::string(key)});
    return it == values.end() ? std::string() : it->second;
  }
  bool writeString(std::string_view section, std::string_view key,
                   std::string_view value) override {
    values[{std::string(section), std::string(key)}] = std::string(value);
    ++writes;
    return true;
  }
  void setHistory(const std::vector<std::string>& paths) {
    for (size_t i = 0; i < paths.size(); ++i) {
      values[{"Recent File List", "File" + std::to_string(i)}] = paths[i];
    }
  }
  std::map<std::pair<std::string, std::string>, std::string> values;
  int writes = 0;
};

// Answers every job with a scripted result and remembers what it was asked.
struct FakeJob {
  JobResult operator()(const JobRequest& request, const LibraryErrorHandler& onLibraryError) {
    requests.push_back(request);
    for (const std::string& library : failingLibraries) {
      onLibraryError(library);
    }
    auto it = results.find(request.path);
    return it == results.end() ? JobResult{} : it->second;
  }
  std::vector<JobRequest> requests;
  std::map<std::string, JobResult> results;
  std::vector<std::string> failingLibraries;
};

using Message = FakeView::Message;

class PresenterTest : public ::testing::Test {
 protected:
  MainDialogPresenter& open(std::vector<std::string> history = {}, std::string initialFile = {}) {
    settings.setHistory(history);
    presenter.emplace(view, settings, std::ref(job), std::move(initialFile));
    presenter->initialize();
    return *presenter;
  }
  void execute(const std::string& path) {
    view.edit = path;
    presenter->execute();
  }

  FakeView view;
  MemorySettings settings;
  FakeJob job;
  std::optional<MainDialogPresenter> presenter;
};

TEST_F(PresenterTest, OpensWithHistoryAndDefaults) {
  open({"C:\\A.CE2", "C:\\B.CE2"});
  EXPECT_EQ(view.list, (std::vector<std::string>{"C:\\A.CE2", "C:\\B.CE2"}));
  EXPECT_EQ(view.selectedEntry, 0u);
  EXPECT_EQ(view.edit, "C:\\A.CE2");
  EXPECT_EQ(view.values[ValueBox::Initial], "1");
  EXPECT_EQ(view.values[ValueBox::Step], "1");
  EXPECT_EQ(view.ranges[ValueBox::Initial], std::make_pair(1, 1000));
  EXPECT_EQ(view.ranges[ValueBox::Step], std::make_pair(1, 20));
  EXPECT_FALSE(view.checked);
  EXPECT_TRUE(view.messages.empty());
  EXPECT_EQ(settings.writes, 0);
}

TEST_F(PresenterTest, HistoryEndsAtTheFirstEmptyKeyAndHasFourEntriesAtMost) {
  settings.values[{"Recent File List", "File0"}] = "A";
  settings.values[{"Recent File List", "File2"}] = "C";
  open();
  EXPECT_EQ(view.list, std::vector<std::string>{"A"});

  MemorySettings five;
  five.setHistory({"1", "2", "3", "4", "5"});
  FakeView other;
  MainDialogPresenter full(other, five, std::ref(job));
  full.initialize();
  EXPECT_EQ(other.list, (std::vector<std::string>{"1", "2", "3", "4"}));
}

TEST_F(PresenterTest, CommandLineFileWinsOverTheHistory) {
  open({"A"}, "D:\\dropped.CE2");
  EXPECT_EQ(view.edit, "D:\\dropped.CE2");
  EXPECT_EQ(view.list, std::vector<std::string>{"A"});
  EXPECT_FALSE(view.selectedEntry.has_value());
}

TEST_F(PresenterTest, EmptyHistoryLeavesTheBoxEmpty) {
  open();
  EXPECT_TRUE(view.list.empty());
  EXPECT_EQ(view.edit, "");
}

TEST_F(PresenterTest, ValuesOutOfRangeAreResetAndReported) {
  struct Case {
    const char* name;
    const char* initial;
    const char* step;
    std::optional<ValueBox> bad;  // empty: the job runs
    int expectedInitial;
    int expectedStep;
  };
  const Case cases[] = {
      {"initial 0", "0", "1", ValueBox::Initial},
      {"initial 1001", "1001", "1", ValueBox::Initial},
      {"initial not a number", "abc", "1", ValueBox::Initial},
      {"initial empty", "", "1", ValueBox::Initial},
      {"initial negative", "-5", "1", ValueBox::Initial},
      {"initial too big for int", "99999999999", "1", ValueBox::Initial},
      {"both bad: initial first", "0", "21", ValueBox::Initial},
      {"step 21", "1", "21", ValueBox::Step},
      {"step 0", "5", "0", ValueBox::Step},
      {"largest accepted", "1000", "20", std::nullopt, 1000, 20},
      {"smallest accepted", "1", "1", std::nullopt, 1, 1},
      {"blanks and trailing text", " 12", "3x", std::nullopt, 12, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    view = FakeView();
    job = FakeJob();
    open({"A", "B"});
    view.values[ValueBox::Initial] = c.initial;
    view.values[ValueBox::Step] = c.step;
    execute("B");
    if (c.bad) {
      const bool initialBad = *c.bad == ValueBox::Initial;
      EXPECT_TRUE(job.requests.empty());
      ASSERT_EQ(view.messages.size(), 1u);
      EXPECT_EQ(view.messages[0], (Message{initialBad ? "Initial value is out of range."
                                                      : "Step value is out of range.",
                                           MessageIcon::Information}));
      EXPECT_EQ(view.values[*c.bad], "1");
      EXPECT_EQ(view.values[initialBad ? ValueBox::Step : ValueBox::Initial],
                initialBad ? c.step : c.initial);
      EXPECT_EQ(view.selected, c.bad);
      EXPECT_EQ(view.list, (std::vector<std::string>{"A", "B"}));
      EXPECT_EQ(view.edit, "B");
    } else {
      ASSERT_EQ(job.requests.size(), 1u);
      EXPECT_EQ(job.requests[0].initial, c.expectedInitial);
      EXPECT_EQ(job.requests[0].step, c.expectedStep);
      EXPECT_EQ(view.messages, (std::vector<Message>{{"Finished", MessageIcon::Information}}));
    }
  }
}

TEST_F(PresenterTest, EmptyPathDoesNothing) {
  open({"A"});
  execute("");
  EXPECT_TRUE(job.requests.empty());
  EXPECT_TRUE(view.messages.empty());
  EXPECT_EQ(view.list, std::vector<std::string>{"A"});
}

TEST_F(PresenterTest, FinishedJobPutsThePathFirstWithoutDuplicates) {
  struct Case {
    const char* name;
    std::vector<std::string> before;
    std::string path;
    std::vector<std::string> after;
  };
  const Case cases[] = {
      {"new path into empty list", {}, "A", {"A"}},
      {"entry 2 moves to the top", {"A", "B", "C", "D"}, "C", {"C", "A", "B", "D"}},
      {"entry 0 stays", {"A", "B"}, "A", {"A", "B"}},
      {"fifth path drops the oldest", {"A", "B", "C", "D"}, "E", {"E", "A", "B", "C"}},
      {"comparison is case-sensitive", {"a.ce2"}, "A.CE2", {"A.CE2", "a.ce2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    view = FakeView();
    settings = MemorySettings();
    job = FakeJob();
    open(c.before);
    execute(c.path);
    ASSERT_EQ(job.requests.size(), 1u);
    EXPECT_EQ(job.requests[0].path, c.path);
    EXPECT_EQ(job.requests[0].mode, NumberingMode::Plain);
    EXPECT_TRUE(job.requests[0].writeFiles);
    EXPECT_EQ(view.list, c.after);
    EXPECT_EQ(presenter->history(), c.after);
    EXPECT_EQ(view.edit, c.path);
    EXPECT_EQ(view.messages, (std::vector<Message>{{"Finished", MessageIcon::Information}}));
    EXPECT_EQ(settings.writes, 0);  // only Quit writes the history
  }
}

TEST_F(PresenterTest, RepeatedRunsNeverExceedFourEntries) {
  open();
  const std::vector<std::string> paths = {"A", "B", "A", "C", "D", "E", "B", "F"};
  for (const std::string& path : paths) {
    execute(path);
  }
  EXPECT_EQ(view.list, (std::vector<std::string>{"F", "B", "E", "D"}));
}

TEST_F(PresenterTest, UnreadableFileLeavesTheHistoryAndClearsTheBox) {
  open({"A", "B", "C"});
  job.results["B"] = JobResult{JobOutcome::ReadError, "B", {}};
  execute("B");
  EXPECT_EQ(view.messages, (std::vector<Message>{{"File read error. \"B\"", MessageIcon::None}}));
  EXPECT_EQ(view.list, (std::vector<std::string>{"A", "C"}));
  EXPECT_EQ(view.edit, "");
}

TEST_F(PresenterTest, WriteErrorNamesTheFileAndKeepsItForAnotherTry) {
  open({"A"});
  job.results["C:\\S.CE2"] = JobResult{JobOutcome::WriteError, "C:\\S.CE2-01", {}};
  execute("C:\\S.CE2");
  EXPECT_EQ(view.messages,
            (std::vector<Message>{{"File write error. \"C:\\S.CE2-01\"", MessageIcon::Warning}}));
  EXPECT_EQ(view.list, (std::vector<std::string>{"C:\\S.CE2", "A"}));
  EXPECT_EQ(view.edit, "C:\\S.CE2");

  view.messages.clear();
  job.results["B"] = JobResult{JobOutcome::WriteError, "", {}};
  execute("B");
  EXPECT_EQ(view.messages,
            (std::vector<Message>{{"File write error. \"B\"", MessageIcon::Warning}}));
}

TEST_F(PresenterTest, APrefixOutOfNumbersIsShownAsAWarning) {
  open();
  JobResult outOfNumbers{JobOutcome::OutOfNumbers, "S.CE2", {}};
  outOfNumbers.shortage = NumberShortage{.prefix = "ABCDEFG"};
  job.results["S.CE2"] = outOfNumbers;
  execute("S.CE2");
  EXPECT_EQ(view.messages, (std::vector<Message>{{"No free reference for \"ABCDEFG\". \"S.CE2\"",
                                                  MessageIcon::Warning}}));
  EXPECT_EQ(view.edit, "S.CE2");
}

TEST_F(PresenterTest, AutoNumUsesTheLibrariesAndReportsEachOneThatFails) {
  open();
  view.checked = true;
  job.failingLibraries = {"C:\\LIB\\ONE.LB3", "C:\\LIB\\TWO.LIB"};
  execute("X.CE2");
  ASSERT_EQ(job.requests.size(), 1u);
  EXPECT_EQ(job.requests[0].mode, NumberingMode::ByLibrary);
  EXPECT_EQ(view.messages, (std::vector<Message>{
                               {"File read error. \"C:\\LIB\\ONE.LB3\"", MessageIcon::Information},
                               {"File read error. \"C:\\LIB\\TWO.LIB\"", MessageIcon::Information},
                               {"Finished", MessageIcon::Information}}));
}

TEST_F(PresenterTest, QuitWritesAllFourKeys) {
  // File3 is never read, as File2 ends the list; Quit still overwrites it.
  settings.values[{"Recent File List", "File3"}] = "stale";
  open({"A", "B"});
  presenter->quit();
  EXPECT_TRUE(view.closed);
  EXPECT_EQ(settings.writes, 4);
  EXPECT_EQ(settings.readString("Recent File List", "File0"), "A");
  EXPECT_EQ(settings.readString("Recent File List", "File1"), "B");
  EXPECT_EQ(settings.readString("Recent File List", "File2"), "");
  EXPECT_EQ(settings.readString("Recent File List", "File3"), "");
  EXPECT_EQ(settings.values.count({"Recent File List", "File3"}), 1u);  // written, not removed
}

TEST_F(PresenterTest, QuitAfterRunsWritesTheNewHistory) {
  open({"A", "B", "C"});
  job.results["C"] = JobResult{JobOutcome::ReadError, "C", {}};
  execute("C");
  execute("D");
  presenter->quit();
  EXPECT_EQ(settings.readString("Recent File List", "File0"), "D");
  EXPECT_EQ(settings.readString("Recent File List", "File1"), "A");
  EXPECT_EQ(settings.readString("Recent File List", "File2"), "B");
  EXPECT_EQ(settings.readString("Recent File List", "File3"), "");
}

TEST_F(PresenterTest, FileChooserFillsTheBoxUnlessCancelled) {
  open({"A"});
  presenter->chooseFile();
  EXPECT_EQ(view.edit, "A");
  ASSERT_TRUE(view.chooserOptions.has_value());
  EXPECT_EQ(view.chooserOptions->filterName, "Tosk Files (*.ce2)");
  EXPECT_EQ(view.chooserOptions->filterPattern, "*.CE2");
  EXPECT_EQ(view.chooserOptions->defaultExtension, "CE2");

  view.chosenFile = "C:\\work\\NEW.CE2";
  presenter->chooseFile();
  EXPECT_EQ(view.edit, "C:\\work\\NEW.CE2");
  EXPECT_EQ(view.list, std::vector<std::string>{"A"});
  EXPECT_TRUE(job.requests.empty());
}

TEST_F(PresenterTest, AboutShowsTheAboutBox) {
  open();
  presenter->about();
  EXPECT_EQ(view.aboutShown, 1);
  EXPECT_TRUE(view.messages.empty());
}

TEST(ReadDialogInteger, ReadsLikeTheDialogManager) {
  struct Case {
    const char* text;
    int expected;
  };
  const Case cases[] = {
      {"12", 12},
      {"  7", 7},
      {"\t8", 8},
      {"-3", -3},
      {"+4", 4},
      {"12abc", 12},
      {"1,000", 1},
      {"abc", 0},
      {"", 0},
      {"-", 0},
      {"- 1", 0},
      {" ", 0},
      {"2147483647", 2147483647},
      {"2147483648", 0},
      {"-2147483648", -2147483647 - 1},
      {"-2147483649", 0},
      {"000000000000000000000005", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ReadDialogInteger(c.text), c.expected);
  }
}

}  // namespace
}  // namespace kerro
