#pragma once
// Pictures with an outline, a shadow or a glow, as the office draws them. Its SVG export stretches
// such a picture's bitmap over the shape's whole bounding box, which takes in the outline
// and the shadow's blur, and drops the outline and the shadow: the picture shows larger and
// shifted, without its frame (a photo with a thick white border lies over its neighbour).
// The office draws the bitmap in the shape's own rectangle, the outline around it outside
// (its inner edge on the rectangle), and the shadow beneath both. Each such picture is found
// in the exported show by its bounding box (1/100 mm, as the export writes it), its bitmap
// right after the box or alone in a group clipped to about the box (how imported pictures
// come); the bitmap is put back in its rectangle, and the outline and shadow are drawn as
// the office does.
//
// Threads: pure functions, any thread.

#include <string>
#include <vector>

#include "ShowPages.h"

class PictureFrames {
 public:
  struct Rect {
    long x = 0, y = 0, width = 0, height = 0;  // 1/100 mm
    bool operator==(const Rect&) const = default;
  };
  struct Frame {
    Rect bound;                  // the shape's bounding box, as the export writes it
    Rect own;                    // the shape's own rectangle, where the bitmap goes
    long lineWidth = 0;          // 0: no outline
    unsigned lineColour = 0;     // 0xRRGGBB
    int lineTransparence = 0;    // percent
    bool shadow = false;
    unsigned shadowColour = 0;
    int shadowTransparence = 0;  // percent
    long shadowDx = 0, shadowDy = 0, shadowBlur = 0;
    // The slide (from 0) or ShowPages::kMaster; kAny: found by its box alone.
    int page = ShowPages::kAny;
  };

  // `svg` with each picture of `frames` in its own rectangle, outlined and shadowed; a frame
  // whose picture is not found (or is already in its rectangle) leaves the show unchanged.
  static std::string Apply(const std::string& svg, const std::vector<Frame>& frames);
};
