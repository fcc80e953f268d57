#pragma once
// Justified paragraphs, which the office stretches to their box and its SVG export writes as
// plain lines at their natural width: the export keeps the office's line breaks and each
// line's start, but not the alignment, so every line but a paragraph's last ends short of the
// right edge. The office tells which paragraphs are justified and where their lines end (read
// over UNO by JustifiedTextReader); each shape is found in the exported show by its page and
// its bounding box, and every line the office stretches gets a `data-kv-justify` attribute with the x at
// which it ends (1/100 mm, the show's units). The page (engine/justify.js) spreads the line's
// spaces to reach it, as the office does, with the browser's own measure of the text.
//
// Right-to-left paragraphs the export writes in the order of their text: each piece of a line
// after its first follows the one before it, where the office sets the line's pieces in
// right-to-left order (a closing full stop of English text stands at the line's left). Each
// line of such a paragraph gets a `data-kv-rtl` attribute; the page (engine/rtl-lines.js)
// sets its pieces in the office's order.
//
// Threads: pure functions, any thread.

#include <string>
#include <vector>

#include "TextShadows.h"

class JustifiedText {
 public:
  struct Shape {
    TextShadows::Box box;  // the shape's page, position and size (1/100 mm)
    // One entry a paragraph, in order: where its lines end (1/100 mm from the page's left),
    // or -1 when the paragraph is not justified.
    std::vector<long> lineEnds;
    // One entry a paragraph, in the same order: whether it runs right to left (none: no
    // paragraph does).
    std::vector<bool> rightToLeft;
  };

  // `svg` with the stretched and the right-to-left lines of `shapes` marked; unchanged without shapes. A shape whose
  // exported paragraphs cannot be told apart from the office's (their numbers differ) is left
  // as exported, unless all its paragraphs are justified alike.
  static std::string Apply(const std::string& svg, const std::vector<Shape>& shapes);
};
