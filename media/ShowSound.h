// The sound track of one conversion: the show archive's sound table and clips,
// the mixer that plays them, and the show's reports of what it plays turned
// into frames of the film.
//
// The page reports (status texts "KVSOUND:...", see slideshow/page/engine/media-report.js)
// carry the page's time in ms since the film clock's start. A report made at exactly the
// time of a filmed frame comes from a step of the show made after that frame was filmed
// (the player steps the show at the last filmed frame's time), so what it starts is first
// seen, and heard, in the next frame; any other time belongs to the first frame at or
// after it.
//
// Threads: UI thread, except source(), which the video writer uses on its own threads
// (see SoundMixer).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "SoundMixer.h"
#include "SoundPlan.h"

class ShowSound {
 public:
  // Reads the sound table and the clips from the show archive at `archivePath`. False when
  // the deck has nothing that sounds (or the archive holds no table).
  bool Load(const std::string& archivePath);

  AudioSource* source() { return &mixer_; }
  // What could not be taken, in plain words: the exporter's warnings, then (once the writer
  // has opened) the clips that could not be decoded.
  std::vector<std::string> warnings() const;

  // A page report (the text after "KVSOUND:"). Kept until Flush can place it.
  void Report(const std::string& text);
  // Places the kept reports on the film: the clock started at `startMs`, its first frame
  // was filmed at page time `firstFrameMs`, `frameRate` frames a second.
  void Flush(double startMs, double firstFrameMs, int frameRate);

  // The frame at which what happens at page time `pageMs` (ms since 1970) is first seen.
  static int64_t FrameAt(double pageMs, double firstFrameMs, int frameRate);

 private:
  SoundPlan plan_;
  SoundMixer mixer_;
  std::vector<std::string> pending_;
};
