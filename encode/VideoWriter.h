// Video file writer: one output file holding one video stream in the
// container that the file name's extension selects, encoded with that
// container's default video codec (FFmpeg's libavformat/libavcodec).
//
// Threads: open and close run on the UI thread; writeFrame runs on the encoder
// worker thread, only between an open that returned 1 and the close. The
// writer takes no lock: the caller starts the worker after open and stops it
// before close. isOpen and codecFlags may be called on the UI thread while no
// worker runs. CheckSettings may be called on any thread at any time.
//
// Colours: the converter gives full-range BT.601 samples. H.264 says so in its
// stream (full range, BT.601 matrix, sRGB primaries and transfer); codecs that
// cannot say it (FLV1, MS-MPEG-4, MPEG-1 and their kind) get their samples
// mapped to limited range after the conversion, as their decoders expect.
//
// MP4, MOV and 3GP files get their index (moov) before the data. They are
// written under a temporary name beside the output file (".<name>.<pid>.part")
// and renamed to the output name by close once the trailer with the index is
// written, so no file without an index ever carries the output name; a file
// whose index could not be written is removed. Such temporary files of the same
// output left by processes that died (killed before close) are removed by open.
//
// Sound: open may be given an AudioSource. The file then gets a stereo audio
// stream in the container's usual codec (AAC in MP4/MOV/3GP, MP3 in FLV/SWF at
// 44.1 kHz, WMA 2 in ASF/WMV, MP2 in MPEG program streams; 48 kHz where the
// codec allows), whose sample 0 plays with frame 0. writeFrame asks the source
// for the track up to AudioSource::kLagSeconds behind the picture and the
// muxer interleaves both streams by time stamp; close asks for the rest, up to
// the end of the last frame, so a stopped conversion has sound to its end.
// Without a source the file is exactly what it is without this feature.
//
// Failures are one-line English messages on standard error:
//   "Memory error\n", "Could not alloc stream\n",
//   "Invalid output format parameters\n", "codec not found\n",
//   "could not open codec\n", "Could not allocate picture\n",
//   "Could not open '<file>'\n", "Error while writing video frame\n",
//   "Error while encoding video frame\n", "Error while writing video trailer\n",
//   "Error while encoding audio frame\n", "Error while writing audio frame\n",
//   "audio codec not found\n", "could not open audio codec\n",
//   "Error while closing video file\n", "Could not rename '<temporary>' to '<file>'\n".
// Each failure of an FFmpeg call is followed by one more line that names the
// call and what FFmpeg said ("  avcodec_open2: Invalid argument\n"). A file
// name whose extension no container claims, or a container without a video
// codec, makes open return 0 with no message.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "AudioSource.h"
#include "EncodeSettings.h"

struct AVFormatContext;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct AVOutputFormat;
struct SwrContext;

class VideoWriter {
 public:
  VideoWriter();
  ~VideoWriter();
  VideoWriter(const VideoWriter&) = delete;
  VideoWriter& operator=(const VideoWriter&) = delete;

  // Any thread. Tells whether the container that `fileName` selects, and its
  // default video codec, can carry pictures of settings.width x
  // settings.height at settings.frameRate frames per second and
  // settings.bitRate bits per second: "" when they can, else one English
  // sentence that says why not (an unknown extension, MPEG-1's size limit and
  // frame rates, FLV1's 16-bit dimensions, odd sizes). Writes nothing to disk.
  static std::string CheckSettings(const std::string& fileName, const EncodeSettings& settings);

  // UI thread. Deletes any existing file of that name, marks the converter's
  // tables for rebuilding, builds the container, stream, encoder, picture and
  // packet, opens the file and writes the header. 1 on success, 0 on failure
  // (nothing stays open and no output file is left behind). With `sound`
  // (not owned; it must outlive the close) the file also gets an audio stream;
  // an audio encoder that cannot be opened fails the open.
  int open(const std::string& fileName, const EncodeSettings& settings, AudioSource* sound = nullptr);

  // Any thread. The audio codec and the sample rate that a file of this name
  // gets its sound in (AV_CODEC_ID_NONE when the container takes none).
  static int AudioCodecFor(const std::string& fileName);
  static int SampleRateFor(const std::string& fileName);

  // Encoder worker thread. Converts one frame (blue-green-red, bottom row
  // first, width x height as given to open) into the picture, encodes it and
  // writes whatever packets the encoder gives back. Frame n (from 0) of a file
  // is presented at n / frameRate seconds. Does nothing while closed.
  void writeFrame(const uint8_t* frame, int32_t width, int32_t height);

  // UI thread. Drains the encoder (every frame handed to writeFrame reaches
  // the file), writes the trailer, closes the file and releases everything.
  // Does nothing when no file is open.
  void close();

  // UI thread (or any thread while no worker runs).
  bool isOpen() const;
  // True while the open file has an audio stream.
  bool hasAudio() const;
  // The encoder's AV_CODEC_FLAG_* bits for the open file; 0 while closed.
  int codecFlags() const;
  // True when the file could not be written completely: a picture could not be
  // encoded, or a packet, the trailer, the final flush to disk or the rename
  // failed (a full disk, a file size limit). Reset
  // by open; still readable after close, so the caller can tell a finished
  // file from a broken one.
  bool writeFailed() const;

 private:
  struct FormatContextDeleter {
    void operator()(AVFormatContext* context) const;
  };
  struct CodecContextDeleter {
    void operator()(AVCodecContext* context) const;
  };
  struct FrameDeleter {
    void operator()(AVFrame* frame) const;
  };
  struct PacketDeleter {
    void operator()(AVPacket* packet) const;
  };
  struct ResamplerDeleter {
    void operator()(SwrContext* context) const;
  };

  // The audio stream: its encoder, the encoder's frame, the source's planar
  // float samples for one frame and their conversion to the encoder's format.
  struct AudioStream {
    AudioSource* source = nullptr;
    AVStream* stream = nullptr;  // owned by formatContext_
    std::unique_ptr<AVCodecContext, CodecContextDeleter> codec;
    std::unique_ptr<AVFrame, FrameDeleter> frame;
    std::unique_ptr<SwrContext, ResamplerDeleter> converter;
    std::vector<float> left, right;
    int frameSize = 0;           // samples per encoder frame
    int64_t samplesWritten = 0;  // samples handed to the encoder so far
  };

  bool addVideoStream(int codecId, const EncodeSettings& settings);
  bool openVideo();
  bool fillPicture(const uint8_t* frame, int32_t width, int32_t height);
  void encode(const AVFrame* picture);
  // The lines written when a stream's frame cannot be encoded or its packet written.
  struct Messages {
    const char* encoding;
    const char* writing;
  };
  static Messages VideoMessages() { return {"Error while encoding video frame\n", "Error while writing video frame\n"}; }
  static Messages AudioMessages() { return {"Error while encoding audio frame\n", "Error while writing audio frame\n"}; }
  // Sends `frame` (nullptr: drains) to the encoder `c` and writes the packets it gives
  // back into `stream`, interleaved with the other stream's.
  void send(AVCodecContext* c, AVStream* stream, const AVFrame* frame, const Messages& messages);
  bool addAudioStream(AudioSource* source, const std::string& fileName);
  // Encodes the track up to `endSample`; `last` also encodes a short last
  // frame and drains the encoder.
  void writeAudioUpTo(int64_t endSample, bool last);
  void encodeAudio(int count);
  void sendAudio(const AVFrame* frame);
  bool finishFile();
  void release();

  const AVOutputFormat* outputFormat_ = nullptr;
  std::unique_ptr<AVFormatContext, FormatContextDeleter> formatContext_;
  AVStream* videoStream_ = nullptr;  // owned by formatContext_
  std::unique_ptr<AVCodecContext, CodecContextDeleter> codecContext_;
  std::unique_ptr<AVFrame, FrameDeleter> picture_;
  std::unique_ptr<AVPacket, PacketDeleter> packet_;
  // Used only when the picture's planes cannot take the converter's layout
  // (the encoder kept the last buffer and a padded one replaced it).
  std::vector<uint8_t> scratch_;
  std::unique_ptr<AudioStream> audio_;
  int64_t nextPts_ = 0;
  bool writeFailed_ = false;
  // The codec cannot state full range: the planes are mapped to limited range.
  bool limitedRange_ = false;
  // The user's file name, and the temporary name the file is written under
  // until close ("" when it is written under its own name).
  std::string fileName_;
  std::string temporaryName_;
};
