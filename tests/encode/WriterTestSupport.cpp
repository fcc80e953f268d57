#include "WriterTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>

#include "TestFiles.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

namespace writertest {

namespace {

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
struct PipeCloser {
  void operator()(FILE* f) const { pclose(f); }
};

// The path in single quotes for the shell (test paths hold no quote).
std::string Quoted(const std::string& path) { return "'" + path + "'"; }

}  // namespace

QuietLibraries::QuietLibraries() : level_(av_log_get_level()) { av_log_set_level(AV_LOG_QUIET); }

QuietLibraries::~QuietLibraries() { av_log_set_level(level_); }

std::vector<uint8_t> SolidFrame(int32_t width, int32_t height, Rgb colour) {
  std::vector<uint8_t> frame(static_cast<size_t>(width) * height * 3);
  for (size_t i = 0; i < frame.size(); i += 3) {
    frame[i] = static_cast<uint8_t>(colour.b);
    frame[i + 1] = static_cast<uint8_t>(colour.g);
    frame[i + 2] = static_cast<uint8_t>(colour.r);
  }
  return frame;
}

EncodeSettings Settings(int32_t width, int32_t height, int32_t rate, int32_t bitRate) {
  EncodeSettings s;
  s.width = width;
  s.height = height;
  s.frameRate = rate;
  s.bitRate = bitRate;
  return s;
}

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

std::vector<std::vector<uint8_t>> DecodeRgb(const std::string& path, int32_t width, int32_t height) {
  std::vector<std::vector<uint8_t>> frames;
  const std::string command =
      "ffmpeg -nostdin -loglevel error -i " + Quoted(path) + " -fps_mode passthrough -f rawvideo -pix_fmt rgb24 -";
  std::unique_ptr<FILE, PipeCloser> pipe(popen(command.c_str(), "r"));
  if (!pipe) {
    ADD_FAILURE() << "cannot run " << command;
    return frames;
  }
  const size_t bytes = static_cast<size_t>(width) * height * 3;
  for (;;) {
    std::vector<uint8_t> frame(bytes);
    if (std::fread(frame.data(), 1, bytes, pipe.get()) != bytes) break;
    frames.push_back(std::move(frame));
  }
  return frames;
}

std::string ProbeStream(const std::string& path, const std::string& entry) {
  const std::string command = "ffprobe -v error -select_streams v:0 -show_entries stream=" + entry +
                              " -of default=noprint_wrappers=1:nokey=1 " + Quoted(path);
  std::unique_ptr<FILE, PipeCloser> pipe(popen(command.c_str(), "r"));
  if (!pipe) return "";
  std::string out;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe.get())) out += buffer;
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

std::vector<std::string> TopLevelBoxes(const std::string& path) {
  const std::string data = ReadWholeFile(path);
  std::vector<std::string> boxes;
  size_t at = 0;
  auto byte = [&](size_t i) { return static_cast<uint64_t>(static_cast<uint8_t>(data[i])); };
  while (at + 8 <= data.size()) {
    uint64_t size = byte(at) << 24 | byte(at + 1) << 16 | byte(at + 2) << 8 | byte(at + 3);
    boxes.push_back(data.substr(at + 4, 4));
    if (size == 1 && at + 16 <= data.size()) {
      size = 0;
      for (size_t i = 0; i < 8; ++i) size = size << 8 | byte(at + 8 + i);
    } else if (size == 0) {
      size = data.size() - at;  // to the end of the file
    }
    if (size < 8) break;
    at += size;
  }
  return boxes;
}

}  // namespace writertest
