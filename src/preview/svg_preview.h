#pragma once
// Draws a picture of a run as one self-contained SVG text (no scripts, no external fonts or
// images): a legend, then one panel per sheet in design order, each scaled to its
// components' positions with y growing downwards, as the editor's window draws it.
//
// In a panel each component is a small mark at its place, labelled with its new reference
// and its block as a letter (U3A, U3B). A changed reference is drawn in blue with the old one
// beside it, smaller and struck through. The marks of one package share a colour (fixed by
// the package's reference, so one package has one colour on every sheet) and are joined by
// thin lines; the numbering order of each prefix is a faint line from number to number,
// with an arrow at its start. What the run left alone is grey, with a mark whose shape
// says why; a duplicate is red.
//
// Above kLabelledComponents components in the picture the labels give way to the marks: by
// then the labels of a sheet overlap into a blur, and each label costs about 60 bytes
// where a mark costs about 30, so the file stays a few megabytes. kMaxComponents bounds
// the picture: beyond it a browser no longer opens the file in reasonable time.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "preview/preview_sheets.h"

namespace kerro {

inline constexpr size_t kLabelledComponents = 20000;
inline constexpr size_t kMaxComponents = 200000;

// Turns the bytes of a file's text into UTF-8 (kerro-cli's --encoding); without it the
// bytes are taken as they are. Whatever comes back that is not UTF-8, or is a control
// character, is drawn as \xNN.
using PreviewText = std::function<std::string(std::string_view)>;

// The place of a component in its panel, in picture units from the panel's top left.
struct PanelPoint {
  int x = 0;
  int y = 0;
};

// How a panel maps sheet positions to picture units: one scale for both axes, chosen so
// that the components' extent fills the drawing area (up to a largest scale), and a
// margin for the title and the labels.
class PanelLayout {
 public:
  explicit PanelLayout(std::span<const PreviewComponent> components);

  PanelPoint place(int32_t x, int32_t y) const;
  int width() const { return width_; }
  int height() const { return height_; }

  static constexpr int kTitleHeight = 30;
  static constexpr int kMargin = 24;
  // Labels run to the right of their marks.
  static constexpr int kLabelRoom = 70;

 private:
  int64_t minX_ = 0;
  int64_t minY_ = 0;
  double scale_ = 1;
  int width_ = 0;
  int height_ = 0;
};

std::string DrawPreview(std::span<const PreviewSheet> sheets, const PreviewText& shown = {});

// `text` as XML character data: &, <, > and " as entities; a byte that starts no valid
// UTF-8 character, or a control character, as \xNN.
std::string XmlText(std::string_view text);

}  // namespace kerro
