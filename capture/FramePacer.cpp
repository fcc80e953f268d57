#include "FramePacer.h"

#include <chrono>
#include <cstdio>
#include <cstring>

std::atomic<int> g_running{0};
std::atomic<int> g_frameReady{0};

FramePacer::FramePacer(Show& show, Drawer& drawer, Host& host) : show_(show), drawer_(drawer), host_(host) {}

FramePacer::~FramePacer() { stopWorker(); }

void FramePacer::prepare(CaptureSurface& surface, int32_t frameRate, int32_t advanceThreshold) {
  surface_ = &surface;
  frameRate_ = frameRate;
  advanceThreshold_ = advanceThreshold >= 1 ? advanceThreshold : frameRate;
  width_ = surface.width();
  height_ = surface.height();
  sameFrameCount_ = 0;
  drawing_ = false;
  ++generation_;
  busyTicks_ = 0;
  droppedTicks_.store(0, std::memory_order_relaxed);
  filmedFrames_.store(0, std::memory_order_relaxed);
  writtenFrames_.store(0, std::memory_order_relaxed);
  writeNs_.store(0, std::memory_order_relaxed);
}

void FramePacer::attach(FrameSink& sink, PreviewSink* preview) {
  sink_ = &sink;
  preview_ = preview;
}

void FramePacer::startWorker(FrameSink& sink, PreviewSink* preview) {
  stopWorker();  // a new worker never overlaps the last pass of an old one
  attach(sink, preview);
  g_running.store(1, std::memory_order_release);
  g_frameReady.store(0, std::memory_order_release);
  worker_ = std::thread([this] { RunEncoderLoop(); });
}

void FramePacer::stopWorker() {
  if (drawing_) drawer_.cancelDraw();
  drawing_ = false;
  ++generation_;
  g_running.store(0, std::memory_order_release);
  g_frameReady.store(0, std::memory_order_release);
  { std::lock_guard<std::mutex> lock(wakeMutex_); }
  wake_.notify_all();
  if (worker_.joinable()) worker_.join();
}

void FramePacer::tick() {
  // No conversion runs (a tick that was already on its way when the
  // conversion stopped): nothing to film, and "完成!" was already shown.
  if (g_running.load(std::memory_order_acquire) == 0) return;
  // A show that cannot be played, or a dead renderer, ends the conversion at
  // once (the host tells why); also while a draw waits for the page.
  if (show_.showFailed() != 0 || show_.rendererFailed() != 0) {
    host_.StopConversion();
    return;
  }
  // The last tick's frame is still being drawn: its steps 6 and 7 follow.
  if (drawing_) {
    ++busyTicks_;
    return;
  }
  // 1. Nothing to film into, or the page has not reported its first slide.
  if (surface_ == nullptr || surface_->captureBits() == nullptr || show_.pageReady() == 0) return;
  // 2. The end is acted on even while a frame waits for the worker.
  if (show_.showEnded() != 0) {
    host_.StopConversion();
    host_.showEndMessage("完成!");
    return;
  }
  // 3. The worker has not taken the last frame: drop this tick.
  if (g_frameReady.load(std::memory_order_acquire) == 1) {
    droppedTicks_.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  // 4. The still picture has stood long enough (one second of video unless
  // asked otherwise): step the show before filming, so this tick's frame
  // already shows what the step did (the drawer waits until the page has
  // done it). A clip the show plays holds it.
  if (show_.playing(filmedFrames_.load(std::memory_order_relaxed))) sameFrameCount_ = 0;
  if (sameFrameCount_ >= advanceThreshold_) {
    sameFrameCount_ = 0;
    show_.AdvanceShow();
  }
  // 5. Film frame n, the page as it stands n / frameRate seconds after the
  // first frame; a failed draw leaves the previous picture in the surface.
  drawing_ = true;
  const uint64_t generation = generation_;
  drawer_.beginDraw(*surface_, filmedFrames_.load(std::memory_order_relaxed),
                    [this, generation] { finishTick(generation); });
}

void FramePacer::finishTick(uint64_t generation) {
  if (generation != generation_ || !drawing_) return;  // the conversion stopped meanwhile
  drawing_ = false;
  // 6. Hand the slot to the worker only after the draw has finished.
  filmedFrames_.fetch_add(1, std::memory_order_relaxed);
  g_frameReady.store(1, std::memory_order_release);
  {
    std::lock_guard<std::mutex> lock(wakeMutex_);  // a worker about to wait sees the flag
  }
  wake_.notify_one();
  // 7. Slide counter.
  host_.setStatusText(statusText(show_.currentSlide(), show_.slideCount()));
}

bool FramePacer::workerPass() {
  if (g_frameReady.load(std::memory_order_acquire) == 0) return false;
  const size_t bytes = static_cast<size_t>(width_) * static_cast<size_t>(height_) * 3;
  const uint8_t* bits = surface_->captureBits();
  uint8_t* previous = surface_->previousFrame();
  if (std::memcmp(bits, previous, bytes) == 0) {
    ++sameFrameCount_;
  } else {
    sameFrameCount_ = 0;
  }
  if (preview_ != nullptr) {
    makePreview(bits, width_, height_, previewBuffer_.data());
  }
  std::memcpy(previous, bits, bytes);
  // From here on the UI thread may film the next frame while this one encodes.
  g_frameReady.store(0, std::memory_order_release);
  if (frameTaken_) frameTaken_();
  if (preview_ != nullptr) {
    preview_->previewReady(previewBuffer_.data(), kPreviewWidth, kPreviewHeight);
  }
  const auto started = std::chrono::steady_clock::now();
  sink_->writeFrame(previous, width_, height_);
  writeNs_.fetch_add(
      static_cast<uint64_t>(
          std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - started).count()),
      std::memory_order_relaxed);
  writtenFrames_.fetch_add(1, std::memory_order_relaxed);
  return true;
}

void FramePacer::RunEncoderLoop() {
  while (g_running.load(std::memory_order_acquire) != 0) {
    if (!workerPass()) {
      std::unique_lock<std::mutex> lock(wakeMutex_);
      wake_.wait_for(lock, std::chrono::milliseconds(kWorkerPollMs), [] {
        return g_frameReady.load(std::memory_order_acquire) != 0 || g_running.load(std::memory_order_acquire) == 0;
      });
    }
  }
}

std::string FramePacer::statusText(int currentSlide, int slideCount) {
  char text[64];
  std::snprintf(text, sizeof text, "转到：%d/%d", currentSlide, slideCount);
  return text;
}

void FramePacer::makePreview(const uint8_t* frame, int32_t width, int32_t height, uint8_t* preview) {
  for (int32_t y = 0; y < kPreviewHeight; ++y) {
    // Preview row y (top-down) samples frame row sy counted from the top;
    // the frame stores its bottom row first.
    const int32_t sy = static_cast<int32_t>((static_cast<int64_t>(y) * height) / kPreviewHeight);
    const uint8_t* row = frame + static_cast<size_t>(height - 1 - sy) * static_cast<size_t>(width) * 3;
    uint8_t* out = preview + static_cast<size_t>(y) * kPreviewWidth * 3;
    for (int32_t x = 0; x < kPreviewWidth; ++x) {
      const int32_t sx = static_cast<int32_t>((static_cast<int64_t>(x) * width) / kPreviewWidth);
      std::memcpy(out + x * 3, row + static_cast<size_t>(sx) * 3, 3);
    }
  }
}
