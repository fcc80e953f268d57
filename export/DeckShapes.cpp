#include "DeckShapes.h"

#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/drawing/XDrawPages.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/drawing/XMasterPagesSupplier.hpp>

#include "ShowPages.h"

using namespace css;

namespace {

void VisitPages(const uno::Reference<container::XIndexAccess>& pages, bool masters, const DeckShapes::Visit& visit) {
  if (!pages.is()) return;
  for (sal_Int32 p = 0; p < pages->getCount(); ++p) {
    uno::Reference<container::XIndexAccess> shapes(pages->getByIndex(p), uno::UNO_QUERY);
    if (!shapes.is()) continue;
    for (sal_Int32 s = 0; s < shapes->getCount(); ++s) {
      try {
        uno::Reference<drawing::XShape> shape(shapes->getByIndex(s), uno::UNO_QUERY);
        if (shape.is()) visit(shape, masters ? ShowPages::kMaster : int{p});
      } catch (const uno::Exception&) {
        // a shape that cannot be read keeps the show as exported
      }
    }
  }
}

}  // namespace

bool DeckShapes::ForEach(const uno::Reference<lang::XComponent>& document, const Visit& visit) {
  try {
    uno::Reference<drawing::XDrawPagesSupplier> slides(document, uno::UNO_QUERY);
    if (slides.is())
      VisitPages(uno::Reference<container::XIndexAccess>(slides->getDrawPages(), uno::UNO_QUERY), false, visit);
    uno::Reference<drawing::XMasterPagesSupplier> masters(document, uno::UNO_QUERY);
    if (masters.is())
      VisitPages(uno::Reference<container::XIndexAccess>(masters->getMasterPages(), uno::UNO_QUERY), true, visit);
    return true;
  } catch (const uno::Exception&) {
    return false;
  }
}
