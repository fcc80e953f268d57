#include "GreyPicture.h"

#include <cstdio>
#include <cstdlib>

namespace {

std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

std::vector<GreyPicture> GreyPicture::Read(const std::string& path) {
  std::vector<GreyPicture> pictures;
  const std::string command = "ffmpeg -nostdin -loglevel error -i " + Quoted(path) + " -vf scale=" +
                              std::to_string(kWidth) + ":" + std::to_string(kHeight) +
                              ":flags=area,format=gray,gblur=sigma=1.2 -f rawvideo -";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return pictures;
  for (;;) {
    GreyPicture picture;
    picture.pixels.resize(static_cast<size_t>(kWidth) * kHeight);
    if (std::fread(picture.pixels.data(), 1, picture.pixels.size(), pipe) != picture.pixels.size()) break;
    pictures.push_back(std::move(picture));
  }
  if (::pclose(pipe) != 0) pictures.clear();
  return pictures;
}

double GreyPicture::Ssim(const GreyPicture& a, const GreyPicture& b, int firstRow, int endRow) {
  constexpr int kWindow = 8, kStep = 4;
  constexpr double kC1 = (0.01 * 255) * (0.01 * 255), kC2 = (0.03 * 255) * (0.03 * 255);
  double sum = 0;
  int windows = 0;
  for (int y = firstRow; y + kWindow <= endRow; y += kStep) {
    for (int x = 0; x + kWindow <= kWidth; x += kStep) {
      double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
      for (int j = 0; j < kWindow; ++j) {
        const uint8_t* pa = &a.pixels[static_cast<size_t>(y + j) * kWidth + x];
        const uint8_t* pb = &b.pixels[static_cast<size_t>(y + j) * kWidth + x];
        for (int i = 0; i < kWindow; ++i) {
          sa += pa[i];
          sb += pb[i];
          saa += pa[i] * pa[i];
          sbb += pb[i] * pb[i];
          sab += pa[i] * pb[i];
        }
      }
      constexpr double n = kWindow * kWindow;
      const double ma = sa / n, mb = sb / n;
      const double va = saa / n - ma * ma, vb = sbb / n - mb * mb, cov = sab / n - ma * mb;
      sum += ((2 * ma * mb + kC1) * (2 * cov + kC2)) / ((ma * ma + mb * mb + kC1) * (va + vb + kC2));
      ++windows;
    }
  }
  return windows > 0 ? sum / windows : 1.0;
}

double GreyPicture::MeanDifference(const GreyPicture& a, const GreyPicture& b) {
  long total = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) total += std::abs(int(a.pixels[i]) - int(b.pixels[i]));
  return double(total) / double(a.pixels.size());
}

std::vector<uint8_t> GreyPicture::thumbnail() const {
  std::vector<uint8_t> small(static_cast<size_t>(kWidth / 4) * (kHeight / 4));
  for (int y = 0; y < kHeight / 4; ++y)
    for (int x = 0; x < kWidth / 4; ++x) {
      int sum = 0;
      for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) sum += pixels[static_cast<size_t>(y * 4 + j) * kWidth + x * 4 + i];
      small[static_cast<size_t>(y) * (kWidth / 4) + x] = static_cast<uint8_t>(sum / 16);
    }
  return small;
}
