#pragma once
// Grey-level pictures for the fidelity check: pictures and videos read back with the ffmpeg
// program at the comparison size, and the structural similarity (SSIM) of two of them.
//
// Threads: any thread.

#include <cstdint>
#include <string>
#include <vector>

struct GreyPicture {
  static constexpr int kWidth = 240;
  static constexpr int kHeight = 180;
  std::vector<uint8_t> pixels;  // kWidth x kHeight, top row first

  // Every frame of a video or the one picture of an image file, scaled to kWidth x kHeight
  // (the same scaler for both) and softened by a Gaussian blur of 1.2 pixels: what a viewer
  // tells apart at that size stays, the two renderers' different smoothing of hairlines and
  // glyph edges (a fraction of a pixel) goes. Empty when ffmpeg cannot read it.
  static std::vector<GreyPicture> Read(const std::string& path);

  // SSIM of 8 x 8 windows taken every 4 pixels, averaged: 1 for equal pictures. With rows,
  // only the windows within rows [firstRow, endRow).
  static double Ssim(const GreyPicture& a, const GreyPicture& b, int firstRow = 0, int endRow = kHeight);
  // The picture at a quarter of the size each way, each pixel the mean of 4 x 4.
  std::vector<uint8_t> thumbnail() const;
  // Mean absolute difference of the grey levels.
  static double MeanDifference(const GreyPicture& a, const GreyPicture& b);
};
