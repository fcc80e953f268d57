#include "DecodedClip.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
}

namespace {

struct InputDeleter {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecDeleter {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct ResamplerDeleter {
  void operator()(SwrContext* s) const { swr_free(&s); }
};

std::string Reason(int error) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_make_error_string(text, sizeof text, error);
  return text;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct IoDeleter {
  void operator()(AVIOContext* io) const {
    if (io) av_freep(&io->buffer);
    avio_context_free(&io);
  }
};

// Reading a clip held in memory.
struct Memory {
  const std::string* bytes;
  int64_t at = 0;
};

int ReadMemory(void* opaque, uint8_t* buffer, int size) {
  auto* m = static_cast<Memory*>(opaque);
  const int64_t left = static_cast<int64_t>(m->bytes->size()) - m->at;
  if (left <= 0) return AVERROR_EOF;
  const int n = static_cast<int>(std::min<int64_t>(left, size));
  std::memcpy(buffer, m->bytes->data() + m->at, n);
  m->at += n;
  return n;
}

int64_t SeekMemory(void* opaque, int64_t offset, int whence) {
  auto* m = static_cast<Memory*>(opaque);
  const int64_t size = static_cast<int64_t>(m->bytes->size());
  if (whence & AVSEEK_SIZE) return size;
  int64_t to = offset;
  if ((whence & 3) == SEEK_CUR) to = m->at + offset;
  if ((whence & 3) == SEEK_END) to = size + offset;
  if (to < 0 || to > size) return AVERROR(EINVAL);
  m->at = to;
  return to;
}

}  // namespace

// The opened input (the I/O context, for a clip in memory, outlives the format context).
struct DecodedClip::Input {
  Memory memory{nullptr};
  std::unique_ptr<AVIOContext, IoDeleter> io;
  std::unique_ptr<AVFormatContext, InputDeleter> format;
  int opened = 0;
};

std::unique_ptr<DecodedClip> DecodedClip::Decode(const std::string& path, int sampleRate, std::string* problem) {
  Input input;
  AVFormatContext* raw = nullptr;
  input.opened = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
  input.format.reset(raw);
  return DecodeInput(input, BaseName(path), sampleRate, problem);
}

std::unique_ptr<DecodedClip> DecodedClip::DecodeBytes(const std::string& name, const std::string& bytes, int sampleRate,
                                                      std::string* problem) {
  Input input;
  input.memory.bytes = &bytes;
  constexpr int kBuffer = 65536;
  auto* buffer = static_cast<unsigned char*>(av_malloc(kBuffer));
  if (buffer) input.io.reset(avio_alloc_context(buffer, kBuffer, 0, &input.memory, ReadMemory, nullptr, SeekMemory));
  if (!input.io) av_free(buffer);
  AVFormatContext* raw = input.io ? avformat_alloc_context() : nullptr;
  if (raw) {
    raw->pb = input.io.get();
    raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    input.opened = avformat_open_input(&raw, nullptr, nullptr, nullptr);  // frees the context on failure
    input.format.reset(raw);
  } else {
    input.opened = AVERROR(ENOMEM);
  }
  return DecodeInput(input, name, sampleRate, problem);
}

std::unique_ptr<DecodedClip> DecodedClip::DecodeInput(Input& in, const std::string& name, int sampleRate,
                                                      std::string* problem) {
  auto fail = [&](const std::string& why) {
    if (problem) *problem = "The sound '" + name + "' " + why;
    return std::unique_ptr<DecodedClip>();
  };
  int result = in.opened;
  if (result < 0 || !in.format) return fail("cannot be read (" + Reason(result < 0 ? result : AVERROR(ENOMEM)) + ").");
  AVFormatContext* input = in.format.get();
  result = avformat_find_stream_info(input, nullptr);
  if (result < 0) return fail("is not a sound or video file that can be decoded (" + Reason(result) + ").");

  auto clip = std::unique_ptr<DecodedClip>(new DecodedClip);
  const AVCodec* codec = nullptr;
  const int index = av_find_best_stream(input, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
  if (index == AVERROR_STREAM_NOT_FOUND) return clip;  // a silent clip
  if (index < 0 || !codec) return fail("is in a sound format that cannot be decoded.");

  std::unique_ptr<AVCodecContext, CodecDeleter> decoder(avcodec_alloc_context3(codec));
  if (!decoder) return fail("cannot be decoded: out of memory.");
  result = avcodec_parameters_to_context(decoder.get(), input->streams[index]->codecpar);
  if (result >= 0) result = avcodec_open2(decoder.get(), codec, nullptr);
  if (result < 0) return fail("cannot be decoded (" + Reason(result) + ").");

  std::unique_ptr<AVPacket, PacketDeleter> packet(av_packet_alloc());
  std::unique_ptr<AVFrame, FrameDeleter> frame(av_frame_alloc());
  if (!packet || !frame) return fail("cannot be decoded: out of memory.");
  std::unique_ptr<SwrContext, ResamplerDeleter> resampler;

  // Resamples one decoded frame (null: what the resampler still holds) and
  // appends it to the clip.
  auto take = [&](const AVFrame* in) -> int {
    if (!resampler) {
      SwrContext* s = nullptr;
      AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
      AVChannelLayout layout{};
      if (in->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&layout, in->ch_layout.nb_channels);
      else
        av_channel_layout_copy(&layout, &in->ch_layout);
      int r = swr_alloc_set_opts2(&s, &stereo, AV_SAMPLE_FMT_FLTP, sampleRate, &layout,
                                  static_cast<AVSampleFormat>(in->format), in->sample_rate, 0, nullptr);
      av_channel_layout_uninit(&layout);
      resampler.reset(s);
      if (r >= 0) r = swr_init(s);
      if (r < 0) return r;
    }
    // Into the clip's own arrays, as far as the resampler gives samples.
    const int room = swr_get_out_samples(resampler.get(), in ? in->nb_samples : 0);
    if (room < 0) return room;
    const size_t at = clip->left_.size();
    clip->left_.resize(at + room);
    clip->right_.resize(at + room);
    uint8_t* planes[2] = {reinterpret_cast<uint8_t*>(clip->left_.data() + at),
                          reinterpret_cast<uint8_t*>(clip->right_.data() + at)};
    const int made = swr_convert(resampler.get(), planes, room, in ? const_cast<const uint8_t**>(in->extended_data) : nullptr,
                                 in ? in->nb_samples : 0);
    clip->left_.resize(at + std::max(0, made));
    clip->right_.resize(at + std::max(0, made));
    if (made < 0) return made;
    return 0;
  };
  auto receive = [&]() -> int {
    for (;;) {
      const int r = avcodec_receive_frame(decoder.get(), frame.get());
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return 0;
      if (r < 0) return r;
      const int t = take(frame.get());
      av_frame_unref(frame.get());
      if (t < 0) return t;
    }
  };

  int broken = 0;  // packets the decoder refused: a damaged stretch is skipped
  while ((result = av_read_frame(input, packet.get())) >= 0) {
    if (packet->stream_index == index) {
      if (avcodec_send_packet(decoder.get(), packet.get()) < 0) ++broken;
      if (receive() < 0) ++broken;
    }
    av_packet_unref(packet.get());
  }
  avcodec_send_packet(decoder.get(), nullptr);
  if (receive() < 0) ++broken;
  if (resampler) take(nullptr);
  if (clip->left_.empty() && broken > 0) return fail("could not be decoded: its data is damaged.");
  return clip;
}
