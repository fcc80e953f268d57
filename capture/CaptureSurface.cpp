#include "CaptureSurface.h"

#include <cstring>
#include <new>

bool CaptureSurface::create(int32_t width, int32_t height) {
  release();
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;
  const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
  std::unique_ptr<uint8_t[]> bits(new (std::nothrow) uint8_t[bytes]());
  std::unique_ptr<uint8_t[]> previous(new (std::nothrow) uint8_t[bytes]);
  if (!bits || !previous) return false;
  std::memset(previous.get(), 0x01, bytes);
  bits_ = std::move(bits);
  previous_ = std::move(previous);
  width_ = width;
  height_ = height;
  return true;
}

void CaptureSurface::release() {
  bits_.reset();
  previous_.reset();
  width_ = 0;
  height_ = 0;
}

uint8_t* CaptureSurface::captureBits() const { return bits_.get(); }

uint8_t* CaptureSurface::previousFrame() const { return previous_.get(); }

int32_t CaptureSurface::width() const { return width_; }

int32_t CaptureSurface::height() const { return height_; }

size_t CaptureSurface::frameBytes() const { return static_cast<size_t>(width_) * static_cast<size_t>(height_) * 3; }
