#include "DrawOleObject.h"

#include <QImage>
#include <QPoint>
#include <QRegion>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <algorithm>
#include <cstring>

#include "CaptureSurface.h"

namespace {

// One row of 32-bit pixels (0xAARRGGBB, stored B,G,R,A on this little-endian platform) into
// packed B,G,R: four pixels become three 32-bit words.
void PackRow(const uint32_t* src, uint8_t* dst, int32_t count) {
  int32_t i = 0;
  for (; i + 4 <= count; i += 4, src += 4, dst += 12) {
    const uint32_t p0 = src[0], p1 = src[1], p2 = src[2], p3 = src[3];
    const uint32_t w0 = (p0 & 0x00FFFFFFu) | (p1 << 24);
    const uint32_t w1 = ((p1 >> 8) & 0x0000FFFFu) | (p2 << 16);
    const uint32_t w2 = ((p2 >> 16) & 0x000000FFu) | (p3 << 8);
    std::memcpy(dst, &w0, 4);
    std::memcpy(dst + 4, &w1, 4);
    std::memcpy(dst + 8, &w2, 4);
  }
  for (; i < count; ++i, ++src, dst += 3) {
    const uint32_t p = *src;
    dst[0] = static_cast<uint8_t>(p);
    dst[1] = static_cast<uint8_t>(p >> 8);
    dst[2] = static_cast<uint8_t>(p >> 16);
  }
}

}  // namespace

bool DrawImageIntoSurface(const QImage& picture, CaptureSurface& surface) {
  uint8_t* bits = surface.captureBits();
  if (bits == nullptr || picture.isNull()) return false;
  QImage converted;
  const QImage* image = &picture;
  switch (picture.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
      break;  // 0xAARRGGBB; colour bytes are the same for opaque pixels
    default:
      converted = picture.convertToFormat(QImage::Format_RGB32);
      if (converted.isNull()) return false;
      image = &converted;
  }
  const int32_t width = surface.width();
  const int32_t height = surface.height();
  const int32_t columns = std::min<int32_t>(image->width(), width);
  const int32_t rows = std::min<int32_t>(image->height(), height);
  const size_t stride = static_cast<size_t>(width) * 3;
  for (int32_t y = 0; y < rows; ++y) {
    // The picture's top row is the frame's last row in memory.
    const auto* src = reinterpret_cast<const uint32_t*>(image->constScanLine(y));
    PackRow(src, bits + static_cast<size_t>(height - 1 - y) * stride, columns);
  }
  return true;
}

bool DrawOleObject(QWebEnginePage* document, CaptureSurface& surface) {
  if (document == nullptr || surface.captureBits() == nullptr) return false;
  QWebEngineView* view = QWebEngineView::forPage(document);
  if (view == nullptr || view->width() <= 0 || view->height() <= 0) return false;
  // The picture is painted into one image kept between draws (the UI thread is the only
  // caller), so a frame costs no allocation; the view's background is painted first, so
  // nothing of an earlier picture survives.
  static QImage picture;
  if (picture.size() != view->size()) {
    picture = QImage(view->size(), QImage::Format_RGB32);
    if (picture.isNull()) return false;
  }
  picture.setDevicePixelRatio(1.0);
  view->render(&picture, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
  return DrawImageIntoSurface(picture, surface);
}
