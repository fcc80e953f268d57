// The settings of the current conversion: written by Convert on the UI thread
// before anything of the conversion starts, read afterwards by the capture
// tick, the encoder worker and the video writer.
#pragma once

#include <cstdint>

struct EncodeSettings {
  int32_t frameRate = 25;        // frames per second, 1..30
  int32_t bitRate = 10 * 20480;  // bits per second: quality position x 20480
  int32_t width = 352;           // 720x540, 640x480 or 352x288
  int32_t height = 288;
};
