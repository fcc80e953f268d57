// Glow and soft edge put back into the exported show: the group that holds the named
// shape's box gets its own filter, defined with the shape's reach; nothing else changes.
#include "ShapeGlows.h"

#include <gtest/gtest.h>

namespace {

const std::string kShow =
    "<svg><defs id=\"d\"></defs><g class=\"Graphic\"><g id=\"a\">\n <rect class=\"BoundingBox\" stroke=\"none\" "
    "fill=\"none\" x=\"118\" y=\"1644\" width=\"19789\" height=\"12400\"/><image/></g></g>"
    "<g><rect class=\"BoundingBox\" x=\"0\" y=\"0\" width=\"5\" height=\"5\"/><path/></g></svg>";

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(ShapeGlows, TheNamedShapesGroupGetsItsFilter) {
  ShapeGlows::Effect soft;
  soft.x = 118, soft.y = 1645, soft.width = 19789, soft.height = 12400;  // the export's rounding
  soft.softEdgeRadius = 312;
  ShapeGlows::Effect glow = soft;
  glow.x = 0, glow.y = 0, glow.width = 5, glow.height = 5, glow.softEdgeRadius = 0;
  glow.glowRadius = 600, glow.glowColour = 0xd32f2f, glow.glowTransparence = 40;
  const std::string out = ShapeGlows::Apply(kShow, {soft, glow});
  EXPECT_EQ(Count(out, "<g filter=\"url(#kv-shape-glow-1)\" id=\"a\">"), 1u);
  EXPECT_EQ(Count(out, "<g filter=\"url(#kv-shape-glow-2)\"><rect"), 1u);
  EXPECT_LT(out.find("<filter id=\"kv-shape-glow-1\""), out.find("</defs>"));
  EXPECT_EQ(Count(out, "operator=\"erode\" radius=\"312.00\""), 1u);  // the soft edge's radius
  EXPECT_EQ(Count(out, "operator=\"dilate\" radius=\"200.00\""), 1u);  // a third of the glow's
  EXPECT_EQ(Count(out, "flood-color=\"rgb(211,47,47)\" flood-opacity=\"0.60\""), 1u);
  // The glow's region reaches beyond the shape's box by the glow's radius.
  EXPECT_EQ(Count(out, "x=\"-610\" y=\"-610\" width=\"1225\" height=\"1225\""), 1u);
}

TEST(ShapeGlows, NothingToDoLeavesTheShowAsItIs) {
  EXPECT_EQ(ShapeGlows::Apply(kShow, {}), kShow);
  ShapeGlows::Effect far;
  far.x = 118, far.y = 1644, far.width = 19800, far.height = 12400, far.softEdgeRadius = 312;  // beyond the rounding
  EXPECT_EQ(ShapeGlows::Apply(kShow, {far}), kShow);
  ShapeGlows::Effect none;  // a box that matches, but no effect
  none.width = 5, none.height = 5;
  EXPECT_EQ(ShapeGlows::Apply(kShow, {none}), kShow);
  const std::string noDefs = kShow.substr(0, 5) + kShow.substr(kShow.find("</defs>") + 7);
  ShapeGlows::Effect soft = far;
  soft.width = 19789;
  EXPECT_EQ(ShapeGlows::Apply(noDefs, {soft}), noDefs);
}

}  // namespace
