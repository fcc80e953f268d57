// Reading a written file's sound back as a player would (the ffmpeg and
// ffprobe commands), and finding the tones in it.
#pragma once

#include <string>
#include <vector>

namespace soundtrack {

// The codec types of the file's streams in order, joined by commas ("video,audio").
std::string StreamTypes(const std::string& path);
// ffprobe's codec name of the file's first audio stream ("" when it has none).
std::string AudioCodec(const std::string& path);

struct Sound {
  std::vector<float> samples;  // mono, at `rate`
  int rate = 0;
  std::string errors;  // what the decoder said (ffmpeg -v error)
  // Where sample 0 lies on the picture's clock: when a player plays the first
  // decoded sample less when it shows the first picture (a container that
  // cannot mark an encoder's priming samples, as ASF, starts them earlier).
  double offset = 0;
  double end() const { return offset + double(samples.size()) / rate; }
};
// Decodes the first audio stream, mixed down to one channel at `rate`.
Sound Decode(const std::string& path, int rate = 48000);

struct Burst {
  double start = 0, end = 0;  // seconds on the picture's clock
};
// Stretches where the sound is louder than `threshold` (RMS over 5 ms),
// gaps shorter than 30 ms bridged.
std::vector<Burst> Bursts(const Sound& sound, double threshold = 0.02);

// The tone's frequency between two times on the picture's clock, from its zero crossings.
double Frequency(const Sound& sound, double start, double end);

}  // namespace soundtrack
