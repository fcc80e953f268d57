// `kavreto convert` end to end on a deck of plain-coloured slides: in every
// container, the video decoded as players decode it (the ffmpeg command at its
// defaults) shows each slide's colour within 4 levels per channel. An .mp4
// stopped by SIGINT still has its index before its data.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "FixtureFiles.h"

namespace {

constexpr int kConversionLimitMs = 240000;

struct Rgb {
  int r, g, b;
};

// The slides of colour-pages.fodp, in show order.
const Rgb kPages[] = {{21, 101, 192}, {46, 125, 50}, {8, 10, 12}, {247, 246, 244}, {230, 24, 32}};
const char* const kPageNames[] = {"blue", "green", "near black", "near white", "saturated red"};

// The mean colour of the 8 x 8 square at the centre of a decoded picture.
Rgb Centre(const std::vector<uint8_t>& frame) {
  const int w = DecodedVideo::kWidth, h = DecodedVideo::kHeight;
  int sum[3] = {0, 0, 0};
  for (int y = h / 2 - 4; y < h / 2 + 4; ++y)
    for (int x = w / 2 - 4; x < w / 2 + 4; ++x)
      for (int c = 0; c < 3; ++c) sum[c] += frame[(static_cast<size_t>(y) * w + x) * 3 + c];
  return {sum[0] / 64, sum[1] / 64, sum[2] / 64};
}

int Distance(Rgb a, Rgb b) { return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)}); }

// Which page a picture shows: the nearest page colour, or -1 when none is close.
int PageOf(Rgb colour) {
  int best = -1, bestDistance = 24;
  for (int i = 0; i < static_cast<int>(std::size(kPages)); ++i) {
    const int d = Distance(colour, kPages[i]);
    if (d < bestDistance) best = i, bestDistance = d;
  }
  return best;
}

struct Still {
  int page;
  Rgb colour;  // of the still's last picture, where the encoder has settled
  int frames;
};

std::vector<Still> Stills(const DecodedVideo& video, int minFrames) {
  std::vector<Still> stills;
  size_t i = 0;
  while (i < video.frames.size()) {
    const int page = PageOf(Centre(video.frames[i]));
    size_t j = i;
    while (j < video.frames.size() && PageOf(Centre(video.frames[j])) == page) ++j;
    if (page >= 0 && static_cast<int>(j - i) >= minFrames)
      stills.push_back({page, Centre(video.frames[j - 1]), static_cast<int>(j - i)});
    i = j;
  }
  return stills;
}

bool MoovBeforeMdat(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string data((std::istreambuf_iterator<char>(in)), {});
  size_t at = 0, moov = std::string::npos, mdat = std::string::npos;
  auto byte = [&](size_t i) { return static_cast<uint64_t>(static_cast<uint8_t>(data[i])); };
  while (at + 8 <= data.size()) {
    uint64_t size = byte(at) << 24 | byte(at + 1) << 16 | byte(at + 2) << 8 | byte(at + 3);
    const std::string type = data.substr(at + 4, 4);
    if (type == "moov" && moov == std::string::npos) moov = at;
    if (type == "mdat" && mdat == std::string::npos) mdat = at;
    if (size == 1 && at + 16 <= data.size()) {
      size = 0;
      for (size_t i = 0; i < 8; ++i) size = size << 8 | byte(at + 8 + i);
    }
    if (size < 8) break;
    at += size;
  }
  return moov != std::string::npos && mdat != std::string::npos && moov < mdat;
}

class ColourPages : public testing::Test {
 protected:
  static void SetUpTestSuite() { deck_ = FixtureFiles::Converted("colour-pages.fodp"); }
  std::vector<std::string> Env() const {
    return {"XDG_CACHE_HOME=" + cache_.path(), "TMPDIR=" + tmp_.path(), "XDG_RUNTIME_DIR=" + runtime_.path()};
  }
  static std::string deck_;
  TempDir cache_, tmp_, runtime_, out_;
};
std::string ColourPages::deck_;

TEST_F(ColourPages, EveryContainerShowsTheSlidesColours) {
  ASSERT_FALSE(deck_.empty()) << "LibreOffice could not make the fixture";
  // .mpg and .mov are offered at 352 x 288 and 25 frames per second only.
  for (auto [extension, fps] : {std::pair{"flv", 5}, std::pair{"swf", 5}, std::pair{"wmv", 5}, std::pair{"mp4", 5},
                                std::pair{"mov", 25}, std::pair{"mpg", 25}}) {
    SCOPED_TRACE(extension);
    const std::string output = out_.file(std::string("colours.") + extension);
    ChildProcess kavreto({KavretoProgram(), "convert", deck_, output, "--size", "352x288", "--fps", std::to_string(fps),
                          "--quality", "40"},
                         Env());
    ASSERT_EQ(kavreto.wait(kConversionLimitMs), 0) << kavreto.stderrText();
    const DecodedVideo video = DecodeVideo(output);
    EXPECT_EQ(video.errors, "");
    // Every slide stays at least frameRate + 1 frames.
    const std::vector<Still> stills = Stills(video, fps + 1);
    ASSERT_EQ(stills.size(), std::size(kPages)) << "frames: " << video.frames.size();
    for (size_t i = 0; i < stills.size(); ++i) {
      const Still& s = stills[i];
      SCOPED_TRACE(std::string(kPageNames[i]) + " decoded as " + std::to_string(s.colour.r) + ", " +
                   std::to_string(s.colour.g) + ", " + std::to_string(s.colour.b));
      EXPECT_EQ(s.page, static_cast<int>(i));
      EXPECT_LE(Distance(s.colour, kPages[i]), 4);
    }
  }
}

TEST_F(ColourPages, Mp4StoppedBySigintHasItsIndexFirst) {
  ASSERT_FALSE(deck_.empty()) << "LibreOffice could not make the fixture";
  const std::string output = out_.file("stopped.mp4");
  // At the timer's pace, so that the show is still running when the signal comes.
  ChildProcess kavreto({KavretoProgram(), "convert", deck_, output, "--fps", "10", "--realtime", "--stats"}, Env());
  ASSERT_TRUE(kavreto.waitForStderr("slide 2 of", kConversionLimitMs)) << kavreto.stderrText();
  ::kill(kavreto.pid(), SIGINT);
  EXPECT_EQ(kavreto.wait(60000), 3) << kavreto.stderrText();
  EXPECT_TRUE(MoovBeforeMdat(output));
  // The file went by a temporary name until its index was written; only the video is left.
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(out_.path()))
    names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"stopped.mp4"});
  const DecodedVideo video = DecodeVideo(output);
  EXPECT_EQ(video.errors, "");
  ASSERT_FALSE(video.frames.empty());
  EXPECT_EQ(PageOf(Centre(video.frames.front())), 0);
}

}  // namespace
