#include "TextShadows.h"

#include <set>

#include "ShowPages.h"
#include "SvgTags.h"

namespace {

using SvgTags::Attribute;
using SvgTags::Near;

}  // namespace

std::string TextShadows::Apply(const std::string& svg, const std::vector<Box>& boxes) {
  if (boxes.empty()) return svg;
  static const std::string kRect = "<rect class=\"BoundingBox\"";
  static const std::string kText = "<text class=\"SVGTextShape\"";
  std::string out;
  out.reserve(svg.size() + 4096);
  std::set<long> offsets;
  size_t copied = 0;
  const ShowPages pages(svg);
  for (size_t rect = svg.find(kRect); rect != std::string::npos; rect = svg.find(kRect, rect + 1)) {
    const size_t rectEnd = svg.find('>', rect);
    if (rectEnd == std::string::npos) break;
    const Box box{Attribute(svg, rect, rectEnd, "x"), Attribute(svg, rect, rectEnd, "y"),
                  Attribute(svg, rect, rectEnd, "width"), Attribute(svg, rect, rectEnd, "height")};
    const int page = pages.pageAt(rect);
    bool shadowed = false;
    for (const Box& b : boxes)
      shadowed = shadowed || (ShowPages::Matches(b.page, page) && Near(b.x, box.x) && Near(b.y, box.y) &&
                              Near(b.width, box.width) && Near(b.height, box.height));
    if (!shadowed) continue;
    // The shape's text follows its bounding box, before the next shape's box.
    const size_t text = svg.find(kText, rectEnd);
    const size_t next = svg.find(kRect, rectEnd);
    if (text == std::string::npos || (next != std::string::npos && next < text)) continue;
    const size_t textEnd = svg.find('>', text);
    const long fontSize = Attribute(svg, text, svg.find("</text>", text), "font-size");
    const long offset = fontSize > 0 ? std::max(1L, fontSize / 18) : 0;
    if (offset == 0 || textEnd == std::string::npos) continue;
    offsets.insert(offset);
    out.append(svg, copied, text + kText.size() - copied);
    out += " filter=\"url(#kv-text-shadow-" + std::to_string(offset) + ")\"";
    copied = text + kText.size();
  }
  if (offsets.empty()) return svg;
  out.append(svg, copied, std::string::npos);
  // The filters go into the document's first definitions.
  std::string filters;
  for (long offset : offsets) {
    const std::string d = std::to_string(offset);
    filters += "<filter id=\"kv-text-shadow-" + d +
               "\" x=\"-5%\" y=\"-5%\" width=\"115%\" height=\"130%\" primitiveUnits=\"userSpaceOnUse\">"
               "<feOffset in=\"SourceAlpha\" dx=\"" + d + "\" dy=\"" + d + "\" result=\"moved\"/>"
               "<feFlood flood-color=\"rgb(0,0,0)\"/>"
               "<feComposite in2=\"moved\" operator=\"in\" result=\"shadow\"/>"
               "<feMerge><feMergeNode in=\"shadow\"/><feMergeNode in=\"SourceGraphic\"/></feMerge></filter>\n";
  }
  const size_t defs = out.find("<defs");
  const size_t defsEnd = defs == std::string::npos ? defs : out.find('>', defs);
  if (defsEnd == std::string::npos) return svg;
  out.insert(defsEnd + 1, "\n" + filters);
  return out;
}
