#pragma once
// The office's own picture of every slide of a presentation: a private office (started on
// the first call, kept for the next ones) opens the file hidden and read-only and draws each
// slide as a PNG of the asked size with its graphic export filter. The fidelity check
// compares these pictures with the film's.
//
// Threads: one thread uses an object (each call blocks while the office works).

#include <memory>
#include <string>
#include <vector>

class OfficeSlidePictures {
 public:
  struct Slide {
    std::string png;     // the picture's path
    bool shown = true;   // false for a hidden slide (a show passes it over)
  };

  OfficeSlidePictures();
  ~OfficeSlidePictures();
  OfficeSlidePictures(const OfficeSlidePictures&) = delete;
  OfficeSlidePictures& operator=(const OfficeSlidePictures&) = delete;

  // Draws every slide of `presentation` into `directory` (slide-1.png, ...) at `width` x
  // `height` pixels. Empty, with `error` set, when the office cannot open the file (or none
  // could be started).
  std::vector<Slide> render(const std::string& presentation, const std::string& directory, int width, int height,
                            std::string& error);

 private:
  struct Office;
  std::unique_ptr<Office> office_;
};
