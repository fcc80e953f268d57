#pragma once
// Reads over UNO the pictures of a presentation (slides and master pages) that have an
// outline or a shadow: the frames that PictureFrames::Apply puts back in the exported show.
//
// Threads: the thread that uses the office connection.

#include <com/sun/star/lang/XComponent.hpp>
#include <vector>

#include "PictureFrames.h"

class PictureFrameReader {
 public:
  // The frames of the unrotated pictures with an outline or a shadow; empty when there are
  // none or the document cannot be read (the show is then left as the office exported it).
  static std::vector<PictureFrames::Frame> Read(const css::uno::Reference<css::lang::XComponent>& document);
};
