#include "TextShadowReader.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/drawing/XDrawPages.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/drawing/XMasterPagesSupplier.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextRange.hpp>

#include "ShowPages.h"

using namespace css;

namespace {

// Whether any text portion of `text` is shadowed.
bool HasShadowedText(const uno::Reference<text::XText>& text) {
  uno::Reference<container::XEnumerationAccess> paragraphs(text, uno::UNO_QUERY);
  if (!paragraphs.is()) return false;
  const uno::Reference<container::XEnumeration> eachParagraph = paragraphs->createEnumeration();
  while (eachParagraph->hasMoreElements()) {
    uno::Reference<container::XEnumerationAccess> portions(eachParagraph->nextElement(), uno::UNO_QUERY);
    if (!portions.is()) continue;
    const uno::Reference<container::XEnumeration> eachPortion = portions->createEnumeration();
    while (eachPortion->hasMoreElements()) {
      const uno::Any element = eachPortion->nextElement();
      uno::Reference<beans::XPropertySet> portion(element, uno::UNO_QUERY);
      uno::Reference<text::XTextRange> range(element, uno::UNO_QUERY);
      bool shadowed = false;
      if (portion.is() && range.is() && (portion->getPropertyValue("CharShadowed") >>= shadowed) && shadowed &&
          !range->getString().trim().isEmpty())
        return true;
    }
  }
  return false;
}

// `masters`: the pages are master pages.
void ReadPages(const uno::Reference<container::XIndexAccess>& pages, bool masters,
               std::vector<TextShadows::Box>& boxes) {
  if (!pages.is()) return;
  for (sal_Int32 p = 0; p < pages->getCount(); ++p) {
    uno::Reference<container::XIndexAccess> shapes(pages->getByIndex(p), uno::UNO_QUERY);
    if (!shapes.is()) continue;
    for (sal_Int32 s = 0; s < shapes->getCount(); ++s) {
      uno::Reference<drawing::XShape> shape(shapes->getByIndex(s), uno::UNO_QUERY);
      uno::Reference<text::XText> text(shape, uno::UNO_QUERY);
      try {
        if (!shape.is() || !text.is() || !HasShadowedText(text)) continue;
      } catch (const uno::Exception&) {
        continue;  // a shape whose text cannot be read keeps the show as exported
      }
      const awt::Point at = shape->getPosition();
      const awt::Size size = shape->getSize();
      boxes.push_back({at.X, at.Y, size.Width, size.Height, masters ? ShowPages::kMaster : int{p}});
    }
  }
}

}  // namespace

std::vector<TextShadows::Box> TextShadowReader::Read(const uno::Reference<lang::XComponent>& document) {
  std::vector<TextShadows::Box> boxes;
  try {
    uno::Reference<drawing::XDrawPagesSupplier> slides(document, uno::UNO_QUERY);
    if (slides.is())
      ReadPages(uno::Reference<container::XIndexAccess>(slides->getDrawPages(), uno::UNO_QUERY), false, boxes);
    uno::Reference<drawing::XMasterPagesSupplier> masters(document, uno::UNO_QUERY);
    if (masters.is())
      ReadPages(uno::Reference<container::XIndexAccess>(masters->getMasterPages(), uno::UNO_QUERY), true, boxes);
  } catch (const uno::Exception&) {
    boxes.clear();
  }
  return boxes;
}
