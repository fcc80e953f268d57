// A media file held in memory (a clip from the show archive), opened by libavformat through
// a custom I/O context that reads and seeks in the bytes.
//
// Threads: one thread at a time; the bytes are shared and never written.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct AVFormatContext;
struct AVIOContext;

class MemoryInput {
 public:
  explicit MemoryInput(std::shared_ptr<const std::string> bytes);
  ~MemoryInput();
  MemoryInput(const MemoryInput&) = delete;
  MemoryInput& operator=(const MemoryInput&) = delete;

  // Opens the bytes as a media file; a negative FFmpeg error when that fails.
  int open();
  // The opened input; null before open() succeeded.
  AVFormatContext* format() const { return format_.get(); }

 private:
  struct IoDeleter {
    void operator()(AVIOContext* io) const;
  };
  struct FormatDeleter {
    void operator()(AVFormatContext* c) const;
  };
  static int Read(void* opaque, unsigned char* buffer, int size);
  static int64_t Seek(void* opaque, int64_t offset, int whence);

  std::shared_ptr<const std::string> bytes_;
  int64_t at_ = 0;
  // The I/O context outlives the format context that reads through it.
  std::unique_ptr<AVIOContext, IoDeleter> io_;
  std::unique_ptr<AVFormatContext, FormatDeleter> format_;
};
