#pragma once
// The filmed frame and the copy of the frame before it, both in the frame format:
// width x height pixels, 3 bytes each in blue-green-red order, bottom row first, rows
// without gaps (width x height x 3 bytes).
//
// Threads: create() and release() on the UI thread while no conversion runs. During a
// conversion the pixels are shared by the capture tick (UI thread) and the encoder worker
// under the g_frameReady hand-off; the accessors themselves may be called from either.

#include <cstddef>
#include <cstdint>
#include <memory>

class CaptureSurface {
 public:
  // Largest picture side accepted; far beyond any offered size, it keeps the byte count
  // from overflowing.
  static constexpr int32_t kMaxSide = 16384;

  // Releases the old surface, then makes a new one of width x height (pixels zeroed) and a
  // previousFrame with every byte 0x01, so that the first filmed frame never equals it.
  // False, with no surface, when a side is not in 1..kMaxSide or memory runs out.
  bool create(int32_t width, int32_t height);
  void release();

  uint8_t* captureBits() const;    // null while no surface exists
  uint8_t* previousFrame() const;  // null while no surface exists
  int32_t width() const;           // 0 while no surface exists
  int32_t height() const;
  size_t frameBytes() const;  // width x height x 3; 0 while no surface exists

 private:
  std::unique_ptr<uint8_t[]> bits_;
  std::unique_ptr<uint8_t[]> previous_;
  int32_t width_ = 0;
  int32_t height_ = 0;
};
