// Drives the Linux dialog on a real display (Xvfb in CI): the controls are the dialog's own,
// filled in and clicked as the toolkit delivers clicks; message boxes, the file chooser
// and the About box go through the view's hooks, so that the test reads what they show.

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/evtloop.h>
#include <wx/spinbutt.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/settings_store.h"
#include "app/wx/main_dialog_wx.h"
#include "app/wx/wx_text.h"
#include "platform/file_system.h"
#include "platform/profile.h"
#include "schematic/schematic_document.h"
#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::SchematicBuilder;
using testing::TempFolder;

struct Message {
  std::string text;
  MessageIcon icon;
  bool operator==(const Message&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Message& message) {
  return out << '"' << message.text << "\" icon " << static_cast<int>(message.icon);
}

// Runs the toolkit's events until `done` holds, for at most five seconds.
template <typename Condition>
bool WaitFor(Condition done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    wxTheApp->Yield(true);
    wxMilliSleep(5);
  }
  return true;
}

std::vector<uint8_t> TwoResistors() {
  SchematicBuilder builder;
  builder.header()
      .component({.packageTag = "T", .reference = "R7", .partName = "RES"})
      .component({.x = 10, .packageTag = "T", .reference = "R3", .partName = "RES"});
  return builder.bytes();
}

std::vector<std::string> References(const std::string& path) {
  SchematicDocument document;
  std::vector<std::string> references;
  if (document.load(testing::RealFiles(), path)) {
    for (const ComponentEntry& entry : document.entries()) {
      references.emplace_back(entry.reference());
    }
  }
  return references;
}

class MainDialogWxTest : public ::testing::Test {
 protected:
  MainDialogWxTest() : settings_(testing::RealFiles(), folder_.file("KERRO.INI")) {}

  // Opens the dialog on screen and waits until the toolkit shows it.
  void open(std::string initialFile = {}) {
    MainDialogHooks hooks;
    hooks.showMessage = [this](const std::string& text, MessageIcon icon) {
      messages_.push_back({text, icon});
    };
    hooks.chooseFile = [this](const FileChooserOptions& options) {
      chooserOptions_ = options;
      return chosenFile_;
    };
    hooks.showAbout = [this] { ++aboutShown_; };
    const JobRunner runJob = [](const JobRequest& request,
                                const LibraryErrorHandler& onLibraryError) {
      JobContext context{testing::RealFiles(), onLibraryError};
      return RenumberJob(request, context);
    };
    dialog_.emplace(nullptr, settings_, runJob, std::move(initialFile), std::move(hooks));
    dialog_->Show();
    ASSERT_TRUE(WaitFor([this] { return dialog_->IsShownOnScreen(); }));
  }

  template <typename Control>
  Control& control(int id) {
    auto* found = dynamic_cast<Control*>(dialog_->FindWindow(id));
    if (found == nullptr) {
      ADD_FAILURE() << "no control " << id;
      std::abort();
    }
    return *found;
  }

  wxComboBox& fileBox() { return control<wxComboBox>(kControlFile); }
  wxTextCtrl& initialEdit() { return control<wxTextCtrl>(kControlInitial); }
  wxTextCtrl& stepEdit() { return control<wxTextCtrl>(kControlStep); }

  // A click on a button, delivered as the toolkit delivers one.
  void click(int id) {
    auto& button = control<wxButton>(id);
    ASSERT_TRUE(button.IsEnabled());
    wxCommandEvent event(wxEVT_BUTTON, id);
    event.SetEventObject(&button);
    button.HandleWindowEvent(event);
    wxTheApp->Yield(true);
  }

  std::vector<std::string> history() {
    std::vector<std::string> entries;
    for (unsigned int i = 0; i < fileBox().GetCount(); ++i) {
      entries.push_back(FromWxString(fileBox().GetString(i)));
    }
    return entries;
  }

  std::string setting(const std::string& key) {
    return ReadProfileString(testing::RealFiles(), settings_.file(), "Recent File List", key,
                             "<missing>");
  }

  TempFolder folder_;
  ProfileSettingsStore settings_;
  std::optional<MainDialogWx> dialog_;
  std::vector<Message> messages_;
  std::optional<FileChooserOptions> chooserOptions_;
  std::optional<std::string> chosenFile_;
  int aboutShown_ = 0;
};

TEST_F(MainDialogWxTest, OpensWithTheLayoutAndDefaults) {
  ASSERT_TRUE(WriteProfileString(testing::RealFiles(), settings_.file(), "Recent File List",
                                 "File0", "/a/B.CE2"));
  open();
  EXPECT_EQ(FromWxString(dialog_->GetTitle()), "Kerro Ver.0.91e");
  EXPECT_EQ(FromWxString(fileBox().GetValue()), "/a/B.CE2");
  EXPECT_EQ(fileBox().GetSelection(), 0);
  EXPECT_EQ(FromWxString(initialEdit().GetValue()), "1");
  EXPECT_EQ(FromWxString(stepEdit().GetValue()), "1");
  EXPECT_FALSE(control<wxCheckBox>(kControlAutoNum).GetValue());
  EXPECT_EQ(control<wxSpinButton>(kControlInitialSpin).GetMax(), 1000);
  EXPECT_EQ(control<wxSpinButton>(kControlStepSpin).GetMax(), 20);
  EXPECT_EQ(dialog_->GetDefaultItem(), &control<wxButton>(kControlExecute));
  EXPECT_FALSE(dialog_->HasFlag(wxRESIZE_BORDER));
  EXPECT_FALSE(dialog_->HasFlag(wxMAXIMIZE_BOX));

  // No two controls overlap, and every one lies inside the dialog.
  const wxRect client(wxPoint(0, 0), dialog_->GetClientSize());
  const wxWindowList& children = dialog_->GetChildren();
  for (auto first = children.begin(); first != children.end(); ++first) {
    const wxRect rect = (*first)->GetRect();
    SCOPED_TRACE(FromWxString((*first)->GetLabel()) + " id " + std::to_string((*first)->GetId()));
    EXPECT_TRUE(client.Contains(rect));
    for (auto second = std::next(first); second != children.end(); ++second) {
      EXPECT_FALSE(rect.Intersects((*second)->GetRect())) << "overlaps id " << (*second)->GetId();
    }
  }
}

TEST_F(MainDialogWxTest, CommandLineFileTakesTheFirstHistoryEntrysPlace) {
  ASSERT_TRUE(WriteProfileString(testing::RealFiles(), settings_.file(), "Recent File List",
                                 "File0", "/a/B.CE2"));
  open("/c/D.CE2");
  EXPECT_EQ(FromWxString(fileBox().GetValue()), "/c/D.CE2");
  EXPECT_EQ(history(), std::vector<std::string>{"/a/B.CE2"});
}

TEST_F(MainDialogWxTest, GoodFileIsRenumberedAndBecomesHistoryEntryZero) {
  const std::string path = folder_.file("BOARD.CE2");
  testing::WriteBytes(path, TwoResistors());
  ASSERT_TRUE(WriteProfileString(testing::RealFiles(), settings_.file(), "Recent File List",
                                 "File0", "/x/OLD.CE2"));
  open();
  fileBox().SetValue(ToWxString(path));
  click(kControlExecute);

  EXPECT_EQ(messages_, (std::vector<Message>{{"Finished", MessageIcon::Information}}));
  // Plain numbering goes by the present numbers: R3 becomes R1, R7 becomes R2.
  EXPECT_EQ(References(path), (std::vector<std::string>{"R2", "R1"}));
  EXPECT_EQ(testing::ReadBytes(folder_.file("BOARD.$E2")), TwoResistors());
  EXPECT_EQ(history(), (std::vector<std::string>{path, "/x/OLD.CE2"}));
  EXPECT_EQ(FromWxString(fileBox().GetValue()), path);
}

TEST_F(MainDialogWxTest, MissingFileIsReportedAndLeavesTheHistory) {
  const std::string missing = folder_.file("GONE.CE2");
  ASSERT_TRUE(WriteProfileString(testing::RealFiles(), settings_.file(), "Recent File List",
                                 "File0", missing));
  ASSERT_TRUE(WriteProfileString(testing::RealFiles(), settings_.file(), "Recent File List",
                                 "File1", "/x/OLD.CE2"));
  open();
  ASSERT_EQ(FromWxString(fileBox().GetValue()), missing);
  click(kControlExecute);

  EXPECT_EQ(messages_,
            (std::vector<Message>{{"File read error. \"" + missing + "\"", MessageIcon::None}}));
  EXPECT_EQ(FromWxString(fileBox().GetValue()), "");
  EXPECT_EQ(history(), std::vector<std::string>{"/x/OLD.CE2"});
  EXPECT_EQ(folder_.list(), std::vector<std::string>{"KERRO.INI"});
}

TEST_F(MainDialogWxTest, OutOfRangeValuesAreResetAndNothingRuns) {
  struct Case {
    const char* name;
    int edit;
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"initial 0", kControlInitial, "0", "Initial value is out of range."},
      {"initial 1001", kControlInitial, "1001", "Initial value is out of range."},
      {"initial not a number", kControlInitial, "abc", "Initial value is out of range."},
      {"step 21", kControlStep, "21", "Step value is out of range."},
  };
  const std::string path = folder_.file("BOARD.CE2");
  testing::WriteBytes(path, TwoResistors());
  open(path);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    messages_.clear();
    auto& edit = control<wxTextCtrl>(c.edit);
    edit.SetValue(c.text);
    click(kControlExecute);
    EXPECT_EQ(messages_, (std::vector<Message>{{c.message, MessageIcon::Information}}));
    EXPECT_EQ(FromWxString(edit.GetValue()), "1");
    long from = 0;
    long to = 0;
    edit.GetSelection(&from, &to);
    EXPECT_EQ(from, 0);
    EXPECT_EQ(to, 1);
    EXPECT_EQ(testing::ReadBytes(path), TwoResistors());
    EXPECT_TRUE(history().empty());
  }
}

TEST_F(MainDialogWxTest, LargestValuesAreAccepted) {
  const std::string path = folder_.file("BOARD.CE2");
  testing::WriteBytes(path, TwoResistors());
  open(path);
  initialEdit().SetValue("1000");
  stepEdit().SetValue("20");
  click(kControlExecute);
  EXPECT_EQ(messages_, (std::vector<Message>{{"Finished", MessageIcon::Information}}));
  EXPECT_EQ(References(path), (std::vector<std::string>{"R1020", "R1000"}));
}

TEST_F(MainDialogWxTest, QuitWritesTheHistoryAndCloses) {
  const std::string path = folder_.file("BOARD.CE2");
  testing::WriteBytes(path, TwoResistors());
  ASSERT_TRUE(WriteProfileString(testing::RealFiles(), settings_.file(), "Recent File List",
                                 "File0", "/x/OLD.CE2"));
  open(path);
  click(kControlExecute);
  ASSERT_EQ(history(), (std::vector<std::string>{path, "/x/OLD.CE2"}));
  click(kControlQuit);

  EXPECT_TRUE(dialog_->closed());
  EXPECT_TRUE(WaitFor([this] { return !dialog_->IsShown(); }));
  EXPECT_EQ(setting("File0"), path);
  EXPECT_EQ(setting("File1"), "/x/OLD.CE2");
  // The unused keys are written empty, not left out.
  EXPECT_EQ(setting("File2"), "");
  EXPECT_EQ(setting("File3"), "");
}

TEST_F(MainDialogWxTest, CloseBoxQuitsAsQuitDoes) {
  ASSERT_TRUE(WriteProfileString(testing::RealFiles(), settings_.file(), "Recent File List",
                                 "File0", "/x/OLD.CE2"));
  open();
  dialog_->Close();
  EXPECT_TRUE(dialog_->closed());
  EXPECT_EQ(setting("File0"), "/x/OLD.CE2");
  EXPECT_EQ(setting("File3"), "");
}

TEST_F(MainDialogWxTest, RefPutsTheChosenFileIntoTheBox) {
  open("/a/B.CE2");
  chosenFile_ = "/c/D.CE2";
  click(kControlRef);
  ASSERT_TRUE(chooserOptions_.has_value());
  EXPECT_EQ(chooserOptions_->filterName + "|" + chooserOptions_->filterPattern,
            "Tosk Files (*.ce2)|*.CE2");
  EXPECT_EQ(FromWxString(fileBox().GetValue()), "/c/D.CE2");

  chosenFile_.reset();
  click(kControlRef);
  EXPECT_EQ(FromWxString(fileBox().GetValue()), "/c/D.CE2");

  click(kControlAbout);
  EXPECT_EQ(aboutShown_, 1);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(MainDialogWxTest, SpinControlsFollowTheirEdits) {
  open();
  auto& spin = control<wxSpinButton>(kControlInitialSpin);
  initialEdit().SetValue("250");
  EXPECT_EQ(spin.GetValue(), 250);
  // Out of range, the arrows keep their position; Execute will report the text.
  initialEdit().SetValue("5000");
  EXPECT_EQ(spin.GetValue(), 250);

  spin.SetValue(251);
  wxSpinEvent event(wxEVT_SPIN, kControlInitialSpin);
  event.SetEventObject(&spin);
  event.SetPosition(251);
  spin.HandleWindowEvent(event);
  EXPECT_EQ(FromWxString(initialEdit().GetValue()), "251");

  // The arrow keys in the edit step the value within the range.
  const auto key = [this](int code) {
    wxKeyEvent press(wxEVT_KEY_DOWN);
    press.m_keyCode = code;
    press.SetEventObject(&initialEdit());
    initialEdit().HandleWindowEvent(press);
  };
  key(WXK_UP);
  EXPECT_EQ(FromWxString(initialEdit().GetValue()), "252");
  initialEdit().SetValue("1");
  key(WXK_DOWN);
  EXPECT_EQ(FromWxString(initialEdit().GetValue()), "1");
  initialEdit().SetValue("1000");
  key(WXK_UP);
  EXPECT_EQ(FromWxString(initialEdit().GetValue()), "1000");
  EXPECT_EQ(spin.GetValue(), 1000);
}

TEST(CaseInsensitivePatternTest, MatchesLettersInEitherCase) {
  struct Case {
    const char* name;
    const char* pattern;
    const char* expected;
  };
  const Case cases[] = {
      {"the schematic filter", "*.CE2", "*.[cC][eE]2"},
      {"lower case", "*.lb3", "*.[lL][bB]3"},
      {"no letters", "*.*", "*.*"},
      {"empty", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CaseInsensitivePattern(c.pattern), c.expected);
  }
}

TEST(WxTextTest, BytesSurviveTheToolkitsStrings) {
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"ascii", "/home/a/BOARD.CE2"},
      {"utf-8", "/home/a/Schaltplan \xc3\xa4\xc3\xb6.CE2"},
      {"latin-1 bytes", "/home/a/Pl\xe4ne/\xc4.CE2"},
      {"a lone continuation byte", "/x\x80y"},
      {"empty", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FromWxString(ToWxString(c.bytes)), c.bytes);
  }
  EXPECT_EQ(ToWxString("\xc3\xa4"), wxString(L"\u00e4"));
}

}  // namespace
}  // namespace kerro

// Outside the unnamed namespace, as in wx_main.cpp: clang reports the wxGetApp() that
// wxIMPLEMENT_APP_NO_MAIN defines for a class of this file alone.
class TestApp final : public wxApp {
 public:
  bool OnInit() override { return true; }
};

wxIMPLEMENT_APP_NO_MAIN(TestApp);

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
    std::fprintf(stderr, "kerro_wx_test: the toolkit cannot start (no display?)\n");
    return 1;
  }
  int status = 0;
  {
    // Yield needs an active event loop; the dialogs never run one of their own here.
    wxGUIEventLoop loop;
    wxEventLoopActivator active(&loop);
    status = RUN_ALL_TESTS();
  }
  wxTheApp->OnExit();
  wxEntryCleanup();
  return status;
}
