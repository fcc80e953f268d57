#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "VideoWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include "LimitedRange.h"
#include "RgbToYuv420.h"
#include "ScratchDirectory.h"
#include "TestFiles.h"
#include "WriterTestSupport.h"

namespace fs = std::filesystem;

using writertest::Decoded;
using writertest::DecodedFrame;
using writertest::DecodeFile;
using writertest::QuietLibraries;
using writertest::Yuv;

namespace {

constexpr int32_t kWidth = 352, kHeight = 288, kRate = 25, kFrames = 30;

struct Bgr {
  int b, g, r;
};

// Frame i: top half one colour, bottom half another, both changing with i.
Bgr TopColour(int i) { return {40 + 5 * i, 200 - 4 * i, 100 + 3 * i}; }
Bgr BottomColour(int i) { return {220 - 5 * i, 60 + 3 * i, 30 + 6 * i}; }

std::vector<uint8_t> MakeFrame(int i, int32_t width = kWidth, int32_t height = kHeight) {
  std::vector<uint8_t> frame(static_cast<size_t>(width) * height * 3);
  for (int32_t y = 0; y < height; ++y) {  // y from the top; rows stored bottom-up
    const Bgr c = y < height / 2 ? TopColour(i) : BottomColour(i);
    uint8_t* row = &frame[static_cast<size_t>(height - 1 - y) * width * 3];
    for (int32_t x = 0; x < width; ++x) {
      row[3 * x] = static_cast<uint8_t>(c.b);
      row[3 * x + 1] = static_cast<uint8_t>(c.g);
      row[3 * x + 2] = static_cast<uint8_t>(c.r);
    }
  }
  return frame;
}

// The converter's full-range samples of a colour; in limited range for the
// codecs that cannot say that their samples use the full range.
Yuv Expected(Bgr c, bool limitedRange = false) {
  const double y = 0.299 * c.r + 0.587 * c.g + 0.114 * c.b;
  const Yuv full{static_cast<int>(y), static_cast<int>(128 + 0.5 * c.b - 0.16874 * c.r - 0.33126 * c.g),
                 static_cast<int>(128 + 0.5 * c.r - 0.41869 * c.g - 0.08131 * c.b)};
  if (!limitedRange) return full;
  return {LimitedRange::Luma(static_cast<uint8_t>(full.y)), LimitedRange::Chroma(static_cast<uint8_t>(full.u)),
          LimitedRange::Chroma(static_cast<uint8_t>(full.v))};
}

EncodeSettings Settings(int32_t rate = kRate) {
  EncodeSettings s;
  s.frameRate = rate;
  s.bitRate = 40 * 20480;
  s.width = kWidth;
  s.height = kHeight;
  return s;
}

void WriteFile(const std::string& path, const EncodeSettings& settings, int frames = kFrames) {
  VideoWriter writer;
  ASSERT_EQ(writer.open(path, settings), 1) << path;
  for (int i = 0; i < frames; ++i) {
    const std::vector<uint8_t> frame = MakeFrame(i, settings.width, settings.height);
    writer.writeFrame(frame.data(), settings.width, settings.height);
  }
  writer.close();
  EXPECT_FALSE(writer.isOpen());
}

bool IsProgramStream(const std::string& extension) { return extension == "mpg"; }

// Where a file's presentation clock starts. An MPEG program stream carries the
// decoder's start-up delay in its clock (its stream start time, about half a
// second); players present from there. Every other container starts at 0.
double StartOf(const std::string& extension, const Decoded& d) {
  return IsProgramStream(extension) && !d.frames.empty() ? d.frames.front().seconds : 0.0;
}

// A program stream can leave the stamp off a picture that shares its packet
// with the one before (players count it from the frame rate); a stamp that is
// there must be right.
void ExpectTime(const std::string& extension, double seconds, double expected) {
  if (IsProgramStream(extension) && std::isnan(seconds)) return;
  EXPECT_NEAR(seconds, expected, 0.002);
}

struct Container {
  const char* extension;
  AVCodecID codec;
  bool globalHeader;
  bool limitedRange;  // the codec cannot say full range: samples mapped to limited range
};

class VideoWriterContainer : public ::testing::TestWithParam<Container> {};

TEST_P(VideoWriterContainer, DefaultCodecIsTheContainers) {
  const Container& c = GetParam();
  const AVOutputFormat* format = av_guess_format(nullptr, (std::string("x.") + c.extension).c_str(), nullptr);
  ASSERT_NE(format, nullptr);
  EXPECT_EQ(format->video_codec, c.codec) << avcodec_get_name(format->video_codec);
}

TEST_P(VideoWriterContainer, EveryFrameDecodesBackInOrderAndOnTime) {
  const Container& c = GetParam();
  ScratchDirectory dir;
  const std::string path = dir.file(std::string("out.") + c.extension);
  {
    std::ofstream old(path);
    old << "an older file of that name";
  }
  VideoWriter writer;
  ASSERT_EQ(writer.open(path, Settings()), 1);
  EXPECT_TRUE(writer.isOpen());
  EXPECT_EQ((writer.codecFlags() & AV_CODEC_FLAG_GLOBAL_HEADER) != 0, c.globalHeader);
  for (int i = 0; i < kFrames; ++i) {
    const std::vector<uint8_t> frame = MakeFrame(i);
    writer.writeFrame(frame.data(), kWidth, kHeight);
  }
  writer.close();
  EXPECT_FALSE(writer.isOpen());
  EXPECT_EQ(writer.codecFlags(), 0);

  const Decoded d = DecodeFile(path);
  EXPECT_EQ(d.codec, c.codec) << avcodec_get_name(d.codec);
  EXPECT_EQ(d.width, kWidth);
  EXPECT_EQ(d.height, kHeight);
  ASSERT_EQ(d.frames.size(), static_cast<size_t>(kFrames)) << "every frame reaches the file";
  const double start = StartOf(c.extension, d);
  for (int i = 0; i < kFrames; ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    const DecodedFrame& f = d.frames[i];
    ExpectTime(c.extension, f.seconds - start, static_cast<double>(i) / kRate);
    const Yuv top = Expected(TopColour(i), c.limitedRange), bottom = Expected(BottomColour(i), c.limitedRange);
    // The first picture of a file is coded from nothing at a low rate; give it more room.
    const int tolerance = i == 0 ? 16 : 8;
    EXPECT_NEAR(f.top.y, top.y, tolerance);
    EXPECT_NEAR(f.top.u, top.u, tolerance);
    EXPECT_NEAR(f.top.v, top.v, tolerance);
    EXPECT_NEAR(f.bottom.y, bottom.y, tolerance);
    EXPECT_NEAR(f.bottom.u, bottom.u, tolerance);
    EXPECT_NEAR(f.bottom.v, bottom.v, tolerance);
  }
}

INSTANTIATE_TEST_SUITE_P(Extensions, VideoWriterContainer,
                         ::testing::Values(Container{"flv", AV_CODEC_ID_FLV1, false, true},
                                           Container{"swf", AV_CODEC_ID_FLV1, false, true},
                                           Container{"wmv", AV_CODEC_ID_MSMPEG4V3, false, true},
                                           Container{"mp4", AV_CODEC_ID_H264, true, false},
                                           Container{"mov", AV_CODEC_ID_H264, true, false},
                                           Container{"mpg", AV_CODEC_ID_MPEG1VIDEO, false, true}),
                         [](const auto& info) { return std::string(info.param.extension); });

TEST(VideoWriter, UnknownExtensionFailsSilentlyAndRemovesTheOldFile) {
  ScratchDirectory dir;
  const std::string path = dir.file("out.notavideo");
  {
    std::ofstream old(path);
    old << "old";
  }
  VideoWriter writer;
  testing::internal::CaptureStderr();
  const int result = writer.open(path, Settings());
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(err, "");
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(writer.isOpen());
}

TEST(VideoWriter, ContainerWithoutVideoCodecFailsSilently) {
  ScratchDirectory dir;
  const std::string path = dir.file("sound.wav");
  VideoWriter writer;
  QuietLibraries quiet;  // the container's description is still printed by the library
  testing::internal::CaptureStderr();
  const int result = writer.open(path, Settings());
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(err, "");
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(writer.isOpen());
}

TEST(VideoWriter, GlobalHeaderOnlyForTheShortNamesMp4MovAnd3gp) {
  ScratchDirectory dir;
  // .3g2 and .ismv are relatives of mp4 with other short names.
  for (auto [extension, expected] : {std::pair{"3gp", true}, std::pair{"3g2", false}, std::pair{"ismv", false}}) {
    VideoWriter writer;
    ASSERT_EQ(writer.open(dir.file(std::string("x.") + extension), Settings()), 1) << extension;
    EXPECT_EQ((writer.codecFlags() & AV_CODEC_FLAG_GLOBAL_HEADER) != 0, expected) << extension;
    writer.close();
  }
}

TEST(VideoWriter, UnwritablePathIsReported) {
  ScratchDirectory dir;
  // A regular file where a directory should be: no user, root included, can write there.
  const std::string blocker = dir.file("not-a-directory");
  std::ofstream(blocker) << "x";
  const std::string path = blocker + "/out.flv";
  QuietLibraries quiet;
  VideoWriter writer;
  testing::internal::CaptureStderr();
  const int result = writer.open(path, Settings());
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(result, 0);
  // The message, then what the library said.
  EXPECT_EQ(err, "Could not open '" + path + "'\n  avio_open: Not a directory\n");
  EXPECT_FALSE(writer.isOpen());
  writer.close();  // nothing to do, nothing breaks
}

TEST(VideoWriter, MpegOneRefusesARateItCannotCarry) {
  for (int32_t rate : {1, 7}) {
    ScratchDirectory dir;
    const std::string path = dir.file("out.mpg");
    VideoWriter writer;
    {
      QuietLibraries quiet;
      testing::internal::CaptureStderr();
      const int result = writer.open(path, Settings(rate));
      const std::string err = testing::internal::GetCapturedStderr();
      EXPECT_EQ(result, 0) << rate;
      EXPECT_EQ(err, "could not open codec\n  avcodec_open2: Invalid argument\n") << rate;
    }
    EXPECT_FALSE(writer.isOpen());
    EXPECT_FALSE(fs::exists(path));
    // With the libraries' own log on, the writer's line is still there, whole.
    testing::internal::CaptureStderr();
    EXPECT_EQ(writer.open(path, Settings(rate)), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("could not open codec\n"), std::string::npos) << err;
  }
}

TEST(VideoWriter, CloseWithoutOpenAndSecondCloseDoNothing) {
  VideoWriter writer;
  writer.close();
  EXPECT_FALSE(writer.isOpen());
  const std::vector<uint8_t> frame = MakeFrame(0);
  writer.writeFrame(frame.data(), kWidth, kHeight);  // closed: ignored

  ScratchDirectory dir;
  const std::string path = dir.file("out.flv");
  ASSERT_EQ(writer.open(path, Settings()), 1);
  writer.writeFrame(frame.data(), kWidth, kHeight);
  writer.close();
  const std::string written = ReadWholeFile(path);
  writer.close();
  EXPECT_FALSE(writer.isOpen());
  EXPECT_EQ(ReadWholeFile(path), written);
  EXPECT_EQ(DecodeFile(path).frames.size(), 1u);
}

TEST(VideoWriter, FrameOfAnotherSizeIsNotTaken) {
  ScratchDirectory dir;
  const std::string path = dir.file("out.flv");
  VideoWriter writer;
  ASSERT_EQ(writer.open(path, Settings()), 1);
  const std::vector<uint8_t> small = MakeFrame(0, 16, 16);
  const std::vector<uint8_t> frame = MakeFrame(1);
  writer.writeFrame(small.data(), 16, 16);
  writer.writeFrame(frame.data(), kWidth, kHeight);
  writer.close();
  const Decoded d = DecodeFile(path);
  ASSERT_EQ(d.frames.size(), 1u);
  EXPECT_NEAR(d.frames[0].seconds, 0.0, 0.002);
}

TEST(VideoWriter, SecondFileIsWrittenLikeTheFirstWithFreshTables) {
  ScratchDirectory dir;
  for (const char* extension : {"flv", "mpg"}) {
    const std::string first = dir.file(std::string("first.") + extension);
    const std::string second = dir.file(std::string("second.") + extension);
    VideoWriter writer;
    ASSERT_EQ(writer.open(first, Settings()), 1);
    for (int i = 0; i < 5; ++i) writer.writeFrame(MakeFrame(i).data(), kWidth, kHeight);
    writer.close();
    // Spoiled tables are rebuilt by the next open's first frame.
    for (int i = 1; i < 256; ++i) yFromGreen[i] = 0;
    ASSERT_EQ(writer.open(second, Settings()), 1);
    for (int i = 0; i < 5; ++i) writer.writeFrame(MakeFrame(i).data(), kWidth, kHeight);
    writer.close();
    const std::string a = ReadWholeFile(first), b = ReadWholeFile(second);
    EXPECT_FALSE(a.empty());
    EXPECT_TRUE(a == b) << extension << ": the two files differ";
  }
}

TEST(VideoWriter, ProgramStreamIsMultiplexedWithTheEncodersBufferSize) {
  // Detailed pictures at a low rate: the multiplexer must know the encoder's
  // buffer, or it sends pictures later than their decoding time.
  ScratchDirectory dir;
  const std::string path = dir.file("noise.mpg");
  EncodeSettings settings = Settings();
  settings.bitRate = 10 * 20480;
  std::mt19937 random(5);
  std::vector<uint8_t> frame(static_cast<size_t>(kWidth) * kHeight * 3);
  VideoWriter writer;
  testing::internal::CaptureStderr();
  ASSERT_EQ(writer.open(path, settings), 1);
  for (int i = 0; i < 25; ++i) {
    for (uint8_t& b : frame) b = static_cast<uint8_t>(random());
    writer.writeFrame(frame.data(), kWidth, kHeight);
  }
  writer.close();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.find("buffer underflow"), std::string::npos) << err.substr(0, 2000);
  EXPECT_EQ(DecodeFile(path).frames.size(), 25u);
}

// Runs in a child process whose files may not grow past 20000 bytes: exits 0
// when the writer says the file was not written completely (else 3) and, with
// `noFileKept`, has left nothing in the file's directory (else 4).
[[noreturn]] void WriteBeyondFileSizeLimit(const std::string& path, bool noFileKept = false) {
  std::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{20000, 20000};
  setrlimit(RLIMIT_FSIZE, &limit);
  av_log_set_level(AV_LOG_QUIET);
  VideoWriter writer;
  if (writer.open(path, Settings()) != 1) std::_Exit(2);
  std::mt19937 random(3);
  std::vector<uint8_t> frame(static_cast<size_t>(kWidth) * kHeight * 3);
  for (int i = 0; i < 10; ++i) {
    for (uint8_t& b : frame) b = static_cast<uint8_t>(random());
    writer.writeFrame(frame.data(), kWidth, kHeight);
  }
  writer.close();
  const int status = !writer.writeFailed() ? 3 : noFileKept && !fs::is_empty(fs::path(path).parent_path()) ? 4 : 0;
  // The death test runs this in a fresh copy of the test program, whose own
  // temporary directory no destructor removes after _Exit.
  std::error_code ignored;
  fs::remove_all(fs::path(path).parent_path(), ignored);
  std::_Exit(status);
}

TEST(VideoWriter, FileThatCannotBeWrittenCompletelyIsReported) {
  ScratchDirectory dir;
  const std::string path = dir.file("limited.flv");
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(WriteBeyondFileSizeLimit(path), ::testing::ExitedWithCode(0),
              "Error while writing video frame\n  av_interleaved_write_frame: File too large\n");

  // Without a limit the same writing reports nothing.
  VideoWriter writer;
  ASSERT_EQ(writer.open(path, Settings()), 1);
  writer.writeFrame(MakeFrame(0).data(), kWidth, kHeight);
  writer.close();
  EXPECT_FALSE(writer.writeFailed());
}

TEST(VideoWriter, Mp4WhoseIndexCannotBeWrittenIsNotKept) {
  // Its index is written last (and then moved first): without it no file of
  // the output's name may stay, nor a temporary one.
  ScratchDirectory dir;
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      WriteBeyondFileSizeLimit(dir.file("limited.mp4"), true), ::testing::ExitedWithCode(0),
      "Error while writing video (frame|trailer)\n  av_(interleaved_write_frame|write_trailer): File too large\n");
}

TEST(VideoWriter, ShortH264FileKeepsEveryFrame) {
  // An encoder with look-ahead holds back more pictures than a short file has.
  ScratchDirectory dir;
  const std::string path = dir.file("short.mp4");
  WriteFile(path, Settings(), 3);
  const Decoded d = DecodeFile(path);
  ASSERT_EQ(d.frames.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(d.frames[i].seconds, i / double(kRate), 0.002);
}

TEST(VideoWriter, OtherRatesKeepTimeStamps) {
  for (auto [extension, rate] :
       {std::pair{"flv", 7}, std::pair{"wmv", 30}, std::pair{"mov", 1}, std::pair{"mpg", 30}}) {
    ScratchDirectory dir;
    const std::string path = dir.file(std::string("rate.") + extension);
    WriteFile(path, Settings(rate), 10);
    const Decoded d = DecodeFile(path);
    ASSERT_EQ(d.frames.size(), 10u) << extension;
    const double start = StartOf(extension, d);
    for (int i = 0; i < 10; ++i) {
      SCOPED_TRACE(std::string(extension) + " frame " + std::to_string(i));
      ExpectTime(extension, d.frames[i].seconds - start, static_cast<double>(i) / rate);
    }
  }
}

}  // namespace
