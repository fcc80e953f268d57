// One sound file (or a video file's sound) decoded whole and resampled to the
// film's sound: planar float stereo at the writer's sample rate.
//
// Threads: Decode may be called on any thread; a DecodedClip is immutable
// after it and may be read from any thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

class DecodedClip {
 public:
  // Decodes the first audio stream of `path` (libavformat, libavcodec) and
  // resamples it (libswresample) to stereo at `sampleRate`. Null on failure,
  // with `problem` set to a sentence in plain words; a file without any sound
  // gives a clip of no samples.
  static std::unique_ptr<DecodedClip> Decode(const std::string& path, int sampleRate, std::string* problem);
  // The same for a file held in memory (a clip from the show archive); `name`
  // names it in the problem.
  static std::unique_ptr<DecodedClip> DecodeBytes(const std::string& name, const std::string& bytes, int sampleRate,
                                                  std::string* problem);

  int64_t length() const { return static_cast<int64_t>(left_.size()); }
  const float* left() const { return left_.data(); }
  const float* right() const { return right_.data(); }

 private:
  struct Input;
  static std::unique_ptr<DecodedClip> DecodeInput(Input& input, const std::string& name, int sampleRate,
                                                  std::string* problem);
  std::vector<float> left_, right_;
};
