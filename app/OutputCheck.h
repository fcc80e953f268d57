// Whether an output file can carry the video's settings, asked before anything of a
// conversion starts, so that a container that cannot take a size or frame rate is
// refused at once instead of failing after the export.
//
// Threads: any thread. No Qt.
#pragma once

#include <string>

#include "EncodeSettings.h"

class OutputCheck {
 public:
  // Empty when `fileName` can be written with `settings`; otherwise why not: first the
  // dialog's save-filter rule (in its words), then the writer's own limits. `sizeKnown` false: the size is found
  // only after the export (--size auto), so only what holds at every size is checked.
  static std::string Problem(const std::string& fileName, const EncodeSettings& settings, bool sizeKnown = true);
};
