#include "preview/svg_preview.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "testing/temp_folder.h"

namespace kerro {
namespace {

PreviewComponent At(int32_t x, int32_t y) {
  PreviewComponent component;
  component.x = x;
  component.y = y;
  return component;
}

// Over random sheets: every mark lies inside its panel's drawing area, the two axes share
// one scale, y grows downwards as in the editor's window, and the larger extent fills its
// side of the area unless the largest scale stops it first.
TEST(PanelLayout, PlacesEveryComponentInsideOneUniformlyScaledPanel) {
  std::mt19937 random(27);
  for (int round = 0; round < 300; ++round) {
    std::uniform_int_distribution<int32_t> spread(0, round % 3 == 0 ? 40 : 32767);
    std::uniform_int_distribution<int32_t> origin(-32768, 0);
    const int32_t left = origin(random);
    const int32_t top = origin(random);
    std::vector<PreviewComponent> components;
    const int count = 1 + round % 40;
    for (int i = 0; i < count; ++i) {
      components.push_back(At(left + spread(random), top + spread(random)));
    }
    SCOPED_TRACE(round);
    const PanelLayout layout(components);
    int lowestX = INT32_MAX, highestX = INT32_MIN, lowestY = INT32_MAX, highestY = INT32_MIN;
    for (const PreviewComponent& a : components) {
      const PanelPoint p = layout.place(a.x, a.y);
      ASSERT_GE(p.x, PanelLayout::kMargin);
      ASSERT_LE(p.x, layout.width() - PanelLayout::kLabelRoom);
      ASSERT_GT(p.y, PanelLayout::kTitleHeight);
      ASSERT_LT(p.y, layout.height());
      lowestX = std::min(lowestX, p.x);
      highestX = std::max(highestX, p.x);
      lowestY = std::min(lowestY, p.y);
      highestY = std::max(highestY, p.y);
      for (const PreviewComponent& b : components) {
        const PanelPoint q = layout.place(b.x, b.y);
        if (a.y < b.y) {
          ASSERT_LE(p.y, q.y) << "y grows downwards";
        }
        if (a.x < b.x) {
          ASSERT_LE(p.x, q.x);
        }
        // One scale for both axes: the slopes agree up to the rounding of each point.
        const double sheetDx = b.x - a.x, sheetDy = b.y - a.y;
        const double drawnDx = q.x - p.x, drawnDy = q.y - p.y;
        ASSERT_NEAR(drawnDx * sheetDy, drawnDy * sheetDx,
                    1.5 * (std::abs(sheetDx) + std::abs(sheetDy)) + 1e-9);
      }
    }
    const int drawnWidth = highestX - lowestX;
    const int drawnHeight = highestY - lowestY;
    const bool fills = drawnWidth >= 1199 || drawnHeight >= 799;
    const bool atLargestScale = layout.place(left + 10, top).x - layout.place(left, top).x == 20;
    EXPECT_TRUE(fills || atLargestScale) << drawnWidth << " x " << drawnHeight;
  }
}

TEST(XmlText, EscapesMarkupAndShowsWhatIsNotUtf8AsBytes) {
  struct Case {
    const char* name;
    std::string text;
    std::string xml;
  };
  const Case cases[] = {
      {"plain", "U3", "U3"},
      {"markup", "R<&>\"1'", "R&lt;&amp;&gt;&quot;1'"},
      {"valid UTF-8 kept",
       "\xC2\xB5"
       "F \xE6\x8A\xB5 \xF0\x9F\x94\x8C",
       "\xC2\xB5"
       "F \xE6\x8A\xB5 \xF0\x9F\x94\x8C"},
      {"code-page byte",
       "\xB5"
       "F",
       "\\xB5F"},
      {"controls", std::string("R\x01\x7F\0", 4), "R\\x01\\x7F\\x00"},
      {"overlong", "\xC0\x80", "\\xC0\\x80"},
      {"surrogate", "\xED\xA0\x80", "\\xED\\xA0\\x80"},
      {"cut short", "A\xE2\x82", "A\\xE2\\x82"},
      {"not a character in XML", "\xEF\xBF\xBE", "\\xEF\\xBF\\xBE"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(XmlText(c.text), c.xml);
  }
}

std::string RandomText(std::mt19937& random, size_t longest) {
  std::uniform_int_distribution<size_t> length(0, longest);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string text(length(random), '\0');
  for (char& c : text) {
    c = static_cast<char>(byte(random));
  }
  return text;
}

// Whatever bytes the files hold, in references, tags and file names, the picture is
// well-formed XML: checked by libxml2's parser on random sheets, labelled and marks only.
TEST(DrawPreview, GivesWellFormedXmlForAnyTexts) {
#ifdef _WIN32
  GTEST_SKIP() << "xmllint runs on the Linux side";
#endif
  std::mt19937 random(2027);
  testing::TempFolder folder;
  for (int round = 0; round < 12; ++round) {
    std::vector<PreviewSheet> sheets;
    const size_t components = round == 0 ? kLabelledComponents + 1 : 40;
    for (int s = 0; s < 3; ++s) {
      PreviewSheet sheet{RandomText(random, 30), s, 3, {}};
      for (size_t i = 0; i < components / 3 + 1; ++i) {
        PreviewComponent component =
            At(static_cast<int16_t>(random()), static_cast<int16_t>(random()));
        component.reference = RandomText(random, 8);
        component.oldReference = random() % 2 ? component.reference : RandomText(random, 8);
        component.packageTag = RandomText(random, 15);
        component.block = static_cast<int>(random() % 256);
        component.showBlock = random() % 2 == 0;
        component.leftAlone = static_cast<LeftAloneBecause>(random() % 5);
        component.duplicate = random() % 7 == 0;
        sheet.components.push_back(std::move(component));
      }
      sheets.push_back(std::move(sheet));
    }
    const std::string path = folder.file("p" + std::to_string(round) + ".svg");
    std::ofstream(path, std::ios::binary) << DrawPreview(sheets);
    SCOPED_TRACE(path);
    EXPECT_EQ(std::system(("xmllint --noout --nonet " + path).c_str()), 0);
  }
}

}  // namespace
}  // namespace kerro
