#include "ShowPage.h"

#include "PageFiles.h"

namespace {

// Inserted before the engine's script. The engine's alert() boxes would block a page nobody
// sees. Slide and master backgrounds stop a fraction of a pixel short of the slide's edge and
// lie on top of each other, so smoothed edges would let the lower one show through as a thin
// light line around the slide: backgrounds are drawn with hard edges.
// While an effect plays, the engine's frame synchronisation waits for the next frame time in
// a busy loop: on the wall clock that spins a processor core, on the film clock (which moves
// only between filmed frames) it would never return. The engine schedules its next update
// itself, so marking the frame is all that is left; the replacement is made by a load
// listener registered here, which runs before the engine's own start (window.onload).
constexpr const char* kShowPreamble =
    "<style type=\"text/css\"><![CDATA[\n"
    ".Background path { shape-rendering: crispEdges; }\n"
    "]]></style>\n"
    "<script type=\"text/ecmascript\"><![CDATA[\n"
    "window.alert = function(message) { if (window.console) console.log(String(message)); };\n"
    "window.addEventListener('load', function() {\n"
    "  if (typeof FrameSynchronization === 'function')\n"
    "    FrameSynchronization.prototype.synchronize = function() { this.markCurrentFrame(); };\n"
    "});\n"
    "]]></script>\n";

std::string EscapeAttribute(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

// Replaces the first `marker` in `text`; false when it is not there.
bool Fill(std::string& text, const std::string& marker, const std::string& value) {
  const size_t at = text.find(marker);
  if (at == std::string::npos) return false;
  text.replace(at, marker.size(), value);
  return true;
}

}  // namespace

std::string ShowPage::Html(const std::string& showAddress, const std::vector<int>& shownSlides) {
  std::string list;
  for (size_t i = 0; i < shownSlides.size(); ++i) {
    if (i > 0) list += ", ";
    list += std::to_string(shownSlides[i]);
  }
  std::string page = PageFiles::kShowPageHtml;
  Fill(page, "/*@kavreto:shown-slides@*/", list);
  Fill(page, "<script src=\"showpage.js\"></script>",
       std::string("<script>\n") + PageFiles::kShowPageScript + "</script>");
  Fill(page, "@kavreto:show-address@", EscapeAttribute(showAddress));
  return page;
}

std::string ShowPage::PrepareShow(const std::string& svg) {
  const size_t root = svg.find("<svg");
  const size_t script = svg.find("<script");
  if (root == std::string::npos || script == std::string::npos || script < root) return {};
  std::string out;
  out.reserve(svg.size() + 600);
  out.append(svg, 0, script);
  out += kShowPreamble;
  out.append(svg, script, std::string::npos);
  return out;
}
