// The sound track of one conversion, and the pictures of its video clips: the show archive's
// sound table and clips, the mixer that plays them, the layer that shows the media shapes'
// clips over the filmed page, and the show's reports of what it plays turned into frames of
// the film.
//
// The page reports (status texts "KVSOUND:...", see slideshow/page/engine/media-report.js)
// carry the page's time in ms since the film clock's start. A report made at exactly the
// time of a filmed frame comes from a step of the show made after that frame was filmed
// (the player steps the show at the last filmed frame's time), so what it starts is first
// seen, and heard, in the next frame; any other time belongs to the first frame at or
// after it. The page also reports where each media shape of a slide lies on the picture,
// before it reports the slide.
//
// Threads: UI thread, except source(), which the video writer uses on its own threads
// (see SoundMixer), and compose(), which the encoder worker calls (see MediaLayer).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ClipPlayer.h"
#include "MediaLayer.h"
#include "SoundMixer.h"
#include "SoundPlan.h"

class MhtmlArchive;

class ShowSound : private ClipPlayer {
 public:
  // Takes the sound table and the clips from the show archive. False when the deck has
  // nothing that sounds or shows a clip (or the archive holds no table).
  bool Load(const MhtmlArchive& archive);

  AudioSource* source() { return &mixer_; }
  // What could not be taken, in plain words: the exporter's warnings, the clips whose
  // pictures cannot be decoded, then (once the writer has opened) the clips whose sound
  // could not be decoded.
  std::vector<std::string> warnings() const;

  // A page report (the text after "KVSOUND:"). Kept until Flush can place it.
  void Report(const std::string& text);
  // Places the kept reports on the film: the clock started at `startMs`, its first frame
  // was filmed at page time `firstFrameMs`, `frameRate` frames a second.
  void Flush(double startMs, double firstFrameMs, int frameRate);

  // Whether a media shape's clip that plays once still plays at filmed frame `frame`: the
  // show waits for it to end before it moves on.
  bool holds(int64_t frame) const { return pictures_.holds(frame); }
  // Encoder worker: filmed frame `frame` with the video clips drawn over it (see
  // MediaLayer::compose).
  const uint8_t* compose(int64_t frame, const uint8_t* picture, int width, int height) {
    return pictures_.compose(frame, picture, width, height);
  }

  // The frame at which what happens at page time `pageMs` (ms since 1970) is first seen.
  static int64_t FrameAt(double pageMs, double firstFrameMs, int frameRate);

 private:
  // ClipPlayer: the mixer plays every clip; a media shape's clip also shows in the places of
  // the current slide's shapes that hold it.
  void play(int clip, int64_t frame, double volume, bool loop) override;
  void stop(int clip, int64_t frame) override;
  void stopAll(int64_t frame) override;

  SoundPlan plan_;
  SoundMixer mixer_;
  MediaLayer pictures_;
  std::vector<std::string> pending_;
  std::vector<std::string> pictureProblems_;
  int slide_ = -1;
  // Where the page put each media shape: (slide, shape) -> place on the picture.
  std::map<std::pair<int, int>, MediaLayer::Place> places_;
};
