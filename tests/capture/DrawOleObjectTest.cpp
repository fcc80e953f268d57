// Drawing the browser's picture into the capture surface, with the real off-screen browser.
#include <gtest/gtest.h>

#include <QImage>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <array>
#include <vector>

#include "CSlideShowDlg.h"
#include "CaptureSurface.h"
#include "DrawOleObject.h"
#include "QtWait.h"
#include "TestArchive.h"

namespace {

using Rgb = std::array<int, 3>;

Rgb PixelAt(const CaptureSurface& s, int x, int y) {
  const uint8_t* p = s.captureBits() + (size_t(s.height() - 1 - y) * s.width() + x) * 3;
  return {p[2], p[1], p[0]};
}

std::vector<uint8_t> Bytes(const CaptureSurface& s) {
  return std::vector<uint8_t>(s.captureBits(), s.captureBits() + s.frameBytes());
}

TEST(DrawImageIntoSurface, WritesBottomUpBgrClippedFromTheTopLeft) {
  for (QImage::Format format :
       {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB888, QImage::Format_ARGB32}) {
    // A 7 x 3 picture: every pixel a different colour, odd width to reach the row's tail.
    QImage image(7, 3, QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 7; ++x) image.setPixel(x, y, qRgb(10 * x + 1, 20 * y + 2, 7 * x + 11 * y + 3));
    image = image.convertToFormat(format);

    CaptureSurface big;  // larger than the picture: the rest keeps its bytes
    ASSERT_TRUE(big.create(9, 4));
    std::fill_n(big.captureBits(), big.frameBytes(), uint8_t{0xEE});
    ASSERT_TRUE(DrawImageIntoSurface(image, big));
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 9; ++x) {
        Rgb expected = (x < 7 && y < 3) ? Rgb{10 * x + 1, 20 * y + 2, 7 * x + 11 * y + 3} : Rgb{0xEE, 0xEE, 0xEE};
        EXPECT_EQ(PixelAt(big, x, y), expected) << format << " at " << x << "," << y;
      }

    CaptureSurface small;  // smaller: the picture is cut at the right and at the bottom
    ASSERT_TRUE(small.create(5, 2));
    ASSERT_TRUE(DrawImageIntoSurface(image, small));
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 5; ++x)
        EXPECT_EQ(PixelAt(small, x, y), (Rgb{10 * x + 1, 20 * y + 2, 7 * x + 11 * y + 3})) << format;
    // The first bytes in memory are the bottom row's first pixel, blue first.
    EXPECT_EQ(small.captureBits()[0], 3 + 11);
    EXPECT_EQ(small.captureBits()[1], 22);
    EXPECT_EQ(small.captureBits()[2], 1);
  }
  CaptureSurface none;
  EXPECT_FALSE(DrawImageIntoSurface(QImage(4, 4, QImage::Format_RGB32), none));
  CaptureSurface some;
  ASSERT_TRUE(some.create(4, 4));
  EXPECT_FALSE(DrawImageIntoSurface(QImage(), some));
}

// A page of four coloured quadrants, drawn at each offered size.
class DrawPage : public testing::Test {
 protected:
  void SetUp() override {
    dir = MakeTempDir();
    ASSERT_FALSE(dir.empty());
    archive = WritePageArchive(dir, "quad", R"HTML(<!DOCTYPE html><html><head><style>
html,body{margin:0;padding:0;width:100%;height:100%;overflow:hidden}
div{position:absolute;width:50%;height:50%}</style></head><body>
<div style="left:0;top:0;background:#ff0000"></div><div style="left:50%;top:0;background:#00ff00"></div>
<div style="left:0;top:50%;background:#0000ff"></div><div style="left:50%;top:50%;background:#ffffff"></div>
</body></html>)HTML");
    ASSERT_FALSE(archive.empty());
    ASSERT_TRUE(dlg.Create(nullptr));
  }
  void TearDown() override {
    dlg.DestroyWindow();
    RemoveTree(dir);
  }
  std::string dir, archive;
  CSlideShowDlg dlg;
};

TEST_F(DrawPage, CornersLandInTheRightPlacesAtEverySize) {
  CaptureSurface surface;
  for (auto [w, h] : {std::pair{720, 540}, {640, 480}, {352, 288}}) {
    dlg.MoveWindow(0, 0, w, h);
    ASSERT_TRUE(surface.create(w, h));  // replaces the previous size
    ASSERT_EQ(surface.frameBytes(), size_t(w) * h * 3);
    ASSERT_TRUE(dlg.LoadShow(archive, 2));
    const Rgb red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255}, white{255, 255, 255};
    ASSERT_TRUE(WaitUntil([&] {
      return DrawOleObject(dlg.browser.Document(), surface) && PixelAt(surface, 0, 0) == red &&
             PixelAt(surface, w - 1, 0) == green && PixelAt(surface, 0, h - 1) == blue &&
             PixelAt(surface, w - 1, h - 1) == white && PixelAt(surface, w / 2 - 1, h / 2 - 1) == red &&
             PixelAt(surface, w / 2, h / 2) == white;
    })) << w
        << "x" << h;
    // In memory: the first pixel is the picture's bottom-left (blue), the last pixel of the
    // last row its top-right (green).
    const uint8_t* bits = surface.captureBits();
    EXPECT_EQ((Rgb{bits[2], bits[1], bits[0]}), blue);
    const uint8_t* last = bits + surface.frameBytes() - 3;
    EXPECT_EQ((Rgb{last[2], last[1], last[0]}), green);
  }
}

TEST_F(DrawPage, AFailingDrawLeavesTheSurfaceUntouched) {
  dlg.MoveWindow(0, 0, 352, 288);
  CaptureSurface surface;
  ASSERT_TRUE(surface.create(352, 288));
  std::fill_n(surface.captureBits(), surface.frameBytes(), uint8_t{0x5A});
  const std::vector<uint8_t> before = Bytes(surface);

  EXPECT_FALSE(DrawOleObject(nullptr, surface));
  EXPECT_EQ(dlg.browser.Document(), nullptr);  // no document before the first navigation
  EXPECT_FALSE(DrawOleObject(dlg.browser.Document(), surface));
  QWebEnginePage orphan;  // a page that no view shows
  EXPECT_FALSE(DrawOleObject(&orphan, surface));
  EXPECT_EQ(Bytes(surface), before);

  ASSERT_TRUE(dlg.LoadShow(archive, 2));
  QWebEnginePage* page = dlg.browser.Document();
  ASSERT_NE(page, nullptr);
  dlg.browser.MoveWindow(0, 0, 0, 0);  // a view without area
  EXPECT_FALSE(DrawOleObject(page, surface));
  EXPECT_EQ(Bytes(surface), before);

  CaptureSurface none;  // no surface
  dlg.browser.MoveWindow(0, 0, 352, 288);
  EXPECT_FALSE(DrawOleObject(page, none));
  EXPECT_TRUE(DrawOleObject(page, surface));
}

TEST_F(DrawPage, ABrowserLargerThanTheSurfaceIsClipped) {
  dlg.MoveWindow(0, 0, 720, 540);
  ASSERT_TRUE(dlg.LoadShow(archive, 2));
  CaptureSurface surface;
  ASSERT_TRUE(surface.create(352, 288));
  // The surface shows the top-left 352 x 288 of the 720 x 540 page: red down to row 269
  // (the page's middle), then blue.
  ASSERT_TRUE(WaitUntil([&] {
    return DrawOleObject(dlg.browser.Document(), surface) && PixelAt(surface, 0, 0) == (Rgb{255, 0, 0}) &&
           PixelAt(surface, 351, 269) == (Rgb{255, 0, 0}) && PixelAt(surface, 351, 270) == (Rgb{0, 0, 255}) &&
           PixelAt(surface, 0, 287) == (Rgb{0, 0, 255});
  }));
}

}  // namespace
