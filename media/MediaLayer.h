// The media shapes' clips on the film: which clip plays in which rectangles of the picture
// from which filmed frame, their pictures drawn over the filmed page, and whether a clip that
// plays once is still playing (the show waits for it before it moves on).
//
// A clip shows from the frame it starts at until it is stopped (by a stop command, the end of
// its slide or of the show); one that plays once keeps its last picture after its end, a
// looping one starts over. A clip that starts again while it plays starts from the beginning.
//
// Threads: addClip and setFrameRate on the UI thread before the conversion; play, stop and
// holds on the UI thread (where the show reports what it plays); compose on the encoder
// worker. A mutex keeps them apart. The UI thread has placed every start and stop that a
// frame shows before it hands that frame to the worker (starts and stops only ever concern
// frames not handed over yet), so a frame's picture is decided by the show's clock alone.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "ClipFrames.h"

class MediaLayer {
 public:
  // Where a clip shows: a rectangle of the picture in pixels, from its top left corner, of
  // which only the part inside the visible one (the slide's) is drawn.
  struct Place {
    int x = 0, y = 0, width = 0, height = 0;
    int visibleLeft = 0, visibleTop = 0, visibleRight = 1 << 30, visibleBottom = 1 << 30;
  };

  // Clip `clip` plays in media shapes; `frames` decodes its pictures (a sound has none).
  void addClip(int clip, std::unique_ptr<ClipFrames> frames);
  bool hasClip(int clip) const;
  void setFrameRate(int frameRate);

  // Clip `clip` starts at filmed frame `frame` in `places` (none for a sound).
  void play(int clip, int64_t frame, bool loop, std::vector<Place> places);
  // Clip `clip` (every clip for -1) stops at `frame`.
  void stop(int clip, int64_t frame);
  // Whether a clip that plays once is still playing at `frame`.
  bool holds(int64_t frame) const;

  // Frame `frame` of the film: `picture` (the filmed page, blue-green-red, bottom row first,
  // width x 3 bytes a row) with the pictures of the clips that show at that frame drawn over
  // it. Gives `picture` itself when no clip shows, else a buffer of the layer's that stays
  // valid until the next call. Frames are asked for in order.
  const uint8_t* compose(int64_t frame, const uint8_t* picture, int width, int height);

 private:
  struct Voice {
    int clip;
    int64_t begin, end;  // end: one past the last frame it shows
    bool loop;
    int64_t length;  // frames, 0 when unknown
    std::vector<Place> places;
  };

  mutable std::mutex mutex_;
  std::map<int, std::shared_ptr<ClipFrames>> clips_;
  std::vector<Voice> voices_;
  int frameRate_ = 25;
  std::vector<uint8_t> composed_;
};
