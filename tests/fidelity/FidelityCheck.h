#pragma once
// How closely a film shows each slide as the office draws it. The film's settled pictures
// (frames that stand still) are compared with the office's own picture of every shown slide,
// in grey at GreyPicture's size; each slide gets the best match among them.
//
// Threads: any thread.

#include <string>
#include <vector>

#include "GreyPicture.h"
#include "OfficeSlidePictures.h"

class FidelityCheck {
 public:
  struct SlideMatch {
    int slide = 0;       // from 1, as the office numbers it
    double ssim = 0;     // of the best settled picture
    int frame = -1;      // that picture's frame index in the film
    std::string office;  // the office's picture
  };

  // The frames that stand still: the last of each run of two or more frames that do not
  // differ (the picture a viewer sees once a step has played).
  static std::vector<int> SettledFrames(const std::vector<GreyPicture>& film);

  // Matches every shown slide of `slides` with its best settled picture of `film`. Empty
  // when a picture cannot be read.
  static std::vector<SlideMatch> Match(const std::vector<GreyPicture>& film,
                                       const std::vector<OfficeSlidePictures::Slide>& slides);

  // Writes the office's picture and the film's frame side by side into
  // `png`; both are of the film's size. False when ffmpeg could not.
  static bool SideBySide(const std::string& officePng, const std::string& video, int frame, const std::string& png);
};
