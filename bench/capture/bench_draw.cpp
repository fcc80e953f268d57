// One draw of the off-screen browser into the 720 x 540 capture surface (painting the view
// plus conversion into the frame format), against references in the same run: QWidget::grab
// alone, Qt's own conversion to blue-green-red with a vertical flip, and a plain copy of
// one frame.
// Prints "draw ms 720x540: X" (mean over 200 draws) at the end.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QWebEngineView>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "BrowserEnvironment.h"
#include "CSlideShowDlg.h"
#include "CaptureSurface.h"
#include "DrawOleObject.h"
#include "QtWait.h"
#include "TestArchive.h"

namespace {

constexpr int kWidth = 720, kHeight = 540;
CSlideShowDlg* g_dlg = nullptr;
CaptureSurface* g_surface = nullptr;

const char kPage[] = R"HTML(<!DOCTYPE html><html><head><style>
html,body{margin:0;width:100%;height:100%;overflow:hidden;background:linear-gradient(135deg,#1b3a6b,#e8b04a)}
h1{font:bold 48px sans-serif;color:#fff;margin:40px}</style></head>
<body><h1>Frame capture</h1><p style="color:#fff;margin:40px;font:24px serif">The quick brown fox.</p></body></html>)HTML";

// A page that changes all the time (a transition playing), so every grab has new content.
const char kAnimatedPage[] = R"HTML(<!DOCTYPE html><html><head><style>
html,body{margin:0;width:100%;height:100%;overflow:hidden;background:#204060}
@keyframes spin{from{transform:rotate(0deg)}to{transform:rotate(360deg)}}
div{position:absolute;left:160px;top:70px;width:400px;height:400px;background:linear-gradient(#e8b04a,#c03030);
animation:spin 1s linear infinite}</style></head><body><div></div></body></html>)HTML";
CSlideShowDlg* g_animated = nullptr;

void BM_DrawOleObjectAnimated(benchmark::State& state) {
  for (auto _ : state) {
    bool ok = DrawOleObject(g_animated->browser.Document(), *g_surface);
    benchmark::DoNotOptimize(ok);
    // Let the page paint its next picture between draws, as between capture ticks.
    QCoreApplication::processEvents();
  }
}

void BM_ReferenceEventsOnly(benchmark::State& state) {
  for (auto _ : state) QCoreApplication::processEvents();
}

void BM_DrawOleObject(benchmark::State& state) {
  for (auto _ : state) {
    bool ok = DrawOleObject(g_dlg->browser.Document(), *g_surface);
    benchmark::DoNotOptimize(ok);
  }
}

void BM_GrabOnly(benchmark::State& state) {
  QWebEngineView* view = g_dlg->browser.view();
  for (auto _ : state) {
    QImage image = view->grab().toImage();
    benchmark::DoNotOptimize(image.constBits());
  }
}

void BM_RenderIntoImage(benchmark::State& state) {
  QWebEngineView* view = g_dlg->browser.view();
  QImage image(view->size(), QImage::Format_RGB32);
  for (auto _ : state) {
    view->render(&image);
    benchmark::DoNotOptimize(image.constBits());
  }
}

void BM_ConvertOnly(benchmark::State& state) {
  const QImage image = g_dlg->browser.view()->grab().toImage();
  for (auto _ : state) {
    bool ok = DrawImageIntoSurface(image, *g_surface);
    benchmark::DoNotOptimize(ok);
  }
}

void BM_ReferenceQtConvertAndFlip(benchmark::State& state) {
  const QImage image = g_dlg->browser.view()->grab().toImage();
  for (auto _ : state) {
    QImage bgr = image.convertToFormat(QImage::Format_BGR888).mirrored(false, true);
    for (int y = 0; y < kHeight; ++y)
      std::memcpy(g_surface->captureBits() + size_t(y) * kWidth * 3, bgr.constScanLine(y), size_t(kWidth) * 3);
    benchmark::DoNotOptimize(g_surface->captureBits());
  }
}

void BM_ReferenceFrameCopy(benchmark::State& state) {
  std::vector<uint8_t> copy(g_surface->frameBytes());
  for (auto _ : state) {
    std::memcpy(copy.data(), g_surface->captureBits(), copy.size());
    benchmark::DoNotOptimize(copy.data());
  }
}

}  // namespace

int main(int argc, char** argv) {
  PrepareBrowserEnvironment(true);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);

  const std::string dir = MakeTempDir();
  const std::string archive = WritePageArchive(dir, "bench", kPage);
  CSlideShowDlg dlg;
  CaptureSurface surface;
  g_dlg = &dlg;
  g_surface = &surface;
  if (archive.empty() || !dlg.Create(nullptr) || !surface.create(kWidth, kHeight)) {
    std::fprintf(stderr, "bench_draw: set-up failed\n");
    return 1;
  }
  dlg.MoveWindow(0, 0, kWidth, kHeight);
  dlg.LoadShow(archive, 2);
  // Wait until the page has painted: the top-left pixel leaves the surface's initial black.
  const bool painted = WaitUntil([&] {
    if (!DrawOleObject(dlg.browser.Document(), surface)) return false;
    const uint8_t* topLeft = surface.captureBits() + size_t(kHeight - 1) * kWidth * 3;
    return topLeft[0] + topLeft[1] + topLeft[2] > 0;
  });
  if (!painted) {
    std::fprintf(stderr, "bench_draw: the page never painted\n");
    return 1;
  }

  CSlideShowDlg animated;
  g_animated = &animated;
  const std::string animatedArchive = WritePageArchive(dir, "animated", kAnimatedPage);
  if (animatedArchive.empty() || !animated.Create(nullptr)) return 1;
  animated.MoveWindow(0, 0, kWidth, kHeight);
  animated.LoadShow(animatedArchive, 2);
  {
    CaptureSurface probe;
    probe.create(kWidth, kHeight);
    WaitUntil([&] {
      if (!DrawOleObject(animated.browser.Document(), probe)) return false;
      const uint8_t* topLeft = probe.captureBits() + size_t(kHeight - 1) * kWidth * 3;
      return topLeft[0] + topLeft[1] + topLeft[2] > 0;
    });
  }

  benchmark::RegisterBenchmark("DrawOleObject/720x540", BM_DrawOleObject)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("DrawOleObject/720x540/animated+events", BM_DrawOleObjectAnimated)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Reference/EventsOnly/animated", BM_ReferenceEventsOnly)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("GrabOnly/720x540", BM_GrabOnly)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("RenderIntoImage/720x540", BM_RenderIntoImage)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("ConvertOnly/720x540", BM_ConvertOnly)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Reference/QtConvertAndFlip/720x540", BM_ReferenceQtConvertAndFlip)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Reference/FrameCopy/720x540", BM_ReferenceFrameCopy)->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  constexpr int kDraws = 200;
  const auto start = std::chrono::steady_clock::now();
  int drawn = 0;
  for (int i = 0; i < kDraws; ++i) drawn += DrawOleObject(dlg.browser.Document(), surface) ? 1 : 0;
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("draw ms 720x540: %.3f\n", ms / kDraws);
  if (drawn != kDraws) std::fprintf(stderr, "bench_draw: %d of %d draws failed\n", kDraws - drawn, kDraws);

  animated.DestroyWindow();
  dlg.DestroyWindow();
  RemoveTree(dir);
  return drawn == kDraws ? 0 : 1;
}
