// Picture sizes, frame rates and bit rates: what CheckSettings says before
// filming, and that the writer takes every size it allows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScratchDirectory.h"
#include "TestFiles.h"
#include "VideoWriter.h"
#include "WriterTestSupport.h"

using namespace writertest;

namespace {

const char* const kExtensions[] = {"flv", "swf", "wmv", "mp4", "mov", "mpg"};

struct Case {
  const char* file;
  int32_t width, height, rate, bitRate;
  const char* expected;  // "" or a text the sentence must hold
};

TEST(CheckSettings, AcceptsEverySizeFromTheSmallestToFourK) {
  for (const char* extension : kExtensions) {
    for (auto [w, h] : {std::pair{160, 120}, std::pair{352, 288}, std::pair{1000, 562}, std::pair{1280, 720},
                        std::pair{1920, 1080}, std::pair{3840, 2160}}) {
      for (int32_t rate : {25, 30}) {
        EXPECT_EQ(VideoWriter::CheckSettings(std::string("out.") + extension, Settings(w, h, rate, 50000000)), "")
            << extension << " " << w << "x" << h << " at " << rate;
      }
    }
  }
}

TEST(CheckSettings, RefusalsAreOneClearSentence) {
  const Case cases[] = {
      {"out.notavideo", 352, 288, 25, 409600, "No video container is known"},
      {"noextension", 352, 288, 25, 409600, "No video container is known"},
      {"sound.wav", 352, 288, 25, 409600, "cannot hold a video stream"},
      {"out.mpg", 4096, 2160, 25, 409600, "at most 4095 x 4095 pixels, not 4096 x 2160"},
      {"out.mpg", 352, 288, 7, 409600, "24, 25, 30, 50 or 60 frames per second, not 7"},
      {"out.mpg", 352, 288, 1, 409600, "not 1."},
      {"out.flv", 70000, 16, 25, 409600, "16 bits"},
      {"out.swf", 16, 65536, 25, 409600, "16 bits"},
      {"out.mp4", 20000, 720, 25, 409600, "at most 16384 pixels"},
      {"out.flv", 353, 288, 25, 409600, "positive even numbers"},
      {"out.mp4", 352, 287, 25, 409600, "positive even numbers"},
      {"out.wmv", 0, 288, 25, 409600, "positive even numbers"},
      {"out.mov", 352, 288, 0, 409600, "at least 1 frame per second"},
      {"out.flv", 352, 288, 25, 0, "bit rate"},
  };
  for (const Case& c : cases) {
    const std::string said = VideoWriter::CheckSettings(c.file, Settings(c.width, c.height, c.rate, c.bitRate));
    SCOPED_TRACE(std::string(c.file) + " " + std::to_string(c.width) + "x" + std::to_string(c.height) + " at " +
                 std::to_string(c.rate) + ": \"" + said + "\"");
    EXPECT_NE(said.find(c.expected), std::string::npos);
    // One sentence: a capital letter at the start, one full stop at the end, one line.
    ASSERT_FALSE(said.empty());
    EXPECT_TRUE(said.front() >= 'A' && said.front() <= 'Z');
    EXPECT_EQ(said.back(), '.');
    EXPECT_EQ(said.find('\n'), std::string::npos);
  }
}

// What CheckSettings allows the writer opens, and what it refuses the writer
// cannot open either: the check never lets a conversion start that fails.
TEST(CheckSettings, AgreesWithWhatTheWriterCanOpen) {
  const Case cases[] = {
      {"out.mpg", 352, 288, 1, 409600, ""},   {"out.mpg", 352, 288, 7, 409600, ""},
      {"out.mpg", 352, 288, 24, 409600, ""},  {"out.mpg", 352, 288, 30, 409600, ""},
      {"out.mpg", 4096, 64, 25, 409600, ""},  {"out.mpg", 4094, 64, 25, 409600, ""},
      {"out.flv", 65536, 16, 25, 409600, ""}, {"out.flv", 65532, 16, 25, 409600, ""},
      {"out.wmv", 352, 288, 7, 409600, ""},   {"out.mp4", 352, 288, 1, 409600, ""},
      {"out.mov", 160, 120, 13, 409600, ""},  {"out.flv", 352, 288, 25, 50000000, ""},
  };
  ScratchDirectory dir;
  QuietLibraries quiet;
  for (const Case& c : cases) {
    const EncodeSettings s = Settings(c.width, c.height, c.rate, c.bitRate);
    const bool allowed = VideoWriter::CheckSettings(c.file, s).empty();
    VideoWriter writer;
    testing::internal::CaptureStderr();
    const int opened = writer.open(dir.file(c.file), s);
    testing::internal::GetCapturedStderr();
    writer.close();
    EXPECT_EQ(allowed, opened == 1) << c.file << " " << c.width << "x" << c.height << " at " << c.rate;
  }
}

TEST(CheckSettings, WritesNothingToDisk) {
  ScratchDirectory dir;
  EXPECT_EQ(VideoWriter::CheckSettings(dir.file("out.mp4"), Settings(1280, 720, 25, 409600)), "");
  EXPECT_NE(VideoWriter::CheckSettings(dir.file("out.mpg"), Settings(1280, 720, 7, 409600)), "");
  EXPECT_TRUE(ListDirectory(dir.path()).empty());
}

// The larger sizes at the highest bit rate: every container takes them, and
// every frame comes back at its size without the multiplexer complaining.
class LargePictures : public ::testing::TestWithParam<const char*> {};

TEST_P(LargePictures, TakesHdAtFiftyMegabits) {
  ScratchDirectory dir;
  const std::string path = dir.file(std::string("hd.") + GetParam());
  const EncodeSettings s = Settings(1920, 1080, 25, 50000000);
  ASSERT_EQ(VideoWriter::CheckSettings(path, s), "");
  const int frames = 6;
  VideoWriter writer;
  testing::internal::CaptureStderr();
  ASSERT_EQ(writer.open(path, s), 1);
  for (int i = 0; i < frames; ++i) {
    // Something to code: bands that move from frame to frame.
    std::vector<uint8_t> frame = SolidFrame(s.width, s.height, {40, 90, 200});
    for (size_t p = 0; p < frame.size(); p += 3) frame[p] = static_cast<uint8_t>((p / 3 + i * 37) % 251);
    writer.writeFrame(frame.data(), s.width, s.height);
  }
  writer.close();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(writer.writeFailed()) << err;
  EXPECT_EQ(err.find("underflow"), std::string::npos) << err.substr(0, 2000);
  EXPECT_EQ(err.find("Error"), std::string::npos) << err.substr(0, 2000);
  const Decoded d = DecodeFile(path);
  EXPECT_EQ(d.width, s.width);
  EXPECT_EQ(d.height, s.height);
  EXPECT_EQ(d.frames.size(), static_cast<size_t>(frames));
}

INSTANTIATE_TEST_SUITE_P(Extensions, LargePictures, ::testing::ValuesIn(kExtensions),
                         [](const auto& info) { return std::string(info.param); });

TEST(LargePictures, OddShapedAndFourKSizesDecodeAtTheirSize) {
  ScratchDirectory dir;
  for (auto [extension, w, h] : {std::tuple{"flv", 1000, 562}, std::tuple{"mpg", 1000, 562},
                                 std::tuple{"mp4", 1000, 562}, std::tuple{"mp4", 3840, 2160}}) {
    const std::string path = dir.file(std::string("size.") + extension);
    const EncodeSettings s = Settings(w, h, 25, 8000000);
    VideoWriter writer;
    ASSERT_EQ(writer.open(path, s), 1) << extension << " " << w << "x" << h;
    const std::vector<uint8_t> frame = SolidFrame(w, h, {21, 101, 192});
    for (int i = 0; i < 3; ++i) writer.writeFrame(frame.data(), w, h);
    writer.close();
    const Decoded d = DecodeFile(path);
    EXPECT_EQ(d.width, w) << extension;
    EXPECT_EQ(d.height, h) << extension;
    EXPECT_EQ(d.frames.size(), 3u) << extension << " " << w << "x" << h;
  }
}

}  // namespace
