// `kavreto convert` end to end, off screen, with the real office, browser and
// encoder: the video is decoded back and its pictures and time stamps checked.
#include <gtest/gtest.h>
#include <signal.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "AppTestSupport.h"
#include "FixtureFiles.h"

namespace {

const std::string kCorpus = "/work/shared/corpus/ppt";
constexpr int kConversionLimitMs = 240000;

// What a frame of the four-slide fixture shows, told by its colours.
enum Picture { kUnknown, kTitle, kClicks0, kClicks1, kClicks2, kClicks3, kGreen, kRed };

bool Near(const uint8_t* p, int r, int g, int b, int tolerance = 40) {
  return std::abs(p[0] - r) <= tolerance && std::abs(p[1] - g) <= tolerance && std::abs(p[2] - b) <= tolerance;
}

Picture Classify(const std::vector<uint8_t>& frame) {
  const int w = DecodedVideo::kWidth, h = DecodedVideo::kHeight;
  // The background colour, from a point near the slide's top-left corner
  // (the 4:3 slide is letterboxed in the 352 x 288 picture).
  const uint8_t* corner = &frame[(static_cast<size_t>(h / 8) * w + 2) * 3];
  if (Near(corner, 0x1f, 0x3a, 0x5f)) return kTitle;
  if (Near(corner, 0x2e, 0x7d, 0x32)) return kGreen;
  if (Near(corner, 0xc6, 0x28, 0x28)) return kRed;
  if (!Near(corner, 0xf4, 0xf1, 0xea)) return kUnknown;
  // Slide 2: count the pixels of each of its three boxes.
  int boxes[3] = {0, 0, 0};
  for (int i = 0; i < w * h; ++i) {
    const uint8_t* p = &frame[static_cast<size_t>(i) * 3];
    if (Near(p, 0xe6, 0x51, 0x00, 30)) ++boxes[0];
    if (Near(p, 0x00, 0x83, 0x8f, 30)) ++boxes[1];
    if (Near(p, 0x6a, 0x1b, 0x9a, 30)) ++boxes[2];
  }
  const int enough = w * h / 100;
  const bool b1 = boxes[0] > enough, b2 = boxes[1] > enough, b3 = boxes[2] > enough;
  if (!b1 && !b2 && !b3) return kClicks0;
  if (b1 && !b2 && !b3) return kClicks1;
  if (b1 && b2 && !b3) return kClicks2;
  if (b1 && b2 && b3) return kClicks3;
  return kUnknown;
}

// The pictures that stay at least `minFrames` frames in a row, in order
// (a picture interrupted by a brief change counts once).
std::vector<Picture> StillPictures(const DecodedVideo& video, int minFrames, std::vector<int>* lengths = nullptr) {
  std::vector<Picture> stills;
  size_t i = 0;
  while (i < video.frames.size()) {
    const Picture p = Classify(video.frames[i]);
    size_t j = i;
    while (j < video.frames.size() && Classify(video.frames[j]) == p) ++j;
    if (p != kUnknown && static_cast<int>(j - i) >= minFrames) {
      if (stills.empty() || stills.back() != p) {
        stills.push_back(p);
        if (lengths != nullptr) lengths->push_back(static_cast<int>(j - i));
      }
    }
    i = j;
  }
  return stills;
}

class BatchConvert : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    fourSlides_ = FixtureFiles::Converted("four-slides.fodp");
    oneSlide_ = FixtureFiles::Converted("one-slide.fodp");  // one dark blue slide
  }

  void SetUp() override {
    cache_ = std::make_unique<TempDir>();
    tmp_ = std::make_unique<TempDir>();
  }
  // The work files live in the user's cache directory, here a private one;
  // the office's profile and pipe live under TMPDIR, also a private one.
  std::vector<std::string> Env() const {
    return {"XDG_CACHE_HOME=" + cache_->path(), "TMPDIR=" + tmp_->path(), "XDG_RUNTIME_DIR=" + runtime_.path()};
  }
  std::vector<std::string> WorkFiles() const { return FilesWithPrefix(cache_->path(), "nn"); }
  // Nothing of a finished conversion is left: no work file, no office process,
  // nothing in its temporary directory.
  void ExpectNothingLeft() const {
    EXPECT_TRUE(WorkFiles().empty());
    EXPECT_EQ(OfficeProcessCount(tmp_->path()), 0);
    EXPECT_TRUE(std::filesystem::is_empty(tmp_->path()));
  }

  static std::string fourSlides_;
  static std::string oneSlide_;
  std::unique_ptr<TempDir> cache_;
  std::unique_ptr<TempDir> tmp_;
  TempDir runtime_;
  TempDir out_;
};
std::string BatchConvert::fourSlides_;
std::string BatchConvert::oneSlide_;

TEST_F(BatchConvert, FourSlidesIntoMp4AndFlvShowEveryStillPictureInOrder) {
  ASSERT_FALSE(fourSlides_.empty()) << "LibreOffice could not make the fixture";
  for (const char* extension : {"mp4", "flv"}) {
    SCOPED_TRACE(extension);
    const std::string output = out_.file(std::string("four.") + extension);
    ChildProcess kavreto({KavretoProgram(), "convert", fourSlides_, output, "--size", "352x288", "--fps", "25",
                          "--quality", "60", "--timeout", "200"},
                         Env());
    ASSERT_EQ(kavreto.wait(kConversionLimitMs), 0) << kavreto.stderrText();
    ExpectNothingLeft();

    const DecodedVideo video = DecodeVideo(output);
    EXPECT_EQ(video.errors, "");
    ASSERT_GT(video.frames.size(), 100u);
    std::vector<int> lengths;
    const std::vector<Picture> stills = StillPictures(video, 26, &lengths);
    // Slide 1, slide 2 before and after each of its three clicks, slide 3;
    // the hidden slide 4 may follow.
    std::vector<Picture> expected = {kTitle, kClicks0, kClicks1, kClicks2, kClicks3, kGreen};
    if (stills.size() == 7) expected.push_back(kRed);
    EXPECT_EQ(stills, expected) << "frames: " << video.frames.size();
    // Time stamps step by exactly one frame period.
    ASSERT_EQ(video.times.size(), video.frames.size());
    for (size_t i = 1; i < video.times.size(); ++i) {
      ASSERT_NEAR(video.times[i] - video.times[i - 1], 0.04, 0.0015) << "frame " << i;
    }
  }
}

TEST_F(BatchConvert, OneSlidePresentationGivesAVideoOfThatSlide) {
  ASSERT_FALSE(oneSlide_.empty());
  const std::string output = out_.file("one.mp4");
  ChildProcess kavreto({KavretoProgram(), "convert", oneSlide_, output, "--fps", "5"}, Env());
  ASSERT_EQ(kavreto.wait(kConversionLimitMs), 0) << kavreto.stderrText();
  const DecodedVideo video = DecodeVideo(output);
  EXPECT_EQ(StillPictures(video, 6), std::vector<Picture>{kTitle});
  ExpectNothingLeft();
}

TEST_F(BatchConvert, AcceptsAnyPresentationTheOfficeOpens) {
  // The flat ODF source itself, not a .ppt.
  const std::string output = out_.file("from-odf.flv");
  ChildProcess kavreto(
      {KavretoProgram(), "convert", FixtureFiles::SourcePath("one-slide.fodp"), output, "--fps", "5"}, Env());
  ASSERT_EQ(kavreto.wait(kConversionLimitMs), 0) << kavreto.stderrText();
  EXPECT_EQ(StillPictures(DecodeVideo(output), 6), std::vector<Picture>{kTitle});
  ExpectNothingLeft();
}

TEST_F(BatchConvert, BadInputsGiveAMessageAndLeaveNothing) {
  ASSERT_FALSE(oneSlide_.empty());
  const std::string encrypted = kCorpus + "/poi__Password_Protected-hello.ppt";
  struct Case {
    std::string name, input, output;
    std::vector<std::string> messages;  // one of these
  };
  const std::vector<Case> cases = {
      {"missing file", out_.file("no-such.ppt"), out_.file("a.mp4"), {"找不到演示文稿"}},
      // The exporter's own message, or ours when it said nothing.
      {"encrypted file", encrypted, out_.file("b.mp4"), {"Exception take place", "无法导出演示文稿"}},
      {"unknown output extension", oneSlide_, out_.file("c.xyz"), {"不支持的输出文件类型"}},
      {".mpg outside 352x288 at 25 fps", oneSlide_, out_.file("d.mpg"), {"不支持的输出文件类型"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = {KavretoProgram(), "convert", c.input, c.output};
    if (c.output.ends_with(".mpg")) args.insert(args.end(), {"--fps", "24"});
    if (c.input == encrypted && !FileExists(encrypted)) continue;  // corpus not on this machine
    ChildProcess kavreto(args, Env());
    const int status = kavreto.wait(kConversionLimitMs);
    EXPECT_NE(status, 0);
    EXPECT_NE(status, -1) << "timed out";
    bool told = false;
    for (const std::string& message : c.messages) told = told || kavreto.stderrText().find(message) != std::string::npos;
    EXPECT_TRUE(told) << kavreto.stderrText();
    EXPECT_FALSE(FileExists(c.output));
    ExpectNothingLeft();
  }
}

TEST_F(BatchConvert, OutputNamingTheSourceIsRefusedAndTheSourceKept) {
  ASSERT_FALSE(oneSlide_.empty());
  const std::string copy = out_.file("deck.flv");  // a presentation that happens to end in .flv
  std::filesystem::copy_file(oneSlide_, copy);
  const auto size = std::filesystem::file_size(copy);
  ChildProcess kavreto({KavretoProgram(), "convert", copy, copy}, Env());
  EXPECT_EQ(kavreto.wait(60000), 1);
  EXPECT_NE(kavreto.stderrText().find("输出文件不能是源演示文稿本身"), std::string::npos) << kavreto.stderrText();
  EXPECT_EQ(std::filesystem::file_size(copy), size);
}

TEST_F(BatchConvert, BadArgumentsGetTheUsage) {
  for (std::vector<std::string> args : {std::vector<std::string>{"convert", "only-input.ppt"},
                                        {"convert", "a.ppt", "b.mp4", "--fps", "31"},
                                        {"convert", "a.ppt", "b.mp4", "--size", "800x600"},
                                        {"convert", "a.ppt", "b.mp4", "--quality", "0"},
                                        {"convert", "a.ppt", "b.mp4", "--timeout", "-1"},
                                        {"frobnicate"}}) {
    args.insert(args.begin(), KavretoProgram());
    ChildProcess kavreto(args, Env());
    EXPECT_EQ(kavreto.wait(30000), 2) << args[1];
    EXPECT_NE(kavreto.stderrText().find("usage: kavreto"), std::string::npos);
  }
}

TEST_F(BatchConvert, TwoConversionsAtTheSameMomentBothSucceed) {
  ASSERT_FALSE(oneSlide_.empty());
  const std::string a = out_.file("a.mp4"), b = out_.file("b.flv");
  ChildProcess first({KavretoProgram(), "convert", oneSlide_, a, "--fps", "5"}, Env());
  ChildProcess second({KavretoProgram(), "convert", oneSlide_, b, "--fps", "5"}, Env());
  EXPECT_EQ(first.wait(kConversionLimitMs), 0) << first.stderrText();
  EXPECT_EQ(second.wait(kConversionLimitMs), 0) << second.stderrText();
  EXPECT_EQ(StillPictures(DecodeVideo(a), 6), std::vector<Picture>{kTitle});
  EXPECT_EQ(StillPictures(DecodeVideo(b), 6), std::vector<Picture>{kTitle});
  ExpectNothingLeft();
}

TEST_F(BatchConvert, InterruptPartWayLeavesACompleteFile) {
  ASSERT_FALSE(fourSlides_.empty());
  for (int signalNumber : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signalNumber);
    const std::string output = out_.file("stopped" + std::to_string(signalNumber) + ".mp4");
    ChildProcess kavreto({KavretoProgram(), "convert", fourSlides_, output, "--fps", "10", "--stats"}, Env());
    ASSERT_TRUE(kavreto.waitForStderr("slide 2 of", kConversionLimitMs)) << kavreto.stderrText();
    ::kill(kavreto.pid(), signalNumber);
    EXPECT_EQ(kavreto.wait(60000), 3) << kavreto.stderrText();
    const std::string& log = kavreto.stderrText();
    const size_t at = log.find("\nframes: ");
    ASSERT_NE(at, std::string::npos) << log;
    const long written = std::atol(log.c_str() + at + 9);
    const DecodedVideo video = DecodeVideo(output);
    EXPECT_EQ(video.errors, "");
    EXPECT_EQ(static_cast<long>(video.frames.size()), written);
    EXPECT_EQ(StillPictures(video, 11).front(), kTitle);
    ExpectNothingLeft();
  }
}

TEST_F(BatchConvert, TimeoutStopsLikeStop) {
  ASSERT_FALSE(fourSlides_.empty());
  const std::string output = out_.file("timeout.flv");
  ChildProcess kavreto({KavretoProgram(), "convert", fourSlides_, output, "--fps", "5", "--timeout", "6", "--stats"},
                       Env());
  EXPECT_EQ(kavreto.wait(kConversionLimitMs), 3) << kavreto.stderrText();
  const std::string& log = kavreto.stderrText();
  const size_t at = log.find("\nframes: ");
  ASSERT_NE(at, std::string::npos) << log;
  const long written = std::atol(log.c_str() + at + 9);
  // On a slow machine the time may run out before the first frame.
  if (written > 0) {
    const DecodedVideo video = DecodeVideo(output);
    EXPECT_EQ(video.errors, "");
    EXPECT_EQ(static_cast<long>(video.frames.size()), written);
  }
  ExpectNothingLeft();
}

}  // namespace
