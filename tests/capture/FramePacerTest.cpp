// The capture tick and the encoder worker against a fake show whose pictures
// are plain colours: the pacing rule, dropped ticks, the end of the show, and a
// real two-thread run (built with ThreadSanitizer in the sanitizer build).
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "CaptureSurface.h"
#include "FramePacer.h"

namespace {

// A show of still pictures, one colour each. AdvanceShow moves to the next
// picture; past the last one the show reports its end and keeps the picture.
class FakeShow : public FramePacer::Show {
 public:
  explicit FakeShow(std::vector<uint8_t> colours) : colours_(std::move(colours)) {}
  int pageReady() const override { return ready; }
  int showEnded() const override { return ended; }
  int showFailed() const override { return failed; }
  int rendererFailed() const override { return rendererDead; }
  int currentSlide() const override { return static_cast<int>(index) + 1; }
  int slideCount() const override { return static_cast<int>(colours_.size()); }
  void AdvanceShow() override {
    ++advances;
    if (index + 1 < colours_.size()) {
      ++index;
    } else {
      ended = 1;
    }
  }
  uint8_t colour() const { return colours_[index]; }

  int ready = 1;
  int ended = 0;
  int failed = 0;
  int rendererDead = 0;
  size_t index = 0;
  int advances = 0;

 private:
  std::vector<uint8_t> colours_;
};

class FakeDrawer : public FramePacer::Drawer {
 public:
  explicit FakeDrawer(FakeShow& show) : show_(show) {}
  bool draw(CaptureSurface& surface) override {
    ++draws;
    if (fail) return false;
    std::memset(surface.captureBits(), show_.colour(), surface.frameBytes());
    return true;
  }
  int draws = 0;
  bool fail = false;

 private:
  FakeShow& show_;
};

// A drawer like a browser's: the picture comes later, when the test says so (finishDraw), and
// a frame whose page did not change is handed on without drawing (the surface keeps it).
class DeferredDrawer : public FramePacer::Drawer {
 public:
  explicit DeferredDrawer(FakeShow& show) : show_(show) {}
  bool draw(CaptureSurface&) override { return false; }
  void beginDraw(CaptureSurface& surface, uint64_t frame, Done done) override {
    frames.push_back(frame);
    surface_ = &surface;
    done_ = std::move(done);
  }
  void cancelDraw() override {
    ++cancels;
    done_ = nullptr;
  }
  bool pending() const { return static_cast<bool>(done_); }
  // Completes the draw; `changed` false leaves the surface as it was.
  void finishDraw(bool changed = true) {
    Done done = std::move(done_);
    done_ = nullptr;
    if (changed) std::memset(surface_->captureBits(), show_.colour(), surface_->frameBytes());
    if (done) done();
  }
  std::vector<uint64_t> frames;
  int cancels = 0;
  Done done_;

 private:
  FakeShow& show_;
  CaptureSurface* surface_ = nullptr;
};

// Records the colour of every frame; checks that no frame is torn (a frame
// drawn into while it was copied would mix two colours).
class RecordingSink : public FramePacer::FrameSink {
 public:
  void writeFrame(const uint8_t* frame, int32_t width, int32_t height) override {
    const size_t bytes = static_cast<size_t>(width) * height * 3;
    bool uniform = true;
    for (size_t i = 1; i < bytes; i += 97) uniform = uniform && frame[i] == frame[0];
    if (!uniform || frame[bytes - 1] != frame[0]) ++torn;
    colours.push_back(frame[0]);
    if (encodeDelay.count() > 0) std::this_thread::sleep_for(encodeDelay);
  }
  std::vector<uint8_t> colours;
  int torn = 0;
  std::chrono::microseconds encodeDelay{0};
};

class CountingPreview : public FramePacer::PreviewSink {
 public:
  void previewReady(const uint8_t* bgr, int32_t width, int32_t height) override {
    std::lock_guard<std::mutex> lock(mutex);
    ++count;
    first = bgr[0];
    EXPECT_EQ(width, 60);
    EXPECT_EQ(height, 40);
  }
  std::mutex mutex;
  int count = 0;
  uint8_t first = 0;
};

class FakeHost : public FramePacer::Host {
 public:
  void setStatusText(const std::string& text) override {
    status = text;
    ++statusWrites;
  }
  void StopConversion() override {
    ++stops;
    if (pacer != nullptr) pacer->stopWorker();
  }
  void showEndMessage(const std::string& text) override { messages.push_back(text); }

  FramePacer* pacer = nullptr;
  std::string status;
  int statusWrites = 0;
  int stops = 0;
  std::vector<std::string> messages;
};

// Colour runs of the recorded video, in order.
std::vector<std::pair<uint8_t, int>> Runs(const std::vector<uint8_t>& colours) {
  std::vector<std::pair<uint8_t, int>> runs;
  for (uint8_t c : colours) {
    if (!runs.empty() && runs.back().first == c) {
      ++runs.back().second;
    } else {
      runs.emplace_back(c, 1);
    }
  }
  return runs;
}

struct Rig {
  explicit Rig(std::vector<uint8_t> colours, int32_t frameRate = 5)
      : show(std::move(colours)), drawer(show), pacer(show, drawer, host) {
    host.pacer = &pacer;
    EXPECT_TRUE(surface.create(32, 24));
    pacer.prepare(surface, frameRate);
  }
  // Stands in for startWorker when the test plays the worker's part itself.
  void beginLockstep() {
    g_running.store(1, std::memory_order_release);
    g_frameReady.store(0, std::memory_order_release);
  }
  // Alternates ticks and worker passes, the worker always keeping up, until the
  // show has stopped (or a bound is reached).
  void playToEndInLockstep() {
    beginLockstep();
    for (int i = 0; i < 1000 && host.stops == 0; ++i) {
      pacer.tick();
      pacer.workerPass();
    }
  }
  FakeShow show;
  FakeDrawer drawer;
  FakeHost host;
  CaptureSurface surface;
  FramePacer pacer;
};

TEST(FramePacerPacing, EveryStillPictureFillsFrameRatePlusOneFramesInOrder) {
  for (int32_t frameRate : {1, 5, 25}) {
    Rig rig({10, 20, 30, 40}, frameRate);
    RecordingSink sink;
    rig.pacer.attach(sink, nullptr);
    rig.playToEndInLockstep();
    ASSERT_EQ(rig.host.stops, 1) << "frameRate " << frameRate;
    auto runs = Runs(sink.colours);
    ASSERT_EQ(runs.size(), 4u);
    for (size_t i = 0; i < runs.size(); ++i) {
      EXPECT_EQ(runs[i].first, 10 * (i + 1));
      EXPECT_GE(runs[i].second, frameRate + 1) << "picture " << i << " at " << frameRate << " fps";
    }
    // With the worker keeping up, the show moves on at the first possible tick.
    for (size_t i = 0; i + 1 < runs.size(); ++i) EXPECT_EQ(runs[i].second, frameRate + 1);
    EXPECT_EQ(rig.host.messages, std::vector<std::string>{"完成!"});
    EXPECT_EQ(rig.host.status, "转到：4/4");
  }
}

TEST(FramePacerPacing, InvisibleStepsDoNotStallTheShow) {
  // Steps 2 and 3 change nothing visible; each still advances after frameRate frames.
  Rig rig({7, 7, 7, 9}, 3);
  RecordingSink sink;
  rig.pacer.attach(sink, nullptr);
  rig.playToEndInLockstep();
  ASSERT_EQ(rig.host.stops, 1);
  auto runs = Runs(sink.colours);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].second, 4 + 3 + 3);
  EXPECT_EQ(rig.show.advances, 4);
}

TEST(FramePacerPacing, DroppedTicksFilmNothingAndDoNotCount) {
  Rig rig({10, 20, 30}, 4);  // not 1: previousFrame starts as bytes 0x01
  RecordingSink sink;
  rig.pacer.attach(sink, nullptr);
  rig.beginLockstep();
  // Random interleaving of ticks and worker passes: many ticks find the slot busy.
  std::mt19937 random(42);
  for (int i = 0; i < 5000 && rig.host.stops == 0; ++i) {
    if (random() % 3 == 0) {
      rig.pacer.workerPass();
    } else {
      const int statusBefore = rig.host.statusWrites;
      const bool busy = g_frameReady.load() == 1;
      const int drawsBefore = rig.drawer.draws;
      rig.pacer.tick();
      if (busy && rig.host.stops == 0) {
        EXPECT_EQ(rig.drawer.draws, drawsBefore);
        EXPECT_EQ(rig.host.statusWrites, statusBefore);
      }
    }
  }
  ASSERT_EQ(rig.host.stops, 1);
  EXPECT_GT(rig.pacer.droppedTicks(), 0u);
  auto runs = Runs(sink.colours);
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].second, 5);
  EXPECT_EQ(runs[1].second, 5);
  EXPECT_GE(runs[2].second, 5);
  EXPECT_EQ(rig.pacer.writtenFrames(), sink.colours.size());
}

TEST(FramePacerTick, NothingIsFilmedBeforeThePageIsReady) {
  Rig rig({1, 2});
  rig.show.ready = 0;
  rig.beginLockstep();
  rig.host.status = "准备转换...";
  for (int i = 0; i < 10; ++i) rig.pacer.tick();
  EXPECT_EQ(rig.drawer.draws, 0);
  EXPECT_EQ(g_frameReady.load(), 0);
  EXPECT_EQ(rig.host.status, "准备转换...");
  rig.show.ended = 1;  // even the end waits for the page
  rig.pacer.tick();
  EXPECT_EQ(rig.host.stops, 0);
  g_running.store(0);
}

TEST(FramePacerTick, EndIsDetectedWhileAFrameWaitsAndReportedOnce) {
  Rig rig({1, 2});
  rig.beginLockstep();
  rig.pacer.tick();
  ASSERT_EQ(g_frameReady.load(), 1);  // the worker has not taken it
  rig.show.ended = 1;
  rig.pacer.tick();
  EXPECT_EQ(rig.host.stops, 1);
  EXPECT_EQ(g_running.load(), 0);
  EXPECT_EQ(g_frameReady.load(), 0);
  // A tick already on its way after the stop does nothing.
  rig.pacer.tick();
  rig.pacer.tick();
  EXPECT_EQ(rig.host.stops, 1);
  EXPECT_EQ(rig.host.messages, std::vector<std::string>{"完成!"});
}

TEST(FramePacerTick, FailedDrawsRepeatThePictureAndStillAdvance) {
  Rig rig({1, 2, 3}, 2);
  RecordingSink sink;
  rig.pacer.attach(sink, nullptr);
  rig.beginLockstep();
  rig.drawer.fail = true;
  for (int i = 0; i < 100 && rig.host.stops == 0; ++i) {
    rig.pacer.tick();
    rig.pacer.workerPass();
  }
  EXPECT_EQ(rig.host.stops, 1);
  EXPECT_EQ(rig.show.advances, 3);
}

TEST(FramePacerPreview, PreviewIsTopDownAndSampledFromTheWholeFrame) {
  const int32_t w = 352, h = 288;
  std::vector<uint8_t> frame(static_cast<size_t>(w) * h * 3, 0);
  // Bottom row first: the last stored rows are the top of the picture.
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      uint8_t* p = &frame[(static_cast<size_t>(y) * w + x) * 3];
      p[0] = y >= h / 2 ? 200 : 50;  // blue: top half bright
      p[2] = x >= w / 2 ? 220 : 30;  // red: right half bright
    }
  }
  std::vector<uint8_t> preview(60 * 40 * 3);
  FramePacer::makePreview(frame.data(), w, h, preview.data());
  EXPECT_EQ(preview[0], 200);                       // top-left: blue bright
  EXPECT_EQ(preview[2], 30);                        //           red dark
  EXPECT_EQ(preview[(39 * 60 + 59) * 3], 50);       // bottom-right: blue dark
  EXPECT_EQ(preview[(39 * 60 + 59) * 3 + 2], 220);  //              red bright
}

TEST(FramePacerThreads, ConcurrentHandOffKeepsFramesWholeAndPaced) {
  Rig rig({11, 22, 33, 44, 55}, 3);
  RecordingSink sink;
  sink.encodeDelay = std::chrono::microseconds(1500);  // slower than the ticks below
  CountingPreview preview;
  rig.pacer.startWorker(sink, &preview);
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (rig.host.stops == 0 && std::chrono::steady_clock::now() < limit) {
    rig.pacer.tick();
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  ASSERT_EQ(rig.host.stops, 1);
  EXPECT_FALSE(rig.pacer.workerRunning());
  EXPECT_EQ(sink.torn, 0);
  EXPECT_GT(rig.pacer.droppedTicks(), 0u);
  auto runs = Runs(sink.colours);
  ASSERT_EQ(runs.size(), 5u);
  for (size_t i = 0; i < runs.size(); ++i) {
    EXPECT_EQ(runs[i].first, 11 * (i + 1));
    EXPECT_GE(runs[i].second, 4);
  }
  std::lock_guard<std::mutex> lock(preview.mutex);
  EXPECT_EQ(static_cast<size_t>(preview.count), sink.colours.size());
  EXPECT_EQ(preview.first, 55);
  EXPECT_EQ(rig.host.messages.size(), 1u);
}

TEST(FramePacerThreads, StopJoinsAWorkerThatIsInsideAFrameWrite) {
  Rig rig({1, 2}, 30);
  RecordingSink sink;
  sink.encodeDelay = std::chrono::milliseconds(200);
  rig.pacer.startWorker(sink, nullptr);
  rig.pacer.tick();
  // Wait until the worker has taken the frame and is encoding it.
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (g_frameReady.load() == 1 && std::chrono::steady_clock::now() < limit) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  rig.pacer.stopWorker();
  // After the stop the frame in hand has been written completely.
  EXPECT_EQ(sink.colours.size(), 1u);
  EXPECT_FALSE(rig.pacer.workerRunning());
}

// A draw that finishes later: ticks meanwhile film nothing, the frame's steps 6 and 7 come
// with the picture, and frames are counted from 0 in the order they are asked for.
TEST(FramePacerAsyncDraw, TicksDuringADrawWaitAndTheFrameIsHandedOnWhenDrawn) {
  FakeShow show({10, 20});
  DeferredDrawer drawer(show);
  FakeHost host;
  FramePacer pacer(show, drawer, host);
  host.pacer = &pacer;
  CaptureSurface surface;
  ASSERT_TRUE(surface.create(16, 8));
  pacer.prepare(surface, 2);
  RecordingSink sink;
  pacer.attach(sink, nullptr);
  g_running.store(1);
  g_frameReady.store(0);

  pacer.tick();
  ASSERT_TRUE(drawer.pending());
  pacer.tick();  // still drawing: nothing
  pacer.tick();
  EXPECT_EQ(drawer.frames.size(), 1u);
  EXPECT_EQ(pacer.busyTicks(), 2u);
  EXPECT_EQ(g_frameReady.load(), 0);
  EXPECT_EQ(host.statusWrites, 0);
  drawer.finishDraw();
  EXPECT_EQ(g_frameReady.load(), 1);
  EXPECT_EQ(host.status, "转到：1/2");
  ASSERT_TRUE(pacer.workerPass());

  // Unchanged frames (no drawing) still count towards the advance, which comes before the
  // draw of its tick: that frame shows the step.
  for (int i = 0; i < 2; ++i) {
    pacer.tick();
    drawer.finishDraw(false);
    ASSERT_TRUE(pacer.workerPass());
  }
  pacer.tick();
  EXPECT_EQ(show.advances, 1);
  drawer.finishDraw();
  ASSERT_TRUE(pacer.workerPass());
  EXPECT_EQ(drawer.frames, (std::vector<uint64_t>{0, 1, 2, 3}));
  EXPECT_EQ(sink.colours, (std::vector<uint8_t>{10, 10, 10, 20}));
  pacer.stopWorker();
}

// Stopping while a draw waits: the draw is cancelled, and a picture that arrives after all
// hands nothing on, also not into the next conversion.
TEST(FramePacerAsyncDraw, StopDuringADrawCancelsItAndALateCompletionIsIgnored) {
  FakeShow show({10, 20});
  DeferredDrawer drawer(show);
  FakeHost host;
  FramePacer pacer(show, drawer, host);
  CaptureSurface surface;
  ASSERT_TRUE(surface.create(16, 8));
  pacer.prepare(surface, 2);
  RecordingSink sink;
  pacer.attach(sink, nullptr);
  g_running.store(1);
  g_frameReady.store(0);
  pacer.tick();
  FramePacer::Drawer::Done late = drawer.done_;
  pacer.stopWorker();
  EXPECT_EQ(drawer.cancels, 1);
  EXPECT_FALSE(pacer.drawing());
  pacer.prepare(surface, 2);
  g_running.store(1);
  late();
  EXPECT_EQ(g_frameReady.load(), 0);
  EXPECT_EQ(pacer.filmedFrames(), 0u);
  EXPECT_EQ(host.statusWrites, 0);
  pacer.stopWorker();
}

// A show that cannot be played, or a dead renderer, stops the conversion at the next tick
// without the end message: before the page is ready, while a frame waits and during a draw.
TEST(FramePacerTick, FailuresStopWithoutTheEndMessage) {
  for (int when = 0; when < 3; ++when) {
    for (bool renderer : {false, true}) {
      SCOPED_TRACE(when * 2 + renderer);
      FakeShow show({10, 20});
      DeferredDrawer drawer(show);
      FakeHost host;
      FramePacer pacer(show, drawer, host);
      host.pacer = &pacer;
      CaptureSurface surface;
      ASSERT_TRUE(surface.create(16, 8));
      pacer.prepare(surface, 2);
      g_running.store(1);
      g_frameReady.store(0);
      if (when == 0) show.ready = 0;
      if (when >= 1) pacer.tick();         // a draw waits
      if (when == 2) drawer.finishDraw();  // a frame waits for the worker
      show.ended = 1;                      // a failure wins over an end seen at the same time
      (renderer ? show.rendererDead : show.failed) = 1;
      pacer.tick();
      EXPECT_EQ(host.stops, 1);
      EXPECT_TRUE(host.messages.empty());
      EXPECT_EQ(g_running.load(), 0);
    }
  }
}

// Without a timer: the next tick runs when the worker reports the last frame taken. However
// slow the encoder, no tick is dropped and every still fills frameRate + 1 frames.
TEST(FramePacerThreads, TicksDrivenByTheWorkerDropNothingWithASlowEncoder) {
  Rig rig({11, 22, 33, 44}, 4);
  RecordingSink sink;
  sink.encodeDelay = std::chrono::milliseconds(3);
  std::mutex mutex;
  std::condition_variable wake;
  int taken = 0;
  rig.pacer.setFrameTaken([&] {
    std::lock_guard<std::mutex> lock(mutex);
    ++taken;
    wake.notify_one();
  });
  rig.pacer.startWorker(sink, nullptr);
  int ticks = 0;
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (rig.host.stops == 0 && std::chrono::steady_clock::now() < limit) {
    rig.pacer.tick();
    ++ticks;
    std::unique_lock<std::mutex> lock(mutex);
    // The last frame of the show is not followed by another one: the end tick stops.
    wake.wait_for(lock, std::chrono::milliseconds(200), [&] { return taken >= ticks; });
  }
  ASSERT_EQ(rig.host.stops, 1);
  EXPECT_EQ(rig.pacer.droppedTicks(), 0u);
  EXPECT_EQ(sink.torn, 0);
  const auto runs = Runs(sink.colours);
  ASSERT_EQ(runs.size(), 4u);
  for (size_t i = 0; i + 1 < runs.size(); ++i) EXPECT_EQ(runs[i].second, 5) << i;
  EXPECT_EQ(static_cast<int>(sink.colours.size()), taken);
}

}  // namespace
