#pragma once
// Text shadows, which the office draws and its SVG export drops. The office tells which
// shapes have shadowed text (read over UNO by TextShadowReader); each is found in the
// exported show by its page and its bounding box, which the export writes in the same units (1/100 mm),
// and its text gets a shadow filter: the text again, offset down and right by 1/18 of its
// font size, in black (as the office draws it), beneath it.
//
// Threads: pure functions, any thread.

#include <string>
#include <vector>

#include "ShowPages.h"

class TextShadows {
 public:
  struct Box {
    long x = 0, y = 0, width = 0, height = 0;  // 1/100 mm, as the shape's position and size
    // The slide (from 0) or ShowPages::kMaster; kAny: found by its box alone.
    int page = ShowPages::kAny;
    bool operator==(const Box&) const = default;
  };

  // `svg` with every text inside one of `boxes` shadowed; unchanged without boxes.
  static std::string Apply(const std::string& svg, const std::vector<Box>& boxes);
};
