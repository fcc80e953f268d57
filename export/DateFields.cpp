#include "DateFields.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextField.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/util/DateTime.hpp>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "DeckShapes.h"
#include "UnoValues.h"

using namespace css;

namespace {

using UnoValues::Value;


struct Found {
  uno::Reference<text::XText> text;
  uno::Reference<text::XTextRange> portion;
  uno::Reference<text::XTextField> field;
};

bool IsDateField(const uno::Reference<text::XTextField>& field) {
  uno::Reference<lang::XServiceInfo> info(field, uno::UNO_QUERY);
  return info.is() && (info->supportsService("com.sun.star.text.textfield.DateTime") ||
                       info->supportsService("com.sun.star.text.TextField.DateTime"));
}

void Collect(const uno::Reference<drawing::XShape>& shape, std::vector<Found>& found) {
  uno::Reference<text::XText> text(shape, uno::UNO_QUERY);
  uno::Reference<container::XEnumerationAccess> paragraphs(text, uno::UNO_QUERY);
  if (!paragraphs.is()) return;
  const uno::Reference<container::XEnumeration> each = paragraphs->createEnumeration();
  while (each.is() && each->hasMoreElements()) {
    uno::Reference<container::XEnumerationAccess> portions(each->nextElement(), uno::UNO_QUERY);
    const uno::Reference<container::XEnumeration> parts = portions.is() ? portions->createEnumeration() : nullptr;
    while (parts.is() && parts->hasMoreElements()) {
      const uno::Any part = parts->nextElement();
      uno::Reference<beans::XPropertySet> properties(part, uno::UNO_QUERY);
      uno::Reference<text::XTextRange> range(part, uno::UNO_QUERY);
      if (!properties.is() || !range.is() || Value(properties, "TextPortionType", rtl::OUString()) != "TextField")
        continue;
      const auto field = Value(properties, "TextField", uno::Reference<text::XTextField>());
      if (IsDateField(field)) found.push_back({text, range, field});
    }
  }
}

util::DateTime LocalTime(double ms) {
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm local{};
  localtime_r(&seconds, &local);
  util::DateTime when;
  when.Year = static_cast<sal_Int16>(local.tm_year + 1900);
  when.Month = static_cast<sal_uInt16>(local.tm_mon + 1);
  when.Day = static_cast<sal_uInt16>(local.tm_mday);
  when.Hours = static_cast<sal_uInt16>(local.tm_hour);
  when.Minutes = static_cast<sal_uInt16>(local.tm_min);
  when.Seconds = static_cast<sal_uInt16>(local.tm_sec);
  return when;
}

}  // namespace

double DateFields::ConversionStartMs() {
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
    char* end = nullptr;
    const long long seconds = std::strtoll(epoch, &end, 10);
    while (end != nullptr && (*end == ' ' || *end == '\n' || *end == '\t')) ++end;
    if (end != epoch && end != nullptr && *end == '\0' && seconds >= 0 && seconds < 253402300800LL)
      return static_cast<double>(seconds) * 1000.0;
  }
  return static_cast<double>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch()).count());
}

int DateFields::Replace(const uno::Reference<lang::XComponent>& document, double whenMs) {
  std::vector<Found> found;
  const auto collect = [&] {
    found.clear();
    DeckShapes::ForEach(document, [&](const uno::Reference<drawing::XShape>& shape, int) { Collect(shape, found); });
  };
  collect();
  uno::Reference<lang::XMultiServiceFactory> factory(document, uno::UNO_QUERY);
  if (found.empty() || !factory.is()) return 0;
  // Each variable field becomes the same field fixed at the film's moment; the export writes
  // its text.
  const util::DateTime when = LocalTime(whenMs);
  int replaced = 0;
  for (const Found& f : found) {
    try {
      uno::Reference<beans::XPropertySet> old(f.field, uno::UNO_QUERY_THROW);
      if (Value(old, "IsFixed", false)) continue;
      uno::Reference<beans::XPropertySet> fixed(factory->createInstance("com.sun.star.text.textfield.DateTime"),
                                                uno::UNO_QUERY_THROW);
      fixed->setPropertyValue("IsDate", uno::Any(Value(old, "IsDate", true)));
      fixed->setPropertyValue("NumberFormat", uno::Any(Value<sal_Int32>(old, "NumberFormat", 0)));
      fixed->setPropertyValue("IsFixed", uno::Any(true));
      fixed->setPropertyValue("DateTime", uno::Any(when));
      // The field is one character of its paragraph: the cursor takes it, the new field its place.
      uno::Reference<text::XTextCursor> cursor = f.text->createTextCursorByRange(f.portion->getStart());
      if (!cursor.is() || !cursor->goRight(1, true)) continue;
      f.text->insertTextContent(uno::Reference<text::XTextRange>(cursor, uno::UNO_QUERY_THROW),
                                uno::Reference<text::XTextContent>(fixed, uno::UNO_QUERY_THROW), true);
      ++replaced;
    } catch (const uno::Exception&) {
      // this field stays variable: its text is the office's of now
    }
  }
  return replaced;
}
