#include "MemoryInput.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

void MemoryInput::IoDeleter::operator()(AVIOContext* io) const {
  if (io) av_freep(&io->buffer);
  avio_context_free(&io);
}

void MemoryInput::FormatDeleter::operator()(AVFormatContext* c) const { avformat_close_input(&c); }

MemoryInput::MemoryInput(std::shared_ptr<const std::string> bytes) : bytes_(std::move(bytes)) {}

MemoryInput::~MemoryInput() {
  format_.reset();  // before the I/O context it reads through
  io_.reset();
}

int MemoryInput::Read(void* opaque, unsigned char* buffer, int size) {
  auto* self = static_cast<MemoryInput*>(opaque);
  const int64_t left = static_cast<int64_t>(self->bytes_->size()) - self->at_;
  if (left <= 0) return AVERROR_EOF;
  const int n = static_cast<int>(std::min<int64_t>(left, size));
  std::memcpy(buffer, self->bytes_->data() + self->at_, n);
  self->at_ += n;
  return n;
}

int64_t MemoryInput::Seek(void* opaque, int64_t offset, int whence) {
  auto* self = static_cast<MemoryInput*>(opaque);
  const int64_t size = static_cast<int64_t>(self->bytes_->size());
  if (whence & AVSEEK_SIZE) return size;
  int64_t to = offset;
  if ((whence & 3) == SEEK_CUR) to = self->at_ + offset;
  if ((whence & 3) == SEEK_END) to = size + offset;
  if (to < 0 || to > size) return AVERROR(EINVAL);
  self->at_ = to;
  return to;
}

int MemoryInput::open() {
  if (!bytes_) return AVERROR(EINVAL);
  format_.reset();
  io_.reset();
  at_ = 0;
  constexpr int kBuffer = 65536;
  auto* buffer = static_cast<unsigned char*>(av_malloc(kBuffer));
  if (!buffer) return AVERROR(ENOMEM);
  io_.reset(avio_alloc_context(buffer, kBuffer, 0, this, Read, nullptr, Seek));
  if (!io_) {
    av_free(buffer);
    return AVERROR(ENOMEM);
  }
  AVFormatContext* raw = avformat_alloc_context();
  if (!raw) return AVERROR(ENOMEM);
  raw->pb = io_.get();
  raw->flags |= AVFMT_FLAG_CUSTOM_IO;
  const int opened = avformat_open_input(&raw, nullptr, nullptr, nullptr);  // frees the context on failure
  if (opened < 0) return opened;
  format_.reset(raw);
  return 0;
}
