// The deck's sounds in the film, end to end with the real office, browser and encoder: a
// deck whose transition, click effect and media shape play tones of known pitch and length,
// converted into every container and decoded back by ffmpeg; the corpus decks with sound;
// a deck without sound, --mute and a stopped conversion; a deck whose media shape plays a video
// clip (a moving bar with a tone).
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
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

// Two 4:3 slides: a blue one, then a purple one whose media shape (20 x 15 cm, the slide's
// middle) plays bar.mp4 as the slide comes in, as the office's show plays a media shape that
// no effect starts.
constexpr char kVideoDeck[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
    xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
    xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
    xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
    xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
    xmlns:xlink="http://www.w3.org/1999/xlink"
    xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0"
    office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.presentation">
  <office:styles/>
  <office:automatic-styles>
    <style:page-layout style:name="PM1">
      <style:page-layout-properties fo:margin-top="0cm" fo:margin-bottom="0cm" fo:margin-left="0cm"
          fo:margin-right="0cm" fo:page-width="25.4cm" fo:page-height="19.05cm" style:print-orientation="landscape"/>
    </style:page-layout>
    <style:style style:name="dpBlue" style:family="drawing-page">
      <style:drawing-page-properties draw:fill="solid" draw:fill-color="#1f3a5f"/>
    </style:style>
    <style:style style:name="dpPurple" style:family="drawing-page">
      <style:drawing-page-properties draw:fill="solid" draw:fill-color="#6a1b9a"/>
    </style:style>
    <style:style style:name="grMedia" style:family="graphic">
      <style:graphic-properties draw:stroke="none" draw:fill="none"/>
    </style:style>
  </office:automatic-styles>
  <office:master-styles>
    <style:master-page style:name="Default" style:page-layout-name="PM1"/>
  </office:master-styles>
  <office:body>
    <office:presentation>
      <draw:page draw:name="page1" draw:style-name="dpBlue" draw:master-page-name="Default"/>
      <draw:page draw:name="page2" draw:style-name="dpPurple" draw:master-page-name="Default">
        <draw:frame draw:style-name="grMedia" svg:x="2.7cm" svg:y="2.025cm" svg:width="20cm" svg:height="15cm">
          <draw:plugin xlink:href="bar.mp4" xlink:type="simple" xlink:show="embed" xlink:actuate="onLoad"
              draw:mime-type="application/vnd.sun.star.media"/>
        </draw:frame>
      </draw:page>
    </office:presentation>
  </office:body>
</office:document>
)";

// Where the clip's red bar stands in a decoded frame: the red-weighted mean column of the
// picture's middle row, -1 when no red is there.
double BarColumn(const std::vector<uint8_t>& frame) {
  const int row = DecodedVideo::kHeight / 2;
  double sum = 0, weight = 0;
  for (int x = 0; x < DecodedVideo::kWidth; ++x) {
    const uint8_t* p = &frame[(static_cast<size_t>(row) * DecodedVideo::kWidth + x) * 3];
    const double red = p[0] - (p[1] + p[2]) / 2.0;
    if (red < 60) continue;
    sum += red * x;
    weight += red;
  }
  return weight > 0 ? sum / weight : -1;
}

TEST_F(SoundConvert, VideoClipMovesInItsShapeInStepWithItsToneAndStaysWhenMuted) {
  // 3 s at 25 frames a second: on white 160 x 120, a red bar 16 wide whose left edge moves
  // 40 px a second from 0; a 440 Hz tone all along.
  const std::string deck = deck_->file("video-deck.fodp");
  WriteWholeFile(deck, kVideoDeck);
  const std::string command =
      "ffmpeg -nostdin -v error -y -f lavfi -i color=c=white:s=160x120:r=25:d=3 -f lavfi -i color=c=red:s=16x120:r=25:d=3"
      " -f lavfi -i sine=frequency=440:sample_rate=44100:duration=3 -filter_complex \"[0:v][1:v]overlay=x='t*40':y=0\""
      " -c:v mpeg4 -q:v 2 -c:a aac -af volume=4 '" + deck_->file("bar.mp4") + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);

  const std::string film = Convert(deck, "video.mp4");
  ASSERT_FALSE(film.empty());
  const DecodedVideo picture = DecodeVideo(film);
  const std::vector<double> onsets = ChangeOnsets(picture);
  ASSERT_FALSE(onsets.empty());
  const size_t slide2 = static_cast<size_t>(std::lround(onsets[0] / kFrame));
  // The clip starts with its slide and plays to its end before the show ends.
  constexpr size_t kClipFrames = 75;
  ASSERT_GE(picture.frames.size(), slide2 + kClipFrames + 10);
  EXPECT_LT(BarColumn(picture.frames[slide2 - 1]), 0) << "the bar before its slide";
  // The shape spans 20 of the slide's 25.4 cm: the clip's 160 pixels are that many here. The
  // clip's first picture stands at the shape's left edge (within the decoding's blur).
  const double scale = DecodedVideo::kWidth * 20 / 25.4 / 160, left = DecodedVideo::kWidth * 2.7 / 25.4;
  const double first = BarColumn(picture.frames[slide2]);
  EXPECT_NEAR(first, left + 8 * scale, 2);
  for (size_t k = slide2; k < slide2 + kClipFrames + 10; ++k) {
    // The clip's time at this frame; after its end its last picture stays.
    const double clipTime = std::min<double>(k - slide2, kClipFrames - 1) * kFrame;
    // Within one frame of the clip's own time (the bar moves 1.6 of its pixels a frame).
    EXPECT_NEAR(BarColumn(picture.frames[k]), first + 40 * clipTime * scale, 40 * kFrame * scale + 0.3)
        << "frame " << k;
  }
  const auto bursts = soundtrack::Bursts(soundtrack::Decode(film));
  ASSERT_EQ(bursts.size(), 1u);
  EXPECT_NEAR(bursts[0].start, slide2 * kFrame, kFrame * 1.01);
  EXPECT_NEAR(bursts[0].end - bursts[0].start, 3.0, 2 * kFrame);

  // Muted, the film has no sound but the same pictures.
  const std::string muted = Convert(deck, "muted-video.mp4", {"--mute"});
  EXPECT_EQ(soundtrack::StreamTypes(muted), "video");
  const DecodedVideo mutedPicture = DecodeVideo(muted);
  ASSERT_EQ(mutedPicture.frames.size(), picture.frames.size());
  for (size_t k = slide2; k < slide2 + kClipFrames; k += 10)
    EXPECT_NEAR(BarColumn(mutedPicture.frames[k]), BarColumn(picture.frames[k]), 0.3) << "frame " << k;
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
  // The video clip of poi__EmbeddedVideo.pptx (a turning globe, 79 frames, whose sound track is
  // silent) plays on the slide's click, one hold after the start; the show waits for it.
  const std::string video = Convert(corpus + "pptx/poi__EmbeddedVideo.pptx", "EmbeddedVideo.mp4");
  ASSERT_FALSE(video.empty());
  EXPECT_EQ(soundtrack::StreamTypes(video), "video,audio");
  const DecodedVideo picture = DecodeVideo(video);
  ASSERT_GE(picture.frames.size(), 26u + 79u);
  auto difference = [&](size_t a, size_t b) {
    long sum = 0;
    for (size_t i = 0; i < picture.frames[a].size(); ++i) sum += std::abs(picture.frames[a][i] - picture.frames[b][i]);
    return sum;
  };
  EXPECT_GT(difference(36, 96), 1500) << "the globe does not turn";
}

}  // namespace
