// The pictures of one video clip (libavcodec), decoded in order as the film asks for them and
// scaled (libswscale) to the size of the shape that shows them.
//
// A clip's time is counted in whole film frames from its start: the picture for film frame k
// after the start is the clip's last frame whose time stamp lies at or before k / frameRate
// seconds (integer arithmetic on the stream's time stamps), so what a film frame shows never
// depends on how fast anything runs. A looping clip starts over after its length; one that
// plays once keeps its last picture.
//
// Threads: Open on any thread; after it one thread at a time (the encoder worker calls
// picture(), the UI thread only read the length before the conversion started).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "MemoryInput.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

class ClipFrames {
 public:
  // Opens the clip held in `bytes` (`name` names it in the problem). Null, with `problem` in
  // plain words, when the file cannot be read at all; a file without pictures (a sound) gives
  // a clip whose hasPicture() is false, which still knows its length.
  static std::unique_ptr<ClipFrames> Open(const std::string& name, std::shared_ptr<const std::string> bytes,
                                          std::string* problem);
  ~ClipFrames();

  bool hasPicture() const { return decoder_ != nullptr; }
  // The clip's length in film frames at `frameRate` (rounded up); 0 when the file does not say.
  int64_t lengthInFrames(int frameRate) const;

  // The picture `frame` film frames after the clip's start at `frameRate`, scaled to `width` x
  // `height`: blue-green-red, top row first, width x 3 bytes a row. Null when the clip has no
  // picture that can be decoded.
  const uint8_t* picture(int64_t frame, int frameRate, bool loop, int width, int height);

 private:
  struct CodecDeleter {
    void operator()(AVCodecContext* c) const;
  };
  struct FrameDeleter {
    void operator()(AVFrame* f) const;
  };
  struct PacketDeleter {
    void operator()(AVPacket* p) const;
  };
  struct ScalerDeleter {
    void operator()(SwsContext* s) const;
  };

  explicit ClipFrames(std::shared_ptr<const std::string> bytes) : input_(std::move(bytes)) {}
  bool decodeNext();  // into next_; false at the end
  void rewind();
  int64_t timeOf(const AVFrame* frame) const;

  MemoryInput input_;
  int stream_ = -1;
  int64_t start_ = 0;     // the stream's first time stamp (its time base)
  int64_t duration_ = 0;  // the stream's length (its time base), 0 when unknown
  int timeBaseNum_ = 1, timeBaseDen_ = 1;
  std::unique_ptr<AVCodecContext, CodecDeleter> decoder_;
  std::unique_ptr<AVPacket, PacketDeleter> packet_;
  std::unique_ptr<AVFrame, FrameDeleter> current_, next_;
  bool haveCurrent_ = false, haveNext_ = false;
  bool inputDone_ = false, decoderDone_ = false;
  int64_t currentTime_ = 0, nextTime_ = 0, lastTime_ = 0;
  std::unique_ptr<SwsContext, ScalerDeleter> scaler_;
  std::vector<uint8_t> scaled_;
  int64_t scaledTime_ = -1;  // the time of the frame scaled_ holds (at scaledWidth_ x scaledHeight_)
  int scaledWidth_ = 0, scaledHeight_ = 0;
  bool scaledValid_ = false;
};
