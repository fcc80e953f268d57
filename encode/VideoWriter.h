// Video file writer: one output file holding one video stream in the
// container that the file name's extension selects, encoded with that
// container's default video codec (FFmpeg's libavformat/libavcodec).
//
// Threads: open and close run on the UI thread; writeFrame runs on the encoder
// worker thread, only between an open that returned 1 and the close. The
// writer takes no lock: the caller starts the worker after open and stops it
// before close. isOpen and codecFlags may be called on the UI thread while no
// worker runs.
//
// Failures are one-line English messages on standard error:
//   "Memory error\n", "Could not alloc stream\n",
//   "Invalid output format parameters\n", "codec not found\n",
//   "could not open codec\n", "Could not allocate picture\n",
//   "Could not open '<file>'\n", "Error while writing video frame\n".
// A file name whose extension no container claims makes open return 0 with
// no message.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "EncodeSettings.h"

struct AVFormatContext;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct AVOutputFormat;

class VideoWriter {
 public:
  VideoWriter();
  ~VideoWriter();
  VideoWriter(const VideoWriter&) = delete;
  VideoWriter& operator=(const VideoWriter&) = delete;

  // UI thread. Deletes any existing file of that name, marks the converter's
  // tables for rebuilding, builds the container, stream, encoder, picture and
  // packet, opens the file and writes the header. 1 on success, 0 on failure
  // (nothing stays open and no output file is left behind).
  int open(const std::string& fileName, const EncodeSettings& settings);

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
  // The encoder's AV_CODEC_FLAG_* bits for the open file; 0 while closed.
  int codecFlags() const;
  // True when the file could not be written completely: a packet, the trailer
  // or the final flush to disk failed (a full disk, a file size limit). Reset
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

  bool addVideoStream(int codecId, const EncodeSettings& settings);
  bool openVideo();
  void fillPicture(const uint8_t* frame, int32_t width, int32_t height);
  void encode(const AVFrame* picture);
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
  int64_t nextPts_ = 0;
  bool writeFailed_ = false;
};
