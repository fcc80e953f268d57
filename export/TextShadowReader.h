#pragma once
// Reads over UNO which shapes of a presentation (slides and master pages) have text with a
// shadow: the boxes that TextShadows::Apply gives a shadow in the exported show.
//
// Threads: the thread that uses the office connection.

#include <com/sun/star/lang/XComponent.hpp>
#include <vector>

#include "TextShadows.h"

class TextShadowReader {
 public:
  // The boxes of the shapes with any shadowed text; empty when there are none or the
  // document cannot be read (the show is then left as the office exported it).
  static std::vector<TextShadows::Box> Read(const css::uno::Reference<css::lang::XComponent>& document);
};
