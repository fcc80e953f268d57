#include "ShapeGlowReader.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/beans/XPropertySetInfo.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/drawing/XShape.hpp>

#include "DeckShapes.h"

using namespace css;

namespace {

template <typename T>
T Value(const uno::Reference<beans::XPropertySet>& shape, const uno::Reference<beans::XPropertySetInfo>& info,
        const char* name, T fallback) {
  const rtl::OUString key = rtl::OUString::createFromAscii(name);
  T value = fallback;
  try {
    if (info.is() && info->hasPropertyByName(key)) shape->getPropertyValue(key) >>= value;
  } catch (const uno::Exception&) {
  }
  return value;
}

// Adds to `effects` what the export drops of `shape`, on `page`.
void ReadShape(const uno::Reference<drawing::XShape>& shape, int page, std::vector<ShapeGlows::Effect>& effects) {
  uno::Reference<beans::XPropertySet> properties(shape, uno::UNO_QUERY);
  if (!properties.is()) return;
  const uno::Reference<beans::XPropertySetInfo> info = properties->getPropertySetInfo();
  ShapeGlows::Effect effect;
  effect.glowRadius = Value<sal_Int32>(properties, info, "GlowEffectRadius", 0);
  effect.softEdgeRadius = Value<sal_Int32>(properties, info, "SoftEdgeRadius", 0);
  if (effect.glowRadius <= 0 && effect.softEdgeRadius <= 0) return;
  effect.glowColour = static_cast<unsigned>(Value<sal_Int32>(properties, info, "GlowEffectColor", 0)) & 0xffffff;
  effect.glowTransparence = Value<sal_Int16>(properties, info, "GlowEffectTransparency", 0);
  const awt::Point at = shape->getPosition();
  const awt::Size size = shape->getSize();
  effect.x = at.X;
  effect.y = at.Y;
  effect.width = size.Width;
  effect.height = size.Height;
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
