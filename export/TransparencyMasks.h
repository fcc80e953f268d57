#pragma once
// Transparency gradients, as the office draws them. Its SVG export writes a shape's
// transparency gradient as a mask of greys, but each point gets the transparency of the
// point mirrored along the gradient (start and end change places), written as if it were
// the opacity: a gradient from 20 % to 60 % transparency (opacity 80 % to 40 %) comes out
// as a mask from 60 % to 20 %, so the shape shows far paler than the office draws it. Only
// a gradient from clear to opaque (or back) comes out right, as there the two errors cancel.
// The greys of such a mask run between the gradient's two ends, lo and hi; each grey g
// stands for the transparency lo + hi - g, that is an opacity (as a grey) of
// 255 - lo - hi + g. Linear and axial gradients (mask stops) and the stepped rings of
// radial, elliptical, square and rectangular ones (mask paths) are mended alike.
//
// Threads: pure functions, any thread.

#include <string>

class TransparencyMasks {
 public:
  // `svg` with the greys of every mask mended; masks with other colours, pictures or a single
  // grey are left as they are.
  static std::string Apply(const std::string& svg);
};
