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

#include "RgbToYuv420.h"

namespace fs = std::filesystem;

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

struct Yuv {
  int y, u, v;
};

Yuv Expected(Bgr c) {
  const double y = 0.299 * c.r + 0.587 * c.g + 0.114 * c.b;
  return {static_cast<int>(y), static_cast<int>(128 + 0.5 * c.b - 0.16874 * c.r - 0.33126 * c.g),
          static_cast<int>(128 + 0.5 * c.r - 0.41869 * c.g - 0.08131 * c.b)};
}

struct DecodedFrame {
  double seconds;   // presentation time
  Yuv top, bottom;  // samples at the centre of each half
};

struct Decoded {
  AVCodecID codec = AV_CODEC_ID_NONE;
  int width = 0, height = 0;
  std::vector<DecodedFrame> frames;
};

struct InputCloser {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecFreer {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};

// Opens the file with libavformat and decodes every picture of its one video stream.
Decoded DecodeFile(const std::string& path) {
  Decoded out;
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
    ADD_FAILURE() << "cannot open " << path;
    return out;
  }
  std::unique_ptr<AVFormatContext, InputCloser> input(raw);
  if (avformat_find_stream_info(input.get(), nullptr) < 0) ADD_FAILURE() << "no stream info";
  EXPECT_EQ(input->nb_streams, 1u);
  const int index = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (index < 0) {
    ADD_FAILURE() << "no video stream";
    return out;
  }
  AVStream* stream = input->streams[index];
  out.codec = stream->codecpar->codec_id;
  out.width = stream->codecpar->width;
  out.height = stream->codecpar->height;
  const AVCodec* decoder = avcodec_find_decoder(out.codec);
  std::unique_ptr<AVCodecContext, CodecFreer> codec(avcodec_alloc_context3(decoder));
  avcodec_parameters_to_context(codec.get(), stream->codecpar);
  codec->pkt_timebase = stream->time_base;
  if (avcodec_open2(codec.get(), decoder, nullptr) < 0) {
    ADD_FAILURE() << "cannot open decoder";
    return out;
  }
  std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
  std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
  auto receive = [&] {
    while (avcodec_receive_frame(codec.get(), frame.get()) == 0) {
      auto sample = [&](int y) {
        const int x = frame->width / 2;
        return Yuv{frame->data[0][y * frame->linesize[0] + x], frame->data[1][y / 2 * frame->linesize[1] + x / 2],
                   frame->data[2][y / 2 * frame->linesize[2] + x / 2]};
      };
      const int64_t pts = frame->best_effort_timestamp;
      out.frames.push_back({pts == AV_NOPTS_VALUE ? NAN : pts * av_q2d(stream->time_base), sample(frame->height / 4),
                            sample(frame->height * 3 / 4)});
      av_frame_unref(frame.get());
    }
  };
  while (av_read_frame(input.get(), packet.get()) >= 0) {
    if (packet->stream_index == index) {
      avcodec_send_packet(codec.get(), packet.get());
      receive();
    }
    av_packet_unref(packet.get());
  }
  avcodec_send_packet(codec.get(), nullptr);
  receive();
  return out;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class TempDir {
 public:
  TempDir() {
    path_ =
        fs::temp_directory_path() / ("kavreto-encode-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
    fs::create_directories(path_);
  }
  ~TempDir() { fs::remove_all(path_); }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  static inline int counter_ = 0;
  fs::path path_;
};

// FFmpeg's own log lines are not the writer's messages; tests that check the
// exact standard error text silence them.
class QuietLibraries {
 public:
  QuietLibraries() : level_(av_log_get_level()) { av_log_set_level(AV_LOG_QUIET); }
  ~QuietLibraries() { av_log_set_level(level_); }

 private:
  int level_;
};

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
  TempDir dir;
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
    const Yuv top = Expected(TopColour(i)), bottom = Expected(BottomColour(i));
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

INSTANTIATE_TEST_SUITE_P(
    Extensions, VideoWriterContainer,
    ::testing::Values(Container{"flv", AV_CODEC_ID_FLV1, false}, Container{"swf", AV_CODEC_ID_FLV1, false},
                      Container{"wmv", AV_CODEC_ID_MSMPEG4V3, false}, Container{"mp4", AV_CODEC_ID_H264, true},
                      Container{"mov", AV_CODEC_ID_H264, true}, Container{"mpg", AV_CODEC_ID_MPEG1VIDEO, false}),
    [](const auto& info) { return std::string(info.param.extension); });

TEST(VideoWriter, UnknownExtensionFailsSilentlyAndRemovesTheOldFile) {
  TempDir dir;
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
  TempDir dir;
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
  TempDir dir;
  // .3g2 and .ismv are relatives of mp4 with other short names.
  for (auto [extension, expected] : {std::pair{"3gp", true}, std::pair{"3g2", false}, std::pair{"ismv", false}}) {
    VideoWriter writer;
    ASSERT_EQ(writer.open(dir.file(std::string("x.") + extension), Settings()), 1) << extension;
    EXPECT_EQ((writer.codecFlags() & AV_CODEC_FLAG_GLOBAL_HEADER) != 0, expected) << extension;
    writer.close();
  }
}

TEST(VideoWriter, UnwritablePathIsReported) {
  TempDir dir;
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
  EXPECT_EQ(err, "Could not open '" + path + "'\n");
  EXPECT_FALSE(writer.isOpen());
  writer.close();  // nothing to do, nothing breaks
}

TEST(VideoWriter, MpegOneRefusesARateItCannotCarry) {
  for (int32_t rate : {1, 7}) {
    TempDir dir;
    const std::string path = dir.file("out.mpg");
    VideoWriter writer;
    {
      QuietLibraries quiet;
      testing::internal::CaptureStderr();
      const int result = writer.open(path, Settings(rate));
      const std::string err = testing::internal::GetCapturedStderr();
      EXPECT_EQ(result, 0) << rate;
      EXPECT_EQ(err, "could not open codec\n") << rate;
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

  TempDir dir;
  const std::string path = dir.file("out.flv");
  ASSERT_EQ(writer.open(path, Settings()), 1);
  writer.writeFrame(frame.data(), kWidth, kHeight);
  writer.close();
  const std::string written = ReadAll(path);
  writer.close();
  EXPECT_FALSE(writer.isOpen());
  EXPECT_EQ(ReadAll(path), written);
  EXPECT_EQ(DecodeFile(path).frames.size(), 1u);
}

TEST(VideoWriter, FrameOfAnotherSizeIsNotTaken) {
  TempDir dir;
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
  TempDir dir;
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
    const std::string a = ReadAll(first), b = ReadAll(second);
    EXPECT_FALSE(a.empty());
    EXPECT_TRUE(a == b) << extension << ": the two files differ";
  }
}

TEST(VideoWriter, ProgramStreamIsMultiplexedWithTheEncodersBufferSize) {
  // Detailed pictures at a low rate: the multiplexer must know the encoder's
  // buffer, or it sends pictures later than their decoding time.
  TempDir dir;
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
// when the writer says the file was not written completely.
[[noreturn]] void WriteBeyondFileSizeLimit(const std::string& path) {
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
  const int status = writer.writeFailed() ? 0 : 3;
  // The death test runs this in a fresh copy of the test program, whose own
  // temporary directory no destructor removes after _Exit.
  std::error_code ignored;
  fs::remove_all(fs::path(path).parent_path(), ignored);
  std::_Exit(status);
}

TEST(VideoWriter, FileThatCannotBeWrittenCompletelyIsReported) {
  TempDir dir;
  const std::string path = dir.file("limited.flv");
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(WriteBeyondFileSizeLimit(path), ::testing::ExitedWithCode(0), "Error while writing video frame\n");

  // Without a limit the same writing reports nothing.
  VideoWriter writer;
  ASSERT_EQ(writer.open(path, Settings()), 1);
  writer.writeFrame(MakeFrame(0).data(), kWidth, kHeight);
  writer.close();
  EXPECT_FALSE(writer.writeFailed());
}

TEST(VideoWriter, ShortH264FileKeepsEveryFrame) {
  // An encoder with look-ahead holds back more pictures than a short file has.
  TempDir dir;
  const std::string path = dir.file("short.mp4");
  WriteFile(path, Settings(), 3);
  const Decoded d = DecodeFile(path);
  ASSERT_EQ(d.frames.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(d.frames[i].seconds, i / double(kRate), 0.002);
}

TEST(VideoWriter, OtherRatesKeepTimeStamps) {
  for (auto [extension, rate] :
       {std::pair{"flv", 7}, std::pair{"wmv", 30}, std::pair{"mov", 1}, std::pair{"mpg", 30}}) {
    TempDir dir;
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
