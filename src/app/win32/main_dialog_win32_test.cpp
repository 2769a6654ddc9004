// Drives the real dialog: the program's resources, its dialog procedure, the presenter and
// the real renumbering job on the disk. A CBT hook on this thread sees every dialog and
// message box come up; it starts the script once the main dialog shows and records and
// dismisses every box the script causes.

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>

#include "app/settings_store.h"
#include "app/win32/main_dialog_win32.h"
#include "app/win32/resource.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/process_paths.h"
#include "platform/profile.h"
#include "platform/windows/win32_handle.h"
#include "renumber/messages.h"
#include "renumber/renumber_job.h"
#include "schematic/schematic_document.h"
#include "testing/test_support.h"

namespace kerro {
namespace {

using testing::ComponentRecord;
using testing::ReadBytes;
using testing::SchematicBuilder;
using testing::TempFolder;
using testing::WriteBytes;

constexpr char kCaption[] = "Kerro Ver.0.91e";

std::string TextOf(HWND window) {
  char buffer[1024] = {};
  ::SendMessageA(window, WM_GETTEXT, sizeof(buffer), reinterpret_cast<LPARAM>(buffer));
  return buffer;
}

std::string ClassOf(HWND window) {
  char buffer[64] = {};
  ::GetClassNameA(window, buffer, sizeof(buffer));
  return buffer;
}

// A box that came up while the dialog ran.
struct Box {
  std::string caption;
  std::string text;
  MessageIcon icon = MessageIcon::None;
  bool operator==(const Box&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Box& box) {
  return out << "[" << box.caption << "] \"" << box.text << "\" icon "
             << static_cast<int>(box.icon);
}

// Which of the system's icons a message box shows, if any.
MessageIcon IconOf(HWND box) {
  for (int id : {0x14, 0x440}) {  // the icon's id on Windows, and on Wine
    HWND control = ::GetDlgItem(box, id);
    if (control == nullptr) {
      continue;
    }
    const auto icon = reinterpret_cast<HICON>(::SendMessageA(control, STM_GETICON, 0, 0));
    if (icon != nullptr && icon == ::LoadIconA(nullptr, IDI_INFORMATION)) {
      return MessageIcon::Information;
    }
    if (icon != nullptr && icon == ::LoadIconA(nullptr, IDI_WARNING)) {
      return MessageIcon::Warning;
    }
  }
  return MessageIcon::None;
}

class DialogDriver {
 public:
  using Script = std::function<void(HWND dialog)>;

  // Runs the dialog until it closes; `script` runs on this thread once it is shown.
  void run(SettingsStore& settings, const Script& script, std::string initialFile = {}) {
    script_ = script;
    current_ = this;
    HHOOK hook = ::SetWindowsHookExA(WH_CBT, cbtHook, nullptr, ::GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    const JobRunner runJob = [](const JobRequest& request, const LibraryErrorHandler& handler) {
      JobContext context{testing::RealFiles(), handler};
      return RenumberJob(request, context);
    };
    RunMainDialog(::GetModuleHandleA(nullptr), settings, runJob, std::move(initialFile));
    ::UnhookWindowsHookEx(hook);
    current_ = nullptr;
  }

  // Every box that came up, in order; each was dismissed with its default button.
  std::vector<Box> boxes;
  // Called with each box before it is dismissed; returns the button that dismisses it.
  std::function<int(HWND box)> answer = [](HWND) { return IDOK; };

 private:
  static LRESULT CALLBACK cbtHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && current_ != nullptr) {
      current_->activated(reinterpret_cast<HWND>(wParam));
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
  }

  static void CALLBACK timerTick(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    DialogDriver* driver = current_;
    driver->script_(driver->dialog_);
    // A script that forgot to quit must not leave the test hanging.
    if (::IsWindowVisible(driver->dialog_)) {
      ADD_FAILURE() << "the script left the dialog open";
      ::EndDialog(driver->dialog_, IDCANCEL);
    }
  }

  void activated(HWND window) {
    if (ClassOf(window) != "#32770") {
      return;
    }
    if (dialog_ == nullptr && TextOf(window) == kCaption) {
      dialog_ = window;
      ::SetTimer(nullptr, 0, 10, timerTick);
    } else if (window != dialog_ && dialog_ != nullptr) {
      boxes.push_back({TextOf(window), TextOf(::GetDlgItem(window, 0xFFFF)), IconOf(window)});
      ::PostMessageA(window, WM_COMMAND, static_cast<WPARAM>(answer(window)), 0);
    }
  }

  static inline DialogDriver* current_ = nullptr;
  Script script_;
  HWND dialog_ = nullptr;
};

// What a user does and sees in the dialog.
void SetText(HWND dialog, int id, const std::string& text) {
  ::SetDlgItemTextA(dialog, id, text.c_str());
}
std::string Text(HWND dialog, int id) {
  return TextOf(::GetDlgItem(dialog, id));
}
void Click(HWND dialog, int id) {
  ::SendMessageA(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

std::vector<std::string> HistoryList(HWND dialog) {
  HWND combo = ::GetDlgItem(dialog, IDC_FILE);
  std::vector<std::string> entries;
  const auto count = ::SendMessageA(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    char buffer[1024] = {};
    ::SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer));
    entries.emplace_back(buffer);
  }
  return entries;
}

// The index of the list entry selected in the file box, or -1.
LRESULT SelectedEntry(HWND dialog) {
  return ::SendDlgItemMessageA(dialog, IDC_FILE, CB_GETCURSEL, 0, 0);
}

std::string History(const std::string& iniFile, int index) {
  return ReadProfileString(testing::RealFiles(), iniFile, "Recent File List",
                           "File" + std::to_string(index), "<none>");
}

std::vector<std::string> References(const std::string& path) {
  SchematicDocument document;
  std::vector<std::string> result;
  if (document.load(testing::RealFiles(), path)) {
    for (const ComponentEntry& entry : document.entries()) {
      result.emplace_back(entry.reference());
    }
  }
  return result;
}

std::vector<uint8_t> TwoResistors() {
  return SchematicBuilder()
      .header()
      .component({.x = 100, .y = 100, .packageTag = "A", .reference = "R7", .partName = "RES"})
      .fixedRecord(3)
      .component({.x = 200, .y = 100, .packageTag = "B", .reference = "R3", .partName = "RES"})
      .bytes();
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS};
    ::InitCommonControlsEx(&controls);
  }

  TempFolder folder;
  std::string ini = folder.file("KERRO.INI");
  ProfileSettingsStore settings{testing::RealFiles(), ini};
  DialogDriver driver;
};

TEST_F(DialogTest, GoodFileIsRenumberedAndComesFirstInTheHistory) {
  const std::string path = folder.file("SHEET.CE2");
  const std::vector<uint8_t> original = TwoResistors();
  WriteBytes(path, original);
  WriteProfileString(testing::RealFiles(), ini, "Recent File List", "File0", "C:\\OLD.CE2");

  driver.run(settings, [&](HWND dialog) {
    EXPECT_EQ(Text(dialog, IDC_FILE), "C:\\OLD.CE2");
    EXPECT_EQ(SelectedEntry(dialog), 0);
    SetText(dialog, IDC_FILE, path);
    Click(dialog, IDOK);
    EXPECT_EQ(driver.boxes, (std::vector<Box>{{"Kerro", "Finished", MessageIcon::Information}}));
    EXPECT_EQ(Text(dialog, IDC_FILE), path);
    EXPECT_EQ(HistoryList(dialog), (std::vector<std::string>{path, "C:\\OLD.CE2"}));
    Click(dialog, IDCANCEL);
  });

  EXPECT_EQ(References(path), (std::vector<std::string>{"R2", "R1"}));
  EXPECT_EQ(ReadBytes(folder.file("SHEET.$E2")), original);
  EXPECT_EQ(History(ini, 0), path);
  EXPECT_EQ(History(ini, 1), "C:\\OLD.CE2");
  EXPECT_EQ(History(ini, 2), "");
}

TEST_F(DialogTest, MissingFileIsReportedAndLeavesTheHistory) {
  const std::string missing = folder.file("GONE.CE2");
  WriteProfileString(testing::RealFiles(), ini, "Recent File List", "File0", missing);
  WriteProfileString(testing::RealFiles(), ini, "Recent File List", "File1", "C:\\OTHER.CE2");

  driver.run(settings, [&](HWND dialog) {
    EXPECT_EQ(Text(dialog, IDC_FILE), missing);  // entry 0 fills the box
    Click(dialog, IDOK);
    EXPECT_EQ(
        driver.boxes,
        (std::vector<Box>{{"Kerro", "File read error. \"" + missing + "\"", MessageIcon::None}}));
    EXPECT_EQ(Text(dialog, IDC_FILE), "");
    EXPECT_EQ(HistoryList(dialog), std::vector<std::string>{"C:\\OTHER.CE2"});
    Click(dialog, IDCANCEL);
  });

  EXPECT_EQ(folder.list(), std::vector<std::string>{"KERRO.INI"});
  EXPECT_EQ(History(ini, 0), "C:\\OTHER.CE2");
  EXPECT_EQ(History(ini, 1), "");
}

// On double-byte Windows the folder and file names end in the byte of '\\'. Such a file is
// chosen, renumbered, kept in the history, written to KERRO.INI and, at the next start,
// read back as the selected entry 0.
TEST_F(DialogTest, DoubleByteNamesGoThroughTheHistory) {
  KERRO_SKIP_UNLESS_CODE_PAGE_932_NAMES();
  const std::string board = folder.makeFolder(std::string(cp932::kBoardTable)) + "\\";
  const std::string path = board + std::string(cp932::kTable) + ".CE2";
  const std::vector<uint8_t> original = TwoResistors();
  WriteBytes(path, original);
  driver.answer = [&](HWND chooser) {
    ::SetDlgItemTextA(chooser, 0x47C, path.c_str());
    return IDOK;
  };
  driver.run(settings, [&](HWND dialog) {
    Click(dialog, IDC_REF);
    EXPECT_EQ(Text(dialog, IDC_FILE), path);
    Click(dialog, IDOK);
    EXPECT_EQ(HistoryList(dialog), std::vector<std::string>{path});
    Click(dialog, IDCANCEL);
  });
  ASSERT_EQ(driver.boxes.size(), 2u);  // the chooser, then the outcome
  EXPECT_EQ(driver.boxes[1], (Box{"Kerro", "Finished", MessageIcon::Information}));
  EXPECT_EQ(References(path), (std::vector<std::string>{"R2", "R1"}));
  EXPECT_EQ(ReadBytes(board + std::string(cp932::kTable) + ".$E2"), original);
  EXPECT_EQ(History(ini, 0), path);

  ProfileSettingsStore nextStart{testing::RealFiles(), ini};
  DialogDriver again;
  again.run(nextStart, [&](HWND dialog) {
    EXPECT_EQ(Text(dialog, IDC_FILE), path);
    EXPECT_EQ(SelectedEntry(dialog), 0);
    Click(dialog, IDCANCEL);
  });
  EXPECT_TRUE(again.boxes.empty());
}

TEST_F(DialogTest, ValuesOutOfRangeAreResetBeforeAnyFileIsTouched) {
  const std::string path = folder.file("SHEET.CE2");
  WriteBytes(path, TwoResistors());

  driver.run(settings, [&](HWND dialog) {
    SetText(dialog, IDC_FILE, path);
    SetText(dialog, IDC_INITIAL, "0");
    Click(dialog, IDOK);
    EXPECT_EQ(Text(dialog, IDC_INITIAL), "1");
    EXPECT_EQ(::GetFocus(), ::GetDlgItem(dialog, IDC_INITIAL));
    DWORD start = 0;
    DWORD end = 0;
    ::SendDlgItemMessageA(dialog, IDC_INITIAL, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                          reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 1u);  // the whole text is selected

    SetText(dialog, IDC_STEP, "21");
    Click(dialog, IDOK);
    EXPECT_EQ(Text(dialog, IDC_STEP), "1");
    EXPECT_EQ(::GetFocus(), ::GetDlgItem(dialog, IDC_STEP));
    Click(dialog, IDCANCEL);
  });

  EXPECT_EQ(driver.boxes,
            (std::vector<Box>{{"Kerro", "Initial value is out of range.", MessageIcon::Information},
                              {"Kerro", "Step value is out of range.", MessageIcon::Information}}));
  EXPECT_EQ(References(path), (std::vector<std::string>{"R7", "R3"}));
  EXPECT_EQ(folder.list(), (std::vector<std::string>{"KERRO.INI", "SHEET.CE2"}));
}

TEST_F(DialogTest, AutoNumReportsALibraryThatFailsAndGoesOn) {
  const std::string path = folder.file("SHEET.CE2");
  const std::string missing = folder.file("GONE.LB3");
  WriteBytes(path, TwoResistors());
  testing::WriteToskIni(folder.file("TOSK.INI"), {missing});

  driver.run(settings, [&](HWND dialog) {
    SetText(dialog, IDC_FILE, path);
    Click(dialog, IDC_AUTO_NUM);
    EXPECT_EQ(::IsDlgButtonChecked(dialog, IDC_AUTO_NUM), BST_CHECKED);
    Click(dialog, IDOK);
    Click(dialog, IDCANCEL);
  });

  EXPECT_EQ(
      driver.boxes,
      (std::vector<Box>{{"Kerro", "File read error. \"" + missing + "\"", MessageIcon::Information},
                        {"Kerro", "Finished", MessageIcon::Information}}));
  // The job went on after the message: the schematic was renumbered and backed up.
  EXPECT_EQ(folder.list(),
            (std::vector<std::string>{"KERRO.INI", "SHEET.$E2", "SHEET.CE2", "TOSK.INI"}));
}

TEST_F(DialogTest, SpinControlsReachTheirLimitsAndTheJobTakesThem) {
  const std::string path = folder.file("SHEET.CE2");
  WriteBytes(path, TwoResistors());

  driver.run(settings, [&](HWND dialog) {
    SetText(dialog, IDC_FILE, path);
    SetText(dialog, IDC_INITIAL, "999");
    SetText(dialog, IDC_STEP, "20");
    // The up arrow in the initial value's edit steps the spin control.
    HWND edit = ::GetDlgItem(dialog, IDC_INITIAL);
    ::SetFocus(edit);
    for (int i = 0; i < 3; ++i) {  // 999, then 1000 and no further
      ::SendMessageA(edit, WM_KEYDOWN, VK_UP, 0);
      ::SendMessageA(edit, WM_KEYUP, VK_UP, 0);
    }
    EXPECT_EQ(Text(dialog, IDC_INITIAL), "1000");
    Click(dialog, IDOK);
    Click(dialog, IDCANCEL);
  });

  EXPECT_EQ(driver.boxes, (std::vector<Box>{{"Kerro", "Finished", MessageIcon::Information}}));
  EXPECT_EQ(References(path), (std::vector<std::string>{"R1020", "R1000"}));
}

TEST_F(DialogTest, QuitWritesAllFourKeys) {
  const std::string a = folder.file("A.CE2");
  const std::string b = folder.file("B.CE2");
  WriteBytes(a, TwoResistors());
  WriteBytes(b, TwoResistors());
  WriteProfileString(testing::RealFiles(), ini, "Recent File List", "File3",
                     "stale");  // never read: File0 is empty

  driver.run(settings, [&](HWND dialog) {
    EXPECT_EQ(Text(dialog, IDC_FILE), "");
    for (const std::string& path : {a, b, a}) {
      SetText(dialog, IDC_FILE, path);
      Click(dialog, IDOK);
    }
    EXPECT_EQ(HistoryList(dialog), (std::vector<std::string>{a, b}));
    Click(dialog, IDCANCEL);
  });

  EXPECT_EQ(driver.boxes.size(), 3u);
  EXPECT_EQ(History(ini, 0), a);
  EXPECT_EQ(History(ini, 1), b);
  EXPECT_EQ(History(ini, 2), "");  // written empty, not left out
  EXPECT_EQ(History(ini, 3), "");
}

TEST_F(DialogTest, AboutBoxAndEscape) {
  driver.run(settings, [&](HWND dialog) {
    Click(dialog, IDC_ABOUT);
    // Esc, like the close box, quits.
    ::SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  ASSERT_EQ(driver.boxes.size(), 1u);
  EXPECT_EQ(driver.boxes[0].caption, "About Kerro");
  EXPECT_EQ(History(ini, 0), "");
}

TEST_F(DialogTest, RefChoosesAFileAndCancelChangesNothing) {
  const std::string path = folder.file("CHOSEN.CE2");
  WriteBytes(path, TwoResistors());
  int chooserAnswer = IDOK;
  driver.answer = [&](HWND chooser) {
    // The open-file dialog's file name box.
    ::SetDlgItemTextA(chooser, 0x47C, path.c_str());
    return chooserAnswer;
  };
  driver.run(settings, [&](HWND dialog) {
    Click(dialog, IDC_REF);
    EXPECT_EQ(Text(dialog, IDC_FILE), path);
    chooserAnswer = IDCANCEL;
    Click(dialog, IDC_REF);
    EXPECT_EQ(Text(dialog, IDC_FILE), path);
    Click(dialog, IDCANCEL);
  });
  ASSERT_EQ(driver.boxes.size(), 2u);
  EXPECT_EQ(References(path), (std::vector<std::string>{"R7", "R3"}));  // only chosen
}

TEST_F(DialogTest, WindowCannotBeResizedAndShowsItsIconWhenMinimised) {
  driver.run(settings, [&](HWND dialog) {
    const LONG style = ::GetWindowLongA(dialog, GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_TRUE(::GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    ::SendMessageA(dialog, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(::IsIconic(dialog));
    HMENU menu = ::GetSystemMenu(dialog, FALSE);
    for (UINT command : {UINT{SC_SIZE}, UINT{SC_MAXIMIZE}, UINT{SC_RESTORE}}) {
      SCOPED_TRACE(command);
      EXPECT_TRUE(::GetMenuState(menu, command, MF_BYCOMMAND) & MF_GRAYED);
    }
    const auto icon = reinterpret_cast<HICON>(::SendMessageA(dialog, WM_QUERYDRAGICON, 0, 0));
    EXPECT_NE(icon, nullptr);
    EXPECT_EQ(icon, reinterpret_cast<HICON>(::SendMessageA(dialog, WM_GETICON, ICON_BIG, 0)));
    EXPECT_NE(::SendMessageA(dialog, WM_GETICON, ICON_SMALL, 0), 0);
    ::SendMessageA(dialog, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_FALSE(::IsIconic(dialog));
    Click(dialog, IDCANCEL);
  });
}

TEST(DialogResources, StringTableHoldsTheProgramsMessages) {
  for (int id = 102; id <= 108; ++id) {
    SCOPED_TRACE(id);
    char buffer[256] = {};
    ASSERT_GT(
        ::LoadStringA(::GetModuleHandleA(nullptr), static_cast<UINT>(id), buffer, sizeof(buffer)),
        0);
    EXPECT_EQ(std::string(buffer), MessageText(id));
  }
}

// kerro.exe itself: a quoted path with blanks on the command line fills the file box, and
// the KERRO.INI of the current directory is the one read and written.
TEST(DialogProgram, CommandLineFileAndSettingsInTheCurrentDirectory) {
  TempFolder folder;
  const std::string ini = folder.file("KERRO.INI");
  WriteProfileString(testing::RealFiles(), ini, "Recent File List", "File0", "C:\\FIRST.CE2");
  const std::string dropped = folder.file("my sheet.CE2");
  const std::string program = DirectoryOf(ExecutablePath()) + "kerro.exe";
  std::string commandLine = "\"" + program + "\" \"" + dropped + "\"";

  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(::CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                               nullptr, folder.path().c_str(), &startup, &process))
      << program;
  Win32Handle processHandle(process.hProcess);
  Win32Handle threadHandle(process.hThread);

  // The dialog can be found while it is still being set up; it is shown only once its
  // controls are filled, and a busy machine makes that gap visible.
  ::WaitForInputIdle(processHandle.get(), 10000);
  HWND dialog = nullptr;
  for (int attempt = 0; attempt < 200; ++attempt) {
    dialog = ::FindWindowA("#32770", kCaption);
    if (dialog != nullptr && ::IsWindowVisible(dialog)) {
      break;
    }
    ::Sleep(50);
  }
  ASSERT_NE(dialog, nullptr) << "kerro.exe showed no dialog";
  EXPECT_EQ(Text(dialog, IDC_FILE), dropped);
  // The list's texts do not cross the process boundary; its length does.
  EXPECT_EQ(::SendDlgItemMessageA(dialog, IDC_FILE, CB_GETCOUNT, 0, 0), 1);
  ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  ASSERT_EQ(::WaitForSingleObject(processHandle.get(), 10000), WAIT_OBJECT_0);

  EXPECT_EQ(History(ini, 0), "C:\\FIRST.CE2");
  EXPECT_EQ(History(ini, 1), "");  // Quit wrote the file of the current directory
}

}  // namespace
}  // namespace kerro
