#include "TextShadowReader.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextRange.hpp>

#include "DeckShapes.h"

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

// Adds to `boxes` what the export drops of `shape`, on `page`.
void ReadShape(const uno::Reference<drawing::XShape>& shape, int page, std::vector<TextShadows::Box>& boxes) {
  uno::Reference<text::XText> text(shape, uno::UNO_QUERY);
  if (!text.is() || !HasShadowedText(text)) return;
  const awt::Point at = shape->getPosition();
  const awt::Size size = shape->getSize();
  boxes.push_back({at.X, at.Y, size.Width, size.Height, page});
}

}  // namespace

std::vector<TextShadows::Box> TextShadowReader::Read(const uno::Reference<lang::XComponent>& document) {
  std::vector<TextShadows::Box> boxes;
  const bool read = DeckShapes::ForEach(
      document, [&](const uno::Reference<drawing::XShape>& shape, int page) { ReadShape(shape, page, boxes); });
  if (!read) boxes.clear();
  return boxes;
}
