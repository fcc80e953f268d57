#include "TableBulletReader.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/beans/XPropertySetInfo.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/table/XTable.hpp>
#include <com/sun/star/text/XText.hpp>

#include <map>


#include "DeckShapes.h"
#include "ShowPages.h"
#include "UnoValues.h"

using namespace css;

namespace {

using UnoValues::Value;

constexpr sal_Int16 kNoNumber = 5;  // style::NumberingType::NUMBER_NONE

// How far the bullet (or number) of `paragraph` stands before its text: its numbering level's
// first line offset, which the office gives a table cell's bullets (their paragraph indents
// are 0), or else a hanging first line's indent; 0 when it has neither.
long HangingIndent(const uno::Reference<beans::XPropertySet>& paragraph) {
  const sal_Int16 level = Value<sal_Int16>(paragraph, "NumberingLevel", -1);
  // The rules come as an XIndexReplace: asked for, not extracted.
  uno::Reference<container::XIndexAccess> rules;
  try {
    rules.set(paragraph->getPropertyValue("NumberingRules"), uno::UNO_QUERY);
  } catch (const uno::Exception&) {
  }
  if (level >= 0 && rules.is() && level < rules->getCount()) {
    uno::Sequence<beans::PropertyValue> format;
    rules->getByIndex(level) >>= format;
    sal_Int16 type = kNoNumber;
    sal_Int32 offset = 0;
    for (const beans::PropertyValue& entry : format) {
      if (entry.Name == "NumberingType") entry.Value >>= type;
      if (entry.Name == "FirstLineOffset") entry.Value >>= offset;
    }
    if (type != kNoNumber && offset < 0) return -long{offset};
  }
  const sal_Int32 first = Value<sal_Int32>(paragraph, "ParaFirstLineIndent", 0);
  return first < 0 ? -long{first} : 0;
}

// Counts the hanging indents of the paragraphs of `text` into `indents`.
void CountIndents(const uno::Reference<text::XText>& text, std::map<long, int>& indents) {
  uno::Reference<container::XEnumerationAccess> paragraphs(text, uno::UNO_QUERY);
  if (!paragraphs.is()) return;
  const uno::Reference<container::XEnumeration> each = paragraphs->createEnumeration();
  while (each->hasMoreElements()) {
    uno::Reference<beans::XPropertySet> paragraph(each->nextElement(), uno::UNO_QUERY);
    if (!paragraph.is()) continue;
    if (const long indent = HangingIndent(paragraph); indent > 0) ++indents[indent];
  }
}

// The indent most of the table's hanging paragraphs have; 0 when none hangs.
long TableIndent(const uno::Reference<table::XTable>& table) {
  std::map<long, int> indents;
  const sal_Int32 rows = table->getRowCount(), columns = table->getColumnCount();
  for (sal_Int32 r = 0; r < rows; ++r)
    for (sal_Int32 c = 0; c < columns; ++c) {
      try {
        // A cell's paragraphs are enumerated only once its text has been asked for.
        const uno::Reference<text::XText> text(table->getCellByPosition(c, r), uno::UNO_QUERY);
        if (text.is() && !text->getString().isEmpty()) CountIndents(text, indents);
      } catch (const uno::Exception&) {
        // a cell that cannot be read (merged away) says nothing
      }
    }
  long best = 0;
  int most = 0;
  for (const auto& [indent, count] : indents)
    if (count > most) best = indent, most = count;
  return best;
}

}  // namespace

std::vector<TableBullets::Table> TableBulletReader::Read(const uno::Reference<lang::XComponent>& document) {
  std::vector<TableBullets::Table> tables;
  const bool read = DeckShapes::ForEach(document, [&](const uno::Reference<drawing::XShape>& shape, int page) {
    uno::Reference<beans::XPropertySet> properties(shape, uno::UNO_QUERY);
    // A table shape is told by its model (it does not name the table service).
    if (page == ShowPages::kMaster || !properties.is() ||
        !properties->getPropertySetInfo()->hasPropertyByName("Model"))
      return;
    uno::Reference<table::XTable> table(properties->getPropertyValue("Model"), uno::UNO_QUERY);
    const long indent = table.is() ? TableIndent(table) : 0;
    if (indent <= 0) return;
    const awt::Point at = shape->getPosition();
    const awt::Size size = shape->getSize();
    tables.push_back({{at.X, at.Y, size.Width, size.Height, page}, indent});
  });
  if (!read) tables.clear();
  return tables;
}
