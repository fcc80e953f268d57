#include "ClipFrames.h"

#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/mathematics.h>
#include <libswscale/swscale.h>
}

void ClipFrames::CodecDeleter::operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
void ClipFrames::FrameDeleter::operator()(AVFrame* f) const { av_frame_free(&f); }
void ClipFrames::PacketDeleter::operator()(AVPacket* p) const { av_packet_free(&p); }
void ClipFrames::ScalerDeleter::operator()(SwsContext* s) const { sws_freeContext(s); }

ClipFrames::~ClipFrames() = default;

std::unique_ptr<ClipFrames> ClipFrames::Open(const std::string& name, std::shared_ptr<const std::string> bytes,
                                             std::string* problem) {
  auto fail = [&](const std::string& why) {
    if (problem) *problem = "The clip '" + name + "' " + why;
    return std::unique_ptr<ClipFrames>();
  };
  std::unique_ptr<ClipFrames> clip(new ClipFrames(std::move(bytes)));
  int result = clip->input_.open();
  if (result < 0) return fail("cannot be read.");
  AVFormatContext* format = clip->input_.format();
  if (avformat_find_stream_info(format, nullptr) < 0) return fail("is not a sound or video file that can be decoded.");

  const AVCodec* codec = nullptr;
  const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
  if (index < 0 || !codec || (format->streams[index]->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
    // A sound (or a sound with a cover picture): only its length matters.
    clip->timeBaseDen_ = AV_TIME_BASE;
    clip->duration_ = format->duration > 0 ? format->duration : 0;
    return clip;
  }
  const AVStream* stream = format->streams[index];
  clip->stream_ = index;
  clip->timeBaseNum_ = stream->time_base.num;
  clip->timeBaseDen_ = stream->time_base.den;
  clip->start_ = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
  if (stream->duration > 0)
    clip->duration_ = stream->duration;
  else if (format->duration > 0)
    clip->duration_ = av_rescale_q(format->duration, AV_TIME_BASE_Q, stream->time_base);

  std::unique_ptr<AVCodecContext, CodecDeleter> decoder(avcodec_alloc_context3(codec));
  if (!decoder) return fail("cannot be decoded: out of memory.");
  result = avcodec_parameters_to_context(decoder.get(), stream->codecpar);
  // One thread: the film's frames are decoded in order, beside the encoder's own threads.
  decoder->thread_count = 1;
  if (result >= 0) result = avcodec_open2(decoder.get(), codec, nullptr);
  if (result < 0) return fail("has pictures in a format that cannot be decoded.");
  clip->packet_.reset(av_packet_alloc());
  clip->current_.reset(av_frame_alloc());
  clip->next_.reset(av_frame_alloc());
  if (!clip->packet_ || !clip->current_ || !clip->next_) return fail("cannot be decoded: out of memory.");
  clip->decoder_ = std::move(decoder);
  return clip;
}

int64_t ClipFrames::lengthInFrames(int frameRate) const {
  if (duration_ <= 0 || frameRate <= 0) return 0;
  return av_rescale_q_rnd(duration_, AVRational{timeBaseNum_, timeBaseDen_}, AVRational{1, frameRate}, AV_ROUND_UP);
}

int64_t ClipFrames::timeOf(const AVFrame* frame) const {
  if (frame->best_effort_timestamp != AV_NOPTS_VALUE) return frame->best_effort_timestamp;
  if (frame->pts != AV_NOPTS_VALUE) return frame->pts;
  return lastTime_ + 1;  // no time stamp: just after the frame before
}

bool ClipFrames::decodeNext() {
  AVFormatContext* format = input_.format();
  while (!decoderDone_) {
    const int got = avcodec_receive_frame(decoder_.get(), next_.get());
    if (got == 0) {
      nextTime_ = timeOf(next_.get());
      lastTime_ = nextTime_;
      haveNext_ = true;
      return true;
    }
    if (got != AVERROR(EAGAIN) || inputDone_) {
      decoderDone_ = true;  // the end, or a decoder that gives up: the last picture stays
      break;
    }
    if (av_read_frame(format, packet_.get()) < 0) {
      avcodec_send_packet(decoder_.get(), nullptr);
      inputDone_ = true;
      continue;
    }
    // A damaged packet is skipped; the decoder goes on with the next.
    if (packet_->stream_index == stream_) avcodec_send_packet(decoder_.get(), packet_.get());
    av_packet_unref(packet_.get());
  }
  return false;
}

void ClipFrames::rewind() {
  // A file that cannot seek is read again from its start.
  if (av_seek_frame(input_.format(), stream_, start_, AVSEEK_FLAG_BACKWARD) < 0 &&
      (input_.open() < 0 || avformat_find_stream_info(input_.format(), nullptr) < 0)) {
    decoderDone_ = true;  // the last picture stays
    return;
  }
  avcodec_flush_buffers(decoder_.get());
  av_frame_unref(current_.get());
  av_frame_unref(next_.get());
  haveCurrent_ = haveNext_ = false;
  inputDone_ = decoderDone_ = false;
  lastTime_ = start_;
}

const uint8_t* ClipFrames::picture(int64_t frame, int frameRate, bool loop, int width, int height) {
  if (!decoder_ || frameRate <= 0 || width <= 0 || height <= 0) return nullptr;
  const AVRational base{timeBaseNum_, timeBaseDen_};
  int64_t offset = av_rescale_q_rnd(std::max<int64_t>(0, frame), AVRational{1, frameRate}, base, AV_ROUND_DOWN);
  if (loop && duration_ > 0) offset %= duration_;
  const int64_t wanted = start_ + offset;

  if (haveCurrent_ && currentTime_ > wanted) rewind();  // a loop started over
  for (;;) {
    if (!haveNext_ && !decodeNext()) break;
    // The first picture stands for any time before it.
    if (haveCurrent_ && nextTime_ > wanted) break;
    std::swap(current_, next_);
    av_frame_unref(next_.get());
    currentTime_ = nextTime_;
    haveCurrent_ = true;
    haveNext_ = false;
  }
  if (!haveCurrent_) return nullptr;

  if (scaledValid_ && scaledTime_ == currentTime_ && scaledWidth_ == width && scaledHeight_ == height)
    return scaled_.data();
  const AVFrame* source = current_.get();
  // Bit-exact scaling: the same clip gives the same film on every machine.
  SwsContext* scaler = sws_getCachedContext(scaler_.release(), source->width, source->height,
                                            static_cast<AVPixelFormat>(source->format), width, height,
                                            AV_PIX_FMT_BGR24, SWS_BILINEAR | SWS_ACCURATE_RND | SWS_BITEXACT,
                                            nullptr, nullptr, nullptr);
  scaler_.reset(scaler);
  if (!scaler) return nullptr;
  scaled_.resize(static_cast<size_t>(width) * height * 3);
  uint8_t* planes[4] = {scaled_.data(), nullptr, nullptr, nullptr};
  int strides[4] = {width * 3, 0, 0, 0};
  if (sws_scale(scaler, source->data, source->linesize, 0, source->height, planes, strides) <= 0) return nullptr;
  scaledTime_ = currentTime_;
  scaledWidth_ = width;
  scaledHeight_ = height;
  scaledValid_ = true;
  return scaled_.data();
}
