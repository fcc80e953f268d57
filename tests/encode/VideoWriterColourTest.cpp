// The slide's colours as players show them, and MP4/MOV files whose index
// comes first: every file is written by the writer and read back by the
// ffmpeg and ffprobe commands at their defaults.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "LimitedRange.h"
#include "ScratchDirectory.h"
#include "TestFiles.h"
#include "VideoWriter.h"
#include "WriterTestSupport.h"

namespace fs = std::filesystem;
using namespace writertest;

namespace {

constexpr int32_t kWidth = 352, kHeight = 288, kRate = 25;
constexpr int kFramesPerColour = 6;

struct Named {
  const char* name;
  Rgb colour;
};

// Slide colours, dark to light, and saturated ones at the edges of the range.
const Named kColours[] = {
    {"blue page", {21, 101, 192}},
    {"green page", {46, 125, 50}},
    {"near black", {8, 10, 12}},
    {"near white", {247, 246, 244}},
    {"saturated red", {230, 24, 32}},
    {"saturated magenta", {200, 20, 210}},
    {"black", {0, 0, 0}},
    {"white", {255, 255, 255}},
};

const char* const kExtensions[] = {"flv", "swf", "wmv", "mp4", "mov", "mpg"};

EncodeSettings ColourSettings() { return Settings(kWidth, kHeight, kRate, 40 * 20480); }

// Writes every colour for kFramesPerColour frames.
void WriteColours(const std::string& path) {
  VideoWriter writer;
  ASSERT_EQ(writer.open(path, ColourSettings()), 1) << path;
  for (const Named& c : kColours) {
    const std::vector<uint8_t> frame = SolidFrame(kWidth, kHeight, c.colour);
    for (int i = 0; i < kFramesPerColour; ++i) writer.writeFrame(frame.data(), kWidth, kHeight);
  }
  writer.close();
  ASSERT_FALSE(writer.writeFailed());
}

// The mean colour of a 16 x 16 square at the centre of a decoded RGB picture.
Rgb CentreColour(const std::vector<uint8_t>& rgb) {
  long sum[3] = {0, 0, 0};
  for (int y = kHeight / 2 - 8; y < kHeight / 2 + 8; ++y)
    for (int x = kWidth / 2 - 8; x < kWidth / 2 + 8; ++x)
      for (int c = 0; c < 3; ++c) sum[c] += rgb[(static_cast<size_t>(y) * kWidth + x) * 3 + c];
  return {static_cast<int>(sum[0] / 256), static_cast<int>(sum[1] / 256), static_cast<int>(sum[2] / 256)};
}

class WriterColours : public ::testing::TestWithParam<const char*> {};

TEST_P(WriterColours, PlayersShowTheSlidesColours) {
  ScratchDirectory dir;
  const std::string path = dir.file(std::string("colours.") + GetParam());
  WriteColours(path);
  const std::vector<std::vector<uint8_t>> pictures = DecodeRgb(path, kWidth, kHeight);
  ASSERT_EQ(pictures.size(), std::size(kColours) * kFramesPerColour);
  for (size_t i = 0; i < std::size(kColours); ++i) {
    const Named& expected = kColours[i];
    // The last picture of each colour: the encoder has settled on it.
    const Rgb got = CentreColour(pictures[(i + 1) * kFramesPerColour - 1]);
    SCOPED_TRACE(std::string(expected.name) + " decoded as " + std::to_string(got.r) + ", " + std::to_string(got.g) +
                 ", " + std::to_string(got.b));
    EXPECT_NEAR(got.r, expected.colour.r, 4);
    EXPECT_NEAR(got.g, expected.colour.g, 4);
    EXPECT_NEAR(got.b, expected.colour.b, 4);
  }
}

INSTANTIATE_TEST_SUITE_P(Extensions, WriterColours, ::testing::ValuesIn(kExtensions),
                         [](const auto& info) { return std::string(info.param); });

TEST(WriterRange, H264StreamsSayFullRangeBt601AndSrgb) {
  ScratchDirectory dir;
  for (const char* extension : {"mp4", "mov"}) {
    const std::string path = dir.file(std::string("range.") + extension);
    WriteColours(path);
    SCOPED_TRACE(extension);
    EXPECT_EQ(ProbeStream(path, "color_range"), "pc");
    EXPECT_EQ(ProbeStream(path, "color_space"), "bt470bg");
    EXPECT_EQ(ProbeStream(path, "color_primaries"), "bt709");
    EXPECT_EQ(ProbeStream(path, "color_transfer"), "iec61966-2-1");
  }
}

TEST(WriterRange, FlvBlackAndWhiteDecodeToTheEndsOfTheRange) {
  ScratchDirectory dir;
  const std::string path = dir.file("ends.flv");
  WriteColours(path);
  const std::vector<std::vector<uint8_t>> pictures = DecodeRgb(path, kWidth, kHeight);
  ASSERT_EQ(pictures.size(), std::size(kColours) * kFramesPerColour);
  const size_t black = 6, white = 7;
  ASSERT_EQ(kColours[black].colour.r, 0);
  ASSERT_EQ(kColours[white].colour.r, 255);
  const std::vector<uint8_t>& blackPicture = pictures[(black + 1) * kFramesPerColour - 1];
  const std::vector<uint8_t>& whitePicture = pictures[(white + 1) * kFramesPerColour - 1];
  EXPECT_EQ(*std::max_element(blackPicture.begin(), blackPicture.end()), 0);
  EXPECT_EQ(*std::min_element(whitePicture.begin(), whitePicture.end()), 255);
}

TEST(WriterRange, LimitedRangeTablesKeepTheEndsAndNeutralChroma) {
  EXPECT_EQ(LimitedRange::Luma(0), 16);
  EXPECT_EQ(LimitedRange::Luma(255), 235);
  EXPECT_EQ(LimitedRange::Chroma(0), 16);
  EXPECT_EQ(LimitedRange::Chroma(128), 128);
  EXPECT_EQ(LimitedRange::Chroma(255), 240);
  for (int i = 0; i < 256; ++i) {
    // Read back as a decoder does, every value comes within half a level.
    const double luma = (LimitedRange::Luma(static_cast<uint8_t>(i)) - 16) * 255.0 / 219;
    const double chroma = (LimitedRange::Chroma(static_cast<uint8_t>(i)) - 16) * 255.0 / 224;
    ASSERT_NEAR(luma, i, 0.6) << i;
    ASSERT_NEAR(chroma, i, 0.6) << i;
    if (i > 0) {
      ASSERT_LE(LimitedRange::Luma(static_cast<uint8_t>(i - 1)), LimitedRange::Luma(static_cast<uint8_t>(i)));
    }
  }
  // Rows are mapped up to their width only; the padding beyond is left alone.
  std::vector<uint8_t> plane = {0, 255, 77, 0, 255, 77};
  LimitedRange::MapLuma(plane.data(), 2, 2, 3);
  EXPECT_EQ(plane, (std::vector<uint8_t>{16, 235, 77, 16, 235, 77}));
}

bool MoovBeforeMdat(const std::vector<std::string>& boxes) {
  const auto moov = std::find(boxes.begin(), boxes.end(), "moov");
  const auto mdat = std::find(boxes.begin(), boxes.end(), "mdat");
  return moov != boxes.end() && mdat != boxes.end() && moov < mdat;
}

std::string Joined(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& s : items) out += s + " ";
  return out;
}

TEST(WriterIndex, Mp4AndMovHaveTheirIndexFirstAndNoTemporaryFileStays) {
  for (const char* extension : {"mp4", "mov"}) {
    ScratchDirectory dir;
    const std::string name = std::string("index.") + extension;
    const std::string path = dir.file(name);
    VideoWriter writer;
    ASSERT_EQ(writer.open(path, ColourSettings()), 1);
    const std::vector<uint8_t> frame = SolidFrame(kWidth, kHeight, kColours[0].colour);
    for (int i = 0; i < 10; ++i) writer.writeFrame(frame.data(), kWidth, kHeight);
    // Until close has written the index, nothing carries the output name.
    EXPECT_FALSE(fs::exists(path)) << extension;
    writer.close();
    EXPECT_FALSE(writer.writeFailed());
    EXPECT_EQ(ListDirectory(dir.path()), std::vector<std::string>{name}) << extension;
    const std::vector<std::string> boxes = TopLevelBoxes(path);
    EXPECT_TRUE(MoovBeforeMdat(boxes)) << extension << ": " << Joined(boxes);
    EXPECT_EQ(DecodeFile(path).frames.size(), 10u) << extension;
  }
}

// A run killed before close leaves its temporary file. The next write of the same output
// removes such files of processes that have died, and only those: a live process's (a
// write of the same file may be running there) and other files' stay.
TEST(WriterIndex, TemporaryFilesOfDeadWritersAreRemovedOnOpen) {
  ScratchDirectory dir;
  // A process that has surely died: a child that has exited and been reaped.
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ASSERT_GT(dead, 0);
  ::waitpid(dead, nullptr, 0);
  const std::string parentPid = std::to_string(::getppid());
  const std::vector<std::string> kept = {
      ".index.mp4." + parentPid + ".part", ".other.mp4." + std::to_string(dead) + ".part",
      ".index.mp4.x" + std::to_string(dead) + ".part", "index.mp4." + std::to_string(dead) + ".part"};
  for (const std::string& name : kept) std::ofstream(dir.file(name)) << "left";
  std::ofstream(dir.file(".index.mp4." + std::to_string(dead) + ".part")) << "left by a dead run";

  VideoWriter writer;
  ASSERT_EQ(writer.open(dir.file("index.mp4"), ColourSettings()), 1);
  const std::vector<uint8_t> frame = SolidFrame(kWidth, kHeight, kColours[0].colour);
  writer.writeFrame(frame.data(), kWidth, kHeight);
  writer.close();
  EXPECT_FALSE(writer.writeFailed());
  std::vector<std::string> expected = kept;
  expected.push_back("index.mp4");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(ListDirectory(dir.path()), expected);
}

TEST(WriterIndex, LongestFileNameStillGetsItsIndexFirst) {
  // 255 bytes, the most a directory entry takes: the temporary name must fit too.
  ScratchDirectory dir;
  const std::string name = std::string(251, 'n') + ".mp4";
  VideoWriter writer;
  ASSERT_EQ(writer.open(dir.file(name), ColourSettings()), 1);
  const std::vector<uint8_t> frame = SolidFrame(kWidth, kHeight, kColours[2].colour);
  writer.writeFrame(frame.data(), kWidth, kHeight);
  writer.close();
  EXPECT_FALSE(writer.writeFailed());
  EXPECT_EQ(ListDirectory(dir.path()), std::vector<std::string>{name});
  EXPECT_TRUE(MoovBeforeMdat(TopLevelBoxes(dir.file(name))));
}

TEST(WriterIndex, FailedOpenLeavesNoTemporaryFile) {
  ScratchDirectory dir;
  // The file cannot be made: the output's directory is missing.
  const std::string path = dir.file("missing/refused.mp4");
  QuietLibraries quiet;
  VideoWriter writer;
  testing::internal::CaptureStderr();
  EXPECT_EQ(writer.open(path, ColourSettings()), 0);
  const std::string err = testing::internal::GetCapturedStderr();
  // The user's file name in the message, not the temporary one.
  EXPECT_EQ(err, "Could not open '" + path + "'\n  avio_open: No such file or directory\n");
  EXPECT_TRUE(ListDirectory(dir.path()).empty()) << Joined(ListDirectory(dir.path()));
}

// Runs in a child process (a death test) that stops like `kavreto convert`
// on SIGINT: the handler only notes the signal, the loop then closes the
// writer. Exits 0 when the closed file has its index first.
volatile std::sig_atomic_t g_stop = 0;

[[noreturn]] void StopOnSignalAndClose(const std::string& path) {
  std::signal(SIGINT, [](int) { g_stop = 1; });
  av_log_set_level(AV_LOG_QUIET);
  VideoWriter writer;
  if (writer.open(path, ColourSettings()) != 1) std::_Exit(2);
  const std::vector<uint8_t> frame = SolidFrame(kWidth, kHeight, kColours[1].colour);
  for (int i = 0; i < 1000 && !g_stop; ++i) {
    writer.writeFrame(frame.data(), kWidth, kHeight);
    if (i == 7) std::raise(SIGINT);
  }
  writer.close();
  const int status = !g_stop ? 3 : writer.writeFailed() ? 4 : MoovBeforeMdat(TopLevelBoxes(path)) ? 0 : 5;
  std::error_code ignored;
  fs::remove_all(fs::path(path).parent_path(), ignored);
  std::_Exit(status);
}

TEST(WriterIndex, StoppedConversionStillHasItsIndexFirst) {
  ScratchDirectory dir;
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(StopOnSignalAndClose(dir.file("stopped.mp4")), ::testing::ExitedWithCode(0), "");
}

}  // namespace
