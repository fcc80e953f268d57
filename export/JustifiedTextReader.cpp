#include "JustifiedTextReader.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/drawing/XDrawPages.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/drawing/XMasterPagesSupplier.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextRange.hpp>

#include "ShowPages.h"

using namespace css;

namespace {

constexpr sal_Int16 kJustified = 2;    // style::ParagraphAdjust_BLOCK, as ParaAdjust holds it
constexpr sal_Int16 kRightToLeft = 1;  // text::WritingMode2::RL_TB

template <typename T>
T Value(const uno::Reference<beans::XPropertySet>& object, const char* name, T fallback) {
  T value = fallback;
  try {
    object->getPropertyValue(rtl::OUString::createFromAscii(name)) >>= value;
  } catch (const uno::Exception&) {
  }
  return value;
}

// Whether the shape lays its text out in its own box: a text box, a placeholder, or a custom
// shape drawn as a plain rectangle (as imported text boxes are). Other custom shapes set
// their text in a part of their geometry.
bool TextFillsBox(const uno::Reference<drawing::XShape>& shape, const uno::Reference<beans::XPropertySet>& properties) {
  uno::Reference<lang::XServiceInfo> info(shape, uno::UNO_QUERY);
  if (!info.is()) return false;
  for (const char* service : {"com.sun.star.drawing.TextShape", "com.sun.star.presentation.OutlinerShape",
                              "com.sun.star.presentation.TitleTextShape", "com.sun.star.presentation.SubtitleShape"})
    if (info->supportsService(rtl::OUString::createFromAscii(service))) return true;
  if (!info->supportsService("com.sun.star.drawing.CustomShape")) return false;
  const auto geometry = Value(properties, "CustomShapeGeometry", uno::Sequence<beans::PropertyValue>());
  for (const beans::PropertyValue& entry : geometry) {
    rtl::OUString type;
    if (entry.Name == "Type" && (entry.Value >>= type)) return type == "rectangle" || type == "ooxml-rect";
  }
  return false;
}

// Where the lines of each paragraph of `text` that is not empty end, -1 for those not
// justified; empty when none is justified. `right`: the text area's right edge.
std::vector<long> LineEnds(const uno::Reference<text::XText>& text, long right) {
  std::vector<long> ends;
  bool any = false;
  uno::Reference<container::XEnumerationAccess> paragraphs(text, uno::UNO_QUERY);
  if (!paragraphs.is()) return {};
  const uno::Reference<container::XEnumeration> each = paragraphs->createEnumeration();
  while (each->hasMoreElements()) {
    const uno::Any element = each->nextElement();
    uno::Reference<beans::XPropertySet> paragraph(element, uno::UNO_QUERY);
    uno::Reference<text::XTextRange> range(element, uno::UNO_QUERY);
    // The export writes no paragraph of an empty one.
    if (!paragraph.is() || !range.is() || range->getString().isEmpty()) continue;
    // A right-to-left paragraph the export writes left to right: stretching would not help.
    const bool justified = Value<sal_Int16>(paragraph, "ParaAdjust", 0) == kJustified &&
                           Value<sal_Int16>(paragraph, "WritingMode", 0) != kRightToLeft;
    any = any || justified;
    ends.push_back(justified ? right - Value<sal_Int32>(paragraph, "ParaRightMargin", 0) : -1);
  }
  return any ? ends : std::vector<long>();
}

// `masters`: the pages are master pages.
void ReadPages(const uno::Reference<container::XIndexAccess>& pages, bool masters,
               std::vector<JustifiedText::Shape>& found) {
  if (!pages.is()) return;
  for (sal_Int32 p = 0; p < pages->getCount(); ++p) {
    uno::Reference<container::XIndexAccess> shapes(pages->getByIndex(p), uno::UNO_QUERY);
    if (!shapes.is()) continue;
    for (sal_Int32 s = 0; s < shapes->getCount(); ++s) {
      try {
        uno::Reference<drawing::XShape> shape(shapes->getByIndex(s), uno::UNO_QUERY);
        uno::Reference<beans::XPropertySet> properties(shape, uno::UNO_QUERY);
        uno::Reference<text::XText> text(shape, uno::UNO_QUERY);
        if (!shape.is() || !properties.is() || !text.is() || text->getString().isEmpty()) continue;
        if (Value<sal_Int32>(properties, "RotateAngle", 0) != 0 || !Value(properties, "TextWordWrap", true) ||
            !TextFillsBox(shape, properties))
          continue;
        const awt::Point at = shape->getPosition();
        const awt::Size size = shape->getSize();
        const long right = long{at.X} + size.Width - Value<sal_Int32>(properties, "TextRightDistance", 0);
        std::vector<long> ends = LineEnds(text, right);
        if (!ends.empty())
          found.push_back(
              {{at.X, at.Y, size.Width, size.Height, masters ? ShowPages::kMaster : int{p}}, std::move(ends)});
      } catch (const uno::Exception&) {
        // a shape whose text cannot be read keeps the show as exported
      }
    }
  }
}

}  // namespace

std::vector<JustifiedText::Shape> JustifiedTextReader::Read(const uno::Reference<lang::XComponent>& document) {
  std::vector<JustifiedText::Shape> found;
  try {
    uno::Reference<drawing::XDrawPagesSupplier> slides(document, uno::UNO_QUERY);
    if (slides.is())
      ReadPages(uno::Reference<container::XIndexAccess>(slides->getDrawPages(), uno::UNO_QUERY), false, found);
    uno::Reference<drawing::XMasterPagesSupplier> masters(document, uno::UNO_QUERY);
    if (masters.is())
      ReadPages(uno::Reference<container::XIndexAccess>(masters->getMasterPages(), uno::UNO_QUERY), true, found);
  } catch (const uno::Exception&) {
    found.clear();
  }
  return found;
}
