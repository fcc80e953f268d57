// Pictures put back in their own rectangle, with their outline and shadow: only the picture
// whose bounding box the office names moves; its image keeps its other attributes.
#include "PictureFrames.h"

#include <gtest/gtest.h>

namespace {

std::string Picture(int x, int y, int w, int h) {
  const std::string place = " x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
                            std::to_string(w) + "\" height=\"" + std::to_string(h) + "\"";
  return "<g><rect class=\"BoundingBox\" stroke=\"none\" fill=\"none\"" + place + "/>\n        <image" + place +
         " preserveAspectRatio=\"none\" xlink:href=\"data:image/png;base64,AA\"/></g>";
}

const std::string kShow = "<svg><defs id=\"d\"></defs>" + Picture(25, -603, 12926, 16232) +
                          Picture(100, 100, 900, 900) + "</svg>";

PictureFrames::Frame Framed() {
  PictureFrames::Frame f;
  f.bound = {25, -603, 12925, 16232};  // the export's rounding
  f.own = {693, 65, 11590, 14896};
  f.lineWidth = 530;
  f.lineColour = 0xffffff;
  return f;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(PictureFrames, ThePictureGoesBackInItsRectangleWithItsOutline) {
  const std::string out = PictureFrames::Apply(kShow, {Framed()});
  EXPECT_EQ(Count(out, "<image x=\"693\" y=\"65\" width=\"11590\" height=\"14896\" preserveAspectRatio=\"none\" "
                       "xlink:href=\"data:image/png;base64,AA\"/>"), 1u);
  // The outline lies outside the bitmap: its middle half a line width out.
  const size_t outline = out.find("<rect x=\"428\" y=\"-200\" width=\"12120\" height=\"15426\" fill=\"none\" "
                                  "stroke=\"rgb(255,255,255)\" stroke-opacity=\"1.00\" stroke-width=\"530\"");
  ASSERT_NE(outline, std::string::npos);
  EXPECT_GT(outline, out.find("<image x=\"693\""));
  EXPECT_EQ(Count(out, "<image x=\"100\" y=\"100\" width=\"900\" height=\"900\""), 1u);  // the other one stays
  EXPECT_EQ(out.find("filter"), std::string::npos);
}

TEST(PictureFrames, TheShadowLiesBeneathBlurredAndItsFilterIsDefined) {
  PictureFrames::Frame f = Framed();
  f.lineWidth = 0;
  f.shadow = true;
  f.shadowTransparence = 59;
  f.shadowDx = 100;
  f.shadowBlur = 140;
  const std::string out = PictureFrames::Apply(kShow, {f});
  const size_t shadow = out.find("<rect x=\"793\" y=\"65\" width=\"11590\" height=\"14896\" stroke=\"none\" "
                                 "fill=\"rgb(0,0,0)\" fill-opacity=\"0.41\" filter=\"url(#kv-picture-shadow-140)\"/>");
  ASSERT_NE(shadow, std::string::npos);
  EXPECT_LT(shadow, out.find("<image x=\"693\""));
  EXPECT_EQ(Count(out, "<filter id=\"kv-picture-shadow-140\""), 1u);
  EXPECT_LT(out.find("<filter"), out.find("</defs>"));
  EXPECT_EQ(out.find("stroke-width"), std::string::npos);
}

// An imported picture: its bitmap alone in a group clipped to about the box, a little smaller
// than the box. The bitmap moves in the group; the outline and the shadow go outside it.
TEST(PictureFrames, AClippedPictureGoesBackInItsRectangleWithItsOutlineOutsideTheClip) {
  const std::string show =
      "<svg><defs id=\"d\"></defs><g><rect class=\"BoundingBox\" stroke=\"none\" fill=\"none\" x=\"15266\" "
      "y=\"4780\" width=\"7075\" height=\"10833\"/>\n<defs>\n<clipPath id=\"clip_path_7\" clipPathUnits=\"userSpaceOnUse\">"
      "<path d=\"M 15266,4789 L 22331,4789 22331,15611 15266,15611 15266,4789 Z\"/></clipPath>\n</defs>\n"
      "<g clip-path=\"url(#clip_path_7)\">\n<image x=\"15266\" y=\"4780\" width=\"7045\" height=\"10804\" "
      "xlink:href=\"data:image/png;base64,AA\"/>\n</g></g></svg>";
  PictureFrames::Frame f;
  f.bound = {15266, 4780, 7075, 10833};
  f.own = {15425, 4939, 6756, 10513};
  f.lineWidth = 159;
  f.shadow = true;
  const std::string out = PictureFrames::Apply(show, {f});
  const size_t image = out.find("<image x=\"15425\" y=\"4939\" width=\"6756\" height=\"10513\"");
  ASSERT_NE(image, std::string::npos);
  EXPECT_GT(image, out.find("<g clip-path=\"url(#clip_path_7)\">"));
  EXPECT_LT(out.find("<rect x=\"15266\" y=\"4780\" width=\"7074\""), out.find("<defs>\n<clipPath")) << "shadow first";
  EXPECT_GT(out.find("stroke-width=\"159\""), out.find("</g>", image)) << "outline after the clipped group";
  // A group clipped by another path than its own, or a bitmap far from the box, stays.
  std::string other = show;
  other.replace(other.find("url(#clip_path_7)"), 17, "url(#clip_path_8)");
  EXPECT_EQ(PictureFrames::Apply(other, {f}), other);
  std::string far = show;
  far.replace(far.find("width=\"7045\""), 12, "width=\"5000\"");
  EXPECT_EQ(PictureFrames::Apply(far, {f}), far);
}

TEST(PictureFrames, NothingFoundLeavesTheShowAsItIs) {
  EXPECT_EQ(PictureFrames::Apply(kShow, {}), kShow);
  PictureFrames::Frame f = Framed();
  f.bound.width += 10;  // beyond the rounding
  EXPECT_EQ(PictureFrames::Apply(kShow, {f}), kShow);
  f = Framed();
  f.own = f.bound;  // already where it belongs
  EXPECT_EQ(PictureFrames::Apply(kShow, {f}), kShow);
  // A box followed by something other than its image (a shape's path) is not a picture.
  const std::string path = "<svg><g><rect class=\"BoundingBox\" x=\"25\" y=\"-603\" width=\"12926\" "
                           "height=\"16232\"/><path d=\"M 0,0\"/><image x=\"25\" y=\"-603\" width=\"12926\" "
                           "height=\"16232\"/></g></svg>";
  EXPECT_EQ(PictureFrames::Apply(path, {Framed()}), path);
}

}  // namespace
