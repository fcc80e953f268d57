// Full-range to limited-range mapping of a YUV picture, for codecs whose
// streams cannot say that their samples use the full range (FLV1, MS-MPEG-4,
// MPEG-1 and their kind): their decoders read every sample as limited range,
// Y from 16 to 235 and U and V from 16 to 240, and would stretch full-range
// values. The converter's planes are mapped in place, one table look-up per
// byte, with no allocation.
//
// Threads: any; the tables are constant.
#pragma once

#include <cstdint>

class LimitedRange {
 public:
  // The limited-range value of a full-range sample: 16 + round(219 x / 255)
  // for luma, 16 + round(224 x / 255) for chroma (128 stays 128).
  static uint8_t Luma(uint8_t fullRange);
  static uint8_t Chroma(uint8_t fullRange);

  // Maps `height` rows of `width` bytes, `lineSize` bytes apart, in place.
  static void MapLuma(uint8_t* plane, int32_t width, int32_t height, int32_t lineSize);
  static void MapChroma(uint8_t* plane, int32_t width, int32_t height, int32_t lineSize);
};
