// What the show's rules (SoundPlan) start and stop: the deck's clips, by number, at filmed
// frames. The sound mixer plays them into the track; the show's sound (ShowSound) also shows
// the media shapes' pictures.
//
// Threads: the UI thread, where the show reports what it plays.
#pragma once

#include <cstdint>

class ClipPlayer {
 public:
  virtual ~ClipPlayer() = default;
  // Clip `clip` starts at filmed frame `frame` at `volume` (1 is as recorded), once or over
  // and over. A clip that is still playing stops where it starts again.
  virtual void play(int clip, int64_t frame, double volume, bool loop) = 0;
  // Clip `clip` (every clip for stopAll) falls silent at `frame`.
  virtual void stop(int clip, int64_t frame) = 0;
  virtual void stopAll(int64_t frame) = 0;
};
