// The conversion's presets, defined once: the picture sizes the dialog offers and the
// named sizes of the batch command, the ranges and defaults of every setting, and the
// formulas that turn the quality into a bit rate and a label. The dialog, the batch
// command's options and usage text and EncodeSettings all use these.
//
// Threads: constants and pure functions, any thread. No Qt.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>

namespace EncodePresets {

struct PictureSize {
  const char* name;
  int32_t width;
  int32_t height;
};

// The dialog's three sizes, in the order of its radio buttons; the last is its default.
inline constexpr PictureSize kDialogSizes[] = {{"720x540", 720, 540}, {"640x480", 640, 480}, {"352x288", 352, 288}};
// Named sizes of the batch command beside the dialog's three.
inline constexpr PictureSize kNamedSizes[] = {{"720p", 1280, 720}, {"1080p", 1920, 1080}, {"4k", 3840, 2160}};

inline constexpr int32_t kDefaultWidth = 352;
inline constexpr int32_t kDefaultHeight = 288;
// Any size in this range whose width is a multiple of 4 (so a frame row is a whole
// number of 32-bit words) and whose height is even (4:2:0 chroma).
inline constexpr int32_t kMinWidth = 160;
inline constexpr int32_t kMinHeight = 120;
inline constexpr int32_t kMaxWidth = 3840;
inline constexpr int32_t kMaxHeight = 2160;
inline constexpr int32_t kWidthStep = 4;
inline constexpr int32_t kHeightStep = 2;
// --size auto: the deck's own aspect ratio at this height unless another is given.
inline constexpr int32_t kDefaultAutoHeight = 720;

inline constexpr int32_t kMinFrameRate = 1;
inline constexpr int32_t kMaxFrameRate = 30;
inline constexpr int32_t kDefaultFrameRate = 25;

// Quality is the dialog's slider position; the bit rate is position x 20480 bits per
// second and the label reads position x 20 "kbps" (units of 1024 bits per second).
inline constexpr int32_t kMinQuality = 1;
inline constexpr int32_t kMaxQuality = 100;
inline constexpr int32_t kDefaultQuality = 10;
inline constexpr int32_t kBitsPerKbps = 1024;
inline constexpr int32_t kKbpsPerQuality = 20;
// A bit rate given directly, in the label's kbps.
inline constexpr int32_t kMinKbps = 1;
inline constexpr int32_t kMaxKbps = 50000;

// How long a still picture stays before the show is stepped on, in seconds.
inline constexpr double kMinHoldSeconds = 0.5;
inline constexpr double kMaxHoldSeconds = 60.0;
inline constexpr double kDefaultHoldSeconds = 1.0;

constexpr int32_t KbpsFromQuality(int32_t quality) { return quality * kKbpsPerQuality; }
constexpr int32_t BitRateFromKbps(int32_t kbps) { return kbps * kBitsPerKbps; }
constexpr int32_t BitRateFromQuality(int32_t quality) { return BitRateFromKbps(KbpsFromQuality(quality)); }
// The quality label's text: "%d kbps".
inline std::string QualityLabel(int32_t quality) { return std::to_string(KbpsFromQuality(quality)) + " kbps"; }
// The frame-rate label's text: "%d 帧/秒".
inline std::string FrameRateLabel(int32_t frameRate) { return std::to_string(frameRate) + " 帧/秒"; }

// Frames a still picture must repeat before the show is stepped: round(hold x rate),
// at least 1. At the default hold it is the frame rate itself.
inline int32_t AdvanceThreshold(double holdSeconds, int32_t frameRate) {
  const long frames = std::lround(holdSeconds * frameRate);
  return frames < 1 ? 1 : static_cast<int32_t>(frames);
}

// Why a size cannot be filmed, in plain words; empty when it can.
inline std::string SizeProblem(int32_t width, int32_t height) {
  if (width % kWidthStep != 0) return "the width must be a multiple of 4";
  if (height % kHeightStep != 0) return "the height must be even";
  if (width < kMinWidth || height < kMinHeight) return "the smallest size is 160x120";
  if (width > kMaxWidth || height > kMaxHeight) return "the largest size is 3840x2160";
  return {};
}

// A valid size of the aspect ratio aspectWidth : aspectHeight at about `height`: the
// height rounded to even and the width to a multiple of 4, both kept in range.
inline PictureSize SizeForAspect(double aspectWidth, double aspectHeight, int32_t height) {
  auto clamp = [](long v, long lo, long hi) { return v < lo ? lo : v > hi ? hi : v; };
  const double aspect = aspectWidth > 0 && aspectHeight > 0 ? aspectWidth / aspectHeight : 4.0 / 3.0;
  long h = clamp(std::lround(height / 2.0) * 2, kMinHeight, kMaxHeight);
  long w = std::lround(static_cast<double>(h) * aspect / kWidthStep) * kWidthStep;
  if (w > kMaxWidth) {  // too wide: keep the width at its limit and lower the height
    w = kMaxWidth;
    h = clamp(std::lround(kMaxWidth / aspect / 2.0) * 2, kMinHeight, kMaxHeight);
  }
  w = clamp(w, kMinWidth, kMaxWidth);
  return {"auto", static_cast<int32_t>(w), static_cast<int32_t>(h)};
}

// The dialog offers .mpg and .mov only at 352x288 and exactly 25 frames per second.
constexpr bool OffersMpgAndMov(int32_t width, int32_t height, int32_t frameRate) {
  return width == 352 && height == 288 && frameRate == 25;
}

}  // namespace EncodePresets
