#pragma once
// Glow and soft edges of pictures, which the office draws and its SVG export drops (it writes
// the bitmap as it was; other shapes it draws with their effects). The office tells which
// pictures have them (read over UNO by ShapeGlowReader); each is found in the exported show
// by its bounding box (1/100 mm, as the export writes it, the glow taken in) and its drawing
// gets a filter that does what the office does:
// - a glow is the picture's outline grown by a third of the glow's radius and blurred by a
//   sixth, in the glow's colour, beneath the picture (the office's glow fades out well within
//   its radius);
// - a soft edge is the outline shrunk by the radius and blurred by half of it, through which
//   the picture shows (the office's edge is clear at the outline and half way in at the
//   radius).
//
// Threads: pure functions, any thread.

#include <string>
#include <vector>

#include "ShowPages.h"

class ShapeGlows {
 public:
  struct Effect {
    long x = 0, y = 0, width = 0, height = 0;  // the shape's box, 1/100 mm
    long glowRadius = 0;                       // 0: no glow
    unsigned glowColour = 0;                   // 0xRRGGBB
    int glowTransparence = 0;                  // percent
    long softEdgeRadius = 0;                   // 0: no soft edge
    // The slide (from 0) or ShowPages::kMaster; kAny: found by its box alone.
    int page = ShowPages::kAny;
  };

  // `svg` with every shape of `effects` filtered; unchanged without effects or boxes found.
  static std::string Apply(const std::string& svg, const std::vector<Effect>& effects);
};
