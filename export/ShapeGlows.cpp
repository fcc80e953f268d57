#include "ShapeGlows.h"

#include <algorithm>
#include <cstdio>

#include "SvgTags.h"

namespace {

using SvgTags::Attribute;
using SvgTags::Near;

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

// One filter for one shape: its region is the shape's box grown by the glow's reach.
std::string Filter(const std::string& id, const ShapeGlows::Effect& e) {
  const long reach = e.glowRadius + e.softEdgeRadius / 2 + 10;
  std::string f = "<filter id=\"" + id + "\" filterUnits=\"userSpaceOnUse\" primitiveUnits=\"userSpaceOnUse\" x=\"" +
                  std::to_string(e.x - reach) + "\" y=\"" + std::to_string(e.y - reach) + "\" width=\"" +
                  std::to_string(e.width + 2 * reach) + "\" height=\"" + std::to_string(e.height + 2 * reach) + "\">";
  std::string shape = "SourceGraphic";
  if (e.softEdgeRadius > 0) {
    f += "<feMorphology in=\"SourceAlpha\" operator=\"erode\" radius=\"" + Number(e.softEdgeRadius) +
         "\"/><feGaussianBlur stdDeviation=\"" + Number(e.softEdgeRadius / 2.0) +
         "\" result=\"kvEdge\"/><feComposite in=\"SourceGraphic\" in2=\"kvEdge\" operator=\"in\" result=\"kvSoft\"/>";
    shape = "kvSoft";
  }
  if (e.glowRadius > 0) {
    const int transparence = std::min(100, std::max(0, e.glowTransparence));
    char colour[32];
    std::snprintf(colour, sizeof colour, "rgb(%u,%u,%u)", (e.glowColour >> 16) & 0xff, (e.glowColour >> 8) & 0xff,
                  e.glowColour & 0xff);
    f += "<feMorphology in=\"SourceAlpha\" operator=\"dilate\" radius=\"" + Number(e.glowRadius / 3.0) +
         "\"/><feGaussianBlur stdDeviation=\"" + Number(e.glowRadius / 6.0) +
         "\" result=\"kvReach\"/><feFlood flood-color=\"" + colour + "\" flood-opacity=\"" +
         Number((100 - transparence) / 100.0) + "\"/><feComposite in2=\"kvReach\" operator=\"in\" result=\"kvGlow\"/>" +
         "<feMerge><feMergeNode in=\"kvGlow\"/><feMergeNode in=\"" + shape + "\"/></feMerge>";
  }
  return f + "</filter>\n";
}

}  // namespace

std::string ShapeGlows::Apply(const std::string& svg, const std::vector<Effect>& effects) {
  if (effects.empty()) return svg;
  static const std::string kRect = "<rect class=\"BoundingBox\"";
  std::string out;
  out.reserve(svg.size() + 4096);
  std::string filters;
  size_t copied = 0;
  int count = 0;
  const ShowPages pages(svg);
  for (size_t rect = svg.find(kRect); rect != std::string::npos; rect = svg.find(kRect, rect + 1)) {
    const size_t rectEnd = svg.find('>', rect);
    if (rectEnd == std::string::npos) break;
    const long x = Attribute(svg, rect, rectEnd, "x"), y = Attribute(svg, rect, rectEnd, "y");
    const long w = Attribute(svg, rect, rectEnd, "width"), h = Attribute(svg, rect, rectEnd, "height");
    const int page = pages.pageAt(rect);
    const Effect* effect = nullptr;
    for (const Effect& e : effects)
      if (ShowPages::Matches(e.page, page) && Near(e.x, x) && Near(e.y, y) && Near(e.width, w) && Near(e.height, h))
        effect = &e;
    if (effect == nullptr || (effect->glowRadius <= 0 && effect->softEdgeRadius <= 0)) continue;
    // The filter goes on the group that holds the box and the shape's drawing.
    const size_t group = svg.rfind("<g", rect);
    if (group == std::string::npos || group < copied || svg.find('>', group) != svg.find_last_not_of(" \t\r\n", rect - 1))
      continue;
    const std::string id = "kv-shape-glow-" + std::to_string(++count);
    filters += Filter(id, *effect);
    out.append(svg, copied, group + 2 - copied);
    out += " filter=\"url(#" + id + ")\"";
    copied = group + 2;
  }
  if (filters.empty()) return svg;
  out.append(svg, copied, std::string::npos);
  const size_t defs = out.find("<defs");
  const size_t defsEnd = defs == std::string::npos ? defs : out.find('>', defs);
  if (defsEnd == std::string::npos) return svg;
  out.insert(defsEnd + 1, "\n" + filters);
  return out;
}
