// The deck's sounds in the film, end to end with the real office, browser and encoder: a
// deck whose transition, click effect and media shape play tones of known pitch and length,
// converted into every container and decoded back by ffmpeg; the corpus decks with sound;
// a deck without sound, --mute and a stopped conversion.
#include <gtest/gtest.h>
#include <signal.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "FixtureFiles.h"
#include "SoundTrack.h"
#include "TestFiles.h"

namespace {

constexpr int kConversionLimitMs = 240000;
constexpr double kFrame = 1.0 / 25;

struct Tone {
  const char* file;
  int frequency;
  double seconds;
};
// What the fixture deck links: the transition's, the click effect's and the media shape's.
constexpr Tone kTones[] = {{"tone-a.wav", 440, 0.6}, {"tone-b.wav", 880, 0.4}, {"tone-c.wav", 660, 0.8}};

class SoundConvert : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    deck_ = new TempDir;
    WriteWholeFile(deck_->file("sound-deck.fodp"), ReadWholeFile(FixtureFiles::SourcePath("sound-deck.fodp")));
    for (const Tone& t : kTones) {
      const std::string command = "ffmpeg -nostdin -v error -y -f lavfi -i sine=frequency=" +
                                  std::to_string(t.frequency) + ":sample_rate=44100:duration=" +
                                  std::to_string(t.seconds) + " -af volume=4 '" + deck_->file(t.file) + "'";
      ASSERT_EQ(std::system(command.c_str()), 0);
    }
  }
  static void TearDownTestSuite() {
    delete deck_;
    deck_ = nullptr;
  }

  std::vector<std::string> Env() const {
    return {"XDG_CACHE_HOME=" + cache_.path(), "TMPDIR=" + tmp_.path(), "XDG_RUNTIME_DIR=" + runtime_.path(),
            "SOURCE_DATE_EPOCH=1700000000"};
  }
  // Converts `deck` into out/`name` at 352x288, 25 fps; "" when the conversion failed.
  std::string Convert(const std::string& deck, const std::string& name, std::vector<std::string> more = {}) {
    const std::string output = out_.file(name);
    std::vector<std::string> args = {KavretoProgram(), "convert", deck, output, "--size", "352x288", "--fps", "25"};
    args.insert(args.end(), more.begin(), more.end());
    ChildProcess kavreto(args, Env());
    const int status = kavreto.wait(kConversionLimitMs);
    EXPECT_EQ(status, 0) << kavreto.stderrText();
    return status == 0 ? output : std::string();
  }

  static TempDir* deck_;
  TempDir cache_, tmp_, runtime_, out_;
};
TempDir* SoundConvert::deck_ = nullptr;

// The times (from the first picture, 25 a second) of the frames where the picture starts to
// change after standing still: where a transition or an effect begins.
std::vector<double> ChangeOnsets(const DecodedVideo& video) {
  std::vector<double> onsets;
  auto differ = [&](size_t a, size_t b) {
    long sum = 0;
    for (size_t i = 0; i < video.frames[a].size(); ++i) sum += std::abs(video.frames[a][i] - video.frames[b][i]);
    return sum * 10 > static_cast<long>(video.frames[a].size()) * 3;
  };
  for (size_t i = 2; i < video.frames.size(); ++i)
    if (differ(i, i - 1) && !differ(i - 1, i - 2)) onsets.push_back(i * kFrame);
  return onsets;
}

TEST_F(SoundConvert, TonesStartWithTheirTransitionEffectAndClickInEveryContainer) {
  const std::string deck = deck_->file("sound-deck.fodp");
  for (const char* extension : {"mp4", "mov", "flv", "swf", "wmv", "mpg"}) {
    SCOPED_TRACE(extension);
    const std::string video = Convert(deck, std::string("film.") + extension);
    ASSERT_FALSE(video.empty());
    const std::string types = soundtrack::StreamTypes(video);
    EXPECT_NE(types.find("audio"), std::string::npos) << types;
    const soundtrack::Sound sound = soundtrack::Decode(video);
    EXPECT_EQ(sound.errors, "");
    const DecodedVideo picture = DecodeVideo(video);
    const std::vector<double> onsets = ChangeOnsets(picture);
    // The wipe into slide 2, the box's fade, the cut to slide 3 (the click on slide 3
    // changes nothing visible: it comes one hold, 26 frames, after the cut).
    ASSERT_GE(onsets.size(), 3u);
    const double starts[] = {onsets[0], onsets[1], onsets[2] + 26 * kFrame};
    const auto bursts = soundtrack::Bursts(sound);
    ASSERT_EQ(bursts.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
      EXPECT_NEAR(bursts[i].start, starts[i], kFrame * 1.01) << "tone " << i;
      EXPECT_NEAR(bursts[i].end - bursts[i].start, kTones[i].seconds, kFrame) << "tone " << i;
      const double middle = (bursts[i].start + bursts[i].end) / 2;
      EXPECT_NEAR(soundtrack::Frequency(sound, middle - 0.1, middle + 0.1), kTones[i].frequency, 25) << "tone " << i;
    }
    // Sound to the end of the picture.
    EXPECT_NEAR(sound.end(), picture.frames.size() * kFrame, 2 * kFrame);
  }
}

TEST_F(SoundConvert, SameSamplesTwiceNoneWhenMutedOrSilent) {
  const std::string deck = deck_->file("sound-deck.fodp");
  const std::string first = Convert(deck, "first.mp4"), second = Convert(deck, "second.mp4");
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty());
  const auto a = soundtrack::Decode(first), b = soundtrack::Decode(second);
  EXPECT_FALSE(a.samples.empty());
  size_t same = 0;
  while (same < a.samples.size() && same < b.samples.size() && a.samples[same] == b.samples[same]) ++same;
  EXPECT_TRUE(a.samples == b.samples) << "two conversions under SOURCE_DATE_EPOCH give other sound: "
                                      << a.samples.size() << " and " << b.samples.size() << " samples, the same up to "
                                      << same;

  EXPECT_EQ(soundtrack::StreamTypes(Convert(deck, "muted.mp4", {"--mute"})), "video");
  const std::string silent = FixtureFiles::Converted("four-slides.fodp");
  ASSERT_FALSE(silent.empty());
  EXPECT_EQ(soundtrack::StreamTypes(Convert(silent, "silent.flv")), "video");
}

TEST_F(SoundConvert, StoppedConversionHasSoundAndPictureToItsEnd) {
  const std::string output = out_.file("stopped.mpg");
  ChildProcess kavreto({KavretoProgram(), "convert", deck_->file("sound-deck.fodp"), output, "--size", "352x288",
                        "--fps", "25", "--realtime"},
                       Env());
  ASSERT_TRUE(kavreto.waitForStderr("slide 2 of 3", kConversionLimitMs)) << kavreto.stderrText();
  ::kill(kavreto.pid(), SIGINT);
  EXPECT_EQ(kavreto.wait(kConversionLimitMs), 3) << kavreto.stderrText();
  const DecodedVideo picture = DecodeVideo(output);
  const soundtrack::Sound sound = soundtrack::Decode(output);
  EXPECT_EQ(picture.errors, "");
  EXPECT_EQ(sound.errors, "");
  ASSERT_GT(picture.frames.size(), 10u);
  EXPECT_NEAR(sound.end(), picture.frames.size() * kFrame, 2 * kFrame);
}

TEST_F(SoundConvert, CorpusDecksWithSoundGetIt) {
  const std::string corpus = KAVRETO_SOURCE_DIR "/../shared/corpus/";
  for (const char* deck : {"ppt/poi__sound.ppt", "pptx/poi__EmbeddedAudio.pptx"}) {
    SCOPED_TRACE(deck);
    if (!FileExists(corpus + deck)) GTEST_SKIP() << "no corpus";
    const std::string video = Convert(corpus + deck, std::string(deck).substr(std::string(deck).find('/') + 1) + ".mp4");
    ASSERT_FALSE(video.empty());
    const auto sound = soundtrack::Decode(video);
    EXPECT_EQ(sound.errors, "");
    EXPECT_FALSE(soundtrack::Bursts(sound, 0.003).empty());
  }
}

}  // namespace
