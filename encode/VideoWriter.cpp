#include "VideoWriter.h"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
#include <libswresample/swresample.h>
}

#include "LimitedRange.h"
#include "RgbToYuv420.h"

namespace {

// Writes one of the writer's messages, then the line that names the FFmpeg
// call and what it said.
void Report(const char* message, const char* call, int error) {
  char reason[AV_ERROR_MAX_STRING_SIZE] = {};
  av_make_error_string(reason, sizeof reason, error);
  std::fputs(message, stderr);
  std::fprintf(stderr, "  %s: %s\n", call, reason);
}

bool IsOneOf(const char* name, std::initializer_list<const char*> names) {
  for (const char* n : names)
    if (std::strcmp(name, n) == 0) return true;
  return false;
}

// Containers that want the codec's headers once, in the stream header; the
// same ones can put their index first.
bool IsMovFamily(const AVOutputFormat* format) { return IsOneOf(format->name, {"mp4", "mov", "3gp"}); }

enum class Range {
  kUnchanged,       // nothing known: samples and stream as the converter gives them
  kStateFullRange,  // the stream says full range, BT.601, sRGB
  kMapToLimited,    // no way to say it: samples mapped to limited range
};

Range RangeFor(AVCodecID codec) {
  switch (codec) {
    case AV_CODEC_ID_H264:
      return Range::kStateFullRange;
    case AV_CODEC_ID_FLV1:
    case AV_CODEC_ID_MSMPEG4V1:
    case AV_CODEC_ID_MSMPEG4V2:
    case AV_CODEC_ID_MSMPEG4V3:
    case AV_CODEC_ID_WMV1:
    case AV_CODEC_ID_WMV2:
    case AV_CODEC_ID_MPEG1VIDEO:
    case AV_CODEC_ID_MPEG2VIDEO:
    case AV_CODEC_ID_MPEG4:
    case AV_CODEC_ID_H263:
    case AV_CODEC_ID_H263P:
      return Range::kMapToLimited;
    default:
      return Range::kUnchanged;
  }
}

// The start of the temporary names of `fileName`, ".<name>." in its directory (a long name
// shortened so that the temporary name still fits a directory entry); the process id and
// ".part" follow.
std::string TemporaryPrefixFor(const std::string& fileName) {
  const size_t slash = fileName.rfind('/');
  const std::string directory = slash == std::string::npos ? "" : fileName.substr(0, slash + 1);
  const std::string base = (slash == std::string::npos ? fileName : fileName.substr(slash + 1)).substr(0, 200);
  return directory + "." + base + ".";
}

// ".<name>.<pid>.part" in the directory of `fileName`.
std::string TemporaryNameFor(const std::string& fileName) {
  return TemporaryPrefixFor(fileName) + std::to_string(::getpid()) + ".part";
}

// Removes what writes of `fileName` by processes that have died left under a temporary name
// (a run killed before its close). Names of live processes, this one's included, stay: a
// write of the same file may be running there.
void RemoveDeadTemporaries(const std::string& fileName) {
  const std::string start = TemporaryPrefixFor(fileName);
  const size_t slash = start.rfind('/');
  const std::string directory = slash == std::string::npos ? "" : start.substr(0, slash + 1);
  const std::string prefix = start.substr(directory.size());
  DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() <= prefix.size() + 5 || name.compare(0, prefix.size(), prefix) != 0) continue;
    if (name.compare(name.size() - 5, 5, ".part") != 0) continue;
    const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - 5);
    if (digits.empty() || digits.size() > 9 || !std::all_of(digits.begin(), digits.end(), ::isdigit)) continue;
    const pid_t pid = static_cast<pid_t>(std::stol(digits));
    if (pid <= 0 || pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
    ::unlink((directory + name).c_str());
  }
  ::closedir(dir);
}

// The short name of the container a file name selects ("" when none).
std::string ContainerName(const std::string& fileName) {
  const AVOutputFormat* format = av_guess_format(nullptr, fileName.c_str(), nullptr);
  return format ? format->name : "";
}

constexpr int kAudioBitRate = 128000;

std::string Size(const EncodeSettings& s) { return std::to_string(s.width) + " x " + std::to_string(s.height); }

}  // namespace

void VideoWriter::FormatContextDeleter::operator()(AVFormatContext* context) const {
  if (context->pb && context->oformat && !(context->oformat->flags & AVFMT_NOFILE)) avio_closep(&context->pb);
  avformat_free_context(context);
}

void VideoWriter::CodecContextDeleter::operator()(AVCodecContext* context) const { avcodec_free_context(&context); }

void VideoWriter::FrameDeleter::operator()(AVFrame* frame) const { av_frame_free(&frame); }

void VideoWriter::PacketDeleter::operator()(AVPacket* packet) const { av_packet_free(&packet); }

void VideoWriter::ResamplerDeleter::operator()(SwrContext* context) const { swr_free(&context); }

VideoWriter::VideoWriter() = default;

VideoWriter::~VideoWriter() { close(); }

bool VideoWriter::isOpen() const { return formatContext_ != nullptr; }

bool VideoWriter::hasAudio() const { return audio_ != nullptr; }

int VideoWriter::AudioCodecFor(const std::string& fileName) {
  const std::string name = ContainerName(fileName);
  if (name == "mp4" || name == "mov" || name == "3gp") return AV_CODEC_ID_AAC;
  if (name == "flv" || name == "swf") return AV_CODEC_ID_MP3;
  if (name == "asf") return AV_CODEC_ID_WMAV2;
  if (name == "mpeg" || name == "vob" || name == "svcd" || name == "vcd") return AV_CODEC_ID_MP2;
  const AVOutputFormat* format = av_guess_format(nullptr, fileName.c_str(), nullptr);
  return format ? format->audio_codec : AV_CODEC_ID_NONE;
}

int VideoWriter::SampleRateFor(const std::string& fileName) {
  // Flash files carry MP3 at 44.1 kHz (or its halves) only.
  const std::string name = ContainerName(fileName);
  return name == "flv" || name == "swf" ? 44100 : 48000;
}

int VideoWriter::codecFlags() const { return codecContext_ ? codecContext_->flags : 0; }

bool VideoWriter::writeFailed() const { return writeFailed_; }

std::string VideoWriter::CheckSettings(const std::string& fileName, const EncodeSettings& s) {
  const AVOutputFormat* format = av_guess_format(nullptr, fileName.c_str(), nullptr);
  if (!format) return "No video container is known for the extension of the file name '" + fileName + "'.";
  if (format->video_codec == AV_CODEC_ID_NONE)
    return "The " + std::string(format->name) + " container of '" + fileName + "' cannot hold a video stream.";
  const AVCodecID codecId = format->video_codec;
  const AVCodec* codec = avcodec_find_encoder(codecId);
  if (!codec) return "No encoder is available for the " + std::string(avcodec_get_name(codecId)) + " video.";
  if (s.width <= 0 || s.height <= 0 || s.width % 2 != 0 || s.height % 2 != 0)
    return "The picture size " + Size(s) + " is not possible: width and height must be positive even numbers.";
  if (s.frameRate <= 0) return "The frame rate must be at least 1 frame per second.";
  if (s.bitRate <= 0) return "The bit rate must be at least 1 bit per second.";

  switch (codecId) {
    case AV_CODEC_ID_MPEG1VIDEO:
      if (s.width > 4095 || s.height > 4095)
        return "MPEG-1 video (.mpg) can carry at most 4095 x 4095 pixels, not " + Size(s) + ".";
      if (!(s.frameRate == 24 || s.frameRate == 25 || s.frameRate == 30 || s.frameRate == 50 || s.frameRate == 60))
        return "MPEG-1 video (.mpg) can only be written at 24, 25, 30, 50 or 60 frames per second, not " +
               std::to_string(s.frameRate) + ".";
      if (s.bitRate > 104857200) return "MPEG-1 video (.mpg) can carry at most 104857 kbit/s.";
      break;
    case AV_CODEC_ID_FLV1:
      if (s.width > 65535 || s.height > 65535)
        return "FLV1 video (.flv, .swf) stores width and height in 16 bits: at most 65535 pixels each, not " + Size(s) +
               ".";
      break;
    case AV_CODEC_ID_H264:
      // What libx264 takes in either direction.
      if (s.width > 16384 || s.height > 16384)
        return "H.264 video can carry at most 16384 pixels in either direction, not " + Size(s) + ".";
      break;
    default:
      break;
  }
  return "";
}

int VideoWriter::open(const std::string& fileName, const EncodeSettings& settings, AudioSource* sound) {
  close();
  writeFailed_ = false;

  // The first frame of every file rebuilds the converter's tables.
  yFromRed[0] = 255;
  // An older file of that name goes, whatever happens next (never a directory).
  ::unlink(fileName.c_str());

  // The container follows from the file name alone.
  outputFormat_ = av_guess_format(nullptr, fileName.c_str(), nullptr);
  if (!outputFormat_) return 0;

  // A container that puts its index first writes its file under another name
  // until close has written the index.
  fileName_ = fileName;
  temporaryName_ = IsMovFamily(outputFormat_) ? TemporaryNameFor(fileName) : "";
  if (!temporaryName_.empty()) RemoveDeadTemporaries(fileName);
  const std::string writtenName = temporaryName_.empty() ? fileName : temporaryName_;

  AVFormatContext* context = nullptr;
  const int allocated = avformat_alloc_output_context2(&context, outputFormat_, nullptr, writtenName.c_str());
  if (allocated < 0 || !context) {
    Report("Memory error\n", "avformat_alloc_output_context2", allocated < 0 ? allocated : AVERROR(ENOMEM));
    release();
    return 0;
  }
  formatContext_.reset(context);

  videoStream_ = nullptr;
  if (outputFormat_->video_codec != AV_CODEC_ID_NONE) addVideoStream(outputFormat_->video_codec, settings);
  if (videoStream_) openVideo();
  if (picture_ && sound && !addAudioStream(sound, fileName)) picture_.reset();
  av_dump_format(context, 0, fileName.c_str(), 1);

  // No picture: no default video codec, or the stream or encoder could not be
  // set up (which has said so already).
  if (!picture_) {
    release();
    return 0;
  }

  if (!(outputFormat_->flags & AVFMT_NOFILE)) {
    const int opened = avio_open(&context->pb, writtenName.c_str(), AVIO_FLAG_WRITE);
    if (opened < 0) {
      Report(("Could not open '" + fileName + "'\n").c_str(), "avio_open", opened);
      release();
      return 0;
    }
  }

  // The container checks the stream's parameters here; a file whose header
  // could not be written is not kept.
  AVDictionary* options = nullptr;
  if (IsMovFamily(outputFormat_)) av_dict_set(&options, "movflags", "+faststart", 0);
  const int header = avformat_write_header(context, &options);
  av_dict_free(&options);
  if (header < 0) {
    Report("Invalid output format parameters\n", "avformat_write_header", header);
    release();
    ::unlink(writtenName.c_str());
    return 0;
  }
  return 1;
}

bool VideoWriter::addVideoStream(int codecId, const EncodeSettings& settings) {
  const AVCodec* codec = avcodec_find_encoder(static_cast<AVCodecID>(codecId));
  if (!codec) {
    Report("codec not found\n", "avcodec_find_encoder", AVERROR_ENCODER_NOT_FOUND);
    return false;
  }
  AVStream* stream = avformat_new_stream(formatContext_.get(), nullptr);
  if (!stream) {
    Report("Could not alloc stream\n", "avformat_new_stream", AVERROR(ENOMEM));
    return false;
  }
  stream->id = 0;
  codecContext_.reset(avcodec_alloc_context3(codec));
  if (!codecContext_) {
    Report("Could not alloc stream\n", "avcodec_alloc_context3", AVERROR(ENOMEM));
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
  if (IsMovFamily(outputFormat_)) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

  // The converter's samples are full-range BT.601 of an sRGB picture.
  const Range range = RangeFor(c->codec_id);
  limitedRange_ = range == Range::kMapToLimited;
  if (range == Range::kStateFullRange) {
    c->color_range = AVCOL_RANGE_JPEG;
    c->colorspace = AVCOL_SPC_BT470BG;
    c->color_primaries = AVCOL_PRI_BT709;  // sRGB's primaries
    c->color_trc = AVCOL_TRC_IEC61966_2_1;
  } else if (range == Range::kMapToLimited) {
    c->color_range = AVCOL_RANGE_MPEG;
  }

  stream->time_base = c->time_base;
  videoStream_ = stream;
  return true;
}

bool VideoWriter::openVideo() {
  AVCodecContext* c = codecContext_.get();
  const int opened = avcodec_open2(c, c->codec, nullptr);
  if (opened < 0) {
    Report("could not open codec\n", "avcodec_open2", opened);
    return false;
  }
  const int copied = avcodec_parameters_from_context(videoStream_->codecpar, c);
  if (copied < 0) {
    Report("could not open codec\n", "avcodec_parameters_from_context", copied);
    return false;
  }
  // What the encoder tells about its stream (an MPEG encoder's buffer size and
  // rates) goes to the container, which sizes its multiplexing by it.
  for (int i = 0; i < c->nb_coded_side_data; ++i) {
    const AVPacketSideData& side = c->coded_side_data[i];
    uint8_t* copy = av_stream_new_side_data(videoStream_, side.type, side.size);
    if (!copy) {
      Report("could not open codec\n", "av_stream_new_side_data", AVERROR(ENOMEM));
      return false;
    }
    std::memcpy(copy, side.data, side.size);
  }
  // An MPEG encoder without a buffer size of its own leaves the program
  // stream multiplexer at its default buffer (230 KB), which high bit rates
  // overrun with single pictures: it is told one second of the stream.
  if (c->codec_id == AV_CODEC_ID_MPEG1VIDEO || c->codec_id == AV_CODEC_ID_MPEG2VIDEO) {
    auto* props =
        reinterpret_cast<AVCPBProperties*>(av_stream_get_side_data(videoStream_, AV_PKT_DATA_CPB_PROPERTIES, nullptr));
    constexpr int64_t kDefaultBufferBits = 230 * 1024 * 8;
    constexpr int64_t kLargestBufferBits = (8191 - 6) * 1024 * 8;  // what a program stream header can say
    if (props && props->buffer_size == 0 && c->bit_rate > kDefaultBufferBits)
      props->buffer_size = std::min<int64_t>(c->bit_rate, kLargestBufferBits);
  }

  // One packet and one picture serve the whole file. The picture's planes
  // have exactly the converter's row steps (no padding between rows), so the
  // converter writes straight into them.
  packet_.reset(av_packet_alloc());
  std::unique_ptr<AVFrame, FrameDeleter> picture(av_frame_alloc());
  if (!packet_ || !picture) {
    Report("Could not allocate picture\n", packet_ ? "av_frame_alloc" : "av_packet_alloc", AVERROR(ENOMEM));
    return false;
  }
  picture->format = c->pix_fmt;
  picture->width = c->width;
  picture->height = c->height;
  picture->color_range = c->color_range;
  picture->colorspace = c->colorspace;
  picture->color_primaries = c->color_primaries;
  picture->color_trc = c->color_trc;
  const int buffer = av_frame_get_buffer(picture.get(), 1);
  if (buffer < 0) {
    Report("Could not allocate picture\n", "av_frame_get_buffer", buffer);
    return false;
  }
  picture_ = std::move(picture);
  nextPts_ = 0;
  return true;
}

bool VideoWriter::fillPicture(const uint8_t* frame, int32_t width, int32_t height) {
  AVFrame* picture = picture_.get();
  // The encoder may still hold the previous picture's buffer; then this gives
  // the picture a buffer of its own (whose rows may be padded).
  const int writable = av_frame_make_writable(picture);
  if (writable < 0) {
    Report("Could not allocate picture\n", "av_frame_make_writable", writable);
    return false;
  }
  const int chromaWidth = width / 2, chromaHeight = height / 2;
  if (picture->linesize[0] == width && picture->linesize[1] == chromaWidth && picture->linesize[2] == chromaWidth) {
    RgbToYuv420(frame, picture->data[0], picture->data[1], picture->data[2], width, height);
  } else {
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
  if (limitedRange_) {
    LimitedRange::MapLuma(picture->data[0], width, height, picture->linesize[0]);
    LimitedRange::MapChroma(picture->data[1], chromaWidth, chromaHeight, picture->linesize[1]);
    LimitedRange::MapChroma(picture->data[2], chromaWidth, chromaHeight, picture->linesize[2]);
  }
  return true;
}

bool VideoWriter::addAudioStream(AudioSource* source, const std::string& fileName) {
  const auto codecId = static_cast<AVCodecID>(AudioCodecFor(fileName));
  const AVCodec* codec = codecId == AV_CODEC_ID_NONE ? nullptr : avcodec_find_encoder(codecId);
  if (!codec) {
    Report("audio codec not found\n", "avcodec_find_encoder", AVERROR_ENCODER_NOT_FOUND);
    return false;
  }
  auto audio = std::make_unique<AudioStream>();
  audio->source = source;
  audio->stream = avformat_new_stream(formatContext_.get(), nullptr);
  audio->codec.reset(avcodec_alloc_context3(codec));
  if (!audio->stream || !audio->codec) {
    Report("Could not alloc stream\n", audio->stream ? "avcodec_alloc_context3" : "avformat_new_stream",
           AVERROR(ENOMEM));
    return false;
  }
  audio->stream->id = 1;
  AVCodecContext* c = audio->codec.get();
  c->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
  c->bit_rate = kAudioBitRate;
  c->sample_rate = SampleRateFor(fileName);
  if (codec->supported_samplerates) {
    bool supported = false;
    for (const int* rate = codec->supported_samplerates; *rate; ++rate) supported |= *rate == c->sample_rate;
    if (!supported) c->sample_rate = codec->supported_samplerates[0];
  }
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  av_channel_layout_copy(&c->ch_layout, &stereo);
  c->time_base = AVRational{1, c->sample_rate};
  if (formatContext_->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  int result = avcodec_open2(c, codec, nullptr);
  if (result >= 0) result = avcodec_parameters_from_context(audio->stream->codecpar, c);
  if (result < 0) {
    Report("could not open audio codec\n", "avcodec_open2", result);
    return false;
  }
  audio->stream->time_base = c->time_base;
  audio->frameSize = (codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) || c->frame_size <= 0 ? 1024 : c->frame_size;

  // One frame in the encoder's sample format, and the conversion into it from
  // the source's planar float samples (same rate, same channels).
  audio->frame.reset(av_frame_alloc());
  SwrContext* converter = nullptr;
  result = audio->frame ? 0 : AVERROR(ENOMEM);
  if (result >= 0) {
    AVFrame* frame = audio->frame.get();
    frame->format = c->sample_fmt;
    av_channel_layout_copy(&frame->ch_layout, &c->ch_layout);
    frame->sample_rate = c->sample_rate;
    frame->nb_samples = audio->frameSize;
    result = av_frame_get_buffer(frame, 0);
  }
  if (result >= 0)
    result = swr_alloc_set_opts2(&converter, &c->ch_layout, c->sample_fmt, c->sample_rate, &stereo,
                                 AV_SAMPLE_FMT_FLTP, c->sample_rate, 0, nullptr);
  audio->converter.reset(converter);
  if (result >= 0) result = swr_init(converter);
  if (result < 0) {
    Report("could not open audio codec\n", "swr_init", result);
    return false;
  }
  audio->left.resize(audio->frameSize);
  audio->right.resize(audio->frameSize);
  source->start(c->sample_rate, codecContext_->time_base.den);
  audio_ = std::move(audio);
  return true;
}

void VideoWriter::writeAudioUpTo(int64_t endSample, bool last) {
  AudioStream& audio = *audio_;
  while (audio.samplesWritten + audio.frameSize <= endSample) encodeAudio(audio.frameSize);
  if (!last) return;
  const int rest = static_cast<int>(endSample - audio.samplesWritten);
  if (rest > 0) encodeAudio(rest);
  sendAudio(nullptr);
}

void VideoWriter::encodeAudio(int count) {
  AudioStream& audio = *audio_;
  AVCodecContext* c = audio.codec.get();
  AVFrame* frame = audio.frame.get();
  std::fill(audio.left.begin(), audio.left.end(), 0.0f);
  std::fill(audio.right.begin(), audio.right.end(), 0.0f);
  audio.source->render(audio.samplesWritten, count, audio.left.data(), audio.right.data());
  const int writable = av_frame_make_writable(frame);
  if (writable < 0) {
    Report("Error while encoding audio frame\n", "av_frame_make_writable", writable);
    writeFailed_ = true;
    return;
  }
  // A short last frame is padded with silence where the encoder wants whole frames.
  const bool smallLast = c->codec->capabilities & (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
  const int samples = smallLast ? count : audio.frameSize;
  const uint8_t* planes[2] = {reinterpret_cast<const uint8_t*>(audio.left.data()),
                              reinterpret_cast<const uint8_t*>(audio.right.data())};
  const int converted = swr_convert(audio.converter.get(), frame->data, samples, planes, samples);
  if (converted < 0) {
    Report("Error while encoding audio frame\n", "swr_convert", converted);
    writeFailed_ = true;
    return;
  }
  frame->nb_samples = samples;
  frame->pts = audio.samplesWritten;
  audio.samplesWritten += count;
  sendAudio(frame);
}

void VideoWriter::sendAudio(const AVFrame* frame) {
  send(audio_->codec.get(), audio_->stream, frame, AudioMessages());
}

void VideoWriter::writeFrame(const uint8_t* frame, int32_t width, int32_t height) {
  if (!picture_ || !frame) return;
  // A frame of another size than the picture's would be read or written out
  // of bounds: it is not taken.
  if (width != picture_->width || height != picture_->height) return;
  if (!fillPicture(frame, width, height)) {
    writeFailed_ = true;  // that frame is missing from the file
    return;
  }
  // Frame n is presented at n ticks of 1 / frameRate.
  picture_->pts = nextPts_++;
  encode(picture_.get());
  // The sound follows the picture at a distance, so that what the show decides
  // about a frame's sound has reached the source before it is asked for.
  if (audio_) {
    const int64_t frames = nextPts_ - int64_t{AudioSource::kLagSeconds} * codecContext_->time_base.den;
    if (frames > 0) writeAudioUpTo(av_rescale_q(frames, codecContext_->time_base, audio_->codec->time_base), false);
  }
}

void VideoWriter::encode(const AVFrame* picture) {
  send(codecContext_.get(), videoStream_, picture, VideoMessages());
}

void VideoWriter::send(AVCodecContext* c, AVStream* stream, const AVFrame* frame, const Messages& messages) {
  AVPacket* packet = packet_.get();
  const int sent = avcodec_send_frame(c, frame);
  if (sent < 0) {
    // A frame the encoder refuses is missing from the file.
    Report(messages.encoding, "avcodec_send_frame", sent);
    writeFailed_ = true;
    return;
  }
  for (;;) {
    const int received = avcodec_receive_packet(c, packet);
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) break;
    if (received < 0) {
      Report(messages.encoding, "avcodec_receive_packet", received);
      writeFailed_ = true;
      break;
    }
    // Every picture lasts one tick. Without a duration a container that keeps
    // an edit list (mp4, mov) cuts the last picture off the file's length.
    if (c->codec_type == AVMEDIA_TYPE_VIDEO && packet->duration <= 0) packet->duration = 1;
    av_packet_rescale_ts(packet, c->time_base, stream->time_base);
    packet->stream_index = stream->index;
    const int written = av_interleaved_write_frame(formatContext_.get(), packet);
    if (written != 0) {
      Report(messages.writing, "av_interleaved_write_frame", written);
      writeFailed_ = true;
    }
    av_packet_unref(packet);
  }
}

void VideoWriter::close() {
  if (!formatContext_) return;
  // Pictures the encoder still holds back go into the file before the trailer.
  if (picture_) encode(nullptr);
  // The sound goes on to the end of the last picture, and the encoder gives
  // back what it holds.
  if (picture_ && audio_)
    writeAudioUpTo(av_rescale_q(nextPts_, codecContext_->time_base, audio_->codec->time_base), true);
  const bool complete = finishFile();
  // A file written under a temporary name gets the output name only with its
  // index; release removes it otherwise.
  if (complete && !temporaryName_.empty()) {
    if (std::rename(temporaryName_.c_str(), fileName_.c_str()) == 0) {
      temporaryName_.clear();
    } else {
      const int error = errno;
      std::fprintf(stderr, "Could not rename '%s' to '%s'\n", temporaryName_.c_str(), fileName_.c_str());
      std::fprintf(stderr, "  rename: %s\n", std::strerror(error));
      writeFailed_ = true;
    }
  }
  release();
}

bool VideoWriter::finishFile() {
  AVFormatContext* context = formatContext_.get();
  bool complete = true;
  const int trailer = av_write_trailer(context);
  if (trailer < 0) {
    Report("Error while writing video trailer\n", "av_write_trailer", trailer);
    writeFailed_ = true;
    complete = false;
  }
  // Closing flushes what is still buffered; a failure there loses the end of
  // the file. After a failed trailer it is the same failure, said once.
  if (context->pb && !(context->oformat->flags & AVFMT_NOFILE)) {
    const int closed = avio_closep(&context->pb);
    if (closed < 0) {
      if (complete) Report("Error while closing video file\n", "avio_closep", closed);
      writeFailed_ = true;
      complete = false;
    }
  }
  return complete;
}

void VideoWriter::release() {
  audio_.reset();
  codecContext_.reset();
  picture_.reset();
  packet_.reset();
  scratch_.clear();
  scratch_.shrink_to_fit();
  formatContext_.reset();  // closes the file
  videoStream_ = nullptr;
  outputFormat_ = nullptr;
  nextPts_ = 0;
  limitedRange_ = false;
  // A file still under its temporary name never got its index.
  if (!temporaryName_.empty()) ::unlink(temporaryName_.c_str());
  temporaryName_.clear();
  fileName_.clear();
}
