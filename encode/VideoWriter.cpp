#include "VideoWriter.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
}

#include "RgbToYuv420.h"

void VideoWriter::FormatContextDeleter::operator()(AVFormatContext* context) const {
  if (context->pb && context->oformat && !(context->oformat->flags & AVFMT_NOFILE)) avio_closep(&context->pb);
  avformat_free_context(context);
}

void VideoWriter::CodecContextDeleter::operator()(AVCodecContext* context) const { avcodec_free_context(&context); }

void VideoWriter::FrameDeleter::operator()(AVFrame* frame) const { av_frame_free(&frame); }

void VideoWriter::PacketDeleter::operator()(AVPacket* packet) const { av_packet_free(&packet); }

VideoWriter::VideoWriter() = default;

VideoWriter::~VideoWriter() { close(); }

bool VideoWriter::isOpen() const { return formatContext_ != nullptr; }

int VideoWriter::codecFlags() const { return codecContext_ ? codecContext_->flags : 0; }

bool VideoWriter::writeFailed() const { return writeFailed_; }

int VideoWriter::open(const std::string& fileName, const EncodeSettings& settings) {
  close();
  writeFailed_ = false;

  // The first frame of every file rebuilds the converter's tables.
  yFromRed[0] = 255;
  // An older file of that name goes, whatever happens next (never a directory).
  ::unlink(fileName.c_str());

  // The container follows from the file name alone.
  outputFormat_ = av_guess_format(nullptr, fileName.c_str(), nullptr);
  if (!outputFormat_) return 0;

  AVFormatContext* context = nullptr;
  if (avformat_alloc_output_context2(&context, outputFormat_, nullptr, fileName.c_str()) < 0 || !context) {
    std::fputs("Memory error\n", stderr);
    release();
    return 0;
  }
  formatContext_.reset(context);

  videoStream_ = nullptr;
  if (outputFormat_->video_codec != AV_CODEC_ID_NONE) addVideoStream(outputFormat_->video_codec, settings);
  if (videoStream_) openVideo();
  av_dump_format(context, 0, fileName.c_str(), 1);

  // No picture: no default video codec, or the stream or encoder could not be
  // set up (which has said so already).
  if (!picture_) {
    release();
    return 0;
  }

  if (!(outputFormat_->flags & AVFMT_NOFILE)) {
    if (avio_open(&context->pb, fileName.c_str(), AVIO_FLAG_WRITE) < 0) {
      std::fprintf(stderr, "Could not open '%s'\n", fileName.c_str());
      release();
      return 0;
    }
  }

  // The container checks the stream's parameters here; a file whose header
  // could not be written is not kept.
  if (avformat_write_header(context, nullptr) < 0) {
    std::fputs("Invalid output format parameters\n", stderr);
    release();
    ::unlink(fileName.c_str());
    return 0;
  }
  return 1;
}

bool VideoWriter::addVideoStream(int codecId, const EncodeSettings& settings) {
  const AVCodec* codec = avcodec_find_encoder(static_cast<AVCodecID>(codecId));
  if (!codec) {
    std::fputs("codec not found\n", stderr);
    return false;
  }
  AVStream* stream = avformat_new_stream(formatContext_.get(), nullptr);
  if (!stream) {
    std::fputs("Could not alloc stream\n", stderr);
    return false;
  }
  stream->id = 0;
  codecContext_.reset(avcodec_alloc_context3(codec));
  if (!codecContext_) {
    std::fputs("Could not alloc stream\n", stderr);
    return false;
  }

  AVCodecContext* c = codecContext_.get();
  c->codec_id = static_cast<AVCodecID>(codecId);
  c->codec_type = AVMEDIA_TYPE_VIDEO;
  c->bit_rate = settings.bitRate;
  c->width = settings.width;
  c->height = settings.height;
  c->time_base = AVRational{1, settings.frameRate};  // one tick per frame
  c->gop_size = 12;
  c->pix_fmt = AV_PIX_FMT_YUV420P;
  if (c->codec_id == AV_CODEC_ID_MPEG2VIDEO) {
    c->max_b_frames = 2;
  } else if (c->codec_id == AV_CODEC_ID_MPEG1VIDEO) {
    c->mb_decision = 2;  // rate-distortion decision
  }
  // These containers want the codec's headers once, in the stream header.
  const char* name = outputFormat_->name;
  if (std::strcmp(name, "mp4") == 0 || std::strcmp(name, "mov") == 0 || std::strcmp(name, "3gp") == 0)
    c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

  stream->time_base = c->time_base;
  videoStream_ = stream;
  return true;
}

bool VideoWriter::openVideo() {
  AVCodecContext* c = codecContext_.get();
  if (avcodec_open2(c, c->codec, nullptr) < 0) {
    std::fputs("could not open codec\n", stderr);
    return false;
  }
  if (avcodec_parameters_from_context(videoStream_->codecpar, c) < 0) {
    std::fputs("could not open codec\n", stderr);
    return false;
  }
  // What the encoder tells about its stream (an MPEG encoder's buffer size and
  // rates) goes to the container, which sizes its multiplexing by it.
  for (int i = 0; i < c->nb_coded_side_data; ++i) {
    const AVPacketSideData& side = c->coded_side_data[i];
    uint8_t* copy = av_stream_new_side_data(videoStream_, side.type, side.size);
    if (copy) std::memcpy(copy, side.data, side.size);
  }

  // One packet and one picture serve the whole file. The picture's planes
  // have exactly the converter's row steps (no padding between rows), so the
  // converter writes straight into them.
  packet_.reset(av_packet_alloc());
  std::unique_ptr<AVFrame, FrameDeleter> picture(av_frame_alloc());
  if (!packet_ || !picture) {
    std::fputs("Could not allocate picture\n", stderr);
    return false;
  }
  picture->format = c->pix_fmt;
  picture->width = c->width;
  picture->height = c->height;
  if (av_frame_get_buffer(picture.get(), 1) < 0) {
    std::fputs("Could not allocate picture\n", stderr);
    return false;
  }
  picture_ = std::move(picture);
  nextPts_ = 0;
  return true;
}

void VideoWriter::fillPicture(const uint8_t* frame, int32_t width, int32_t height) {
  AVFrame* picture = picture_.get();
  // The encoder may still hold the previous picture's buffer; then this gives
  // the picture a buffer of its own (whose rows may be padded).
  if (av_frame_make_writable(picture) < 0) return;
  const int chromaWidth = width / 2, chromaHeight = height / 2;
  if (picture->linesize[0] == width && picture->linesize[1] == chromaWidth && picture->linesize[2] == chromaWidth) {
    RgbToYuv420(frame, picture->data[0], picture->data[1], picture->data[2], width, height);
    return;
  }
  const size_t lumaBytes = static_cast<size_t>(width) * height;
  const size_t chromaBytes = static_cast<size_t>(chromaWidth) * chromaHeight;
  if (scratch_.size() != lumaBytes + 2 * chromaBytes) scratch_.resize(lumaBytes + 2 * chromaBytes);
  uint8_t* y = scratch_.data();
  uint8_t* u = y + lumaBytes;
  uint8_t* v = u + chromaBytes;
  RgbToYuv420(frame, y, u, v, width, height);
  av_image_copy_plane(picture->data[0], picture->linesize[0], y, width, width, height);
  av_image_copy_plane(picture->data[1], picture->linesize[1], u, chromaWidth, chromaWidth, chromaHeight);
  av_image_copy_plane(picture->data[2], picture->linesize[2], v, chromaWidth, chromaWidth, chromaHeight);
}

void VideoWriter::writeFrame(const uint8_t* frame, int32_t width, int32_t height) {
  if (!picture_ || !frame) return;
  // A frame of another size than the picture's would be read or written out
  // of bounds: it is not taken.
  if (width != picture_->width || height != picture_->height) return;
  fillPicture(frame, width, height);
  // Frame n is presented at n ticks of 1 / frameRate.
  picture_->pts = nextPts_++;
  encode(picture_.get());
}

void VideoWriter::encode(const AVFrame* picture) {
  AVCodecContext* c = codecContext_.get();
  AVPacket* packet = packet_.get();
  // A picture the encoder refuses writes nothing and reports nothing.
  if (avcodec_send_frame(c, picture) < 0) return;
  while (avcodec_receive_packet(c, packet) == 0) {
    // Every picture lasts one tick. Without a duration a container that keeps
    // an edit list (mp4, mov) cuts the last picture off the file's length.
    if (packet->duration <= 0) packet->duration = 1;
    av_packet_rescale_ts(packet, c->time_base, videoStream_->time_base);
    packet->stream_index = videoStream_->index;
    if (av_interleaved_write_frame(formatContext_.get(), packet) != 0) {
      std::fputs("Error while writing video frame\n", stderr);
      writeFailed_ = true;
    }
    av_packet_unref(packet);
  }
}

void VideoWriter::close() {
  if (!formatContext_) return;
  // Pictures the encoder still holds back go into the file before the trailer.
  if (picture_) encode(nullptr);
  AVFormatContext* context = formatContext_.get();
  if (av_write_trailer(context) < 0) writeFailed_ = true;
  // Closing flushes what is still buffered; a failure there loses the end of the file.
  if (context->pb && !(context->oformat->flags & AVFMT_NOFILE) && avio_closep(&context->pb) < 0) writeFailed_ = true;
  release();
}

void VideoWriter::release() {
  codecContext_.reset();
  picture_.reset();
  packet_.reset();
  scratch_.clear();
  scratch_.shrink_to_fit();
  formatContext_.reset();  // closes the file
  videoStream_ = nullptr;
  outputFormat_ = nullptr;
  nextPts_ = 0;
}
