#include "FidelityCheck.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr double kStill = 0.25;  // mean grey difference below which two frames are the same
constexpr size_t kCandidates = 6;  // settled pictures nearest in thumbnail that get the SSIM

long ThumbnailDistance(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  long total = 0;
  for (size_t i = 0; i < a.size(); ++i) total += std::abs(int(a[i]) - int(b[i]));
  return total;
}

std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

std::vector<int> FidelityCheck::SettledFrames(const std::vector<GreyPicture>& film) {
  std::vector<int> settled;
  size_t runStart = 0;
  for (size_t i = 1; i <= film.size(); ++i) {
    if (i < film.size() && GreyPicture::MeanDifference(film[i - 1], film[i]) < kStill) continue;
    if (i - runStart >= 2) settled.push_back(static_cast<int>(i - 1));
    runStart = i;
  }
  return settled;
}

std::vector<FidelityCheck::SlideMatch> FidelityCheck::Match(const std::vector<GreyPicture>& film,
                                                            const std::vector<OfficeSlidePictures::Slide>& slides) {
  std::vector<SlideMatch> matches;
  const std::vector<int> settled = SettledFrames(film);
  std::vector<std::vector<uint8_t>> thumbnails;
  for (int frame : settled) thumbnails.push_back(film[frame].thumbnail());
  for (size_t s = 0; s < slides.size(); ++s) {
    if (!slides[s].shown) continue;
    const std::vector<GreyPicture> office = GreyPicture::Read(slides[s].png);
    if (office.size() != 1) return {};
    SlideMatch match;
    match.slide = static_cast<int>(s) + 1;
    match.office = slides[s].png;
    // The SSIM only for the settled pictures that look most alike at a glance.
    const std::vector<uint8_t> thumbnail = office[0].thumbnail();
    std::vector<std::pair<long, int>> nearest;
    for (size_t i = 0; i < settled.size(); ++i)
      nearest.emplace_back(ThumbnailDistance(thumbnail, thumbnails[i]), settled[i]);
    const size_t keep = std::min(kCandidates, nearest.size());
    std::partial_sort(nearest.begin(), nearest.begin() + keep, nearest.end());
    for (size_t i = 0; i < keep; ++i) {
      const int frame = nearest[i].second;
      const double ssim = GreyPicture::Ssim(office[0], film[frame]);
      if (ssim > match.ssim) {
        match.ssim = ssim;
        match.frame = frame;
      }
    }
    matches.push_back(match);
  }
  return matches;
}

bool FidelityCheck::SideBySide(const std::string& officePng, const std::string& video, int frame,
                               const std::string& png) {
  const std::string command =
      "ffmpeg -nostdin -loglevel error -y -i " + Quoted(officePng) + " -i " + Quoted(video) +
      " -filter_complex \"[1:v]select=eq(n\\," + std::to_string(frame) +
      "),format=rgb24[f];[0:v]format=rgb24[o];[o][f]hstack\" -frames:v 1 " +
      Quoted(png);
  return std::system(command.c_str()) == 0;
}
