#include "ShapeGlowReader.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/beans/XPropertySetInfo.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/drawing/XDrawPages.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/drawing/XMasterPagesSupplier.hpp>
#include <com/sun/star/drawing/XShape.hpp>

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

// `masters`: the pages are master pages.
void ReadPages(const uno::Reference<container::XIndexAccess>& pages, bool masters,
               std::vector<ShapeGlows::Effect>& effects) {
  if (!pages.is()) return;
  for (sal_Int32 p = 0; p < pages->getCount(); ++p) {
    uno::Reference<container::XIndexAccess> shapes(pages->getByIndex(p), uno::UNO_QUERY);
    if (!shapes.is()) continue;
    for (sal_Int32 s = 0; s < shapes->getCount(); ++s) {
      uno::Reference<drawing::XShape> shape(shapes->getByIndex(s), uno::UNO_QUERY);
      uno::Reference<beans::XPropertySet> properties(shape, uno::UNO_QUERY);
      if (!shape.is() || !properties.is()) continue;
      const uno::Reference<beans::XPropertySetInfo> info = properties->getPropertySetInfo();
      ShapeGlows::Effect effect;
      effect.glowRadius = Value<sal_Int32>(properties, info, "GlowEffectRadius", 0);
      effect.softEdgeRadius = Value<sal_Int32>(properties, info, "SoftEdgeRadius", 0);
      if (effect.glowRadius <= 0 && effect.softEdgeRadius <= 0) continue;
      effect.glowColour = static_cast<unsigned>(Value<sal_Int32>(properties, info, "GlowEffectColor", 0)) & 0xffffff;
      effect.glowTransparence = Value<sal_Int16>(properties, info, "GlowEffectTransparency", 0);
      const awt::Point at = shape->getPosition();
      const awt::Size size = shape->getSize();
      effect.x = at.X;
      effect.y = at.Y;
      effect.width = size.Width;
      effect.height = size.Height;
      effect.page = masters ? ShowPages::kMaster : int{p};
      effects.push_back(effect);
    }
  }
}

}  // namespace

std::vector<ShapeGlows::Effect> ShapeGlowReader::Read(const uno::Reference<lang::XComponent>& document) {
  std::vector<ShapeGlows::Effect> effects;
  try {
    uno::Reference<drawing::XDrawPagesSupplier> slides(document, uno::UNO_QUERY);
    if (slides.is())
      ReadPages(uno::Reference<container::XIndexAccess>(slides->getDrawPages(), uno::UNO_QUERY), false, effects);
    uno::Reference<drawing::XMasterPagesSupplier> masters(document, uno::UNO_QUERY);
    if (masters.is())
      ReadPages(uno::Reference<container::XIndexAccess>(masters->getMasterPages(), uno::UNO_QUERY), true, effects);
  } catch (const uno::Exception&) {
    effects.clear();
  }
  return effects;
}
