#include "app/wx/main_dialog_wx.h"

#include <wx/artprov.h>
#include <wx/bitmap.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/dcmemory.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/iconbndl.h>
#include <wx/spinbutt.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <string>
#include <utility>

#include "app/wx/wx_text.h"
#include "renumber/messages.h"

namespace kerro {

namespace {

// Creates a control owned by its parent window: wxWidgets deletes every child with its
// parent, so the control is handed over at once and only a reference is kept.
template <typename Control, typename... Arguments>
Control& MakeChild(wxWindow& parent, Arguments&&... arguments) {
  return *new Control(&parent, std::forward<Arguments>(arguments)...);
}

enum class Width { AtLeastBest, AsGiven };

// Places a control at its dialog-unit rectangle. A height of 0 keeps the control's own
// height. GTK's controls are larger than the Windows ones: one whose text needs more room
// than its box grows to its best size, and none is made lower than GTK allows. An edit
// keeps the width of its box (GTK would make it wide enough for a long text).
void Place(wxWindow& parent, wxWindow& control, int x, int y, int width, int height,
           Width widthRule = Width::AtLeastBest) {
  const wxPoint position = parent.ConvertDialogToPixels(wxPoint(x, y));
  wxSize size = parent.ConvertDialogToPixels(wxSize(width, height));
  const wxSize best = control.GetBestSize();
  if (widthRule == Width::AtLeastBest) {
    size.x = std::max(size.x, best.x);
  }
  size.y = height == 0 ? best.y : std::max(size.y, best.y);
  control.SetSize(wxRect(position, size));
}

wxStaticText& Label(wxWindow& parent, const char* text, int x, int y, int width, int height,
                    long style = 0) {
  auto& control = MakeChild<wxStaticText>(parent, wxID_ANY, wxString::FromUTF8(text),
                                          wxDefaultPosition, wxDefaultSize, style);
  Place(parent, control, x, y, width, height);
  return control;
}

wxButton& Button(wxWindow& parent, int id, const char* text, int x, int y, int width, int height) {
  auto& control = MakeChild<wxButton>(parent, id, wxString::FromUTF8(text));
  Place(parent, control, x, y, width, height);
  return control;
}

// A message box laid out as the Windows one: the icon, the text beside it and an OK button
// centred below. GTK's own box is only as wide as its text, which for "Finished" leaves
// the window manager no room for the caption ("..."); like the Windows box, this one is
// at least as wide as its caption and the title bar's buttons need.
void ShowMessageBox(wxWindow* parent, const wxString& text, const wxString& caption,
                    MessageIcon icon) {
  wxDialog box(parent, wxID_ANY, caption, wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX);
  const wxSize margin = box.ConvertDialogToPixels(wxSize(10, 10));
  wxPoint textAt(margin.x, margin.y);
  int rowHeight = 0;
  if (icon != MessageIcon::None) {
    const wxArtID art = icon == MessageIcon::Information ? wxART_INFORMATION : wxART_WARNING;
    auto& picture =
        MakeChild<wxStaticBitmap>(box, wxID_ANY, wxArtProvider::GetBitmap(art, wxART_MESSAGE_BOX));
    picture.SetSize(wxRect(wxPoint(margin.x, margin.y), picture.GetBestSize()));
    textAt.x += picture.GetSize().x + margin.x;
    rowHeight = picture.GetSize().y;
  }
  auto& message = MakeChild<wxStaticText>(box, wxID_ANY, text);
  const wxSize textSize = message.GetBestSize();
  textAt.y += std::max(0, (rowHeight - textSize.y) / 2);
  message.SetSize(wxRect(textAt, textSize));
  rowHeight = std::max(rowHeight, textSize.y);

  auto& ok = MakeChild<wxButton>(box, wxID_OK, wxString::FromUTF8("OK"));
  const wxSize okSize = wxSize(
      std::max(ok.GetBestSize().x, box.ConvertDialogToPixels(wxSize(50, 0)).x), ok.GetBestSize().y);
  wxFont titleFont = box.GetFont();
  titleFont.MakeBold();  // title bars mostly show the caption in bold
  int captionWidth = 0;
  box.GetTextExtent(caption, &captionWidth, nullptr, nullptr, nullptr, &titleFont);
  const int width = std::max({textAt.x + textSize.x + margin.x, okSize.x + 2 * margin.x,
                              captionWidth + box.ConvertDialogToPixels(wxSize(80, 0)).x});
  const int okTop = margin.y + rowHeight + margin.y;
  ok.SetSize(wxRect(wxPoint((width - okSize.x) / 2, okTop), okSize));
  ok.SetDefault();
  ok.SetFocus();
  box.SetEscapeId(wxID_OK);  // Esc and the close box dismiss it, as Return does
  box.SetClientSize(width, okTop + okSize.y + margin.y);
  box.CentreOnParent();
  box.ShowModal();
}

wxBitmap DrawIcon(int size) {
  wxBitmap bitmap(size, size, 24);
  wxMemoryDC dc(bitmap);
  dc.SetBackground(wxBrush(wxColour(0x1f, 0x4e, 0x79)));
  dc.Clear();
  // A resistor body with its two leads, and a "K" beneath.
  const int unit = std::max(1, size / 16);
  dc.SetPen(wxPen(*wxWHITE, unit));
  dc.SetBrush(*wxTRANSPARENT_BRUSH);
  const int middle = size / 4;
  dc.DrawLine(unit, middle, 4 * unit, middle);
  dc.DrawRectangle(4 * unit, middle - 2 * unit, 8 * unit, 4 * unit);
  dc.DrawLine(12 * unit, middle, size - unit, middle);
  wxFont font(wxFontInfo(wxSize(0, size / 2)).Bold());
  dc.SetFont(font);
  dc.SetTextForeground(*wxWHITE);
  const wxSize extent = dc.GetTextExtent("K");
  dc.DrawText("K", (size - extent.x) / 2, size - extent.y);
  dc.SelectObject(wxNullBitmap);
  return bitmap;
}

}  // namespace

std::string CaseInsensitivePattern(std::string_view pattern) {
  std::string result;
  for (const char c : pattern) {
    const bool lower = c >= 'a' && c <= 'z';
    const bool upper = c >= 'A' && c <= 'Z';
    if (lower || upper) {
      const char other = static_cast<char>(lower ? c - 'a' + 'A' : c - 'A' + 'a');
      result += '[';
      result += lower ? c : other;
      result += lower ? other : c;
      result += ']';
    } else {
      result += c;
    }
  }
  return result;
}

wxIconBundle ApplicationIcons() {
  wxIconBundle icons;
  for (const int size : {32, 16}) {
    wxIcon icon;
    icon.CopyFromBitmap(DrawIcon(size));
    icons.AddIcon(icon);
  }
  return icons;
}

MainDialogWx::MainDialogWx(wxWindow* parent, SettingsStore& settings, JobRunner runJob,
                           std::string initialFile, MainDialogHooks hooks)
    : wxDialog(parent, wxID_ANY, wxString::FromUTF8(kMainDialogCaption), wxDefaultPosition,
               wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxMINIMIZE_BOX | wxDIALOG_NO_PARENT),
      hooks_(std::move(hooks)),
      presenter_(*this, settings, std::move(runJob), std::move(initialFile)) {
  SetIcons(ApplicationIcons());
  createControls();

  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { presenter_.execute(); }, kControlExecute);
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { presenter_.quit(); }, kControlQuit);
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { presenter_.chooseFile(); }, kControlRef);
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { presenter_.about(); }, kControlAbout);
  Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { presenter_.quit(); });
  Bind(
      wxEVT_SPIN, [this](wxSpinEvent& event) { onSpin(ValueBox::Initial, event); },
      kControlInitialSpin);
  Bind(
      wxEVT_SPIN, [this](wxSpinEvent& event) { onSpin(ValueBox::Step, event); }, kControlStepSpin);
  initial_->Bind(wxEVT_KEY_DOWN,
                 [this](wxKeyEvent& event) { onValueKey(ValueBox::Initial, event); });
  step_->Bind(wxEVT_KEY_DOWN, [this](wxKeyEvent& event) { onValueKey(ValueBox::Step, event); });
  Bind(
      wxEVT_TEXT, [this](wxCommandEvent&) { onValueText(ValueBox::Initial); }, kControlInitial);
  Bind(
      wxEVT_TEXT, [this](wxCommandEvent&) { onValueText(ValueBox::Step); }, kControlStep);

  presenter_.initialize();
  file_->SetFocus();
}

void MainDialogWx::createControls() {
  Label(*this, "&File", 8, 5, 34, 9);
  file_ = &MakeChild<wxComboBox>(*this, kControlFile, wxString(), wxDefaultPosition, wxDefaultSize,
                                 0, nullptr, wxCB_DROPDOWN);
  Place(*this, *file_, 5, 20, 154, 0);
  Button(*this, kControlRef, "&Ref...", 165, 19, 35, 15);
  autoNum_ = &MakeChild<wxCheckBox>(*this, kControlAutoNum, wxString::FromUTF8("&Auto num"));
  Place(*this, *autoNum_, 20, 45, 110, 15);

  Label(*this, "&Initial value   1~1000", 5, 70, 75, 15);
  initial_ = &MakeChild<wxTextCtrl>(*this, kControlInitial);
  Place(*this, *initial_, 80, 70, 30, 15, Width::AsGiven);
  initialSpin_ = &MakeChild<wxSpinButton>(*this, kControlInitialSpin, wxDefaultPosition,
                                          wxDefaultSize, wxSP_VERTICAL | wxSP_ARROW_KEYS);
  Label(*this, "&Step value   1~20", 5, 95, 70, 14);
  step_ = &MakeChild<wxTextCtrl>(*this, kControlStep);
  Place(*this, *step_, 80, 96, 30, 15, Width::AsGiven);
  stepSpin_ = &MakeChild<wxSpinButton>(*this, kControlStepSpin, wxDefaultPosition, wxDefaultSize,
                                       wxSP_VERTICAL | wxSP_ARROW_KEYS);
  // Each spin control sits right of its edit, as the Windows up-down control does; GTK's
  // is wider than its 9-unit box, so it starts where the edit ends.
  for (auto [text, arrows] : {std::pair{initial_, initialSpin_}, std::pair{step_, stepSpin_}}) {
    const wxRect box = text->GetRect();
    const wxSize best = arrows->GetBestSize();
    arrows->SetSize(
        wxRect(wxPoint(box.GetRight() + 1, box.y), wxSize(best.x, std::max(box.height, best.y))));
  }

  Button(*this, kControlExecute, "&Execute", 150, 40, 50, 15).SetDefault();
  Button(*this, kControlAbout, "&About", 150, 85, 50, 15);
  Button(*this, kControlQuit, "&Quit", 150, 105, 50, 15);
  SetEscapeId(kControlQuit);

  // The dialog's own box, grown where a control needs more room, and fixed at that size.
  wxSize client = ConvertDialogToPixels(wxSize(210, 127));
  const int margin = ConvertDialogToPixels(wxSize(5, 5)).x;
  for (const wxWindow* child : GetChildren()) {
    const wxRect rect = child->GetRect();
    client.x = std::max(client.x, rect.GetRight() + 1 + margin);
    client.y = std::max(client.y, rect.GetBottom() + 1 + margin);
  }
  SetClientSize(client);
  const wxSize frame = GetSize();
  SetSizeHints(frame, frame);
}

wxTextCtrl* MainDialogWx::edit(ValueBox box) const {
  return box == ValueBox::Initial ? initial_ : step_;
}

wxSpinButton* MainDialogWx::spin(ValueBox box) const {
  return box == ValueBox::Initial ? initialSpin_ : stepSpin_;
}

void MainDialogWx::onSpin(ValueBox box, wxSpinEvent& event) {
  edit(box)->ChangeValue(std::to_string(event.GetPosition()));
}

// The arrow keys in an edit move its spin control, as the Windows up-down control's do.
void MainDialogWx::onValueKey(ValueBox box, wxKeyEvent& event) {
  const int key = event.GetKeyCode();
  int direction = 0;
  if (key == WXK_UP || key == WXK_NUMPAD_UP) {
    direction = 1;
  } else if (key == WXK_DOWN || key == WXK_NUMPAD_DOWN) {
    direction = -1;
  } else {
    event.Skip();
    return;
  }
  wxSpinButton* arrows = spin(box);
  const int value = std::clamp(arrows->GetValue() + direction, arrows->GetMin(), arrows->GetMax());
  arrows->SetValue(value);
  edit(box)->ChangeValue(std::to_string(value));
  edit(box)->SetInsertionPointEnd();
}

// The spin control follows a number typed into its edit, so that the arrows go on from it.
void MainDialogWx::onValueText(ValueBox box) {
  const int value = ReadDialogInteger(FromWxString(edit(box)->GetValue()));
  wxSpinButton* arrows = spin(box);
  if (value >= arrows->GetMin() && value <= arrows->GetMax()) {
    arrows->SetValue(value);
  }
}

void MainDialogWx::setHistory(const std::vector<std::string>& entries) {
  const wxString text = file_->GetValue();
  file_->Clear();
  for (const std::string& entry : entries) {
    file_->Append(ToWxString(entry));
  }
  file_->ChangeValue(text);
}

std::string MainDialogWx::filePath() {
  return FromWxString(file_->GetValue());
}

void MainDialogWx::setFilePath(const std::string& path) {
  file_->ChangeValue(ToWxString(path));
  file_->SetInsertionPointEnd();
  file_->SelectNone();
}

void MainDialogWx::selectHistoryEntry(size_t index) {
  file_->SetSelection(static_cast<int>(index));
  file_->SetInsertionPointEnd();
  file_->SelectNone();
}

std::string MainDialogWx::valueText(ValueBox box) {
  return FromWxString(edit(box)->GetValue());
}

void MainDialogWx::setValueRange(ValueBox box, int minimum, int maximum, int value) {
  spin(box)->SetRange(minimum, maximum);
  setValue(box, value);
}

void MainDialogWx::setValue(ValueBox box, int value) {
  wxSpinButton* arrows = spin(box);
  arrows->SetValue(std::clamp(value, arrows->GetMin(), arrows->GetMax()));
  edit(box)->ChangeValue(std::to_string(value));
}

void MainDialogWx::selectValue(ValueBox box) {
  wxTextCtrl* text = edit(box);
  text->SetFocus();
  // GTK puts the caret at the end of the selection, which keeps it in view.
  text->SelectAll();
}

bool MainDialogWx::autoNumber() {
  return autoNum_->GetValue();
}

void MainDialogWx::setAutoNumber(bool checked) {
  autoNum_->SetValue(checked);
}

void MainDialogWx::showMessage(const std::string& text, MessageIcon icon) {
  if (hooks_.showMessage) {
    hooks_.showMessage(text, icon);
    return;
  }
  ShowMessageBox(this, ToWxString(text), ToWxString(MessageText(kTextProgramName)), icon);
}

std::optional<std::string> MainDialogWx::chooseFile(const FileChooserOptions& options) {
  if (hooks_.chooseFile) {
    return hooks_.chooseFile(options);
  }
  const wxString filter =
      ToWxString(options.filterName + "|" + CaseInsensitivePattern(options.filterPattern));
  // The chooser opens in the folder of the file in the box, with that file's name filled
  // in; with an empty box, in the current folder.
  wxString folder;
  wxString name;
  if (const std::string current = filePath(); !current.empty()) {
    wxFileName file(ToWxString(current));
    file.MakeAbsolute();
    folder = file.GetPath();
    name = file.GetFullName();
  }
  wxFileDialog chooser(this, wxFileSelectorPromptStr, folder, name, filter,
                       wxFD_OPEN | wxFD_FILE_MUST_EXIST);
  if (chooser.ShowModal() != wxID_OK) {
    return std::nullopt;
  }
  return FromWxString(chooser.GetPath());
}

void MainDialogWx::showAbout() {
  if (hooks_.showAbout) {
    hooks_.showAbout();
    return;
  }
  wxDialog about(this, wxID_ANY, wxString::FromUTF8(kAboutCaption));
  Place(about, MakeChild<wxStaticBitmap>(about, wxID_ANY, DrawIcon(32)), 10, 10, 20, 20);
  Label(about, KERRO_ABOUT_VERSION_TEXT, 40, 10, 73, 8, wxST_NO_AUTORESIZE);
  Button(about, wxID_OK, "OK", 157, 5, 32, 14).SetDefault();
  Label(about, "Renumbers part references.", 40, 25, 132, 8);
  Label(about, "Keeps a backup of every file.", 25, 40, 145, 8,
        wxALIGN_CENTRE_HORIZONTAL | wxST_NO_AUTORESIZE);
  Label(about, "Made by the Kerro project.", 25, 55, 145, 8,
        wxALIGN_CENTRE_HORIZONTAL | wxST_NO_AUTORESIZE);
  about.SetClientSize(about.ConvertDialogToPixels(wxSize(199, 75)));
  about.CentreOnParent();
  about.ShowModal();
}

void MainDialogWx::close() {
  closed_ = true;
  if (IsModal()) {
    EndModal(kControlQuit);
  } else {
    Hide();
  }
}

}  // namespace kerro
