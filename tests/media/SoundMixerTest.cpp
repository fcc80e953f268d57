// Clips made by the ffmpeg command, decoded, placed and mixed by the mixer,
// rendered as the writer asks for them and checked by their tones.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "ScratchDirectory.h"
#include "SoundMixer.h"
#include "SoundPlan.h"
#include "SoundTrack.h"
#include "TestFiles.h"

namespace {

constexpr int kRate = 48000, kFps = 25;

// A sine tone of `frequency` Hz lasting `seconds`, at `rate`, written by the ffmpeg command.
std::string MakeTone(const std::string& path, int frequency, double seconds, int rate = 44100) {
  const std::string command = "ffmpeg -nostdin -v error -y -f lavfi -i sine=frequency=" + std::to_string(frequency) +
                              ":sample_rate=" + std::to_string(rate) + ":duration=" + std::to_string(seconds) +
                              " -ac 1 '" + path + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return path;
}

// The whole track rendered in the writer's steps.
soundtrack::Sound Render(SoundMixer& mixer, double seconds, int step = 1024) {
  soundtrack::Sound sound;
  sound.rate = kRate;
  const int64_t total = static_cast<int64_t>(seconds * kRate);
  std::vector<float> left(step), right(step);
  for (int64_t at = 0; at < total; at += step) {
    mixer.render(at, step, left.data(), right.data());
    for (int i = 0; i < step; ++i) sound.samples.push_back((left[i] + right[i]) / 2);
  }
  return sound;
}

double Peak(const soundtrack::Sound& s, double from, double to) {
  double peak = 0;
  for (size_t i = size_t(from * s.rate); i < size_t(to * s.rate) && i < s.samples.size(); ++i)
    peak = std::max(peak, double(std::fabs(s.samples[i])));
  return peak;
}

TEST(SoundMixer, ClipsPlayAtTheirFramesLoopStopAndAddUp) {
  ScratchDirectory dir;
  SoundMixer mixer;
  const int high = mixer.addClip(MakeTone(dir.path() + "/high.mp3", 880, 0.5));
  const int low = mixer.addClip(MakeTone(dir.path() + "/low.wav", 440, 0.3, 22050));
  mixer.start(kRate, kFps);
  EXPECT_TRUE(mixer.problems().empty()) << (mixer.problems().empty() ? "" : mixer.problems()[0]);

  mixer.play(high, 25, 1.0, false);  // 1.0 .. 1.5 s
  mixer.play(low, 50, 0.5, true);    // 2.0 s, looped until stopped
  mixer.stop(low, 100);              // 4.0 s
  mixer.play(high, 75, 1.0, false);  // 3.0 .. 3.5 s, over the loop
  const soundtrack::Sound sound = Render(mixer, 5.0);
  const auto bursts = soundtrack::Bursts(sound);
  ASSERT_EQ(bursts.size(), 2u);
  EXPECT_NEAR(bursts[0].start, 1.0, 0.005);
  EXPECT_NEAR(bursts[0].end, 1.5, 0.01);
  EXPECT_NEAR(bursts[1].start, 2.0, 0.005);
  EXPECT_NEAR(bursts[1].end, 4.0, 0.01);
  EXPECT_NEAR(soundtrack::Frequency(sound, 1.1, 1.4), 880, 10);
  EXPECT_NEAR(soundtrack::Frequency(sound, 2.05, 2.25), 440, 10);
  // The loop goes on past the clip's length, at half loudness; the two add up.
  const double tone = Peak(sound, 1.1, 1.4), loop = Peak(sound, 2.6, 2.9), both = Peak(sound, 3.1, 3.4);
  EXPECT_NEAR(loop / tone, 0.5, 0.05);
  EXPECT_GT(both, tone * 1.2);

  // A clip started again stops where it starts anew (once, not twice over).
  SoundMixer again;
  const int clip = again.addClip(dir.path() + "/high.mp3");
  again.start(kRate, kFps);
  again.play(clip, 0, 1.0, false);
  again.play(clip, 5, 1.0, false);  // 0.2 s
  const soundtrack::Sound twice = Render(again, 1.0);
  const auto b = soundtrack::Bursts(twice);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_NEAR(b[0].end, 0.7, 0.01);
  EXPECT_LT(Peak(twice, 0.3, 0.6), tone * 1.1);
}

TEST(SoundMixer, ClipThatCannotBeDecodedIsSilentAndSaidInPlainWords) {
  ScratchDirectory dir;
  WriteWholeFile(dir.path() + "/broken.mp3", std::string(4000, 'x'));
  SoundMixer mixer;
  const int missing = mixer.addClip(dir.path() + "/missing.wav");
  const int broken = mixer.addClip(dir.path() + "/broken.mp3");
  mixer.start(kRate, kFps);
  const auto problems = mixer.problems();
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_NE(problems[0].find("'missing.wav' cannot be read"), std::string::npos) << problems[0];
  EXPECT_NE(problems[1].find("'broken.mp3'"), std::string::npos) << problems[1];
  mixer.play(missing, 0, 1.0, false);
  mixer.play(broken, 0, 1.0, true);
  EXPECT_TRUE(soundtrack::Bursts(Render(mixer, 0.5)).empty());
}

}  // namespace

// The table read back from its text, and the show's rules: a looping transition sound plays
// until the next sound, "stop previous sound" silences what plays, a slide's clips stop with it.
TEST(SoundPlan, TableRoundTripsAndTheShowsRulesStartAndStopClips) {
  ScratchDirectory dir;
  SoundPlan written;
  written.clips = {{0, false, "media/clip0.wav"}, {1, false, "media/clip1.wav"}};
  written.transitions = {{1, 0, true, false}, {3, -1, false, true}};
  written.nodes = {{1, 0, SoundPlan::Kind::Audio, 1, 0.5, false}, {2, 0, SoundPlan::Kind::Play, 1, 1.0, false}};
  written.warnings = {"The sound 'x.wav' cannot be found."};
  SoundPlan plan = SoundPlan::Parse(written.Text() + "node 1 1 audio 7 1 0\nrubbish\n");
  EXPECT_EQ(plan.Text(), written.Text());  // the entry naming a clip the table lacks is dropped

  SoundMixer mixer;
  mixer.addClip(MakeTone(dir.path() + "/loop.wav", 440, 0.2));
  mixer.addClip(MakeTone(dir.path() + "/long.wav", 880, 3.0));
  mixer.start(kRate, kFps);
  plan.slideShown(mixer, 0, 0);
  plan.slideShown(mixer, 1, 25);     // the loop from 1 s ...
  plan.nodeStarted(mixer, 1, 0, 50);  // ... until this sound at 2 s
  plan.slideShown(mixer, 2, 75);     // which stops with its slide at 3 s
  plan.nodeStarted(mixer, 2, 0, 100);
  plan.slideShown(mixer, 3, 125);    // "stop previous sound" at 5 s
  const soundtrack::Sound sound = Render(mixer, 6.0);
  const auto bursts = soundtrack::Bursts(sound, 0.01);
  ASSERT_EQ(bursts.size(), 2u);
  EXPECT_NEAR(bursts[0].start, 1.0, 0.005);
  EXPECT_NEAR(bursts[0].end, 3.0, 0.01);
  EXPECT_NEAR(soundtrack::Frequency(sound, 1.2, 1.9), 440, 10);
  EXPECT_NEAR(soundtrack::Frequency(sound, 2.2, 2.9), 880, 10);
  EXPECT_NEAR(bursts[1].start, 4.0, 0.005);
  EXPECT_NEAR(bursts[1].end, 5.0, 0.01);
}
