#pragma once
// Glow and soft edges, which the office draws and its SVG export drops. The office tells
// which shapes have them (read over UNO by ShapeGlowReader); each is found in the exported
// show by its bounding box (1/100 mm, as the export writes it) and its drawing gets a
// filter that does what the office does: a glow is the shape's outline grown by half the
// glow's radius and blurred by the other half, in the glow's colour, beneath the shape; a
// soft edge is the shape's outline shrunk by half the radius and blurred by the other half,
// through which the shape shows.
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
