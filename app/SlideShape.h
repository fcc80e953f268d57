// The shape of an exported deck: the width and height of its slides, read from the
// viewBox of the SVG show inside the single-file web archive. `kavreto convert --size
// auto` sizes the video after it.
//
// Threads: pure functions, any thread. No Qt.
#pragma once

#include <string>
#include <string_view>

class MhtmlArchive;

class SlideShape {
 public:
  // The slide size of the SVG show in the archive at `archivePath`; false when the
  // archive cannot be read or holds no SVG show with a usable viewBox.
  static bool FromArchive(const std::string& archivePath, double& width, double& height);
  // The same, of an archive already read.
  static bool FromArchive(const MhtmlArchive& archive, double& width, double& height);
  // The viewBox width and height of the document's root <svg> element; false when it
  // has none or either is not a positive number.
  static bool FromSvg(std::string_view svg, double& width, double& height);
};
