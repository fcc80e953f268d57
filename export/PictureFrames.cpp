#include "PictureFrames.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "SvgTags.h"

namespace {

using SvgTags::Attribute;
using SvgTags::Near;

bool Near(const PictureFrames::Rect& a, const PictureFrames::Rect& b) {
  return Near(a.x, b.x) && Near(a.y, b.y) && Near(a.width, b.width) && Near(a.height, b.height);
}

PictureFrames::Rect TagRect(const std::string& svg, size_t begin, size_t end) {
  return {Attribute(svg, begin, end, "x"), Attribute(svg, begin, end, "y"), Attribute(svg, begin, end, "width"),
          Attribute(svg, begin, end, "height")};
}

std::string Colour(unsigned rgb) {
  return "rgb(" + std::to_string((rgb >> 16) & 0xff) + "," + std::to_string((rgb >> 8) & 0xff) + "," +
         std::to_string(rgb & 0xff) + ")";
}

std::string Opacity(int transparence) {
  char text[16];
  std::snprintf(text, sizeof text, "%.2f", (100 - std::min(100, std::max(0, transparence))) / 100.0);
  return text;
}

std::string RectAttributes(const PictureFrames::Rect& r) {
  return " x=\"" + std::to_string(r.x) + "\" y=\"" + std::to_string(r.y) + "\" width=\"" + std::to_string(r.width) +
         "\" height=\"" + std::to_string(r.height) + "\"";
}

bool Near(const PictureFrames::Rect& a, const PictureFrames::Rect& b, long dx, long dy) {
  return std::abs(a.x - b.x) <= dx && std::abs(a.y - b.y) <= dy && std::abs(a.width - b.width) <= dx &&
         std::abs(a.height - b.height) <= dy;
}

// Whether [from, imageAt) holds only a clip path's definition and the opening of the group it
// clips, the image alone in it: `<defs><clipPath id="c">...</clipPath></defs><g
// clip-path="url(#c)"><image .../></g>`. `groupEnd`: just after the group's end.
bool ClippedImage(const std::string& svg, size_t from, size_t imageAt, size_t imageEnd, size_t& groupEnd) {
  const size_t defs = svg.find_first_not_of(" \t\r\n", from);
  if (defs == std::string::npos || svg.compare(defs, 6, "<defs>") != 0) return false;
  const size_t clip = svg.find_first_not_of(" \t\r\n", defs + 6);
  if (clip == std::string::npos || svg.compare(clip, 10, "<clipPath ") != 0) return false;
  const size_t idAt = svg.find(" id=\"", clip);
  const size_t idEnd = idAt == std::string::npos ? idAt : svg.find('"', idAt + 5);
  const size_t clipClose = svg.find("</clipPath>", clip);
  if (idEnd == std::string::npos || clipClose == std::string::npos || clipClose > imageAt || idEnd > clipClose)
    return false;
  const size_t defsClose = svg.find_first_not_of(" \t\r\n", clipClose + 11);
  if (defsClose == std::string::npos || svg.compare(defsClose, 7, "</defs>") != 0) return false;
  const std::string group = "<g clip-path=\"url(#" + svg.substr(idAt + 5, idEnd - idAt - 5) + ")\">";
  const size_t groupAt = svg.find_first_not_of(" \t\r\n", defsClose + 7);
  if (groupAt == std::string::npos || svg.compare(groupAt, group.size(), group) != 0 ||
      svg.find_first_not_of(" \t\r\n", groupAt + group.size()) != imageAt)
    return false;
  const size_t close = svg.find_first_not_of(" \t\r\n", imageEnd + 2);
  if (close == std::string::npos || svg.compare(close, 4, "</g>") != 0) return false;
  groupEnd = close + 4;
  return true;
}

PictureFrames::Rect Grown(const PictureFrames::Rect& r, long by) {
  return {r.x - by, r.y - by, r.width + 2 * by, r.height + 2 * by};
}

}  // namespace

std::string PictureFrames::Apply(const std::string& svg, const std::vector<Frame>& frames) {
  if (frames.empty()) return svg;
  static const std::string kRect = "<rect class=\"BoundingBox\"";
  static const std::string kImage = "<image ";
  std::string out;
  out.reserve(svg.size() + 4096);
  std::set<long> blurs;
  size_t copied = 0;
  const ShowPages pages(svg);
  for (size_t rect = svg.find(kRect); rect != std::string::npos; rect = svg.find(kRect, rect + 1)) {
    const size_t rectEnd = svg.find('>', rect);
    if (rectEnd == std::string::npos) break;
    const Rect box = TagRect(svg, rect, rectEnd);
    const int page = pages.pageAt(rect);
    const Frame* frame = nullptr;
    for (const Frame& f : frames)
      if (ShowPages::Matches(f.page, page) && Near(f.bound, box) && !Near(f.own, box)) frame = &f;
    if (frame == nullptr) continue;
    // The bitmap follows the bounding box at once, stretched over it, or in a group clipped
    // to about the box (the export's form for a picture imported with a crop of nothing).
    const size_t imageAt = svg.find(kImage, rectEnd);
    if (imageAt == std::string::npos) continue;
    const size_t imageEnd = svg.find("/>", imageAt);
    if (imageEnd == std::string::npos) continue;
    const Rect image = TagRect(svg, imageAt, imageEnd);
    size_t clipEnd = std::string::npos;  // the end of the clipped group, in that form
    if (svg.find_first_not_of(" \t\r\n", rectEnd + 1) != imageAt) {
      if (!ClippedImage(svg, rectEnd + 1, imageAt, imageEnd, clipEnd) || !Near(image, box, box.width / 100 + 2, box.height / 100 + 2))
        continue;
    } else if (!Near(image, box)) {
      continue;
    }
    // The shadow first, beneath the picture (outside the clipped group, which would cut it).
    const size_t shadowAt = clipEnd == std::string::npos ? imageAt : rectEnd + 1;
    out.append(svg, copied, shadowAt - copied);
    const long line = frame->lineWidth;
    const Rect outer = Grown(frame->own, line);
    if (frame->shadow) {
      Rect shadow = outer;
      shadow.x += frame->shadowDx;
      shadow.y += frame->shadowDy;
      out += "<rect" + RectAttributes(shadow) + " stroke=\"none\" fill=\"" + Colour(frame->shadowColour) +
             "\" fill-opacity=\"" + Opacity(frame->shadowTransparence) + "\"";
      if (frame->shadowBlur > 0) {
        blurs.insert(frame->shadowBlur);
        out += " filter=\"url(#kv-picture-shadow-" + std::to_string(frame->shadowBlur) + ")\"";
      }
      out += "/>";
    }
    out.append(svg, shadowAt, imageAt - shadowAt);
    // The image with its place replaced, its other attributes as they were.
    std::string tag = svg.substr(imageAt, imageEnd - imageAt);
    for (const char* name : {"x", "y", "width", "height"}) {
      const std::string key = std::string(" ") + name + "=\"";
      const size_t at = tag.find(key);
      const size_t valueEnd = at == std::string::npos ? at : tag.find('"', at + key.size());
      if (valueEnd == std::string::npos) continue;
      const long value = name[0] == 'x' ? frame->own.x : name[0] == 'y' ? frame->own.y
                                      : name[0] == 'w' ? frame->own.width : frame->own.height;
      tag.replace(at + key.size(), valueEnd - at - key.size(), std::to_string(value));
    }
    out += tag + "/>";
    copied = imageEnd + 2;
    if (clipEnd != std::string::npos) {
      out.append(svg, copied, clipEnd - copied);
      copied = clipEnd;
    }
    if (line > 0)
      out += "<rect" + RectAttributes(Grown(frame->own, line / 2)) + " fill=\"none\" stroke=\"" +
             Colour(frame->lineColour) + "\" stroke-opacity=\"" + Opacity(frame->lineTransparence) +
             "\" stroke-width=\"" + std::to_string(line) + "\" stroke-linejoin=\"round\"/>";
  }
  if (copied == 0) return svg;
  out.append(svg, copied, std::string::npos);
  if (blurs.empty()) return out;
  // The blur filters go into the document's first definitions.
  std::string filters;
  for (long blur : blurs)
    filters += "<filter id=\"kv-picture-shadow-" + std::to_string(blur) +
               "\" x=\"-20%\" y=\"-20%\" width=\"140%\" height=\"140%\" primitiveUnits=\"userSpaceOnUse\">"
               "<feGaussianBlur stdDeviation=\"" + std::to_string(std::max(1L, blur / 2)) + "\"/></filter>\n";
  const size_t defs = out.find("<defs");
  const size_t defsEnd = defs == std::string::npos ? defs : out.find('>', defs);
  if (defsEnd == std::string::npos) return svg;
  out.insert(defsEnd + 1, "\n" + filters);
  return out;
}
