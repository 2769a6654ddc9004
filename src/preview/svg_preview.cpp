#include "preview/svg_preview.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <functional>
#include <map>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "renumber/reference.h"

namespace kerro {

namespace {

// The drawing area of a panel at most, and the largest scale: a sheet of three parts close
// together is not blown up to the size of a board.
constexpr double kAreaWidth = 1200;
constexpr double kAreaHeight = 800;
constexpr double kLargestScale = 2;
constexpr int kSmallestPanelWidth = 520;
constexpr int kLabelsAbove = 14;
constexpr int kLabelsBelow = 16;
constexpr int kPanelGap = 16;
constexpr int kLegendHeight = 92;
constexpr int kLegendWidth = 1000;

// Package colours: none of them grey or red, which mean "left alone" and "duplicate".
constexpr std::array<std::string_view, 10> kPalette = {"#1f77b4", "#ff7f0e", "#2ca02c", "#9467bd",
                                                       "#8c564b", "#e377c2", "#17becf", "#bcbd22",
                                                       "#3949ab", "#00897b"};
constexpr std::string_view kGrey = "#9a9a9a";
constexpr std::string_view kRed = "#d50000";

// Fixed by the bytes of the reference alone, so one package has one colour everywhere.
std::string_view PackageColour(std::string_view reference) {
  uint32_t hash = 2166136261u;
  for (char c : reference) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  }
  return kPalette[hash % kPalette.size()];
}

// The mark drawn for a component: its shape says why it was left alone.
std::string_view MarkOf(LeftAloneBecause why) {
  switch (why) {
    case LeftAloneBecause::PowerSymbol:
      return "#p";
    case LeftAloneBecause::Locked:
      return "#l";
    case LeftAloneBecause::Kept:
      return "#k";
    case LeftAloneBecause::NoTagOrReference:
      return "#x";
    case LeftAloneBecause::NotLeftAlone:
      break;
  }
  return "#m";
}

// Blocks as letters, as on the printed sheet: 0 is A, 25 is Z, 26 is AA.
std::string BlockLetters(int block) {
  std::string letters;
  for (int n = block + 1; n > 0; n = (n - 1) / 26) {
    letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
  }
  return letters;
}

// Length of the UTF-8 character that starts `text`, or 0 when it starts none (a stray
// continuation byte, an overlong form, a surrogate, beyond U+10FFFF, cut short) or is one
// that XML does not allow (U+FFFE, U+FFFF).
size_t Utf8CharacterLength(std::string_view text) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  size_t length = 0;
  uint32_t code = 0;
  if (lead < 0x80) {
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07u;
  } else {
    return 0;
  }
  if (text.size() < length) {
    return 0;
  }
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0u) != 0x80u) {
      return 0;
    }
    code = (code << 6) | (byte(i) & 0x3Fu);
  }
  constexpr std::array<uint32_t, 5> kSmallest = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) ||
      code == 0xFFFE || code == 0xFFFF) {
    return 0;
  }
  return length;
}

class SvgText {
 public:
  SvgText& operator<<(std::string_view text) {
    out_ += text;
    return *this;
  }
  SvgText& operator<<(int value) {
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out_.append(digits, end);
    return *this;
  }
  SvgText& operator<<(size_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out_.append(digits, end);
    return *this;
  }
  void point(PanelPoint p) { *this << p.x << "," << p.y << " "; }
  void reserve(size_t bytes) { out_.reserve(bytes); }
  std::string take() { return std::move(out_); }

 private:
  std::string out_;
};

class PreviewDrawing {
 public:
  PreviewDrawing(std::span<const PreviewSheet> sheets, const PreviewText& shown)
      : sheets_(sheets), shown_(shown) {
    for (const PreviewSheet& sheet : sheets) {
      componentCount_ += sheet.components.size();
    }
    labelled_ = componentCount_ <= kLabelledComponents;
  }

  std::string draw() {
    std::vector<PanelLayout> layouts;
    int width = kLegendWidth;
    int height = kLegendHeight;
    for (const PreviewSheet& sheet : sheets_) {
      layouts.emplace_back(sheet.components);
      width = std::max(width, layouts.back().width());
      height += kPanelGap + layouts.back().height();
    }
    // About what a component costs, so that the text grows without copies.
    svg_.reserve(4096 + componentCount_ * (labelled_ ? 110 : 45));
    header(width, height);
    legend();
    int top = kLegendHeight;
    for (size_t s = 0; s < sheets_.size(); ++s) {
      top += kPanelGap;
      panel(sheets_[s], layouts[s], top);
      top += layouts[s].height();
    }
    svg_ << "</svg>\n";
    return svg_.take();
  }

 private:
  std::string text(std::string_view bytes) const {
    return XmlText(shown_ ? std::string_view(shown_(bytes)) : bytes);
  }

  void header(int width, int height) {
    svg_ << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << width << "\" height=\""
         << height << "\" viewBox=\"0 0 " << width << " " << height
         << "\" font-family=\"DejaVu Sans,Verdana,Arial,sans-serif\" font-size=\"10\">\n"
         << "<style>"
            ".f{fill:#fff;stroke:#b0b0b0}.t{font-size:13px;font-weight:bold;fill:#222}"
            ".h{font-size:11px;fill:#222}"
            ".q{fill:none;stroke:#444;stroke-opacity:.3;stroke-width:1;marker-start:url(#a)}"
            ".k{fill:none;stroke-width:.8;stroke-opacity:.8}"
            ".n{fill:#222}.c{fill:#0039cb;font-weight:bold}.g{fill:#8a8a8a}"
            ".d{fill:#d50000;font-weight:bold}"
            ".o{fill:#5c6f9e;font-size:8px}.o text{text-decoration:line-through}"
            "</style>\n"
         << "<defs><marker id=\"a\" viewBox=\"0 0 10 10\" refX=\"2\" refY=\"5\" "
            "markerWidth=\"9\" markerHeight=\"9\" markerUnits=\"userSpaceOnUse\" "
            "orient=\"auto\"><path d=\"M0,0L10,5L0,10z\" fill=\"#444\" "
            "fill-opacity=\".6\"/></marker>"
            "<rect id=\"m\" x=\"-2.5\" y=\"-2.5\" width=\"5\" height=\"5\"/>"
            "<path id=\"p\" d=\"M-3.5,-3L3.5,-3L0,3.5z\"/>"
            "<path id=\"l\" d=\"M0,-3.5L3.5,0L0,3.5L-3.5,0z\"/>"
            "<circle id=\"k\" r=\"3\"/>"
            "<path id=\"x\" d=\"M-3,-3L3,3M-3,3L3,-3\" stroke=\"#9a9a9a\" stroke-width=\"1.4\"/>"
            "</defs>\n"
         << "<rect width=\"100%\" height=\"100%\" fill=\"#f4f4f4\"/>\n";
  }

  void legend() {
    svg_ << "<g class=\"h\"><text class=\"t\" x=\"12\" y=\"20\">kerro-cli preview: "
         << componentCount_ << " components on " << sheets_.size() << " sheets";
    if (!labelled_) {
      svg_ << " (marks only: labels are drawn up to " << kLabelledComponents << " components)";
    }
    svg_
        << "</text>\n"
           "<use href=\"#m\" x=\"18\" y=\"40\" fill=\"#1f77b4\"/>"
           "<text class=\"c\" x=\"26\" y=\"43\" font-size=\"11\">U3B</text>"
           "<g class=\"o\"><text x=\"56\" y=\"43\" font-size=\"9\">U7A</text></g>"
           "<text x=\"80\" y=\"43\">changed: new reference and block, the old one struck "
           "through</text>"
           "<use href=\"#m\" x=\"18\" y=\"60\" fill=\"#2ca02c\"/>"
           "<text class=\"n\" x=\"26\" y=\"63\" font-size=\"11\">R4</text>"
           "<text x=\"80\" y=\"63\">unchanged</text>"
           "<use href=\"#m\" x=\"18\" y=\"80\" fill=\"#d50000\"/>"
           "<text class=\"d\" x=\"26\" y=\"83\" font-size=\"11\">C2</text>"
           "<text x=\"80\" y=\"83\">duplicate the run leaves (as --lint reports it)</text>"
           "<text x=\"480\" y=\"43\">left alone, in grey:</text>"
           "<g fill=\"#9a9a9a\"><use href=\"#p\" x=\"588\" y=\"40\"/>"
           "<use href=\"#l\" x=\"700\" y=\"40\"/><use href=\"#k\" x=\"780\" y=\"40\"/>"
           "<use href=\"#x\" x=\"860\" y=\"40\"/></g>"
           "<text x=\"596\" y=\"43\">power symbol</text><text x=\"708\" y=\"43\">locked</text>"
           "<text x=\"788\" y=\"43\">kept</text><text x=\"868\" y=\"43\">no tag or reference</text>"
           "<polyline class=\"k\" stroke=\"#9467bd\" points=\"480,60 510,56 530,64\"/>"
           "<text x=\"540\" y=\"63\">blocks of one package (one colour per package)</text>"
           "<polyline class=\"q\" points=\"480,80 505,76 530,84\"/>"
           "<text x=\"540\" y=\"83\">numbering order of each prefix, from its arrow</text>"
           "</g>\n";
  }

  void panel(const PreviewSheet& sheet, const PanelLayout& layout, int top) {
    const auto& components = sheet.components;
    svg_ << "<g transform=\"translate(0," << top << ")\">"
         << "<rect class=\"f\" x=\"0.5\" y=\"0.5\" width=\"" << layout.width() - 1 << "\" height=\""
         << layout.height() - 1 << "\"/>"
         << "<text class=\"t\" x=\"10\" y=\"20\">" << text(sheet.file) << ", sheet "
         << sheet.section + 1 << " of " << sheet.sectionCount << ": " << components.size()
         << (components.size() == 1 ? " component" : " components") << "</text>\n";
    std::vector<PanelPoint> places;
    places.reserve(components.size());
    for (const PreviewComponent& component : components) {
      places.push_back(layout.place(component.x, component.y));
    }
    orderLines(components, places);
    packageLines(components, places);
    marks(components, places);
    if (labelled_) {
      labels(components, places);
    }
    svg_ << "</g>\n";
  }

  void polyline(std::span<const size_t> members, std::span<const PanelPoint> places) {
    for (size_t i : members) {
      svg_.point(places[i]);
    }
    svg_ << "\"/>\n";
  }

  // Draws one line through each run of `members` that `samePath` keeps together, once
  // `members` is sorted along the lines.
  template <typename SamePath>
  void linesThrough(std::span<const size_t> members, std::span<const PanelPoint> places,
                    std::string_view start, SamePath samePath,
                    const std::function<std::string_view(size_t)>& stroke = {}) {
    for (size_t i = 0; i < members.size();) {
      size_t end = i + 1;
      while (end < members.size() && samePath(members[i], members[end])) {
        ++end;
      }
      if (end - i > 1) {
        svg_ << start;
        if (stroke) {
          svg_ << " stroke=\"" << stroke(members[i]) << "\"";
        }
        svg_ << " points=\"";
        polyline(members.subspan(i, end - i), places);
      }
      i = end;
    }
  }

  // Per prefix, the components the run numbered, by number (blocks of one package in block
  // order). Sorting an index, where a table per prefix would cost a node per component.
  void orderLines(std::span<const PreviewComponent> components,
                  std::span<const PanelPoint> places) {
    std::vector<SplitResult> splits;
    splits.reserve(components.size());
    std::vector<size_t> members;
    for (size_t i = 0; i < components.size(); ++i) {
      splits.push_back(SplitReference(components[i].reference));
      if (components[i].leftAlone == LeftAloneBecause::NotLeftAlone) {
        members.push_back(i);
      }
    }
    const auto along = [&](size_t i) {
      return std::tuple(splits[i].prefix, splits[i].number, components[i].block, i);
    };
    std::sort(members.begin(), members.end(),
              [&](size_t a, size_t b) { return along(a) < along(b); });
    linesThrough(members, places, "<polyline class=\"q\"",
                 [&](size_t a, size_t b) { return splits[a].prefix == splits[b].prefix; });
  }

  void packageLines(std::span<const PreviewComponent> components,
                    std::span<const PanelPoint> places) {
    std::vector<size_t> members;
    for (size_t i = 0; i < components.size(); ++i) {
      if (!components[i].reference.empty()) {
        members.push_back(i);
      }
    }
    const auto package = [&](size_t i) {
      return std::pair<std::string_view, std::string_view>(components[i].reference,
                                                           components[i].packageTag);
    };
    std::sort(members.begin(), members.end(), [&](size_t a, size_t b) {
      return std::tuple(package(a), components[a].block, a) <
             std::tuple(package(b), components[b].block, b);
    });
    linesThrough(
        members, places, "<polyline class=\"k\"",
        [&](size_t a, size_t b) { return package(a) == package(b); },
        [&](size_t i) { return PackageColour(components[i].reference); });
  }

  // Grouped by colour, so that a mark is one short element.
  void marks(std::span<const PreviewComponent> components, std::span<const PanelPoint> places) {
    std::map<std::string_view, std::vector<size_t>> byColour;
    for (size_t i = 0; i < components.size(); ++i) {
      const PreviewComponent& component = components[i];
      const std::string_view colour = component.duplicate ? kRed
                                      : component.leftAlone != LeftAloneBecause::NotLeftAlone
                                          ? kGrey
                                          : PackageColour(component.reference);
      byColour[colour].push_back(i);
    }
    for (const auto& [colour, members] : byColour) {
      svg_ << "<g fill=\"" << colour << "\">";
      for (size_t i : members) {
        svg_ << "<use href=\"" << MarkOf(components[i].leftAlone) << "\" x=\"" << places[i].x
             << "\" y=\"" << places[i].y << "\"/>";
      }
      svg_ << "</g>\n";
    }
  }

  void labels(std::span<const PreviewComponent> components, std::span<const PanelPoint> places) {
    constexpr std::array<std::string_view, 4> kClasses = {"n", "c", "g", "d"};
    std::array<std::vector<size_t>, kClasses.size()> byClass;
    std::vector<size_t> changed;
    for (size_t i = 0; i < components.size(); ++i) {
      const PreviewComponent& component = components[i];
      const size_t style = component.duplicate                                     ? 3
                           : component.changed()                                   ? 1
                           : component.leftAlone != LeftAloneBecause::NotLeftAlone ? 2
                                                                                   : 0;
      byClass[style].push_back(i);
      if (component.changed()) {
        changed.push_back(i);
      }
    }
    for (size_t style = 0; style < kClasses.size(); ++style) {
      if (byClass[style].empty()) {
        continue;
      }
      svg_ << "<g class=\"" << kClasses[style] << "\">";
      for (size_t i : byClass[style]) {
        const PreviewComponent& component = components[i];
        if (component.reference.empty()) {
          continue;  // a power symbol or a part without a reference: its grey mark says so
        }
        label(places[i].x + 4, places[i].y - 3, component.reference, component.block,
              component.showBlock);
      }
      svg_ << "</g>\n";
    }
    if (!changed.empty()) {
      svg_ << "<g class=\"o\">";
      for (size_t i : changed) {
        const PreviewComponent& component = components[i];
        label(places[i].x + 4, places[i].y + 10, component.oldReference, component.oldBlock,
              component.showOldBlock);
      }
      svg_ << "</g>\n";
    }
  }

  void label(int x, int y, std::string_view reference, int block, bool showBlock) {
    svg_ << "<text x=\"" << x << "\" y=\"" << y << "\">"
         << (reference.empty() ? std::string("(none)") : text(reference))
         << (showBlock ? BlockLetters(block) : std::string()) << "</text>";
  }

  std::span<const PreviewSheet> sheets_;
  const PreviewText& shown_;
  size_t componentCount_ = 0;
  bool labelled_ = true;
  SvgText svg_;
};

}  // namespace

PanelLayout::PanelLayout(std::span<const PreviewComponent> components) {
  if (components.empty()) {
    width_ = kSmallestPanelWidth;
    height_ = kTitleHeight + kMargin;
    return;
  }
  int64_t maxX = components.front().x;
  int64_t maxY = components.front().y;
  minX_ = maxX;
  minY_ = maxY;
  for (const PreviewComponent& component : components) {
    minX_ = std::min<int64_t>(minX_, component.x);
    minY_ = std::min<int64_t>(minY_, component.y);
    maxX = std::max<int64_t>(maxX, component.x);
    maxY = std::max<int64_t>(maxY, component.y);
  }
  const double extentX = static_cast<double>(std::max<int64_t>(maxX - minX_, 1));
  const double extentY = static_cast<double>(std::max<int64_t>(maxY - minY_, 1));
  scale_ = std::min({kAreaWidth / extentX, kAreaHeight / extentY, kLargestScale});
  const int drawnWidth = static_cast<int>(std::lround(extentX * scale_));
  const int drawnHeight = static_cast<int>(std::lround(extentY * scale_));
  width_ = std::max(kSmallestPanelWidth, kMargin + drawnWidth + kLabelRoom);
  height_ = kTitleHeight + kLabelsAbove + drawnHeight + kLabelsBelow;
}

PanelPoint PanelLayout::place(int32_t x, int32_t y) const {
  return {kMargin + static_cast<int>(std::lround(static_cast<double>(x - minX_) * scale_)),
          kTitleHeight + kLabelsAbove +
              static_cast<int>(std::lround(static_cast<double>(y - minY_) * scale_))};
}

std::string XmlText(std::string_view text) {
  std::string xml;
  xml.reserve(text.size());
  while (!text.empty()) {
    const size_t length = Utf8CharacterLength(text);
    const auto lead = static_cast<unsigned char>(text.front());
    if (length == 0 || lead < 0x20 || lead == 0x7F) {
      constexpr char kHex[] = "0123456789ABCDEF";
      xml += "\\x";
      xml += kHex[lead >> 4];
      xml += kHex[lead & 0x0F];
      text.remove_prefix(1);
      continue;
    }
    switch (lead) {
      case '&':
        xml += "&amp;";
        break;
      case '<':
        xml += "&lt;";
        break;
      case '>':
        xml += "&gt;";
        break;
      case '"':
        xml += "&quot;";
        break;
      default:
        xml.append(text.substr(0, length));
    }
    text.remove_prefix(length);
  }
  return xml;
}

std::string DrawPreview(std::span<const PreviewSheet> sheets, const PreviewText& shown) {
  return PreviewDrawing(sheets, shown).draw();
}

}  // namespace kerro
