#include "PictureFrameReader.h"

#include <com/sun/star/awt/Rectangle.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/drawing/LineStyle.hpp>
#include <com/sun/star/drawing/XDrawPages.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/drawing/XMasterPagesSupplier.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>

using namespace css;

namespace {

template <typename T>
T Value(const uno::Reference<beans::XPropertySet>& shape, const char* name, T fallback) {
  T value = fallback;
  try {
    shape->getPropertyValue(rtl::OUString::createFromAscii(name)) >>= value;
  } catch (const uno::Exception&) {
  }
  return value;
}

bool IsPicture(const uno::Reference<drawing::XShape>& shape) {
  uno::Reference<lang::XServiceInfo> info(shape, uno::UNO_QUERY);
  return info.is() && info->supportsService("com.sun.star.drawing.GraphicObjectShape");
}

// `masters`: the pages are master pages.
void ReadPages(const uno::Reference<container::XIndexAccess>& pages, bool masters,
               std::vector<PictureFrames::Frame>& frames) {
  if (!pages.is()) return;
  for (sal_Int32 p = 0; p < pages->getCount(); ++p) {
    uno::Reference<container::XIndexAccess> shapes(pages->getByIndex(p), uno::UNO_QUERY);
    if (!shapes.is()) continue;
    for (sal_Int32 s = 0; s < shapes->getCount(); ++s) {
      uno::Reference<drawing::XShape> shape(shapes->getByIndex(s), uno::UNO_QUERY);
      uno::Reference<beans::XPropertySet> properties(shape, uno::UNO_QUERY);
      if (!shape.is() || !properties.is() || !IsPicture(shape) || Value<sal_Int32>(properties, "RotateAngle", 0) != 0)
        continue;
      PictureFrames::Frame frame;
      if (Value(properties, "LineStyle", drawing::LineStyle_NONE) != drawing::LineStyle_NONE) {
        frame.lineWidth = Value<sal_Int32>(properties, "LineWidth", 0);
        frame.lineColour = static_cast<unsigned>(Value<sal_Int32>(properties, "LineColor", 0)) & 0xffffff;
        frame.lineTransparence = Value<sal_Int16>(properties, "LineTransparence", 0);
      }
      frame.shadow = Value(properties, "Shadow", false);
      if (frame.lineWidth <= 0 && !frame.shadow) continue;
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
      frame.page = masters ? ShowPages::kMaster : int{p};
      frames.push_back(frame);
    }
  }
}

}  // namespace

std::vector<PictureFrames::Frame> PictureFrameReader::Read(const uno::Reference<lang::XComponent>& document) {
  std::vector<PictureFrames::Frame> frames;
  try {
    uno::Reference<drawing::XDrawPagesSupplier> slides(document, uno::UNO_QUERY);
    if (slides.is())
      ReadPages(uno::Reference<container::XIndexAccess>(slides->getDrawPages(), uno::UNO_QUERY), false, frames);
    uno::Reference<drawing::XMasterPagesSupplier> masters(document, uno::UNO_QUERY);
    if (masters.is())
      ReadPages(uno::Reference<container::XIndexAccess>(masters->getMasterPages(), uno::UNO_QUERY), true, frames);
  } catch (const uno::Exception&) {
    frames.clear();
  }
  return frames;
}
