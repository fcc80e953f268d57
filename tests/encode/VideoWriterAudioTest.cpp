// The writer's audio stream in every container: decoded back by ffmpeg, the
// tones a source gave are where and as long as they were given.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "AudioSource.h"
#include "ScratchDirectory.h"
#include "SoundTrack.h"
#include "VideoWriter.h"
#include "WriterTestSupport.h"

namespace {

constexpr int32_t kWidth = 352, kHeight = 288, kRate = 25;
constexpr double kFrame = 1.0 / kRate;

struct Tone {
  double start, length, frequency;
};

// Tones at given times; remembers how far the picture was when it was asked.
class ToneSource : public AudioSource {
 public:
  explicit ToneSource(std::vector<Tone> tones) : tones_(std::move(tones)) {}
  void start(int sampleRate, int frameRate) override {
    rate_ = sampleRate;
    frameRate_ = frameRate;
  }
  void render(int64_t first, int count, float* left, float* right) override {
    if (first != next_) gap_ = true;
    next_ = first + count;
    if (!closing && (first + count) * frameRate_ > (framesWritten - kLagSeconds * frameRate_) * int64_t{rate_})
      early_ = true;
    for (int i = 0; i < count; ++i) {
      const double t = double(first + i) / rate_;
      float v = 0;
      for (const Tone& tone : tones_)
        if (t >= tone.start && t < tone.start + tone.length)
          v += 0.5f * static_cast<float>(std::sin(2 * M_PI * tone.frequency * (t - tone.start)));
      left[i] = right[i] = v;
    }
  }
  int64_t framesWritten = 0;
  bool closing = false;
  int rate_ = 0, frameRate_ = 0;
  int64_t next_ = 0;
  bool gap_ = false, early_ = false;

 private:
  std::vector<Tone> tones_;
};

// Writes `frames` frames with the source, as the encoder worker does, then closes.
void WriteFilm(const std::string& path, int frames, ToneSource* source) {
  VideoWriter writer;
  ASSERT_EQ(writer.open(path, writertest::Settings(kWidth, kHeight, kRate, 400000), source), 1);
  EXPECT_EQ(writer.hasAudio(), source != nullptr);
  for (int i = 0; i < frames; ++i) {
    const auto frame = writertest::SolidFrame(kWidth, kHeight, {i * 3 % 256, 80, 120});
    if (source) ++source->framesWritten;  // counts the frame being written
    writer.writeFrame(frame.data(), kWidth, kHeight);
  }
  if (source) source->closing = true;
  writer.close();
  EXPECT_FALSE(writer.writeFailed());
}

struct Container {
  const char* extension;
  const char* codec;
  int sampleRate;
};

class WriterAudio : public ::testing::TestWithParam<Container> {};

TEST_P(WriterAudio, TonesDecodeWhereAndAsLongAsTheyWereGiven) {
  ScratchDirectory dir;
  const std::string path = dir.path() + "/film." + GetParam().extension;
  ToneSource source({{1.0, 0.6, 880}, {2.0, 0.4, 440}});
  constexpr int kFrames = 80;  // 3.2 s
  WriteFilm(path, kFrames, &source);
  EXPECT_EQ(source.rate_, GetParam().sampleRate);
  EXPECT_FALSE(source.gap_) << "the track was not asked for in order";
  EXPECT_FALSE(source.early_) << "the source was asked for sound closer than the lag to the picture";

  const std::string types = soundtrack::StreamTypes(path);  // FLV lists its audio first
  EXPECT_TRUE(types == "video,audio" || types == "audio,video") << types;
  EXPECT_EQ(soundtrack::AudioCodec(path), GetParam().codec);
  const soundtrack::Sound sound = soundtrack::Decode(path);
  EXPECT_EQ(sound.errors, "");
  EXPECT_NEAR(sound.end(), kFrames * kFrame, kFrame);
  const auto bursts = soundtrack::Bursts(sound);
  ASSERT_EQ(bursts.size(), 2u);
  EXPECT_NEAR(bursts[0].start, 1.0, kFrame);
  EXPECT_NEAR(bursts[0].end - bursts[0].start, 0.6, kFrame);
  EXPECT_NEAR(bursts[1].start, 2.0, kFrame);
  EXPECT_NEAR(bursts[1].end - bursts[1].start, 0.4, kFrame);
  EXPECT_NEAR(soundtrack::Frequency(sound, 1.1, 1.5), 880, 20);
  EXPECT_NEAR(soundtrack::Frequency(sound, 2.1, 2.3), 440, 20);
}

INSTANTIATE_TEST_SUITE_P(Containers, WriterAudio,
                         ::testing::Values(Container{"mp4", "aac", 48000}, Container{"mov", "aac", 48000},
                                           Container{"flv", "mp3", 44100}, Container{"swf", "mp3", 44100},
                                           Container{"wmv", "wmav2", 48000}, Container{"mpg", "mp2", 48000}),
                         [](const auto& info) { return std::string(info.param.extension); });

TEST(WriterAudio, StoppedFilmHasSoundToItsLastFrameAndNoSourceNoStream) {
  ScratchDirectory dir;
  // Stopped while a tone plays: the sound runs to the end of the picture.
  for (const char* extension : {"mp4", "mpg"}) {
    const std::string path = dir.path() + "/stopped." + extension;
    ToneSource source({{0.8, 5.0, 660}});
    WriteFilm(path, 30, &source);
    const soundtrack::Sound sound = soundtrack::Decode(path);
    EXPECT_EQ(sound.errors, "") << extension;
    EXPECT_NEAR(sound.end(), 30 * kFrame, kFrame) << extension;
    const auto bursts = soundtrack::Bursts(sound);
    ASSERT_EQ(bursts.size(), 1u) << extension;
    EXPECT_NEAR(bursts[0].start, 0.8, kFrame) << extension;
    EXPECT_NEAR(bursts[0].end, 1.2, kFrame) << extension;
  }
  const std::string silent = dir.path() + "/silent.mp4";
  WriteFilm(silent, 10, nullptr);
  EXPECT_EQ(soundtrack::StreamTypes(silent), "video");
}

}  // namespace
