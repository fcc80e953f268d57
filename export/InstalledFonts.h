#pragma once
// Which font families this machine has, asked of fontconfig, the library through which the
// office (and the browser) find their fonts on Linux.
//
// Threads: any thread; the answers are kept for the process, behind a lock.

#include <string>

class InstalledFonts {
 public:
  // The family fontconfig draws for `family` when no installed font bears that family name
  // (what the office puts in its place); empty when one does, or when fontconfig gives none.
  static std::string StandIn(const std::string& family);
};
