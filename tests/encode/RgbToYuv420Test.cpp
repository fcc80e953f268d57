#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "RgbToYuv420.h"

namespace {

struct Bgr {
  uint8_t b, g, r;
};

// A frame in the capture format: blue-green-red, bottom row first.
struct Frame {
  int32_t width, height;
  std::vector<uint8_t> bytes;
  Frame(int32_t w, int32_t h) : width(w), height(h), bytes(static_cast<size_t>(w) * h * 3) {}
  // y counted from the top of the picture.
  void set(int32_t x, int32_t y, Bgr c) {
    uint8_t* p = &bytes[(static_cast<size_t>(height - 1 - y) * width + x) * 3];
    p[0] = c.b;
    p[1] = c.g;
    p[2] = c.r;
  }
  void fill(Bgr c) {
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) set(x, y, c);
  }
};

struct Planes {
  std::vector<uint8_t> y, u, v;
  Planes(int32_t w, int32_t h, uint8_t init = 0xA5)
      : y(static_cast<size_t>(w) * h, init),
        u(static_cast<size_t>(w / 2) * (h / 2), init),
        v(static_cast<size_t>(w / 2) * (h / 2), init) {}
  bool operator==(const Planes& o) const { return y == o.y && u == o.u && v == o.v; }
};

using Converter = void (*)(const uint8_t*, uint8_t*, uint8_t*, uint8_t*, int32_t, int32_t);

Planes Convert(Converter convert, const Frame& f) {
  Planes p(f.width, f.height);
  convert(f.bytes.data(), p.y.data(), p.u.data(), p.v.data(), f.width, f.height);
  return p;
}

void MarkTables() { yFromRed[0] = 255; }

class RgbToYuv420Test : public ::testing::TestWithParam<Converter> {
 protected:
  void SetUp() override { MarkTables(); }
};

struct Worked {
  const char* name;
  Bgr colour;
  uint8_t y, u, v;
};

const Worked kWorked[] = {
    {"black", {0, 0, 0}, 0, 128, 128},        {"white", {255, 255, 255}, 255, 128, 128},
    {"grey", {128, 128, 128}, 128, 128, 128}, {"red", {0, 0, 255}, 76, 84, 255},
    {"green", {0, 255, 0}, 149, 43, 21},      {"blue", {255, 0, 0}, 29, 255, 107},
    {"yellow", {0, 255, 255}, 225, 0, 148},
};

// Widths cover a lone block, whole vector chunks, and chunks plus a remainder.
const int32_t kWidths[] = {2, 16, 34, 64};

TEST_P(RgbToYuv420Test, WorkedColoursGiveTheirExactValues) {
  for (const Worked& w : kWorked) {
    for (int32_t width : kWidths) {
      Frame f(width, 4);
      f.fill(w.colour);
      const Planes p = Convert(GetParam(), f);
      SCOPED_TRACE(std::string(w.name) + " width " + std::to_string(width));
      EXPECT_TRUE(std::all_of(p.y.begin(), p.y.end(), [&](uint8_t v) { return v == w.y; }));
      EXPECT_TRUE(std::all_of(p.u.begin(), p.u.end(), [&](uint8_t v) { return v == w.u; }));
      EXPECT_TRUE(std::all_of(p.v.begin(), p.v.end(), [&](uint8_t v) { return v == w.v; }));
    }
  }
}

TEST_P(RgbToYuv420Test, MixedBlockAveragesEachPixelsOwnChroma) {
  const Bgr white{255, 255, 255}, black{0, 0, 0}, red{0, 0, 255}, blue{255, 0, 0};
  // The 2 x 2 frame given by its bytes: blue, red (bottom row), white, black (top row).
  {
    Frame f(2, 2);
    const uint8_t bytes[] = {255, 0, 0, 0, 0, 255, 255, 255, 255, 0, 0, 0};
    std::memcpy(f.bytes.data(), bytes, sizeof bytes);
    const Planes p = Convert(GetParam(), f);
    EXPECT_EQ(p.y, (std::vector<uint8_t>{255, 0, 29, 76}));
    EXPECT_EQ(p.u, std::vector<uint8_t>{148});
    EXPECT_EQ(p.v, std::vector<uint8_t>{154});
  }
  // The same block repeated across a wide frame, so every column position of
  // a vector chunk sees it.
  for (int32_t width : kWidths) {
    Frame f(width, 2);
    for (int32_t x = 0; x < width; x += 2) {
      f.set(x, 0, white);
      f.set(x + 1, 0, black);
      f.set(x + 1, 1, red);
      f.set(x, 1, blue);
    }
    const Planes p = Convert(GetParam(), f);
    for (int32_t x = 0; x < width; x += 2) {
      SCOPED_TRACE("column " + std::to_string(x) + " width " + std::to_string(width));
      EXPECT_EQ(p.y[x], 255);
      EXPECT_EQ(p.y[x + 1], 0);
      EXPECT_EQ(p.y[width + x + 1], 76);
      EXPECT_EQ(p.y[width + x], 29);
      EXPECT_EQ(p.u[x / 2], 148);
      EXPECT_EQ(p.v[x / 2], 154);
    }
  }
}

TEST_P(RgbToYuv420Test, FirstRowInMemoryBecomesLastRowOfThePlanes) {
  const int32_t width = 48, height = 8;
  Frame f(width, height);
  // Memory row m is grey level 10 + 20 m.
  for (int32_t m = 0; m < height; ++m) {
    const uint8_t g = static_cast<uint8_t>(10 + 20 * m);
    std::fill_n(f.bytes.begin() + static_cast<size_t>(m) * width * 3, width * 3, g);
  }
  const Planes p = Convert(GetParam(), f);
  for (int32_t row = 0; row < height; ++row)
    for (int32_t x = 0; x < width; ++x)
      ASSERT_EQ(p.y[static_cast<size_t>(row) * width + x], 10 + 20 * (height - 1 - row)) << "row " << row;
}

TEST_P(RgbToYuv420Test, MarkerRebuildsTablesAndIsCleared) {
  std::mt19937 random(7);
  Frame f(64, 16);
  for (uint8_t& b : f.bytes) b = static_cast<uint8_t>(random());
  const Planes fresh = Convert(GetParam(), f);
  EXPECT_EQ(yFromRed[0], 0);

  // Spoil the tables, mark them: the next conversion rebuilds them first.
  for (int i = 1; i < 256; ++i) {
    yFromGreen[i] = 0;
    vFromBlue[i] = 12345;
  }
  MarkTables();
  EXPECT_TRUE(Convert(GetParam(), f) == fresh);
  EXPECT_EQ(yFromRed[0], 0);
  for (int i = 0; i < 256; ++i) {
    ASSERT_EQ(yFromRed[i], 19595 * i);
    ASSERT_EQ(yFromGreen[i], 38470 * i);
    ASSERT_EQ(yFromBlue[i], 7471 * i);
    ASSERT_EQ(uFromRed[i], -11059 * i);
    ASSERT_EQ(uFromGreen[i], -21709 * i);
    ASSERT_EQ(chromaHalf[i], 32768 * i);
    ASSERT_EQ(vFromGreen[i], -27439 * i);
    ASSERT_EQ(vFromBlue[i], -5329 * i);
  }
}

TEST_P(RgbToYuv420Test, ZeroWidthOrHeightLeavesPlanesUntouched) {
  Frame f(16, 4);
  f.fill({255, 255, 255});
  for (auto [w, h] : {std::pair{0, 4}, std::pair{16, 0}, std::pair{-2, 4}, std::pair{16, -2}}) {
    MarkTables();
    Planes p(16, 4);
    GetParam()(f.bytes.data(), p.y.data(), p.u.data(), p.v.data(), w, h);
    EXPECT_TRUE(p == Planes(16, 4)) << w << "x" << h;
    EXPECT_EQ(yFromRed[0], 0) << "tables are rebuilt before the size is looked at";
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, RgbToYuv420Test, ::testing::Values(&RgbToYuv420, &RgbToYuv420Reference),
                         [](const auto& info) { return info.index == 0 ? "Fast" : "Reference"; });

// Runs `check` once for every vector path this processor has, then goes back
// to the default path.
template <typename Check>
void ForEachVectorPath(Check check) {
  const std::string original = RgbToYuv420PathName();
  int ran = 0;
  for (const char* path : {"avx2", "ssse3"}) {
    if (!RgbToYuv420UsePath(path)) {
      std::printf("vector path %s: not on this processor\n", path);
      continue;
    }
    SCOPED_TRACE(std::string("path ") + path);
    check();
    ++ran;
  }
  RgbToYuv420UsePath(original.c_str());
  EXPECT_GT(ran, 0) << "no vector path was tried";
}

TEST(RgbToYuv420Fast, EqualsReferenceOnRandomFrames) {
  MarkTables();
  ForEachVectorPath([] {
    std::mt19937 random(2024);
    const std::pair<int32_t, int32_t> sizes[] = {{720, 540}, {640, 480}, {352, 288}, {2, 2}, {18, 6}, {50, 10}};
    for (auto [w, h] : sizes) {
      for (int round = 0; round < 3; ++round) {
        Frame f(w, h);
        if (round == 0) {
          for (uint8_t& b : f.bytes) b = static_cast<uint8_t>(random());
        } else {
          // Extremes and near-neutral colours, where floors of negative sums matter.
          const uint8_t choices[] = {0, 1, 2, 127, 128, 129, 253, 254, 255};
          for (uint8_t& b : f.bytes) b = choices[random() % 9];
        }
        const Planes fast = Convert(&RgbToYuv420, f);
        const Planes reference = Convert(&RgbToYuv420Reference, f);
        ASSERT_TRUE(fast.y == reference.y) << w << "x" << h << " round " << round;
        ASSERT_TRUE(fast.u == reference.u) << w << "x" << h << " round " << round;
        ASSERT_TRUE(fast.v == reference.v) << w << "x" << h << " round " << round;
      }
    }
  });
}

TEST(RgbToYuv420Fast, EveryColourEqualsReference) {
  // All 2^24 colours, 64 at a time as a 16 x 4 frame of mixed blocks.
  MarkTables();
  ForEachVectorPath([] {
    Frame f(16, 4);
    Planes fast(16, 4), reference(16, 4);
    for (uint32_t base = 0; base < (1u << 24); base += 64) {
      for (uint32_t i = 0; i < 64; ++i) {
        const uint32_t c = base + i;
        std::memcpy(&f.bytes[i * 3], &c, 3);
      }
      RgbToYuv420(f.bytes.data(), fast.y.data(), fast.u.data(), fast.v.data(), 16, 4);
      RgbToYuv420Reference(f.bytes.data(), reference.y.data(), reference.u.data(), reference.v.data(), 16, 4);
      ASSERT_TRUE(fast == reference) << "colours from " << base;
    }
  });
}

TEST(RgbToYuv420Fast, UnknownPathIsRefused) {
  const std::string before = RgbToYuv420PathName();
  EXPECT_FALSE(RgbToYuv420UsePath("neon"));
  EXPECT_EQ(RgbToYuv420PathName(), before);
}

}  // namespace
