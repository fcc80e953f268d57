#include "ShapeGlowReader.h"

#include <com/sun/star/awt/Rectangle.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>

#include "DeckShapes.h"
#include "UnoValues.h"

using namespace css;

namespace {

using UnoValues::Value;

// Adds to `effects` what the export drops of `shape`, on `page`. Only a picture's are
// dropped: the export writes its bitmap as it was. Other shapes it draws with their glow and
// soft edge, as pictures of its own (a filter on them would soften an edge twice).
void ReadShape(const uno::Reference<drawing::XShape>& shape, int page, std::vector<ShapeGlows::Effect>& effects) {
  const uno::Reference<lang::XServiceInfo> service(shape, uno::UNO_QUERY);
  if (!service.is() || !(service->supportsService("com.sun.star.drawing.GraphicObjectShape") ||
                         service->supportsService("com.sun.star.presentation.GraphicObjectShape")))
    return;
  uno::Reference<beans::XPropertySet> properties(shape, uno::UNO_QUERY);
  if (!properties.is()) return;
  ShapeGlows::Effect effect;
  effect.glowRadius = Value<sal_Int32>(properties, "GlowEffectRadius", 0);
  effect.softEdgeRadius = Value<sal_Int32>(properties, "SoftEdgeRadius", 0);
  if (effect.glowRadius <= 0 && effect.softEdgeRadius <= 0) return;
  effect.glowColour = static_cast<unsigned>(Value<sal_Int32>(properties, "GlowEffectColor", 0)) & 0xffffff;
  effect.glowTransparence = Value<sal_Int16>(properties, "GlowEffectTransparency", 0);
  // The export's box of the shape takes in the glow: the shape's bounding rectangle.
  awt::Rectangle bound = Value(properties, "BoundRect", awt::Rectangle());
  if (bound.Width <= 0 || bound.Height <= 0) {
    const awt::Point at = shape->getPosition();
    const awt::Size size = shape->getSize();
    bound = awt::Rectangle(at.X, at.Y, size.Width, size.Height);
  }
  effect.x = bound.X;
  effect.y = bound.Y;
  effect.width = bound.Width;
  effect.height = bound.Height;
  effect.page = page;
  effects.push_back(effect);
}

}  // namespace

std::vector<ShapeGlows::Effect> ShapeGlowReader::Read(const uno::Reference<lang::XComponent>& document) {
  std::vector<ShapeGlows::Effect> effects;
  const bool read = DeckShapes::ForEach(
      document, [&](const uno::Reference<drawing::XShape>& shape, int page) { ReadShape(shape, page, effects); });
  if (!read) effects.clear();
  return effects;
}
