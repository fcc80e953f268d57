#include "PictureFrameReader.h"

#include <com/sun/star/awt/Rectangle.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/drawing/LineStyle.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>

#include "DeckShapes.h"

#include "UnoValues.h"

using namespace css;

namespace {

using UnoValues::Value;


bool IsPicture(const uno::Reference<drawing::XShape>& shape) {
  uno::Reference<lang::XServiceInfo> info(shape, uno::UNO_QUERY);
  return info.is() && info->supportsService("com.sun.star.drawing.GraphicObjectShape");
}

// Adds to `frames` what the export drops of `shape`, on `page`.
void ReadShape(const uno::Reference<drawing::XShape>& shape, int page, std::vector<PictureFrames::Frame>& frames) {
  uno::Reference<beans::XPropertySet> properties(shape, uno::UNO_QUERY);
  if (!properties.is() || !IsPicture(shape) || Value<sal_Int32>(properties, "RotateAngle", 0) != 0) return;
  PictureFrames::Frame frame;
  if (Value(properties, "LineStyle", drawing::LineStyle_NONE) != drawing::LineStyle_NONE) {
    frame.lineWidth = Value<sal_Int32>(properties, "LineWidth", 0);
    frame.lineColour = static_cast<unsigned>(Value<sal_Int32>(properties, "LineColor", 0)) & 0xffffff;
    frame.lineTransparence = Value<sal_Int16>(properties, "LineTransparence", 0);
  }
  frame.shadow = Value(properties, "Shadow", false);
  // A glow grows the box too (ShapeGlows draws the glow itself).
  const bool glow = Value<sal_Int32>(properties, "GlowEffectRadius", 0) > 0;
  if (frame.lineWidth <= 0 && !frame.shadow && !glow) return;
  if (frame.shadow) {
    frame.shadowColour = static_cast<unsigned>(Value<sal_Int32>(properties, "ShadowColor", 0)) & 0xffffff;
    frame.shadowTransparence = Value<sal_Int16>(properties, "ShadowTransparence", 0);
    frame.shadowDx = Value<sal_Int32>(properties, "ShadowXDistance", 0);
    frame.shadowDy = Value<sal_Int32>(properties, "ShadowYDistance", 0);
    frame.shadowBlur = Value<sal_Int32>(properties, "ShadowBlur", 0);
  }
  const awt::Rectangle bound = Value(properties, "BoundRect", awt::Rectangle());
  const awt::Point at = shape->getPosition();
  const awt::Size size = shape->getSize();
  frame.bound = {bound.X, bound.Y, bound.Width, bound.Height};
  frame.own = {at.X, at.Y, size.Width, size.Height};
  frame.page = page;
  frames.push_back(frame);
}

}  // namespace

std::vector<PictureFrames::Frame> PictureFrameReader::Read(const uno::Reference<lang::XComponent>& document) {
  std::vector<PictureFrames::Frame> frames;
  const bool read = DeckShapes::ForEach(
      document, [&](const uno::Reference<drawing::XShape>& shape, int page) { ReadShape(shape, page, frames); });
  if (!read) frames.clear();
  return frames;
}
