// A video clip made by the ffmpeg command (a red bar moving over white), decoded frame by
// frame on the film's clock and drawn into filmed frames where its shape stands.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "ClipFrames.h"
#include "ClipPlayer.h"
#include "MediaLayer.h"
#include "ScratchDirectory.h"
#include "SoundPlan.h"
#include "TestFiles.h"

namespace {

constexpr int kFps = 25;

// 3 s at 25 frames a second, 160 x 120: a red bar 16 wide whose left edge moves 40 px a second
// (to the even pixel at or before it).
std::shared_ptr<const std::string> MakeBarClip(const ScratchDirectory& dir) {
  const std::string path = dir.file("bar.mp4");
  const std::string command =
      "ffmpeg -nostdin -v error -y -f lavfi -i color=c=white:s=160x120:r=25:d=3 -f lavfi -i color=c=red:s=16x120:r=25:d=3"
      " -filter_complex \"[0:v][1:v]overlay=x='t*40':y=0\" -c:v mpeg4 -q:v 2 '" + path + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return std::make_shared<const std::string>(ReadWholeFile(path));
}

// The bar's left edge in a row of blue-green-red pixels; -1 without one.
int BarLeft(const uint8_t* row, int width) {
  for (int x = 0; x < width; ++x)
    if (row[x * 3 + 2] > 180 && row[x * 3 + 1] < 90) return x;
  return -1;
}

TEST(ClipFrames, PictureAtAFilmFrameIsTheClipsAtThatTimeLoopingOrKeptAtTheEnd) {
  ScratchDirectory dir;
  std::string problem;
  auto clip = ClipFrames::Open("bar.mp4", MakeBarClip(dir), &problem);
  ASSERT_TRUE(clip) << problem;
  EXPECT_TRUE(clip->hasPicture());
  EXPECT_EQ(clip->lengthInFrames(kFps), 75);
  EXPECT_EQ(clip->lengthInFrames(30), 90);
  // Forward, then past the end, then back through a loop; at the film's rate and at another.
  const struct {
    int64_t frame;
    int rate;
    bool loop;
    int left;
  } cases[] = {{0, 25, false, 0},  {2, 25, false, 2},   {30, 25, false, 48}, {74, 25, false, 118},
               {200, 25, false, 118}, {80, 25, true, 8}, {30, 50, false, 24}, {45, 30, false, 58}};
  for (const auto& c : cases) {
    const uint8_t* picture = clip->picture(c.frame, c.rate, c.loop, 160, 120);
    ASSERT_NE(picture, nullptr) << c.frame;
    EXPECT_NEAR(BarLeft(picture + 60 * 160 * 3, 160), c.left, 1) << "frame " << c.frame << " at " << c.rate;
  }
  // Scaled to the shape's size.
  const uint8_t* half = clip->picture(30, kFps, false, 80, 60);
  ASSERT_NE(half, nullptr);
  EXPECT_NEAR(BarLeft(half + 30 * 80 * 3, 80), 24, 1);

  // A sound has a length but no picture; what is no media file at all is said in plain words.
  const std::string tone = dir.file("tone.wav");
  ASSERT_EQ(std::system(("ffmpeg -nostdin -v error -y -f lavfi -i sine=duration=2 '" + tone + "'").c_str()), 0);
  auto sound = ClipFrames::Open("tone.wav", std::make_shared<const std::string>(ReadWholeFile(tone)), &problem);
  ASSERT_TRUE(sound);
  EXPECT_FALSE(sound->hasPicture());
  EXPECT_EQ(sound->lengthInFrames(kFps), 50);
  EXPECT_EQ(sound->picture(0, kFps, false, 16, 16), nullptr);
  EXPECT_FALSE(ClipFrames::Open("junk.mp4", std::make_shared<const std::string>(5000, 'x'), &problem));
  EXPECT_NE(problem.find("'junk.mp4'"), std::string::npos) << problem;
}

TEST(MediaLayer, ClipShowsFromItsStartInItsVisiblePlaceUntilStoppedAndHoldsTheShowWhilePlaying) {
  ScratchDirectory dir;
  MediaLayer layer;
  layer.addClip(0, ClipFrames::Open("bar.mp4", MakeBarClip(dir), nullptr));
  layer.addClip(1, nullptr);  // a sound whose length is unknown
  layer.setFrameRate(kFps);
  constexpr int kW = 320, kH = 240;
  const std::vector<uint8_t> page(kW * kH * 3, 40);
  // 160 x 120 at (100, 50); the slide ends at x = 200, so only the clip's left 100 columns show.
  MediaLayer::Place place{100, 50, 160, 120, 0, 0, 200, kH};
  layer.play(0, 10, false, {place});
  layer.play(1, 10, false, {});
  layer.stop(0, 100);

  EXPECT_EQ(layer.compose(5, page.data(), kW, kH), page.data());  // before its start: the page itself
  EXPECT_FALSE(layer.holds(5));
  for (int64_t frame : {10, 40, 84, 99}) {
    const uint8_t* film = layer.compose(frame, page.data(), kW, kH);
    ASSERT_NE(film, page.data()) << frame;
    const uint8_t* row = film + static_cast<size_t>(kH - 1 - 110) * kW * 3;  // picture row 110, bottom row first
    const int left = BarLeft(row, kW);
    const int expected = 100 + static_cast<int>(std::min<int64_t>(frame - 10, 74) * 8 / 5);
    if (expected < 200) {
      EXPECT_NEAR(left, expected, 1) << frame;
    }
    EXPECT_EQ(row[200 * 3], 40) << "beyond the slide, frame " << frame;
    EXPECT_EQ(film[(static_cast<size_t>(kH - 1 - 40) * kW + 150) * 3], 40) << "above the place, frame " << frame;
    EXPECT_EQ(layer.holds(frame), frame < 85) << frame;
  }
  EXPECT_EQ(layer.compose(100, page.data(), kW, kH), page.data());  // stopped

  // A loop never holds the show; it starts over.
  layer.play(0, 200, true, {place});
  EXPECT_FALSE(layer.holds(210));
  const uint8_t* again = layer.compose(200 + 75 + 5, page.data(), kW, kH);
  EXPECT_NEAR(BarLeft(again + static_cast<size_t>(kH - 1 - 110) * kW * 3, kW), 108, 1);
}

// Records what the show's rules start and stop.
struct Recorder : ClipPlayer {
  std::vector<std::string> calls;
  void play(int clip, int64_t frame, double, bool loop) override {
    calls.push_back("play " + std::to_string(clip) + " " + std::to_string(frame) + (loop ? " loop" : ""));
  }
  void stop(int clip, int64_t frame) override {
    calls.push_back("stop " + std::to_string(clip) + " " + std::to_string(frame));
  }
  void stopAll(int64_t frame) override { calls.push_back("stopAll " + std::to_string(frame)); }
};

TEST(SoundPlan, MediaShapeThatNoNodePlaysStartsWithItsSlideAndStopsWithIt) {
  SoundPlan written;
  written.clips = {{0, true, "media/clip0.mp4"}, {1, true, "media/clip1.mp4"}};
  written.media = {{1, 0, 100, 200, 3000, 2000, 0, 0.5, true, false}, {1, 1, 0, 0, 10, 10, 1, 1, false, true}};
  written.nodes = {{1, 0, SoundPlan::Kind::Play, 1, 1.0, false}};
  SoundPlan plan = SoundPlan::Parse(written.Text());
  EXPECT_EQ(plan.Text(), written.Text());
  Recorder player;
  plan.slideShown(player, 1, 10);
  plan.nodeStarted(player, 1, 0, 30);
  plan.slideShown(player, 2, 50);
  EXPECT_EQ(player.calls, (std::vector<std::string>{"play 0 10 loop", "play 1 30", "stop 0 50", "stop 1 50"}));
}

}  // namespace
