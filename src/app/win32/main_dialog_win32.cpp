#include "app/win32/main_dialog_win32.h"

#include <commctrl.h>
#include <commdlg.h>

#include <vector>

#include "app/win32/resource.h"
#include "platform/paths.h"
#include "renumber/messages.h"

namespace kerro {

namespace {

std::string WindowText(HWND window) {
  const int length = ::GetWindowTextLengthA(window);
  if (length <= 0) {
    return {};
  }
  std::vector<char> buffer(static_cast<size_t>(length) + 1);
  const int got = ::GetWindowTextA(window, buffer.data(), length + 1);
  return std::string(buffer.data(), got > 0 ? static_cast<size_t>(got) : 0);
}

int EditId(ValueBox box) {
  return box == ValueBox::Initial ? IDC_INITIAL : IDC_STEP;
}
int SpinId(ValueBox box) {
  return box == ValueBox::Initial ? IDC_INITIAL_SPIN : IDC_STEP_SPIN;
}

LPARAM ToLParam(const void* pointer) {
  return reinterpret_cast<LPARAM>(pointer);
}

// An icon loaded from the program's resources at a given size, destroyed with its owner.
class OwnedIcon {
 public:
  OwnedIcon(HINSTANCE instance, int id, int width, int height)
      : icon_(static_cast<HICON>(::LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_ICON, width,
                                              height, LR_DEFAULTCOLOR))) {}
  OwnedIcon(const OwnedIcon&) = delete;
  OwnedIcon& operator=(const OwnedIcon&) = delete;
  ~OwnedIcon() {
    if (icon_ != nullptr) {
      ::DestroyIcon(icon_);
    }
  }
  HICON get() const { return icon_; }

 private:
  HICON icon_;
};

// Everything one run of the dialog needs, reachable from the dialog procedure.
struct DialogState {
  DialogState(HINSTANCE instance, SettingsStore& settings, JobRunner runJob,
              std::string initialFile)
      : view(instance),
        presenter(view, settings, std::move(runJob), std::move(initialFile)),
        largeIcon(instance, IDI_APPLICATION_LARGE, ::GetSystemMetrics(SM_CXICON),
                  ::GetSystemMetrics(SM_CYICON)),
        smallIcon(instance, IDI_APPLICATION_SMALL, ::GetSystemMetrics(SM_CXSMICON),
                  ::GetSystemMetrics(SM_CYSMICON)) {}

  Win32MainDialogView view;
  MainDialogPresenter presenter;
  OwnedIcon largeIcon;
  OwnedIcon smallIcon;
};

// The window can be neither resized nor maximised; the system menu says so.
void GreySizingCommands(HWND dialog) {
  HMENU menu = ::GetSystemMenu(dialog, FALSE);
  if (menu != nullptr) {
    for (UINT command : {UINT{SC_SIZE}, UINT{SC_MAXIMIZE}, UINT{SC_RESTORE}}) {
      ::EnableMenuItem(menu, command, MF_BYCOMMAND | MF_GRAYED);
    }
  }
}

// Minimised, the dialog shows its icon centred in the client area.
void PaintIcon(HWND dialog, HICON icon) {
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(dialog, &paint);
  ::SendMessageA(dialog, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  ::GetClientRect(dialog, &client);
  const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
  ::DrawIcon(dc, x, y, icon);
  ::EndPaint(dialog, &paint);
}

INT_PTR CALLBACK AboutProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        ::EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      break;
    default:
      break;
  }
  return FALSE;
}

INT_PTR CALLBACK MainProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* state = reinterpret_cast<DialogState*>(lParam);
    ::SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    state->view.attach(dialog);
    ::SendMessageA(dialog, WM_SETICON, ICON_BIG, ToLParam(state->largeIcon.get()));
    ::SendMessageA(dialog, WM_SETICON, ICON_SMALL, ToLParam(state->smallIcon.get()));
    GreySizingCommands(dialog);
    state->presenter.initialize();
    return TRUE;  // the focus goes to the first control
  }
  auto* state = reinterpret_cast<DialogState*>(::GetWindowLongPtrA(dialog, DWLP_USER));
  if (state == nullptr) {
    return FALSE;
  }
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      const int code = HIWORD(wParam);
      if (id == IDOK) {
        state->presenter.execute();
      } else if (id == IDCANCEL) {
        state->presenter.quit();
      } else if (id == IDC_REF && code == BN_CLICKED) {
        state->presenter.chooseFile();
      } else if (id == IDC_ABOUT && code == BN_CLICKED) {
        state->presenter.about();
      } else {
        return FALSE;
      }
      return TRUE;
    }
    case WM_SYSCOMMAND:
      GreySizingCommands(dialog);
      return FALSE;  // default handling carries the command out
    case WM_PAINT:
      if (::IsIconic(dialog)) {
        PaintIcon(dialog, state->largeIcon.get());
        return TRUE;
      }
      return FALSE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(state->largeIcon.get());
    default:
      return FALSE;
  }
}

}  // namespace

void Win32MainDialogView::setHistory(const std::vector<std::string>& entries) {
  HWND combo = item(IDC_FILE);
  // Emptying the list empties the edit field too; keep what the user sees there.
  const std::string text = WindowText(combo);
  ::SendMessageA(combo, CB_RESETCONTENT, 0, 0);
  for (const std::string& entry : entries) {
    ::SendMessageA(combo, CB_ADDSTRING, 0, ToLParam(entry.c_str()));
  }
  setFilePath(text);
}

std::string Win32MainDialogView::filePath() {
  return WindowText(item(IDC_FILE));
}

void Win32MainDialogView::setFilePath(const std::string& path) {
  HWND combo = item(IDC_FILE);
  ::SetWindowTextA(combo, path.c_str());
  ::SendMessageA(combo, CB_SETEDITSEL, 0, MAKELPARAM(0xFFFF, 0));  // start -1: no selection
}

void Win32MainDialogView::selectHistoryEntry(size_t index) {
  HWND combo = item(IDC_FILE);
  ::SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  ::SendMessageA(combo, CB_SETEDITSEL, 0, MAKELPARAM(0xFFFF, 0));  // start -1: no selection
}

std::string Win32MainDialogView::valueText(ValueBox box) {
  return WindowText(item(EditId(box)));
}

void Win32MainDialogView::setValueRange(ValueBox box, int minimum, int maximum, int value) {
  ::SendMessageA(item(SpinId(box)), UDM_SETRANGE32, static_cast<WPARAM>(minimum), maximum);
  setValue(box, value);
}

void Win32MainDialogView::setValue(ValueBox box, int value) {
  ::SendMessageA(item(SpinId(box)), UDM_SETPOS32, 0, value);
  ::SetDlgItemInt(dialog_, EditId(box), static_cast<UINT>(value), TRUE);
}

void Win32MainDialogView::selectValue(ValueBox box) {
  HWND edit = item(EditId(box));
  ::SendMessageA(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
  ::SendMessageA(edit, EM_SETSEL, 0, -1);
  ::SendMessageA(edit, EM_SCROLLCARET, 0, 0);
}

bool Win32MainDialogView::autoNumber() {
  return ::IsDlgButtonChecked(dialog_, IDC_AUTO_NUM) == BST_CHECKED;
}

void Win32MainDialogView::setAutoNumber(bool checked) {
  ::CheckDlgButton(dialog_, IDC_AUTO_NUM, checked ? BST_CHECKED : BST_UNCHECKED);
}

void Win32MainDialogView::showMessage(const std::string& text, MessageIcon icon) {
  UINT style = MB_OK;
  if (icon == MessageIcon::Information) {
    style |= MB_ICONINFORMATION;
  } else if (icon == MessageIcon::Warning) {
    style |= MB_ICONWARNING;
  }
  const std::string caption(MessageText(kTextProgramName));
  ::MessageBoxA(dialog_, text.c_str(), caption.c_str(), style);
}

std::optional<std::string> Win32MainDialogView::chooseFile(const FileChooserOptions& options) {
  std::string filter = options.filterName;
  filter += '\0';
  filter += options.filterPattern;
  filter += '\0';  // the string's own terminator ends the list
  std::vector<char> file(32768, '\0');
  // Open where the file in the box lies, if it names a folder.
  const std::string folder = DirectoryOf(filePath());
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = dialog_;
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  dialog.lpstrDefExt = options.defaultExtension.c_str();
  dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
  if (!::GetOpenFileNameA(&dialog)) {
    return std::nullopt;
  }
  return std::string(file.data());
}

void Win32MainDialogView::showAbout() {
  ::DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_ABOUTBOX), dialog_, AboutProcedure, 0);
}

void Win32MainDialogView::close() {
  ::EndDialog(dialog_, IDCANCEL);
}

void RunMainDialog(HINSTANCE instance, SettingsStore& settings, JobRunner runJob,
                   std::string initialFile) {
  DialogState state(instance, settings, std::move(runJob), std::move(initialFile));
  ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainProcedure, ToLParam(&state));
}

}  // namespace kerro
