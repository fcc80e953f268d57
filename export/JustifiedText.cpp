#include "JustifiedText.h"

#include <algorithm>

#include "ShowPages.h"
#include "SvgTags.h"

namespace {

using SvgTags::Attribute;
using SvgTags::Near;

const std::string kRect = "<rect class=\"BoundingBox\"";
const std::string kText = "<text class=\"SVGTextShape\"";
// A paragraph is written as one of these (a list item's when it has a bullet or number).
const std::string kParagraph = " class=\"TextParagraph\"";
const std::string kListItem = " class=\"ListItem\"";
const std::string kLine = "<tspan class=\"TextPosition\"";
const std::string kBullet = "class=\"BulletPlaceholder\"";

bool SameBox(const TextShadows::Box& a, const TextShadows::Box& b) {
  return Near(a.x, b.x) && Near(a.y, b.y) && Near(a.width, b.width) && Near(a.height, b.height);
}

// The offsets of every `what` in [begin, end) of `svg`.
std::vector<size_t> FindAll(const std::string& svg, const std::string& what, size_t begin, size_t end) {
  std::vector<size_t> found;
  for (size_t at = svg.find(what, begin); at != std::string::npos && at < end; at = svg.find(what, at + 1))
    found.push_back(at);
  return found;
}

}  // namespace

std::string JustifiedText::Apply(const std::string& svg, const std::vector<Shape>& shapes) {
  if (shapes.empty()) return svg;
  // Where each mark goes (just after a line's tag name), and the mark.
  std::vector<std::pair<size_t, std::string>> marks;
  const ShowPages pages(svg);
  for (size_t rect = svg.find(kRect); rect != std::string::npos; rect = svg.find(kRect, rect + 1)) {
    const size_t rectEnd = svg.find('>', rect);
    if (rectEnd == std::string::npos) break;
    const TextShadows::Box box{Attribute(svg, rect, rectEnd, "x"), Attribute(svg, rect, rectEnd, "y"),
                               Attribute(svg, rect, rectEnd, "width"), Attribute(svg, rect, rectEnd, "height")};
    const int page = pages.pageAt(rect);
    const Shape* shape = nullptr;
    for (const Shape& s : shapes)
      if (ShowPages::Matches(s.box.page, page) && SameBox(s.box, box)) shape = &s;
    if (shape == nullptr || shape->lineEnds.empty()) continue;
    // The shape's text follows its bounding box, before the next shape's box.
    const size_t text = svg.find(kText, rectEnd);
    const size_t next = svg.find(kRect, rectEnd);
    if (text == std::string::npos || (next != std::string::npos && next < text)) continue;
    const size_t textEnd = svg.find("</text>", text);
    if (textEnd == std::string::npos) continue;
    std::vector<size_t> paragraphs = FindAll(svg, kParagraph, text, textEnd);
    const std::vector<size_t> items = FindAll(svg, kListItem, text, textEnd);
    paragraphs.insert(paragraphs.end(), items.begin(), items.end());
    std::sort(paragraphs.begin(), paragraphs.end());
    bool alike = true;
    for (long end : shape->lineEnds) alike = alike && end == shape->lineEnds.front();
    if (paragraphs.size() != shape->lineEnds.size() && !alike) continue;
    for (size_t p = 0; p < paragraphs.size(); ++p) {
      const long end = p < shape->lineEnds.size() ? shape->lineEnds[p] : shape->lineEnds.front();
      const bool backwards = p < shape->rightToLeft.size() && paragraphs.size() == shape->lineEnds.size() &&
                             shape->rightToLeft[p];
      if (end < 0 && !backwards) continue;
      const size_t paragraphEnd = p + 1 < paragraphs.size() ? paragraphs[p + 1] : textEnd;
      std::vector<size_t> lines;
      for (size_t line : FindAll(svg, kLine, paragraphs[p], paragraphEnd)) {
        // A list item's bullet has a line of its own before the text's.
        const size_t content = svg.find('>', line) + 1;
        if (svg.compare(content, 6, "<tspan") == 0 && svg.find(kBullet, content) < svg.find('>', content)) continue;
        lines.push_back(line);
      }
      // The paragraph's last line keeps its natural width, as the office leaves it.
      for (size_t l = 0; end >= 0 && l + 1 < lines.size(); ++l)
        marks.emplace_back(lines[l] + kLine.size(), " data-kv-justify=\"" + std::to_string(end) + "\"");
      // A line's first piece has its x; the pieces that follow it on the line have none.
      for (size_t l = 0; backwards && l < lines.size(); ++l)
        if (svg.find(" x=\"", lines[l]) < svg.find('>', lines[l])) marks.emplace_back(lines[l] + kLine.size(), " data-kv-rtl=\"\"");
    }
  }
  return marks.empty() ? svg : SvgTags::Insert(svg, marks);
}
