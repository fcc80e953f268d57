// The settings of the current conversion: written by Convert on the UI thread
// before anything of the conversion starts, read afterwards by the capture
// tick, the encoder worker and the video writer.
#pragma once

#include <cstdint>

#include "EncodePresets.h"

struct EncodeSettings {
  int32_t frameRate = EncodePresets::kDefaultFrameRate;                                 // frames per second, 1..30
  int32_t bitRate = EncodePresets::BitRateFromQuality(EncodePresets::kDefaultQuality);  // bits per second
  int32_t width = EncodePresets::kDefaultWidth;  // a size EncodePresets::SizeProblem accepts
  int32_t height = EncodePresets::kDefaultHeight;
};
