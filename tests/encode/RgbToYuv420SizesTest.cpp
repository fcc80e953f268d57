// The converter's vector paths at the sizes of today's videos and at every
// width the batch command allows: bit-exact with the table walk.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "RgbToYuv420.h"

namespace {

struct Planes {
  std::vector<uint8_t> y, u, v;
  Planes(int32_t w, int32_t h)
      : y(static_cast<size_t>(w) * h, 0xA5), u(static_cast<size_t>(w / 2) * (h / 2), 0xA5), v(u.size(), 0xA5) {}
  bool operator==(const Planes& o) const { return y == o.y && u == o.u && v == o.v; }
};

// Random bytes, with runs of extremes and near-neutral values where the floors
// of negative sums matter.
std::vector<uint8_t> RandomFrame(int32_t w, int32_t h, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> frame(static_cast<size_t>(w) * h * 3);
  const uint8_t choices[] = {0, 1, 2, 127, 128, 129, 253, 254, 255};
  for (size_t i = 0; i < frame.size(); ++i)
    frame[i] = (i / 999) % 2 ? choices[random() % 9] : static_cast<uint8_t>(random());
  return frame;
}

Planes Convert(void (*convert)(const uint8_t*, uint8_t*, uint8_t*, uint8_t*, int32_t, int32_t),
               const std::vector<uint8_t>& frame, int32_t w, int32_t h) {
  Planes p(w, h);
  convert(frame.data(), p.y.data(), p.u.data(), p.v.data(), w, h);
  return p;
}

// Runs `check` for every path this processor has (the vector paths and the
// default), then goes back to the default path.
template <typename Check>
void ForEachPath(Check check) {
  const std::string original = RgbToYuv420PathName();
  for (const char* path : {"avx2", "ssse3", "scalar"}) {
    if (!RgbToYuv420UsePath(path)) continue;
    SCOPED_TRACE(std::string("path ") + path);
    check();
  }
  RgbToYuv420UsePath(original.c_str());
}

TEST(RgbToYuv420Sizes, HdAndOddShapedSizesEqualTheReference) {
  yFromRed[0] = 255;
  for (auto [w, h] : {std::pair{1280, 720}, std::pair{1920, 1080}, std::pair{1000, 562}}) {
    const std::vector<uint8_t> frame = RandomFrame(w, h, static_cast<unsigned>(w));
    const Planes reference = Convert(&RgbToYuv420Reference, frame, w, h);
    ForEachPath([&] { ASSERT_TRUE(Convert(&RgbToYuv420, frame, w, h) == reference) << w << "x" << h; });
  }
}

TEST(RgbToYuv420Sizes, EveryWidthFromTheSmallestToFourKEqualsTheReference) {
  // Every width that is a multiple of 4, on a short frame: each ends its rows
  // at another place of a vector chunk.
  yFromRed[0] = 255;
  const int32_t h = 4;
  const std::vector<uint8_t> frame = RandomFrame(3840, h, 99);
  ForEachPath([&] {
    for (int32_t w = 160; w <= 3840; w += 4) {
      const std::vector<uint8_t> part(frame.begin(), frame.begin() + static_cast<ptrdiff_t>(w) * h * 3);
      ASSERT_TRUE(Convert(&RgbToYuv420, part, w, h) == Convert(&RgbToYuv420Reference, part, w, h)) << "width " << w;
    }
  });
}

TEST(RgbToYuv420Sizes, FourKFrameEqualsTheReference) {
  yFromRed[0] = 255;
  const int32_t w = 3840, h = 2160;
  const std::vector<uint8_t> frame = RandomFrame(w, h, 4);
  const Planes reference = Convert(&RgbToYuv420Reference, frame, w, h);
  ForEachPath([&] { ASSERT_TRUE(Convert(&RgbToYuv420, frame, w, h) == reference); });
}

}  // namespace
