// Where the video writer takes its sound track from: a source of stereo float
// samples on the film's time line (sample 0 plays with the first frame).
//
// Threads: start is called by VideoWriter::open on the thread that opens the
// writer; render is called on the thread that writes the frames (the encoder
// worker) and, from VideoWriter::close, on the thread that closes it. The two
// never overlap in time. A source whose sound is decided elsewhere (on the UI
// thread) guards that itself.
#pragma once

#include <cstdint>

class AudioSource {
 public:
  virtual ~AudioSource() = default;

  // The writer's sample rate for this file (44100 or 48000) and the video's
  // frame rate; sample s of the track plays at s / sampleRate seconds.
  virtual void start(int sampleRate, int frameRate) = 0;

  // Fills `count` samples of each channel, samples `first` .. first + count - 1
  // of the track, into `left` and `right` (silence where nothing plays). The
  // writer asks for the track in order, without gaps, and only for samples
  // that lie at least `kLagSeconds` behind the last frame written, until close
  // asks for the rest up to the end of the picture.
  virtual void render(int64_t first, int count, float* left, float* right) = 0;

  static constexpr int kLagSeconds = 2;
};
