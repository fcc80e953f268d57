// Times RgbToYuv420 against libswscale converting the same bottom-up BGR24
// frames to YUV420P (its fastest flags; the flip costs it nothing: it reads
// the frame from its last row with a negative row step), at the dialog's
// three picture sizes and at 1280 x 720 and 1920 x 1080, and prints
// "ratio rgb2yuv/swscale WxH: X" with X = swscale time / our time.
//
// Also times the writer's mapping of a converted picture to limited range
// (for the codecs that cannot state full range) and prints
// "range mapping WxH: X us per frame (Y% of the conversion)".
#include <benchmark/benchmark.h>

#include <cstdio>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "LimitedRange.h"
#include "RatioReporter.h"
#include "RgbToYuv420.h"

namespace {

struct Sizes {
  int w, h;
};
const Sizes kSizes[] = {{720, 540}, {640, 480}, {352, 288}, {1280, 720}, {1920, 1080}};
const Sizes kMappingSizes[] = {{720, 540}, {1920, 1080}};

// A slide-like frame: gradients, flat boxes and some noise.
std::vector<uint8_t> MakeFrame(int w, int h) {
  std::vector<uint8_t> frame(static_cast<size_t>(w) * h * 3);
  std::mt19937 random(11);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &frame[(static_cast<size_t>(y) * w + x) * 3];
      const bool box = (x / 64 + y / 48) % 3 == 0;
      p[0] = static_cast<uint8_t>(box ? 200 : x * 255 / w);
      p[1] = static_cast<uint8_t>(box ? 40 : y * 255 / h);
      p[2] = static_cast<uint8_t>((x ^ y) + (random() & 7));
    }
  return frame;
}

struct Planes {
  std::vector<uint8_t> y, u, v;
  Planes(int w, int h) : y(static_cast<size_t>(w) * h), u(static_cast<size_t>(w / 2) * (h / 2)), v(u.size()) {}
};

// Times RgbToYuv420 on one frame of w x h through whichever path is selected.
void ConvertRepeatedly(benchmark::State& state, int w, int h) {
  const std::vector<uint8_t> frame = MakeFrame(w, h);
  Planes planes(w, h);
  yFromRed[0] = 255;
  for (auto _ : state) {
    RgbToYuv420(frame.data(), planes.y.data(), planes.u.data(), planes.v.data(), w, h);
    benchmark::DoNotOptimize(planes.y.data());
    benchmark::ClobberMemory();
  }
}

void BM_RgbToYuv420(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  ConvertRepeatedly(state, w, h);
  state.SetLabel(RgbToYuv420PathName());
}

// The slower paths, for comparison only (the ratio lines use the default path).
const char* const kOtherPaths[] = {"ssse3", "scalar"};

void BM_RgbToYuv420Path(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  const char* path = kOtherPaths[state.range(2)];
  const std::string original = RgbToYuv420PathName();
  if (!RgbToYuv420UsePath(path)) {
    state.SkipWithError("path not on this processor");
    return;
  }
  ConvertRepeatedly(state, w, h);
  RgbToYuv420UsePath(original.c_str());
  state.SetLabel(path);
}

void BM_Swscale(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  const std::vector<uint8_t> frame = MakeFrame(w, h);
  Planes planes(w, h);
  SwsContext* context = sws_getContext(w, h, AV_PIX_FMT_BGR24, w, h, AV_PIX_FMT_YUV420P,
                                       static_cast<int>(state.range(2)), nullptr, nullptr, nullptr);
  if (!context) {
    state.SkipWithError("sws_getContext failed");
    return;
  }
  // Bottom-up frame: start at the last row and step backwards.
  const uint8_t* source[4] = {frame.data() + static_cast<size_t>(h - 1) * w * 3, nullptr, nullptr, nullptr};
  const int sourceStride[4] = {-w * 3, 0, 0, 0};
  uint8_t* destination[4] = {planes.y.data(), planes.u.data(), planes.v.data(), nullptr};
  const int destinationStride[4] = {w, w / 2, w / 2, 0};
  for (auto _ : state) {
    sws_scale(context, source, sourceStride, 0, h, destination, destinationStride);
    benchmark::DoNotOptimize(planes.y.data());
    benchmark::ClobberMemory();
  }
  sws_freeContext(context);
}

// The limited-range mapping of one converted picture, in place, as the writer does it.
void BM_LimitedRange(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  const std::vector<uint8_t> frame = MakeFrame(w, h);
  Planes planes(w, h);
  yFromRed[0] = 255;
  RgbToYuv420(frame.data(), planes.y.data(), planes.u.data(), planes.v.data(), w, h);
  for (auto _ : state) {
    LimitedRange::MapLuma(planes.y.data(), w, h, w);
    LimitedRange::MapChroma(planes.u.data(), w / 2, h / 2, w / 2);
    LimitedRange::MapChroma(planes.v.data(), w / 2, h / 2, w / 2);
    benchmark::DoNotOptimize(planes.y.data());
    benchmark::ClobberMemory();
  }
}

// swscale's quickest choices for a same-size conversion; the faster one counts.
const int kSwsFlags[] = {SWS_FAST_BILINEAR, SWS_POINT};

void OurSizes(benchmark::internal::Benchmark* b) {
  for (const Sizes& s : kSizes) b->Args({s.w, s.h});
  b->Repetitions(5)->Unit(benchmark::kMicrosecond)->UseRealTime();
}

void SwscaleSizes(benchmark::internal::Benchmark* b) {
  for (const Sizes& s : kSizes)
    for (int flags : kSwsFlags) b->Args({s.w, s.h, flags});
  b->Repetitions(5)->Unit(benchmark::kMicrosecond)->UseRealTime();
}

void OtherPathSizes(benchmark::internal::Benchmark* b) {
  for (const Sizes& s : kSizes)
    for (int path = 0; path < static_cast<int>(std::size(kOtherPaths)); ++path) b->Args({s.w, s.h, path});
  b->Unit(benchmark::kMicrosecond)->UseRealTime();
}

BENCHMARK(BM_RgbToYuv420)->Apply(OurSizes);
BENCHMARK(BM_RgbToYuv420Path)->Apply(OtherPathSizes);
BENCHMARK(BM_Swscale)->Apply(SwscaleSizes);
BENCHMARK(BM_LimitedRange)->Apply([](benchmark::internal::Benchmark* b) {
  for (const Sizes& s : kMappingSizes) b->Args({s.w, s.h});
  b->Repetitions(5)->Unit(benchmark::kMicrosecond)->UseRealTime();
});

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const Sizes& s : kSizes) {
    char args[32];
    std::snprintf(args, sizeof args, "/%d/%d", s.w, s.h);
    const double ours = reporter.seconds(std::string("BM_RgbToYuv420") + args);
    double reference = 0;
    for (int flags : kSwsFlags) {
      const double t = reporter.seconds(std::string("BM_Swscale") + args + "/" + std::to_string(flags));
      if (t > 0 && (reference == 0 || t < reference)) reference = t;
    }
    if (ours > 0 && reference > 0) std::printf("ratio rgb2yuv/swscale %dx%d: %.2f\n", s.w, s.h, reference / ours);
  }
  for (const Sizes& s : kMappingSizes) {
    char args[32];
    std::snprintf(args, sizeof args, "/%d/%d", s.w, s.h);
    const double mapping = reporter.seconds(std::string("BM_LimitedRange") + args);
    const double conversion = reporter.seconds(std::string("BM_RgbToYuv420") + args);
    if (mapping > 0 && conversion > 0)
      std::printf("range mapping %dx%d: %.0f us per frame (%.0f%% of the conversion)\n", s.w, s.h, mapping * 1e6,
                  100 * mapping / conversion);
  }
  benchmark::Shutdown();
  return 0;
}
