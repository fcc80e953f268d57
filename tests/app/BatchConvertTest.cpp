// `kavreto convert` end to end, off screen, with the real office, browser and
// encoder: the video is decoded back and its pictures and time stamps checked.
#include <gtest/gtest.h>
#include <signal.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>

#include "AppTestSupport.h"
#include "EncryptedDecks.h"
#include "FixtureFiles.h"

namespace {

// The shared corpus of real presentations lies beside the repository.
const std::string kCorpus = KAVRETO_SOURCE_DIR "/../shared/corpus/ppt";
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

// A copy of a fixture with every slide shown, written next to the test's
// temporary files; its path ("" on failure).
std::string WithoutHiddenSlides(const std::string& fixture) {
  std::ifstream in(FixtureFiles::SourcePath(fixture));
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string hidden = "presentation:visibility=\"hidden\"";
  const size_t at = text.find(hidden);
  if (!in || at == std::string::npos) return "";
  text.erase(at, hidden.size());
  static TempDir dir;
  const std::string path = dir.file("shown-" + fixture);
  std::ofstream(path) << text;
  return path;
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
    // The same deck with its fourth slide shown: the video must then end on it.
    fourShown_ = FixtureFiles::Converted(WithoutHiddenSlides("four-slides.fodp"));
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
  static std::string fourShown_;
  static std::string oneSlide_;
  std::unique_ptr<TempDir> cache_;
  std::unique_ptr<TempDir> tmp_;
  TempDir runtime_;
  TempDir out_;
};
std::string BatchConvert::fourSlides_;
std::string BatchConvert::fourShown_;
std::string BatchConvert::oneSlide_;

TEST_F(BatchConvert, FourSlidesIntoMp4AndFlvShowEveryStillPictureInOrder) {
  ASSERT_FALSE(fourSlides_.empty()) << "LibreOffice could not make the fixture";
  ASSERT_FALSE(fourShown_.empty()) << "LibreOffice could not make the fixture";
  // Slide 1, slide 2 before and after each of its three clicks, slides 3 and 4;
  // when slide 4 is hidden the show passes it over and ends on slide 3.
  const std::vector<Picture> allShown = {kTitle, kClicks0, kClicks1, kClicks2, kClicks3, kGreen, kRed};
  const std::vector<Picture> lastHidden(allShown.begin(), allShown.end() - 1);
  struct Case {
    const char* extension;
    const std::string* deck;
    const std::vector<Picture>* expected;
  };
  for (const Case& c : {Case{"mp4", &fourShown_, &allShown}, Case{"flv", &fourSlides_, &lastHidden}}) {
    SCOPED_TRACE(c.extension);
    const std::string output = out_.file(std::string("four.") + c.extension);
    ChildProcess kavreto({KavretoProgram(), "convert", *c.deck, output, "--size", "352x288", "--fps", "25", "--quality",
                          "60", "--timeout", "200"},
                         Env());
    ASSERT_EQ(kavreto.wait(kConversionLimitMs), 0) << kavreto.stderrText();
    ExpectNothingLeft();

    const DecodedVideo video = DecodeVideo(output);
    EXPECT_EQ(video.errors, "");
    ASSERT_GT(video.frames.size(), 100u);
    // Every still picture stays at least frameRate + 1 = 26 frames.
    const std::vector<Picture> stills = StillPictures(video, 26);
    EXPECT_EQ(stills, *c.expected) << "frames: " << video.frames.size();
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
  // Quiet by default: no line of the encoder's statistics or the stream dump.
  for (const char* noise : {"[libx264 @", "Output #0", "Stream #0", "kb/s:"})
    EXPECT_EQ(kavreto.stderrText().find(noise), std::string::npos) << noise << "\n" << kavreto.stderrText();
  ExpectNothingLeft();
}

TEST_F(BatchConvert, AcceptsAnyPresentationTheOfficeOpens) {
  // The flat ODF source itself, not a .ppt.
  const std::string output = out_.file("from-odf.flv");
  ChildProcess kavreto({KavretoProgram(), "convert", FixtureFiles::SourcePath("one-slide.fodp"), output, "--fps", "5"},
                       Env());
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
    std::vector<std::string> locale = {"LC_ALL=", "LC_MESSAGES=", "LANGUAGE=", "LANG=zh_CN.UTF-8"};
  };
  const std::string encryptedText = "The presentation is encrypted (password-protected).";
  const std::vector<Case> cases = {
      // The dialog's texts in the locale's language, the command's own lines in English.
      {"missing file", out_.file("no-such.ppt"), out_.file("a.mp4"), {"找不到演示文稿"}},
      {"missing file, English", out_.file("no-such.ppt"), out_.file("a.mp4"), {"Presentation not found"},
       {"LC_ALL=en_US.UTF-8"}},
      {"encrypted file", encrypted, out_.file("b.mp4"), {encryptedText}},
      {"encrypted .ppt without its summary", EncryptedDecks::PptWithoutSummary(out_.path()), out_.file("e.mp4"),
       {encryptedText}},
      {"encrypted .pptx", EncryptedDecks::Pptx(out_.path()), out_.file("f.mp4"), {encryptedText}},
      {"unknown output extension", oneSlide_, out_.file("c.xyz"), {"不支持的输出文件类型"}},
      {".mpg outside 352x288 at 25 fps", oneSlide_, out_.file("d.mpg"), {"不支持的输出文件类型"}},
      {"unknown output extension, English", oneSlide_, out_.file("c.xyz"), {"Unsupported output file type"},
       {"LC_ALL=en_US.UTF-8"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = {KavretoProgram(), "convert", c.input, c.output};
    if (c.output.ends_with(".mpg")) args.insert(args.end(), {"--fps", "24"});
    if (c.input.empty() || (c.input == encrypted && !FileExists(encrypted))) continue;  // corpus not on this machine
    std::vector<std::string> env = Env();
    env.insert(env.end(), c.locale.begin(), c.locale.end());
    ChildProcess kavreto(args, env);
    const int status = kavreto.wait(kConversionLimitMs);
    EXPECT_NE(status, 0);
    EXPECT_NE(status, -1) << "timed out";
    bool told = false;
    for (const std::string& message : c.messages)
      told = told || kavreto.stderrText().find(message) != std::string::npos;
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

TEST_F(BatchConvert, BadArgumentsExitWithStatusTwoAndSayWhy) {
  struct Case {
    std::vector<std::string> args;
    const char* says;
  };
  // A command line of the wrong form gets the usage; a bad value gets its reason.
  for (Case c : std::vector<Case>{
           {{"convert", "only-input.ppt"}, "usage: kavreto"},
           {{"convert", "a.ppt", "b.mp4", "--bogus"}, "usage: kavreto"},
           {{"convert", "a.ppt", "b.mp4", "--bogus=3"}, "usage: kavreto"},
           {{"frobnicate"}, "usage: kavreto"},
           {{"frobnicate"}, "no such file, and no command of that name"},  // `kavreto FILE` without the file
           {{"convert", "a.ppt", "b.mp4", "--fps", "31"}, "--fps must be"},
           {{"convert", "a.ppt", "b.mp4", "--quality=0"}, "--quality must be"},
           {{"convert", "a.ppt", "b.mp4", "--timeout", "-1"}, "--timeout must be"},
           {{"convert", "a.ppt", "b.mp4", "--size", "1280x721"}, "the height must be even"},
           {{"convert", "a.ppt", "b.mp4", "--size=1282x720"}, "the width must be a multiple of 4"},
           {{"convert", "a.ppt", "b.mp4", "--size", "3844x2160"}, "the largest size is 3840x2160"},
           // A container that cannot carry the size: refused before anything is filmed.
           {{"convert", "a.ppt", "b.mpg", "--size", "720p"}, "不支持的输出文件类型"},
           {{"convert", "a.ppt", "b.mov", "--fps", "24"}, "不支持的输出文件类型"},
           {{"convert", "x/deck.ppt", "y/deck.pptx", "--output-dir", "o"}, "same file"},
       }) {
    c.args.insert(c.args.begin(), KavretoProgram());
    ChildProcess kavreto(c.args, Env());
    EXPECT_EQ(kavreto.wait(30000), 2) << testing::PrintToString(c.args);
    EXPECT_NE(kavreto.stderrText().find(c.says), std::string::npos) << kavreto.stderrText();
    EXPECT_TRUE(kavreto.stdoutText().empty());
  }
  EXPECT_FALSE(FileExists("b.mpg"));
  ChildProcess help({KavretoProgram(), "--help"}, Env());
  EXPECT_EQ(help.wait(30000), 0);
  EXPECT_NE(help.stdoutText().find("--hold SECONDS"), std::string::npos) << help.stdoutText();
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
    // At 30 frames per second the show takes long enough to be interrupted on its second slide,
    // even filmed faster than real time.
    ChildProcess kavreto({KavretoProgram(), "convert", fourSlides_, output, "--fps", "30", "--stats"}, Env());
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
  // Filmed at the pace of the clock, the show takes at least 10 s: the time limit comes
  // before its end however fast the export is.
  ChildProcess kavreto(
      {KavretoProgram(), "convert", fourSlides_, output, "--fps", "5", "--realtime", "--timeout", "2", "--stats"},
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

// The colour at (x, y) of a decoded frame.
const uint8_t* At(const std::vector<uint8_t>& frame, int x, int y) {
  return &frame[(static_cast<size_t>(y) * DecodedVideo::kWidth + static_cast<size_t>(x)) * 3];
}

TEST_F(BatchConvert, WideDeckFillsHdPicturesToTheirCorners) {
  const std::string wide = FixtureFiles::Converted("wide-slide.fodp");
  ASSERT_FALSE(wide.empty());
  struct Case {
    const char* size;
    int width, height;
  };
  for (const Case& c : {Case{"720p", 1280, 720}, Case{"1920x1080", 1920, 1080}}) {
    SCOPED_TRACE(c.size);
    const std::string output = out_.file(std::string("wide-") + c.size + ".mp4");
    ChildProcess kavreto({KavretoProgram(), "convert", wide, output, "--size", c.size, "--fps", "5"}, Env());
    ASSERT_EQ(kavreto.wait(kConversionLimitMs), 0) << kavreto.stderrText();
    const VideoStreamInfo info = ProbeVideo(output);
    EXPECT_EQ(info.width, c.width);
    EXPECT_EQ(info.height, c.height);
    const DecodedVideo video = DecodeVideo(output);
    ASSERT_FALSE(video.frames.empty()) << video.errors;
    // The first frame already shows the slide: its background in all four corners, no black band.
    const int w = DecodedVideo::kWidth, h = DecodedVideo::kHeight;
    for (const auto& [x, y] : {std::pair{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}}) {
      const uint8_t* p = At(video.frames.front(), x, y);
      EXPECT_TRUE(Near(p, 0x1f, 0x3a, 0x5f))
          << x << "," << y << ": " << int(p[0]) << " " << int(p[1]) << " " << int(p[2]);
    }
  }
  // --size auto reads the deck's shape from its exported show: 16:9 at the height asked for.
  const std::string output = out_.file("wide-auto.mp4");
  ChildProcess kavreto({KavretoProgram(), "convert", wide, output, "--size", "auto", "--height=360", "--fps", "5"},
                       Env());
  ASSERT_EQ(kavreto.wait(kConversionLimitMs), 0) << kavreto.stderrText();
  const VideoStreamInfo info = ProbeVideo(output);
  EXPECT_EQ(info.width, 640);
  EXPECT_EQ(info.height, 360);
  ExpectNothingLeft();
}

TEST_F(BatchConvert, FourThreeDeckInAWidePictureHasBandsAtTheSidesOnly) {
  ASSERT_FALSE(oneSlide_.empty());
  const std::string output = out_.file("bands.mp4");
  ChildProcess kavreto({KavretoProgram(), "convert", oneSlide_, output, "--size=1280x720", "--fps=5"}, Env());
  ASSERT_EQ(kavreto.wait(kConversionLimitMs), 0) << kavreto.stderrText();
  const DecodedVideo video = DecodeVideo(output);
  ASSERT_FALSE(video.frames.empty()) << video.errors;
  const std::vector<uint8_t>& frame = video.frames.back();
  const int w = DecodedVideo::kWidth, h = DecodedVideo::kHeight;
  // 960 of 1280 columns are the slide: 160 black columns each side (11 of 88 here).
  for (int y : {0, h / 2, h - 1}) {
    EXPECT_TRUE(Near(At(frame, 2, y), 0, 0, 0, 20)) << "left, row " << y;
    EXPECT_TRUE(Near(At(frame, w - 3, y), 0, 0, 0, 20)) << "right, row " << y;
  }
  for (int x : {14, w / 2, w - 15}) {
    EXPECT_TRUE(Near(At(frame, x, 0), 0x1f, 0x3a, 0x5f)) << "top, column " << x;
    EXPECT_TRUE(Near(At(frame, x, h - 1), 0x1f, 0x3a, 0x5f)) << "bottom, column " << x;
  }
}

TEST_F(BatchConvert, HoldKeepsEveryStillPictureAsLongAsAsked) {
  ASSERT_FALSE(fourShown_.empty());
  const std::string output = out_.file("hold.mp4");
  ChildProcess kavreto({KavretoProgram(), "convert", fourShown_, output, "--fps", "10", "--hold=3"}, Env());
  ASSERT_EQ(kavreto.wait(kConversionLimitMs), 0) << kavreto.stderrText();
  const DecodedVideo video = DecodeVideo(output);
  // round(3 x 10) = 30 repeats: each still fills at least 31 frames, and every one is there.
  std::vector<int> lengths;
  const std::vector<Picture> stills = StillPictures(video, 31, &lengths);
  EXPECT_EQ(stills, (std::vector<Picture>{kTitle, kClicks0, kClicks1, kClicks2, kClicks3, kGreen, kRed}))
      << "frames: " << video.frames.size();
  // ... and not twice that (a still's count may take in the end of an effect's fade).
  for (int length : lengths) EXPECT_LT(length, 2 * 31);
  ExpectNothingLeft();
}

// Every JSON line of a run, parsed by Qt's own parser.
std::vector<QJsonObject> JsonLines(const std::string& text) {
  std::vector<QJsonObject> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
    EXPECT_TRUE(document.isObject()) << line;
    lines.push_back(document.object());
  }
  return lines;
}

TEST_F(BatchConvert, ThreeDecksInOneRunWithJsonProgress) {
  const std::string wide = FixtureFiles::Converted("wide-slide.fodp");
  ASSERT_FALSE(oneSlide_.empty());
  ASSERT_FALSE(wide.empty());
  const std::string in = out_.file("in");
  std::filesystem::create_directories(in);
  const std::string a = FixtureFiles::CopyTo(oneSlide_, in, "first.ppt");
  const std::string b = FixtureFiles::CopyTo(wide, in, "second.ppt");
  const std::string c = FixtureFiles::CopyTo(oneSlide_, in, "third.deck.ppt");
  const std::string dir = out_.file("videos");
  ChildProcess kavreto({KavretoProgram(), "convert", a, b, c, "--output-dir", dir, "--format", "flv", "--fps", "5",
                        "--progress", "json"},
                       Env());
  ASSERT_EQ(kavreto.wait(kConversionLimitMs), 0) << kavreto.stderrText();
  for (const char* name : {"first.flv", "second.flv", "third.deck.flv"}) {
    SCOPED_TRACE(name);
    const DecodedVideo video = DecodeVideo(dir + "/" + name);
    EXPECT_EQ(video.errors, "");
    ASSERT_GE(video.frames.size(), 6u);
    // Both decks are one dark blue slide; the wide one is letterboxed at 352x288.
    EXPECT_TRUE(Near(At(video.frames.back(), 2, DecodedVideo::kHeight / 2), 0x1f, 0x3a, 0x5f));
  }
  // People's messages stay on standard error: one summary line a file.
  EXPECT_NE(kavreto.stderrText().find("done: " + b), std::string::npos) << kavreto.stderrText();
  EXPECT_EQ(kavreto.stderrText().find("{\""), std::string::npos);
  // Standard output holds JSON lines only: every field on every line, states in order,
  // each file ending with done.
  const std::vector<QJsonObject> lines = JsonLines(kavreto.stdoutText());
  ASSERT_FALSE(lines.empty());
  std::map<std::string, std::vector<std::string>> states;
  for (const QJsonObject& line : lines) {
    for (const char* field :
         {"file", "output", "state", "slide", "slides", "frames", "video_seconds", "elapsed_seconds"}) {
      EXPECT_TRUE(line.contains(QLatin1String(field))) << field;
    }
    states[line.value("file").toString().toStdString()].push_back(line.value("state").toString().toStdString());
  }
  for (const std::string& file : {a, b, c}) {
    SCOPED_TRACE(file);
    const std::vector<std::string>& s = states[file];
    ASSERT_GE(s.size(), 3u);
    EXPECT_EQ(s.front(), "exporting");
    EXPECT_EQ(s[1], "filming");
    EXPECT_EQ(s.back(), "done");
  }
  const QJsonObject last = lines.back();
  EXPECT_EQ(last.value("output").toString().toStdString(), dir + "/third.deck.flv");
  EXPECT_EQ(last.value("slides").toInt(), 1);
  EXPECT_GT(last.value("frames").toInt(), 5);
  EXPECT_NEAR(last.value("video_seconds").toDouble(), last.value("frames").toInt() / 5.0, 0.01);
  // No office is left running (ExpectNothingLeft counts those of this run's private TMPDIR).
  ExpectNothingLeft();
}

TEST_F(BatchConvert, ABadFileInTheMiddleDoesNotStopTheOthers) {
  ASSERT_FALSE(oneSlide_.empty());
  const std::string in = out_.file("in");
  std::filesystem::create_directories(in);
  const std::string a = FixtureFiles::CopyTo(oneSlide_, in, "a.ppt");
  const std::string bad = in + "/broken.ppt";
  std::ofstream(bad) << "this is not a presentation";
  const std::string c = FixtureFiles::CopyTo(oneSlide_, in, "c.ppt");
  const std::string dir = out_.file("videos");
  ChildProcess kavreto(
      {KavretoProgram(), "convert", a, bad, c, "--output-dir=" + dir, "--fps", "5", "--progress", "json"}, Env());
  EXPECT_EQ(kavreto.wait(kConversionLimitMs), 1) << kavreto.stderrText();
  EXPECT_EQ(StillPictures(DecodeVideo(dir + "/a.mp4"), 6), std::vector<Picture>{kTitle});
  EXPECT_EQ(StillPictures(DecodeVideo(dir + "/c.mp4"), 6), std::vector<Picture>{kTitle});
  EXPECT_FALSE(FileExists(dir + "/broken.mp4"));
  EXPECT_NE(kavreto.stderrText().find("failed: " + bad), std::string::npos) << kavreto.stderrText();
  const std::vector<QJsonObject> lines = JsonLines(kavreto.stdoutText());
  bool sawFailure = false;
  for (const QJsonObject& line : lines) {
    if (line.value("file").toString().toStdString() != bad || line.value("state").toString() != "failed") continue;
    sawFailure = true;
    EXPECT_FALSE(line.value("message").toString().isEmpty());
  }
  EXPECT_TRUE(sawFailure) << kavreto.stdoutText();
  ExpectNothingLeft();
}

TEST_F(BatchConvert, CtrlCDuringTheSecondOfThreeCompletesItAndStartsNoMore) {
  ASSERT_FALSE(oneSlide_.empty());
  ASSERT_FALSE(fourSlides_.empty());
  const std::string in = out_.file("in");
  std::filesystem::create_directories(in);
  const std::string a = FixtureFiles::CopyTo(oneSlide_, in, "a.ppt");
  const std::string b = FixtureFiles::CopyTo(fourSlides_, in, "b.ppt");
  const std::string c = FixtureFiles::CopyTo(oneSlide_, in, "c.ppt");
  const std::string dir = out_.file("videos");
  ChildProcess kavreto({KavretoProgram(), "convert", a, b, c, "--output-dir", dir, "--fps", "10", "--stats"}, Env());
  // The four-slide deck is the only one with a second slide.
  ASSERT_TRUE(kavreto.waitForStderr("slide 2 of 4", kConversionLimitMs)) << kavreto.stderrText();
  ::kill(kavreto.pid(), SIGINT);
  EXPECT_EQ(kavreto.wait(60000), 3) << kavreto.stderrText();
  const std::string& log = kavreto.stderrText();
  const size_t at = log.rfind("\nframes: ");
  ASSERT_NE(at, std::string::npos) << log;
  const long written = std::atol(log.c_str() + at + 9);
  const DecodedVideo video = DecodeVideo(dir + "/b.mp4");
  EXPECT_EQ(video.errors, "");
  EXPECT_EQ(static_cast<long>(video.frames.size()), written);
  EXPECT_EQ(StillPictures(video, 11).front(), kTitle);
  EXPECT_FALSE(FileExists(dir + "/c.mp4"));
  EXPECT_NE(log.find("not started: " + c), std::string::npos) << log;
  ExpectNothingLeft();
}

}  // namespace
