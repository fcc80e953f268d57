#include "JustifiedTextReader.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextRange.hpp>

#include "DeckShapes.h"

#include "UnoValues.h"

using namespace css;

namespace {

using UnoValues::Value;

constexpr sal_Int16 kJustified = 2;    // style::ParagraphAdjust_BLOCK, as ParaAdjust holds it
constexpr sal_Int16 kRightToLeft = 1;  // text::WritingMode2::RL_TB


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

// Where the lines of each paragraph of `text` that is not empty end (-1 for those not
// justified), and which paragraphs run right to left; both empty when no paragraph is either.
// `right`: the text area's right edge.
void ReadParagraphs(const uno::Reference<text::XText>& text, long right, std::vector<long>& ends,
                    std::vector<bool>& rightToLeft) {
  bool any = false;
  uno::Reference<container::XEnumerationAccess> paragraphs(text, uno::UNO_QUERY);
  if (!paragraphs.is()) return;
  const uno::Reference<container::XEnumeration> each = paragraphs->createEnumeration();
  while (each->hasMoreElements()) {
    const uno::Any element = each->nextElement();
    uno::Reference<beans::XPropertySet> paragraph(element, uno::UNO_QUERY);
    uno::Reference<text::XTextRange> range(element, uno::UNO_QUERY);
    // The export writes no paragraph of an empty one.
    if (!paragraph.is() || !range.is() || range->getString().isEmpty()) continue;
    // A right-to-left paragraph the export writes left to right: stretching would not help.
    const bool backwards = Value<sal_Int16>(paragraph, "WritingMode", 0) == kRightToLeft;
    const bool justified = Value<sal_Int16>(paragraph, "ParaAdjust", 0) == kJustified && !backwards;
    any = any || justified || backwards;
    ends.push_back(justified ? right - Value<sal_Int32>(paragraph, "ParaRightMargin", 0) : -1);
    rightToLeft.push_back(backwards);
  }
  if (!any) {
    ends.clear();
    rightToLeft.clear();
  }
}

// Adds to `found` what the export drops of `shape`, on `page`.
void ReadShape(const uno::Reference<drawing::XShape>& shape, int page, std::vector<JustifiedText::Shape>& found) {
  uno::Reference<beans::XPropertySet> properties(shape, uno::UNO_QUERY);
  uno::Reference<text::XText> text(shape, uno::UNO_QUERY);
  if (!properties.is() || !text.is() || text->getString().isEmpty()) return;
  if (Value<sal_Int32>(properties, "RotateAngle", 0) != 0 || !Value(properties, "TextWordWrap", true) ||
      !TextFillsBox(shape, properties))
    return;
  const awt::Point at = shape->getPosition();
  const awt::Size size = shape->getSize();
  const long right = long{at.X} + size.Width - Value<sal_Int32>(properties, "TextRightDistance", 0);
  std::vector<long> ends;
  std::vector<bool> rightToLeft;
  ReadParagraphs(text, right, ends, rightToLeft);
  if (!ends.empty())
    found.push_back({{at.X, at.Y, size.Width, size.Height, page}, std::move(ends), std::move(rightToLeft)});
}

}  // namespace

std::vector<JustifiedText::Shape> JustifiedTextReader::Read(const uno::Reference<lang::XComponent>& document) {
  std::vector<JustifiedText::Shape> found;
  const bool read = DeckShapes::ForEach(
      document, [&](const uno::Reference<drawing::XShape>& shape, int page) { ReadShape(shape, page, found); });
  if (!read) found.clear();
  return found;
}
