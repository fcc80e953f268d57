// Text shadows put back into the exported show: only the text of the shapes the office names
// (by their box, within the export's rounding) gets the filter, and the filter is defined.
#include "TextShadows.h"

#include <gtest/gtest.h>

namespace {

std::string Shape(int x, int y, int w, int h, const std::string& words) {
  return "<g id=\"s\"><rect class=\"BoundingBox\" stroke=\"none\" fill=\"none\" x=\"" + std::to_string(x) + "\" y=\"" +
         std::to_string(y) + "\" width=\"" + std::to_string(w) + "\" height=\"" + std::to_string(h) +
         "\"/><text class=\"SVGTextShape\"><tspan class=\"TextParagraph\" font-size=\"1800px\">" + words +
         "</tspan></text></g>";
}

const std::string kShow = "<svg><defs id=\"d\"></defs>" + Shape(1200, 2000, 23001, 15001, "shadowed") +
                          "<g><rect class=\"BoundingBox\" x=\"0\" y=\"0\" width=\"5\" height=\"5\"/><path/></g>" +
                          Shape(100, 100, 900, 900, "plain") + "</svg>";

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(TextShadows, OnlyTheNamedShapesTextIsShadowed) {
  const std::string out = TextShadows::Apply(kShow, {{1200, 2000, 23000, 15000}});  // the export adds a unit
  EXPECT_EQ(Count(out, "filter=\"url(#kv-text-shadow-100)\""), 1u);  // 1800 / 18
  EXPECT_LT(out.find("url(#kv-text-shadow-100)"), out.find("shadowed"));
  EXPECT_EQ(Count(out, "<filter id=\"kv-text-shadow-100\""), 1u);
  EXPECT_LT(out.find("<filter"), out.find("</defs>"));
  // The shape without text between them does not pass its box on to the next shape's text.
  EXPECT_EQ(TextShadows::Apply(kShow, {{0, 0, 5, 5}}), kShow);
}

TEST(TextShadows, NothingToShadowLeavesTheShowAsItIs) {
  EXPECT_EQ(TextShadows::Apply(kShow, {}), kShow);
  EXPECT_EQ(TextShadows::Apply(kShow, {{1200, 2000, 23010, 15000}}), kShow);  // beyond the rounding
  const std::string noDefs = "<svg>" + Shape(1, 1, 10, 10, "t") + "</svg>";
  EXPECT_EQ(TextShadows::Apply(noDefs, {{1, 1, 10, 10}}), noDefs);
}

// A placeholder stands at the same place on many slides: only the named slide's is shadowed.
TEST(TextShadows, TheSameBoxOnAnotherSlideOrTheMasterIsAnotherShape) {
  const std::string box = Shape(1200, 2000, 23000, 15000, "title");
  const std::string show = "<svg><defs id=\"d\"></defs><g id=\"dummy-master-page\" class=\"Master_Slide\">" + box +
                           "</g><g id=\"id5\" class=\"Master_Slide\">" + box +
                           "</g><g id=\"dummy-slide\" class=\"Slide\"></g><g id=\"id1\" class=\"Slide\">" + box +
                           "</g><g id=\"id2\" class=\"Slide\">" + box + "</g></svg>";
  // The page whose shape got the one shadow.
  const auto shadowedOn = [&](int page) {
    const std::string out = TextShadows::Apply(show, {{1200, 2000, 23000, 15000, page}});
    EXPECT_EQ(Count(out, "filter=\"url("), 1u) << page;
    return out.substr(out.substr(0, out.find("filter=\"url(")).rfind("<g id=\"id"), 11);
  };
  EXPECT_EQ(shadowedOn(0), "<g id=\"id1\"");
  EXPECT_EQ(shadowedOn(1), "<g id=\"id2\"");
  EXPECT_EQ(shadowedOn(ShowPages::kMaster), "<g id=\"id5\"");
}

}  // namespace
