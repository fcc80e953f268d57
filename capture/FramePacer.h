// The main loop of a running conversion: the capture tick (UI thread) and the
// encoder worker (its own thread), meeting in a capture slot one frame deep.
//
// g_frameReady is the token that says who may touch the slot (the capture
// surface's pixels and sameFrameCount): 0 = the UI thread, 1 = the worker.
// Each side gives the token away only after its last access. Both flags are
// written with release and read with acquire ordering, so what one side wrote
// into the slot is visible to the other once it sees the flag change.
//
// The pacer knows nothing of Qt: the show, the drawing, the encoder, the status
// line, the preview and the message box reach it through the small interfaces
// below, so the same code runs in the dialog and under a fake renderer in tests.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "CaptureSurface.h"

// 1 while a conversion runs; the worker loop runs while it is set.
extern std::atomic<int> g_running;
// 1 while a filmed frame waits in the capture surface for the worker.
extern std::atomic<int> g_frameReady;

class FramePacer {
 public:
  // Size of the preview the worker makes of every frame.
  static constexpr int32_t kPreviewWidth = 60;
  static constexpr int32_t kPreviewHeight = 40;
  // The idle worker looks for a frame this often at the latest; a tick that hands one over
  // also wakes it at once.
  static constexpr int kWorkerPollMs = 10;

  // The slide show being filmed. UI thread only.
  class Show {
   public:
    virtual ~Show() = default;
    virtual int pageReady() const = 0;
    virtual int showEnded() const = 0;
    virtual int currentSlide() const = 0;
    virtual int slideCount() const = 0;
    // The show could not be played to its end, or the browser's renderer failed: the
    // conversion stops without the end message.
    virtual int showFailed() const { return 0; }
    virtual int rendererFailed() const { return 0; }
    // One step of the show: next animation step, next slide or the end.
    virtual void AdvanceShow() = 0;
    // The show plays something at frame `frame` that it waits for (a clip that plays once):
    // the picture does not count as standing still.
    virtual bool playing(uint64_t /*frame*/) const { return false; }
  };

  // Paints the show's current picture into the surface. UI thread only.
  // Its result is not looked at: a failed draw leaves the old picture.
  class Drawer {
   public:
    using Done = std::function<void()>;
    virtual ~Drawer() = default;
    virtual bool draw(CaptureSurface& surface) = 0;
    // Films frame `frame` (counted from 0) into the surface and calls `done` once the surface
    // holds it, perhaps later, from the UI thread's event loop (a browser draws
    // asynchronously), perhaps before returning. A drawer that leaves the surface as it is
    // hands on the last picture. Calls `done` at most once; never after cancelDraw(). By
    // default: draw(), then done().
    virtual void beginDraw(CaptureSurface& surface, uint64_t /*frame*/, Done done) {
      draw(surface);
      done();
    }
    // Forgets a draw that has not finished (the conversion stops).
    virtual void cancelDraw() {}
  };

  // Receives every frame in the frame format. Worker thread only.
  class FrameSink {
   public:
    virtual ~FrameSink() = default;
    virtual void writeFrame(const uint8_t* frame, int32_t width, int32_t height) = 0;
  };

  // Receives the 60 x 40 preview of every frame (blue-green-red, top row
  // first, no row gap). Called on the worker thread: an implementation must
  // not touch widgets here, only store the picture and ask the UI to repaint.
  class PreviewSink {
   public:
    virtual ~PreviewSink() = default;
    virtual void previewReady(const uint8_t* bgr, int32_t width, int32_t height) = 0;
  };

  // The dialog around the tick. UI thread only.
  class Host {
   public:
    virtual ~Host() = default;
    virtual void setStatusText(const std::string& text) = 0;
    // Ends the conversion (stops the timer and the worker, closes the file).
    virtual void StopConversion() = 0;
    // Shows "完成!" once the show has reached its end.
    virtual void showEndMessage(const std::string& text) = 0;
  };

  FramePacer(Show& show, Drawer& drawer, Host& host);
  ~FramePacer();  // joins a worker that is still running
  FramePacer(const FramePacer&) = delete;
  FramePacer& operator=(const FramePacer&) = delete;

  // UI thread. Resets the counters for a conversion at `frameRate` frames per
  // second filming into `surface`; no worker may be running. The show is
  // stepped once sameFrameCount reaches `advanceThreshold` (below 1: the frame
  // rate, one second of still picture).
  void prepare(CaptureSurface& surface, int32_t frameRate, int32_t advanceThreshold = 0);

  // UI thread, no worker running. Where the worker sends frames and previews;
  // `sink` and `preview` (may be null) must outlive the worker.
  void attach(FrameSink& sink, PreviewSink* preview);

  // UI thread. attach(), then sets g_running, clears g_frameReady and starts
  // the worker.
  void startWorker(FrameSink& sink, PreviewSink* preview);

  // Called on the worker thread each time it has taken a frame and released the slot (before
  // encoding it): the moment the next tick can film. Set while no worker runs; may be empty.
  void setFrameTaken(std::function<void()> callback) { frameTaken_ = std::move(callback); }

  // UI thread. Clears both flags and waits until the worker has left its loop
  // (a pass in progress, encoding included, runs to its end). Harmless when no
  // worker runs. After it returns nobody touches the surface or the sink.
  void stopWorker();
  bool workerRunning() const { return worker_.joinable(); }

  // UI thread: the capture tick, run for every timer period (or, without a timer, as soon
  // as the worker has taken the last frame). A tick that comes while a frame is still being
  // drawn does nothing: the frames stay the same whatever the pace of the ticks.
  void tick();
  bool drawing() const { return drawing_; }

  // Worker thread: the encoder loop; returns once g_running is clear.
  void RunEncoderLoop();
  // Worker thread (or a test standing in for it): one pass without the idle
  // sleep. Returns true when it took a frame.
  bool workerPass();

  // Counters of the current conversion. Relaxed atomics: for progress and
  // benchmarks only, never for the hand-off.
  int32_t sameFrameCount() const { return sameFrameCount_; }  // only while holding the slot
  uint64_t droppedTicks() const { return droppedTicks_.load(std::memory_order_relaxed); }
  uint64_t busyTicks() const { return busyTicks_; }  // ticks that came during a draw (UI thread)
  uint64_t filmedFrames() const { return filmedFrames_.load(std::memory_order_relaxed); }
  uint64_t writtenFrames() const { return writtenFrames_.load(std::memory_order_relaxed); }
  double writeSeconds() const { return static_cast<double>(writeNs_.load(std::memory_order_relaxed)) / 1e9; }

  // "转到：%d/%d"
  static std::string statusText(int currentSlide, int slideCount);
  // Nearest-pixel 60 x 40 reduction of a bottom-up frame into a top-down preview.
  static void makePreview(const uint8_t* frame, int32_t width, int32_t height, uint8_t* preview);

 private:
  // Steps 6 and 7 of the tick, once the draw of frame `generation`'s tick has finished.
  void finishTick(uint64_t generation);

  Show& show_;
  Drawer& drawer_;
  Host& host_;
  CaptureSurface* surface_ = nullptr;
  int32_t frameRate_ = 25;
  int32_t advanceThreshold_ = 25;
  int32_t width_ = 0;
  int32_t height_ = 0;
  // Part of the capture slot: written by the worker, read and reset by the tick,
  // each only while holding g_frameReady.
  int32_t sameFrameCount_ = 0;
  FrameSink* sink_ = nullptr;
  PreviewSink* preview_ = nullptr;
  std::array<uint8_t, kPreviewWidth * kPreviewHeight * 3> previewBuffer_{};  // worker only
  std::thread worker_;
  std::function<void()> frameTaken_;  // set before the worker starts, called by it
  bool drawing_ = false;              // UI thread: a tick waits for its draw
  uint64_t generation_ = 0;           // UI thread: a draw of an earlier conversion is ignored
  uint64_t busyTicks_ = 0;
  std::atomic<uint64_t> droppedTicks_{0};
  std::atomic<uint64_t> filmedFrames_{0};
  std::atomic<uint64_t> writtenFrames_{0};
  std::atomic<uint64_t> writeNs_{0};  // time the worker spent in writeFrame
  // Wakes the idle worker when a frame is handed over (the flag stays the hand-off).
  std::mutex wakeMutex_;
  std::condition_variable wake_;
};
