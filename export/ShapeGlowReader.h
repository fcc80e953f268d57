#pragma once
// Reads over UNO which shapes of a presentation (slides and master pages) have a glow or a
// soft edge: the effects that ShapeGlows::Apply puts back in the exported show.
//
// Threads: the thread that uses the office connection.

#include <com/sun/star/lang/XComponent.hpp>
#include <vector>

#include "ShapeGlows.h"

class ShapeGlowReader {
 public:
  // The effects of the shapes with a glow or a soft edge; empty when there are none or the
  // document cannot be read (the show is then left as the office exported it).
  static std::vector<ShapeGlows::Effect> Read(const css::uno::Reference<css::lang::XComponent>& document);
};
