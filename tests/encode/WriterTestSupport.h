// What the writer's tests share: frames of one colour, and reading the written
// files back, with libavformat/libavcodec and, as a player would, with the
// ffmpeg and ffprobe commands at their defaults.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/codec_id.h>
}

#include "EncodeSettings.h"

namespace writertest {

// FFmpeg's own log lines are not the writer's messages; tests that check the
// exact standard error text silence them.
class QuietLibraries {
 public:
  QuietLibraries();
  ~QuietLibraries();

 private:
  int level_;
};

struct Rgb {
  int r, g, b;
};

// A capture-format frame (blue-green-red, bottom row first) of one colour.
std::vector<uint8_t> SolidFrame(int32_t width, int32_t height, Rgb colour);

EncodeSettings Settings(int32_t width, int32_t height, int32_t rate, int32_t bitRate);

struct Yuv {
  int y, u, v;
};

struct DecodedFrame {
  double seconds;   // presentation time
  Yuv top, bottom;  // samples at the centre of each half
};

struct Decoded {
  AVCodecID codec = AV_CODEC_ID_NONE;
  int width = 0, height = 0;
  std::vector<DecodedFrame> frames;
};

// Opens the file with libavformat and decodes every picture of its one video stream.
Decoded DecodeFile(const std::string& path);

// Decodes the file as a player would: the ffmpeg command with its defaults,
// to 24-bit RGB. One entry per picture, width x height x 3 bytes each.
std::vector<std::vector<uint8_t>> DecodeRgb(const std::string& path, int32_t width, int32_t height);

// `ffprobe`'s value of one entry of the video stream ("color_range" gives "pc").
std::string ProbeStream(const std::string& path, const std::string& entry);

// The types of the top-level boxes of an MP4/MOV file, in file order.
std::vector<std::string> TopLevelBoxes(const std::string& path);

}  // namespace writertest
