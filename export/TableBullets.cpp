#include "TableBullets.h"

#include <algorithm>

#include "ShowPages.h"
#include "SvgTags.h"

namespace {

using SvgTags::Attribute;

// The export's box of a table holds its outer borders too: up to this much (1/100 mm) around
// the table's own rectangle on each side.
constexpr long kBorders = 300;

const std::string kTable = "<g class=\"com.sun.star.drawing.TableShape\">";
const std::string kRect = "<rect class=\"BoundingBox\"";
const std::string kLine = "<tspan class=\"TextPosition\"";
const std::string kLineWithoutX = "<tspan class=\"TextPosition\" y=\"";
const std::string kParagraph = "class=\"TextParagraph\"";
const std::string kRun = "<tspan ";
const std::string kWhite = "style=\"white-space: pre\">";

// Whether `a` lies before `b` by at most kBorders (or after it by the export's rounding of a
// unit or two): an edge of the export's box and the table's, in this order on the left and
// top, the other way round on the right and bottom.
bool Before(long a, long b) { return a - b >= -kBorders && a - b <= 2; }

// The x of the bullet line just before the line at `line`, in the same paragraph: a line with
// an x that holds one run of one character. -1 when there is none.
long BulletBefore(const std::string& svg, size_t line) {
  const size_t previous = svg.rfind(kLine, line - 1);
  if (previous == std::string::npos || svg.rfind(kParagraph, line) > previous) return -1;
  const size_t tagEnd = svg.find('>', previous);
  const long x = Attribute(svg, previous, tagEnd, "x");
  if (x < 0) return -1;
  // The bullet line's content: one run, ending before the text's line starts.
  const size_t run = svg.find(kRun, tagEnd);
  const size_t text = run == std::string::npos ? run : svg.find(kWhite, run);
  if (text == std::string::npos || text > line) return -1;
  const size_t begin = text + kWhite.size();
  const size_t end = svg.find("</tspan></tspan>", begin);
  if (end == std::string::npos || end + 16 != line) return -1;
  // One character, which in UTF-8 is at most four bytes.
  const size_t length = end - begin;
  if (length == 0 || length > 4) return -1;
  for (size_t i = 1; i < length; ++i)
    if ((static_cast<unsigned char>(svg[begin + i]) & 0xC0) != 0x80) return -1;
  return x;
}

}  // namespace

std::string TableBullets::Apply(const std::string& svg, const std::vector<Table>& tables) {
  if (tables.empty()) return svg;
  const ShowPages pages(svg);
  std::vector<std::pair<size_t, std::string>> places;  // where an x goes, and the attribute
  for (size_t group = svg.find(kTable); group != std::string::npos; group = svg.find(kTable, group + 1)) {
    const size_t rect = svg.find(kRect, group);
    if (rect == std::string::npos) break;
    const size_t rectEnd = svg.find('>', rect);
    const long x = Attribute(svg, rect, rectEnd, "x"), y = Attribute(svg, rect, rectEnd, "y");
    const long w = Attribute(svg, rect, rectEnd, "width"), h = Attribute(svg, rect, rectEnd, "height");
    const int page = pages.pageAt(rect);
    const Table* table = nullptr;
    for (const Table& t : tables)
      if (ShowPages::Matches(t.box.page, page) && Before(x, t.box.x) && Before(y, t.box.y) &&
          Before(t.box.x + t.box.width, x + w) && Before(t.box.y + t.box.height, y + h))
        table = &t;
    if (table == nullptr || table->indent <= 0) continue;
    // The table's cells lie between its box and the next shape's.
    const size_t end = std::min(svg.find(kRect, rectEnd), svg.find(kTable, rectEnd));
    for (size_t line = svg.find(kLineWithoutX, rectEnd); line != std::string::npos && line < end;
         line = svg.find(kLineWithoutX, line + 1)) {
      const long bullet = BulletBefore(svg, line);
      if (bullet >= 0)
        places.emplace_back(line + kLine.size(), " x=\"" + std::to_string(bullet + table->indent) + "\"");
    }
  }
  return places.empty() ? svg : SvgTags::Insert(svg, places);
}
