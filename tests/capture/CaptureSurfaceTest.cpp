#include <gtest/gtest.h>

#include <algorithm>

#include "CaptureSurface.h"

namespace {

TEST(CaptureSurface, MakesBothFramesAtEachOfferedSize) {
  CaptureSurface surface;
  EXPECT_EQ(surface.captureBits(), nullptr);
  EXPECT_EQ(surface.previousFrame(), nullptr);
  EXPECT_EQ(surface.frameBytes(), 0u);

  struct Size {
    int32_t w, h;
    size_t bytes;
  };
  for (Size s : {Size{720, 540, 1166400}, Size{640, 480, 921600}, Size{352, 288, 304128}}) {
    ASSERT_TRUE(surface.create(s.w, s.h));
    EXPECT_EQ(surface.width(), s.w);
    EXPECT_EQ(surface.height(), s.h);
    ASSERT_EQ(surface.frameBytes(), s.bytes);
    ASSERT_NE(surface.captureBits(), nullptr);
    ASSERT_NE(surface.previousFrame(), nullptr);
    const uint8_t* prev = surface.previousFrame();
    EXPECT_TRUE(std::all_of(prev, prev + s.bytes, [](uint8_t b) { return b == 0x01; }));
    // Writing the last byte of both frames stays inside them (checked under the sanitizers).
    surface.captureBits()[s.bytes - 1] = 0xAB;
    surface.previousFrame()[s.bytes - 1] = 0xCD;
  }
}

TEST(CaptureSurface, ANewSurfaceReplacesTheOldAndBadSizesLeaveNone) {
  CaptureSurface surface;
  ASSERT_TRUE(surface.create(720, 540));
  std::fill_n(surface.previousFrame(), surface.frameBytes(), uint8_t{0x55});
  ASSERT_TRUE(surface.create(352, 288));
  EXPECT_EQ(surface.frameBytes(), 304128u);
  const uint8_t* prev = surface.previousFrame();
  EXPECT_TRUE(std::all_of(prev, prev + surface.frameBytes(), [](uint8_t b) { return b == 0x01; }));

  for (auto [w, h] : {std::pair{0, 288}, {352, 0}, {-352, 288}, {352, -1}, {1 << 20, 1 << 20}}) {
    ASSERT_TRUE(surface.create(352, 288));
    EXPECT_FALSE(surface.create(w, h)) << w << "x" << h;
    EXPECT_EQ(surface.captureBits(), nullptr);
    EXPECT_EQ(surface.previousFrame(), nullptr);
    EXPECT_EQ(surface.frameBytes(), 0u);
  }
  surface.release();
  surface.release();
  EXPECT_EQ(surface.width(), 0);
}

}  // namespace
