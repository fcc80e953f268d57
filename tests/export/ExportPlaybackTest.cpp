// Exported shows played in the real off-screen browser, stepped with the advance script the
// way the capture tick does it: every click step and every slide in order, hidden slides
// passed over, no wrap past the last slide, the end mark, steps asked for while an effect
// plays kept, and Chinese text drawn as glyphs.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <string_view>
#include <thread>

#include "CSlideShowDlg.h"
#include "CaptureSurface.h"
#include "DrawOleObject.h"
#include "ExportPresentation.h"
#include "ExportTestSupport.h"
#include "FixtureFiles.h"
#include "FramePacer.h"
#include "MhtmlWriter.h"
#include "QtWait.h"
#include "ShowPage.h"

namespace {

using Rgb = std::array<int, 3>;

constexpr int kWidth = 720, kHeight = 540;  // a 4:3 slide fills the picture exactly

// Colours of the test presentations (tests/fixtures/*.fodp).
constexpr Rgb kTitleBlue{0x1f, 0x3a, 0x5f};
constexpr Rgb kPaper{0xf4, 0xf1, 0xea};
constexpr Rgb kGreen{0x2e, 0x7d, 0x32};
constexpr Rgb kHiddenRed{0xc6, 0x28, 0x28};
constexpr Rgb kBoxes[3] = {{0xe6, 0x51, 0x00}, {0x00, 0x83, 0x8f}, {0x6a, 0x1b, 0x9a}};
// Box centres on slide 2, in pixels (boxes 7 cm wide from x = 1.2, 9.2, 17.2 cm; y 6.5-13.5 cm);
// the boxes are sampled away from their centred digit.
constexpr int kBoxX[3] = {133, 360, 587};
constexpr int kBoxY = 283;

bool Near(Rgb a, Rgb b, int tolerance = 12) {
  for (int i = 0; i < 3; ++i)
    if (std::abs(a[i] - b[i]) > tolerance) return false;
  return true;
}

class ExportPlayback : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dlg.Create(nullptr));
    dlg.MoveWindow(0, 0, kWidth, kHeight);
    ASSERT_TRUE(surface.create(kWidth, kHeight));
    QObject::connect(&dlg.browser, &CWebBrowser2::TitleChange, [this](const QString& t) { titles.push_back(t); });
  }
  void TearDown() override { dlg.DestroyWindow(); }

  // Exports the fixture into the scratch directory and loads its show.
  void LoadFixture(const std::string& fixture, int expectedCount) {
    const std::string ppt = FixtureFiles::Converted(fixture);
    ASSERT_FALSE(ppt.empty());
    archive = dir.file("nn5e1.tmp");
    std::vector<std::string> messages;
    const int count = ExportPresentation(ppt, archive, [&](const std::string& m) { messages.push_back(m); });
    ASSERT_EQ(count, expectedCount);
    ASSERT_TRUE(messages.empty());
    ASSERT_TRUE(dlg.LoadShow(archive, count));
    ASSERT_TRUE(WaitUntil([&] { return dlg.pageReady == 1; }));
  }

  Rgb At(int x, int y) const {
    const uint8_t* p = surface.captureBits() + (size_t(kHeight - 1 - y) * kWidth + x) * 3;
    return {p[2], p[1], p[0]};
  }

  bool Film() {
    if (!DrawOleObject(dlg.browser.Document(), surface)) return false;
    if (Near(At(20, 20), kHiddenRed, 30)) sawHiddenSlide = true;
    return true;
  }

  // Films until the picture has stood still for one second, as the capture tick waits before
  // it steps the show; false when it never comes to rest.
  bool WaitForStillPicture() {
    std::vector<uint8_t> last;
    QElapsedTimer still;
    return WaitUntil(
        [&] {
          if (!Film()) return false;
          std::vector<uint8_t> now(surface.captureBits(), surface.captureBits() + surface.frameBytes());
          if (now != last || !still.isValid()) still.start();
          last.swap(now);
          return still.elapsed() >= 1000;
        },
        60000);
  }

  // One step of the show, then the picture it comes to rest on.
  bool Step() {
    dlg.AdvanceShow();
    return WaitForStillPicture();
  }

  // Runs `script` in the show page and returns its result.
  QVariant Evaluate(const QString& script) {
    QVariant result;
    bool done = false;
    dlg.browser.Document()->runJavaScript(script, [&](const QVariant& v) {
      result = v;
      done = true;
    });
    EXPECT_TRUE(WaitUntil([&] { return done; }));
    return result;
  }

  std::vector<bool> BoxesShown() const {
    std::vector<bool> shown;
    for (int i = 0; i < 3; ++i) shown.push_back(Near(At(kBoxX[i] - 60, kBoxY - 60), kBoxes[i]));
    return shown;
  }

  ScratchDirectory dir;
  std::string archive;
  CSlideShowDlg dlg;
  CaptureSurface surface;
  std::vector<QString> titles;
  bool sawHiddenSlide = false;
};

TEST_F(ExportPlayback, StepsEveryClickAndSlideInOrderSkipsTheHiddenSlideAndEnds) {
  LoadFixture("four-slides.fodp", 4);
  ASSERT_TRUE(WaitForStillPicture());
  EXPECT_EQ(dlg.currentSlide, 1);
  EXPECT_TRUE(Near(At(20, 20), kTitleBlue));
  // The slide fills the picture to its last pixel: no line of another colour at the edges.
  for (auto [x, y] : {std::pair{0, 0},
                      {kWidth - 1, 0},
                      {0, kHeight - 1},
                      {kWidth - 1, kHeight - 1},
                      {kWidth - 1, kHeight / 2},
                      {kWidth / 2, kHeight - 1}})
    EXPECT_TRUE(Near(At(x, y), kTitleBlue, 4)) << x << "," << y;

  ASSERT_TRUE(Step());  // slide 2, its boxes not shown yet
  EXPECT_EQ(dlg.currentSlide, 2);
  EXPECT_TRUE(Near(At(20, 20), kPaper));
  EXPECT_EQ(BoxesShown(), (std::vector<bool>{false, false, false}));

  for (int click = 0; click < 3; ++click) {
    SCOPED_TRACE(click);
    ASSERT_TRUE(Step());
    std::vector<bool> expected(3, false);
    for (int i = 0; i <= click; ++i) expected[i] = true;
    EXPECT_EQ(BoxesShown(), expected);
    EXPECT_EQ(dlg.currentSlide, 2);
  }

  // Slide 3 comes in with its wipe transition.
  EXPECT_TRUE(Evaluate(QString(CSlideShowDlg::kAdvanceScript) + "PPTSld.aSlideShow.isTransitionPlaying()").toBool());
  ASSERT_TRUE(WaitForStillPicture());
  EXPECT_EQ(dlg.currentSlide, 3);
  EXPECT_TRUE(Near(At(20, 20), kGreen));
  EXPECT_EQ(dlg.showEnded, 0);
  EXPECT_FALSE(Evaluate("HasNextSld()").toBool());  // the hidden slide 4 does not count

  ASSERT_TRUE(Step());  // nothing left: the end mark, the picture stays
  EXPECT_EQ(dlg.showEnded, 1);
  EXPECT_TRUE(Near(At(20, 20), kGreen));
  ASSERT_TRUE(Step());  // and it never wraps to the first slide
  EXPECT_TRUE(Near(At(20, 20), kGreen));
  EXPECT_EQ(dlg.currentSlide, 3);
  EXPECT_EQ(std::count(titles.begin(), titles.end(), QString("Endppt")), 1);  // set again: no change
  EXPECT_FALSE(sawHiddenSlide);
}

TEST_F(ExportPlayback, StepsAskedForWhileAnEffectPlaysAreKeptAndPlayedAfterIt) {
  LoadFixture("four-slides.fodp", 4);
  ASSERT_TRUE(Step());
  ASSERT_EQ(dlg.currentSlide, 2);

  // Two advance scripts straight after one another: the second arrives while the first
  // effect (a 0.6 s fade) plays. It must wait for it, not end it early and not be lost.
  const QVariant state = Evaluate(QString(CSlideShowDlg::kAdvanceScript) + QString(CSlideShowDlg::kAdvanceScript) +
                                  "[PPTSld.aSlideShow.nCurrentEffect, kvQueue.length, PPTSld.aSlideShow.isRunning()]");
  const QVariantList values = state.toList();
  ASSERT_EQ(values.size(), 3);
  EXPECT_EQ(values[0].toInt(), 1);  // only the first effect has started
  EXPECT_EQ(values[1].toInt(), 1);  // the second waits
  EXPECT_TRUE(values[2].toBool());  // and the first still plays

  ASSERT_TRUE(WaitForStillPicture());
  EXPECT_EQ(BoxesShown(), (std::vector<bool>{true, true, false}));
  ASSERT_TRUE(Step());
  EXPECT_EQ(BoxesShown(), (std::vector<bool>{true, true, true}));
  ASSERT_TRUE(Step());
  EXPECT_EQ(dlg.currentSlide, 3);
}

// PowerPoint's "dim after the effect" animates an attribute "dim" that the show's engine does
// not know (it threw on it). The engine now has it: dimming gives the shape's filled and
// stroked parts, its text among them, the colour, and leaves unpainted parts unpainted.
TEST_F(ExportPlayback, EngineDimsShapesToAColour) {
  LoadFixture("four-slides.fodp", 4);
  const QVariant result = Evaluate(R"js(
    (function () {
      var f = PPTSld, map = f.aAttributeMap, dim = map.dim;
      if (!dim) return 'no dim attribute';
      if (dim.type !== map['fill-color'].type) return 'not a colour';
      var g = f.document.createElementNS('http://www.w3.org/2000/svg', 'g');
      g.innerHTML = '<rect fill="rgb(10,20,30)" stroke="none"/><path fill="none" stroke="#ffffff"/>' +
                    '<text><tspan fill="rgb(255,255,255)">x</tspan></text>';
      var shape = { aActiveElement: g };
      var before = f.AnimatedElement.prototype[dim.get].call(shape).toString(true);
      f.AnimatedElement.prototype[dim.set].call(shape, new f.RGBColor(0.6, 0.875, 0.667));
      var parts = g.querySelectorAll('rect, path, tspan');
      return [before, parts[0].getAttribute('fill'), parts[0].getAttribute('stroke'),
              parts[1].getAttribute('fill'), parts[1].getAttribute('stroke'), parts[2].getAttribute('fill')].join(' ');
    })())js");
  EXPECT_EQ(result.toString().toStdString(),
            "rgb(10,20,30) rgb(153,223,170) none none rgb(153,223,170) rgb(153,223,170)");
}

TEST_F(ExportPlayback, HiddenSlideInTheMiddleIsPassedOver) {
  LoadFixture("hidden-middle.fodp", 3);
  ASSERT_TRUE(WaitForStillPicture());
  EXPECT_EQ(dlg.currentSlide, 1);
  EXPECT_TRUE(Near(At(20, 20), kTitleBlue));
  EXPECT_TRUE(Evaluate("HasNextSld()").toBool());

  ASSERT_TRUE(Step());
  EXPECT_EQ(dlg.currentSlide, 3);  // the presentation's third slide, the second one shown
  EXPECT_TRUE(Near(At(20, 20), kGreen));
  EXPECT_EQ(Evaluate("PPTSld.nCurSlide").toInt(), 2);  // the engine's third slide

  ASSERT_TRUE(Step());
  EXPECT_EQ(dlg.showEnded, 1);
  EXPECT_FALSE(sawHiddenSlide);
}

// A wide slide in a 4:3 picture sits between black bars, with clean edges: every pixel of a
// column through the picture is either the bar's black or the slide's blue, nothing between
// (no light line where the slide ends).
TEST_F(ExportPlayback, WideSlideIsLetterboxedWithCleanEdges) {
  LoadFixture("wide-slide.fodp", 1);
  ASSERT_TRUE(WaitForStillPicture());
  EXPECT_TRUE(Near(At(20, 10), {0, 0, 0}));
  EXPECT_TRUE(Near(At(20, kHeight / 2), kTitleBlue));
  int blueRows = 0;
  for (int y = 0; y < kHeight; ++y) {
    const Rgb c = At(20, y);
    const bool blue = Near(c, kTitleBlue, 6);
    EXPECT_TRUE(blue || Near(c, {0, 0, 0}, 6)) << "row " << y << ": " << c[0] << "," << c[1] << "," << c[2];
    blueRows += blue;
  }
  EXPECT_NEAR(blueRows, 405, 2);  // 720 x 405 for a 16:9 slide
}

// A show whose engine fails to start is a failure, never the end of the show: the page says
// so (on the film clock at once, without waiting in real time), and steps change nothing.
TEST_F(ExportPlayback, ShowWithoutAWorkingEngineFailsAndNeverEnds) {
  const std::string svg =
      "<?xml version=\"1.0\"?><svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 100 75\">"
      "<rect width=\"100\" height=\"75\" fill=\"#1f3a5f\"/>"
      "<script type=\"text/ecmascript\">throw new Error('engine failed');</script></svg>";
  MhtmlWriter writer;
  writer.addPart({"nn7.files/fullscreen.htm", "text/html; charset=utf-8", ShowPage::Html("show.svg", {0, 1})});
  writer.addPart({"nn7.files/show.svg", "image/svg+xml", ShowPage::PrepareShow(svg)});
  std::string error;
  ASSERT_TRUE(writer.writeFile(dir.file("nn7.tmp"), error)) << error;
  dlg.UseFilmClock(1.7e12, false);
  ASSERT_TRUE(dlg.LoadShow(dir.file("nn7.tmp"), 2));
  ASSERT_TRUE(WaitUntil([&] { return dlg.showFailed == 1; }));
  EXPECT_EQ(dlg.failureReason, QString("the show's engine never became ready"));
  dlg.AdvanceShow();
  dlg.AdvanceShow();
  ProcessEventsBriefly();
  EXPECT_EQ(dlg.showEnded, 0);
  EXPECT_EQ(std::count(titles.begin(), titles.end(), QString("Endppt")), 0);
}

// A real presentation with many click steps (25 slides, 37 on-click effects) plays from its
// first slide to its last, one click step or slide per step, and then ends.
TEST_F(ExportPlayback, CorpusPresentationWithManyClickStepsPlaysToTheEnd) {
  const std::string source = kCorpusDir + "ppt/poi__bug58718_008558.ppt";
  if (!std::filesystem::exists(source)) GTEST_SKIP() << "no corpus";
  archive = dir.file("nn25.tmp");
  ASSERT_EQ(ExportPresentation(source, archive, {}), 25);
  ASSERT_TRUE(dlg.LoadShow(archive, 25));
  ASSERT_TRUE(WaitUntil([&] { return dlg.pageReady == 1; }));
  ASSERT_TRUE(WaitForStillPicture());
  std::vector<int> slides{dlg.currentSlide};
  int steps = 0;
  while (dlg.showEnded == 0 && steps < 200) {
    ASSERT_TRUE(Step()) << "the picture never came to rest after step " << steps;
    ++steps;
    if (dlg.currentSlide != slides.back()) slides.push_back(dlg.currentSlide);
  }
  EXPECT_EQ(dlg.showEnded, 1);
  std::vector<int> expected;
  for (int i = 1; i <= 25; ++i) expected.push_back(i);
  EXPECT_EQ(slides, expected);  // every slide once, in order, no wrap
  // Every on-click step on a step of its own: 24 slide changes, 37 click steps, the end mark.
  EXPECT_EQ(steps, 24 + 37 + 1);
}

// Chinese glyphs, not boxes: the title "演示文稿测试" is six different characters, so the six
// character cells of the drawn title must differ from each other; missing glyphs would be six
// identical boxes (or nothing at all).
TEST_F(ExportPlayback, ChineseTitleIsDrawnAsGlyphs) {
  LoadFixture("four-slides.fodp", 4);
  ASSERT_TRUE(WaitForStillPicture());
  ASSERT_TRUE(Near(At(20, 20), kTitleBlue));

  // The title line lies between 5.0 and 9.0 cm from the top (142..255 px).
  int left = kWidth, right = -1, top = kHeight, bottom = -1;
  for (int y = 142; y < 255; ++y)
    for (int x = 10; x < kWidth - 10; ++x)  // away from the picture's edges
      if (!Near(At(x, y), kTitleBlue, 40)) {
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
      }
  ASSERT_GT(right, left) << "no title drawn";
  EXPECT_GT(right - left, 200);  // six characters at 48 pt
  EXPECT_GT(bottom - top, 30);

  std::vector<std::vector<bool>> cells(6);
  const double cellWidth = (right - left + 1) / 6.0;
  for (int c = 0; c < 6; ++c)
    for (int y = top; y <= bottom; ++y)
      for (int x = int(left + c * cellWidth); x < int(left + (c + 1) * cellWidth); ++x)
        cells[c].push_back(!Near(At(x, y), kTitleBlue, 40));
  int differentPairs = 0;
  for (int a = 0; a < 6; ++a)
    for (int b = a + 1; b < 6; ++b) {
      size_t differ = 0;
      const size_t n = std::min(cells[a].size(), cells[b].size());
      for (size_t i = 0; i < n; ++i) differ += cells[a][i] != cells[b][i];
      if (differ > n / 20) ++differentPairs;
    }
  EXPECT_EQ(differentPairs, 15);
}

// Films a loaded show the way a conversion does, on the show's own clock: FramePacer's tick
// and worker, the drawer waiting for the page, the next tick as soon as the worker has taken
// the last frame (or at a fixed pace, as a timer would). Frames are recorded, not encoded.
class ClockFilm : public FramePacer::Show,
                  public FramePacer::Drawer,
                  public FramePacer::Host,
                  public FramePacer::FrameSink {
 public:
  struct Frame {
    size_t hash;
    Rgb corner;     // (20, 20)
    Rgb points[3];  // slide 2's boxes in four-slides.fodp / the middle of timed-show.fodp
    Rgb edges[2];   // the picture's last pixel of its bottom row and of its right column
  };

  ClockFilm(CSlideShowDlg& dlg, CaptureSurface& surface, int frameRate)
      : dlg_(dlg), surface_(surface), frameRate_(frameRate), pacer_(*this, *this, *this) {}
  ~ClockFilm() override { pacer_.stopWorker(); }

  int pageReady() const override { return dlg_.pageReady; }
  int showEnded() const override { return dlg_.showEnded; }
  int showFailed() const override { return dlg_.showFailed; }
  int rendererFailed() const override { return dlg_.rendererFailed; }
  int currentSlide() const override { return dlg_.currentSlide; }
  int slideCount() const override { return dlg_.slideCount; }
  void AdvanceShow() override { dlg_.AdvanceShow(); }
  bool draw(CaptureSurface&) override { return false; }
  void beginDraw(CaptureSurface& surface, uint64_t frame, Done done) override {
    slides.insert(dlg_.currentSlide);
    dlg_.FilmFrame(frame, frameRate_, [&surface, done](const QImage* picture) {
      if (picture != nullptr) DrawImageIntoSurface(*picture, surface);
      done();
    });
    if (updateWhileAsking) {
      // What a picture of the last frame reaching the view just now looks like to the clock.
      QWebEngineView* view = dlg_.browser.view();
      for (QObject* target : {static_cast<QObject*>(view), static_cast<QObject*>(view->focusProxy())}) {
        if (target == nullptr) continue;
        QEvent update(QEvent::UpdateRequest);
        QCoreApplication::sendEvent(target, &update);
      }
    }
  }
  void cancelDraw() override { dlg_.CancelFilming(); }
  void setStatusText(const std::string&) override {}
  void StopConversion() override {
    stopped = true;
    pacer_.stopWorker();
  }
  void showEndMessage(const std::string&) override { ended = true; }
  // Worker thread.
  void writeFrame(const uint8_t* frame, int32_t width, int32_t height) override {
    auto at = [&](int x, int y) -> Rgb {
      const uint8_t* p = frame + (size_t(height - 1 - y) * width + x) * 3;
      return {p[2], p[1], p[0]};
    };
    Frame f{std::hash<std::string_view>()(
                std::string_view(reinterpret_cast<const char*>(frame), size_t(width) * height * 3)),
            at(20, 20),
            {at(kBoxX[0] - 60, kBoxY - 60), at(kBoxX[1] - 60, kBoxY - 60), at(kBoxX[2] - 60, kBoxY - 60)},
            {at(width / 2, height - 1), at(width - 1, height / 2)}};
    {
      std::lock_guard<std::mutex> lock(mutex_);
      frames.push_back(f);
    }
    if (encodeDelay.count() > 0) std::this_thread::sleep_for(encodeDelay);
  }

  // Films until the show stops; `pacedMs` > 0 ticks on a timer of that period instead.
  bool Run(int pacedMs = 0, int limitMs = 240000) {
    QObject context;
    auto tick = [this] { pacer_.tick(); };
    pacer_.prepare(surface_, frameRate_);
    QTimer timer;
    if (pacedMs > 0) {
      QObject::connect(&timer, &QTimer::timeout, &context, tick);
      timer.start(pacedMs);
    } else {
      pacer_.setFrameTaken([&] { QMetaObject::invokeMethod(&context, tick, Qt::QueuedConnection); });
      QObject::connect(&dlg_, &CSlideShowDlg::showStateChanged, &context,
                       [&] { QMetaObject::invokeMethod(&context, tick, Qt::QueuedConnection); });
    }
    pacer_.startWorker(*this, nullptr);
    QMetaObject::invokeMethod(&context, tick, Qt::QueuedConnection);
    const bool done = WaitUntil([&] { return stopped; }, limitMs);
    pacer_.stopWorker();
    pacer_.setFrameTaken(nullptr);
    return done;
  }
  std::vector<size_t> Hashes() const {
    std::vector<size_t> out;
    for (const Frame& f : frames) out.push_back(f.hash);
    return out;
  }
  const FramePacer& pacer() const { return pacer_; }

  std::vector<Frame> frames;
  std::set<int> slides;  // slide numbers the page reported while filming
  bool stopped = false;
  bool ended = false;
  std::chrono::milliseconds encodeDelay{0};
  bool updateWhileAsking = false;  // the view gets an update right after each frame is asked for

 private:
  CSlideShowDlg& dlg_;
  CaptureSurface& surface_;
  int frameRate_;
  FramePacer pacer_;
  std::mutex mutex_;
};

// The runs of equal consecutive values, in order.
template <typename T, typename Key>
std::vector<std::pair<T, int>> RunsOf(const std::vector<ClockFilm::Frame>& frames, Key key) {
  std::vector<std::pair<T, int>> runs;
  for (const auto& f : frames) {
    const T k = key(f);
    if (!runs.empty() && runs.back().first == k)
      ++runs.back().second;
    else
      runs.emplace_back(k, 1);
  }
  return runs;
}

// What a frame of four-slides.fodp shows: 0 title, 1..4 slide 2 with 0..3 boxes, 5 green.
int FourSlidesPicture(const ClockFilm::Frame& f) {
  if (Near(f.corner, kTitleBlue)) return 0;
  if (Near(f.corner, kGreen)) return 5;
  if (!Near(f.corner, kPaper)) return -1;
  int boxes = 0;
  for (int i = 0; i < 3; ++i) boxes += Near(f.points[i], kBoxes[i]);
  for (int i = 0; i < boxes; ++i)
    if (!Near(f.points[i], kBoxes[i])) return -1;  // out of order
  return 1 + boxes;
}

class ClockPlayback : public ExportPlayback {
 protected:
  // Exports the fixture once per test and loads it on the film clock.
  void LoadOnClock(const std::string& fixture, int expectedCount, bool useTimings = false) {
    if (archive.empty()) {
      const std::string ppt = FixtureFiles::Converted(fixture);
      ASSERT_FALSE(ppt.empty());
      archive = dir.file("nn6c1.tmp");
      ASSERT_EQ(ExportPresentation(ppt, archive, {}), expectedCount);
    }
    dlg.DestroyWindow();
    ASSERT_TRUE(dlg.Create(nullptr));
    dlg.MoveWindow(0, 0, kWidth, kHeight);
    dlg.UseFilmClock(kStart, useTimings);
    ASSERT_TRUE(dlg.LoadShow(archive, expectedCount));
  }
  // The archive with `script` added to the show after the engine (run once the engine started).
  std::string PatchedArchive(const std::string& name, const std::string& script) {
    std::vector<MhtmlPartRead> parts;
    std::string error;
    EXPECT_TRUE(ReadMhtml(ReadWholeFile(archive), parts, error)) << error;
    MhtmlWriter writer;
    const std::string base = std::filesystem::path(name).stem().string();
    for (MhtmlPartRead& part : parts) {
      std::string location = part.location.substr(part.location.find(".files/"));
      if (location.ends_with("show.svg")) {
        const size_t end = part.body.rfind("</svg>");
        part.body.insert(end, "<script type=\"text/ecmascript\"><![CDATA[\n" + script + "\n]]></script>");
      }
      writer.addPart({base + location, part.type, part.body});
    }
    EXPECT_TRUE(writer.writeFile(dir.file(name), error)) << error;
    return dir.file(name);
  }
  static constexpr double kStart = 1.7e12;  // 2023-11-14
};

TEST_F(ClockPlayback, EveryStillInOrderAtEveryFrameRateEachFillingFrameRatePlusOneFrames) {
  for (int frameRate : {1, 5, 25, 30}) {
    SCOPED_TRACE(frameRate);
    LoadOnClock("four-slides.fodp", 4);
    ClockFilm film(dlg, surface, frameRate);
    ASSERT_TRUE(film.Run());
    EXPECT_TRUE(film.ended);
    EXPECT_EQ(film.pacer().droppedTicks(), 0u);
    std::vector<int> stills;
    for (auto [picture, length] : RunsOf<int>(film.frames, FourSlidesPicture)) {
      if (picture < 0 || length <= frameRate) continue;  // a transition's frames
      if (stills.empty() || stills.back() != picture) stills.push_back(picture);
    }
    EXPECT_EQ(stills, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    // The slide fills the picture to its last row and column (the strip below is not filmed).
    for (const auto& f : film.frames)
      if (FourSlidesPicture(f) == 0) {
        EXPECT_TRUE(Near(f.edges[0], kTitleBlue, 4));
        EXPECT_TRUE(Near(f.edges[1], kTitleBlue, 4));
      }
    // The end: the frame after the last step shows the last slide, then the show ends.
    EXPECT_EQ(FourSlidesPicture(film.frames.back()), 5);
    // Each still stays exactly frameRate + 1 frames (the page answers every frame in time),
    // the picture first filmed in the advancing tick included; the last one up to the end.
    for (auto [picture, length] : RunsOf<int>(film.frames, FourSlidesPicture))
      if (picture >= 0 && picture != 5 && length > 1) {
        EXPECT_GE(length, frameRate + 1) << picture;
      }
  }
}

// Frames follow the show's clock, not the machine: two runs give the same frames, also with
// a worker that is slower than the page (no tick is lost) and at a timer's pace.
TEST_F(ClockPlayback, SameFramesOnEveryRunAtAnyPaceOfTheWorkerOrTheTicks) {
  std::vector<size_t> first;
  for (int run = 0; run < 3; ++run) {
    SCOPED_TRACE(run);
    LoadOnClock("timed-show.fodp", 5);
    ClockFilm film(dlg, surface, 10);
    if (run == 1) film.encodeDelay = std::chrono::milliseconds(25);
    ASSERT_TRUE(film.Run(run == 2 ? 100 : 0));
    EXPECT_TRUE(film.ended);
    if (run < 2) {
      EXPECT_EQ(film.pacer().droppedTicks(), 0u);
    }
    if (run == 0) {
      first = film.Hashes();
      EXPECT_GT(first.size(), 90u);
      // The 2 s fade of slide 1 from black to white: about 20 frames, brightening evenly.
      std::vector<int> fade;
      for (const auto& f : film.frames)
        if (f.corner[0] > 4 && f.corner[0] < 251 && f.corner[0] == f.corner[2]) fade.push_back(f.corner[0]);
      ASSERT_GE(fade.size(), 18u);
      EXPECT_LE(fade.size(), 21u);
      for (size_t i = 1; i < fade.size(); ++i) {
        EXPECT_GT(fade[i] - fade[i - 1], 4) << i;
        EXPECT_LT(fade[i] - fade[i - 1], 24) << i;
      }
    } else {
      EXPECT_EQ(film.Hashes(), first);
    }
  }
}

// A frame's picture is the page at that frame's time, whenever the view happens to update: an
// update that comes after the frame was asked for and before the page answered (the last
// frame's picture arriving late, which the batch command's quick ticks make common) is not
// taken for this frame's picture.
TEST_F(ClockPlayback, ViewUpdatesBeforeThePageAnswersLeaveEveryFrameTheSame) {
  std::vector<size_t> first;
  for (bool update : {false, true}) {
    SCOPED_TRACE(update);
    LoadOnClock("four-slides.fodp", 4);
    ClockFilm film(dlg, surface, 10);
    film.updateWhileAsking = update;
    ASSERT_TRUE(film.Run());
    EXPECT_TRUE(film.ended);
    if (!update) {
      first = film.Hashes();
      EXPECT_GT(first.size(), 60u);
    } else {
      EXPECT_EQ(film.Hashes(), first);
    }
  }
}

// With the deck's own timings, the slide that advances by itself after 4 s stays that long
// (41 frames at 10 frames per second: its timing is 4.096 s after the round trip through
// PowerPoint's format); without them it follows the hold of 1 s like the others.
TEST_F(ClockPlayback, SlideWithItsOwnTimingStaysThatLongWithTimings) {
  for (bool useTimings : {false, true}) {
    SCOPED_TRACE(useTimings);
    LoadOnClock("timed-show.fodp", 5, useTimings);
    ClockFilm film(dlg, surface, 10);
    ASSERT_TRUE(film.Run());
    EXPECT_TRUE(film.ended);
    int green = 0, purple = 0;
    for (const auto& f : film.frames) {
      green += Near(f.corner, kGreen);
      purple += Near(f.corner, {0x6a, 0x1b, 0x9a});
    }
    if (useTimings) {
      EXPECT_NEAR(green, 41, 1);
    } else {
      EXPECT_EQ(green, 11);
    }
    EXPECT_EQ(purple, 12);  // its hold, and the frame of the step that ends the show
  }
}

// Effects that start by themselves after a delay: while the show waits for them the picture
// stands still, which is no reason to step (steps asked for then would pile up and, once the
// effects have played, pass the next slide by). Every picture the effects leave is held for
// the hold, and every slide is seen.
TEST_F(ClockPlayback, StillPictureWhileEffectsAreDueIsNoStep) {
  LoadOnClock("delayed-effect.fodp", 2);
  ClockFilm film(dlg, surface, 10);
  ASSERT_TRUE(film.Run());
  EXPECT_TRUE(film.ended);
  EXPECT_EQ(film.slides, (std::set<int>{1, 2}));
  // 0 blue, 1 the orange box, 2 both boxes, 3 purple; -1 between (a fade).
  auto picture = [](const ClockFilm::Frame& f) {
    if (Near(f.corner, {0x6a, 0x1b, 0x9a})) return 3;
    if (!Near(f.corner, kTitleBlue)) return -1;
    const bool orange = Near(f.points[0], kBoxes[0]), teal = Near(f.points[2], kBoxes[1]);
    return teal ? (orange ? 2 : -1) : orange ? 1 : Near(f.points[0], kTitleBlue) ? 0 : -1;
  };
  std::vector<std::pair<int, int>> stills;
  for (auto [which, length] : RunsOf<int>(film.frames, picture))
    if (which >= 0) stills.emplace_back(which, length);
  ASSERT_EQ(stills.size(), 4u);
  EXPECT_EQ(stills[0].first, 0);
  EXPECT_EQ(stills[1].first, 1);
  EXPECT_GE(stills[1].second, 25);  // the 2.5 s wait for the teal box
  EXPECT_EQ(stills[2].first, 2);
  EXPECT_GE(stills[2].second, 11);  // then the hold
  EXPECT_EQ(stills[3].first, 3);
  EXPECT_GE(stills[3].second, 11);
}

// The engine may still be bringing in its first slide when the frame's load event fires
// (nCurSlide undefined for a while): the page waits for it on the show's clock and plays
// every slide. An engine that never becomes ready fails the show.
TEST_F(ClockPlayback, LateEngineIsWaitedForAndOneThatNeverStartsFailsTheShow) {
  LoadOnClock("four-slides.fodp", 4);
  const std::string late =
      PatchedArchive("nn6c2.tmp",
                     "window.addEventListener('load', function() { var n = nCurSlide; nCurSlide = undefined;"
                     " setTimeout(function() { nCurSlide = n; }, 3000); });");
  const std::string never =
      PatchedArchive("nn6c3.tmp", "window.addEventListener('load', function() { nCurSlide = undefined; });");

  dlg.DestroyWindow();
  ASSERT_TRUE(dlg.Create(nullptr));
  dlg.MoveWindow(0, 0, kWidth, kHeight);
  dlg.UseFilmClock(kStart, false);
  ASSERT_TRUE(dlg.LoadShow(late, 4));
  {
    ClockFilm film(dlg, surface, 5);
    ASSERT_TRUE(film.Run());
    EXPECT_TRUE(film.ended);
    EXPECT_EQ(dlg.showFailed, 0);
    EXPECT_EQ(film.slides, (std::set<int>{1, 2, 3}));
    EXPECT_EQ(FourSlidesPicture(film.frames.front()), 0);
  }

  ASSERT_TRUE(dlg.LoadShow(never, 4));
  QElapsedTimer wall;
  wall.start();
  {
    ClockFilm film(dlg, surface, 5);
    ASSERT_TRUE(film.Run());
    EXPECT_FALSE(film.ended);
    EXPECT_TRUE(film.frames.empty());
  }
  EXPECT_EQ(dlg.showFailed, 1);
  EXPECT_EQ(dlg.showEnded, 0);
  EXPECT_EQ(dlg.failureReason, QString("the show's engine never became ready"));
  EXPECT_LT(wall.elapsed(), 60000);  // the limit is show time, not wall time
}


// A frame whose picture the browser never draws (here the whole view, strip and all, lies
// under a modal dialog's opaque backdrop) gets the browser nudged to draw again, and then
// fails the show in plain words: a picture older than its frame is never filmed as if it
// were that frame's.
TEST_F(ClockPlayback, FrameTheBrowserNeverDrawsFailsTheShowInsteadOfFilmingAnOlderPicture) {
  LoadOnClock("four-slides.fodp", 4);
  const std::string covered = PatchedArchive(
      "nn6c4.tmp",
      "window.addEventListener('load', function() { setTimeout(function() {"
      " var d = top.document, style = d.createElement('style'), dialog = d.createElement('dialog');"
      " style.textContent = 'dialog::backdrop{background:#f0f}';"
      " d.head.appendChild(style); d.body.appendChild(dialog); dialog.showModal(); }, 500); });");
  dlg.DestroyWindow();
  ASSERT_TRUE(dlg.Create(nullptr));
  dlg.MoveWindow(0, 0, kWidth, kHeight);
  dlg.UseFilmClock(kStart, false);
  ASSERT_TRUE(dlg.LoadShow(covered, 4));
  ClockFilm film(dlg, surface, 10);
  ASSERT_TRUE(film.Run());
  EXPECT_FALSE(film.ended);
  EXPECT_EQ(dlg.showFailed, 1);
  EXPECT_TRUE(dlg.failureReason.startsWith("the browser did not draw frame ")) << dlg.failureReason.toStdString();
  EXPECT_TRUE(dlg.failureReason.endsWith(" within 30 seconds")) << dlg.failureReason.toStdString();
  EXPECT_GT(dlg.filmClock().nudges(), 10u);
  // Only the frames before the dialog were filmed, each the slide as the engine drew it.
  EXPECT_FALSE(film.frames.empty());
  for (const auto& f : film.frames) EXPECT_FALSE(Near(f.corner, {0xff, 0x00, 0xff}));
}

// A page the browser has taken for hidden draws no pictures, though it answers every frame's
// script (the stall seen now and then under load looks the same): the clock's nudge shows it
// again, and the show is filmed to its end.
TEST_F(ClockPlayback, PageTakenForHiddenIsShownAgainAndFilmedToTheEnd) {
  LoadOnClock("four-slides.fodp", 4);
  QWebEnginePage* page = dlg.browser.Document();
  ASSERT_NE(page, nullptr);
  const uint64_t nudged = dlg.filmClock().nudges();
  ClockFilm film(dlg, surface, 5);
  QObject context;
  QTimer::singleShot(0, &context, [page] { page->setVisible(false); });  // once filming has begun
  ASSERT_TRUE(film.Run());
  EXPECT_TRUE(film.ended);
  EXPECT_EQ(dlg.showFailed, 0) << dlg.failureReason.toStdString();
  EXPECT_GT(dlg.filmClock().nudges(), nudged);
  EXPECT_EQ(FourSlidesPicture(film.frames.back()), 5);
}
}  // namespace
