// Times VideoWriter against the ffmpeg command on the same 300 frames of
// 720 x 540 (written once to a raw file, bottom row first as the capture
// delivers them; ffmpeg flips them with -vf vflip), with the same codec and
// settings, for every output extension, and prints
// "ratio writer/ffmpeg EXT: X" with X = ffmpeg time / our time.
//
// Threads: both sides use the encoders' library defaults. libx264 (.mp4,
// .mov) picks its own thread count on both sides (ffmpeg's "-threads auto"
// equals libx264's default); the other encoders run on one thread in the
// writer, so ffmpeg is given "-threads 1" for them (it would otherwise slice
// MPEG-1 across threads).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "VideoWriter.h"

namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 720, kHeight = 540, kRate = 25, kFrames = 300;
constexpr size_t kFrameBytes = static_cast<size_t>(kWidth) * kHeight * 3;

struct Output {
  const char* extension;
  const char* encoder;  // ffmpeg's name for the container's default encoder
  const char* options;  // what the writer sets beyond bit rate, size, rate, GOP
};
const Output kOutputs[] = {
    {"flv", "flv", "-threads 1"}, {"swf", "flv", "-threads 1"}, {"wmv", "msmpeg4", "-threads 1"},
    {"mp4", "libx264", ""},       {"mov", "libx264", ""},       {"mpg", "mpeg1video", "-threads 1 -mbd 2"},
};

struct Workspace {
  fs::path dir;
  fs::path raw;
  const uint8_t* frames = nullptr;
  size_t bytes = 0;
};
Workspace g_work;

// Slide-like frames: a slide background with boxes that changes every 50
// frames, and one box that moves across it.
void WriteRawFrames(const fs::path& path) {
  std::ofstream out(path, std::ios::binary);
  std::vector<uint8_t> frame(kFrameBytes);
  for (int i = 0; i < kFrames; ++i) {
    const int slide = i / 50;
    std::mt19937 random(static_cast<unsigned>(slide));
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        uint8_t* p = &frame[(static_cast<size_t>(y) * kWidth + x) * 3];
        p[0] = static_cast<uint8_t>(255 - y * 100 / kHeight - slide * 20);
        p[1] = static_cast<uint8_t>(230 - x * 60 / kWidth);
        p[2] = static_cast<uint8_t>(200 + slide * 9);
      }
    for (int box = 0; box < 40; ++box) {  // "text lines"
      const int bx = random() % (kWidth - 200), by = random() % (kHeight - 20), bw = 40 + random() % 160;
      const uint8_t shade = static_cast<uint8_t>(random() % 80);
      for (int y = by; y < by + 12; ++y)
        for (int x = bx; x < bx + bw; ++x)
          if ((x / 3 + y) % 4 != 0) {
            uint8_t* p = &frame[(static_cast<size_t>(y) * kWidth + x) * 3];
            p[0] = p[1] = p[2] = shade;
          }
    }
    const int mx = (i * 7) % (kWidth - 100), my = 200 + (i % 50);
    for (int y = my; y < my + 80; ++y)
      for (int x = mx; x < mx + 100; ++x) {
        uint8_t* p = &frame[(static_cast<size_t>(y) * kWidth + x) * 3];
        p[0] = 30;
        p[1] = static_cast<uint8_t>(120 + i % 100);
        p[2] = 220;
      }
    out.write(reinterpret_cast<const char*>(frame.data()), static_cast<std::streamsize>(frame.size()));
  }
}

bool PrepareWorkspace() {
  char pattern[] = "/tmp/kavreto-bench-writer-XXXXXX";
  if (!mkdtemp(pattern)) return false;
  g_work.dir = pattern;
  g_work.raw = g_work.dir / "frames.bgr";
  WriteRawFrames(g_work.raw);
  const int fd = ::open(g_work.raw.c_str(), O_RDONLY);
  if (fd < 0) return false;
  g_work.bytes = kFrameBytes * kFrames;
  void* map = mmap(nullptr, g_work.bytes, PROT_READ, MAP_SHARED | MAP_POPULATE, fd, 0);
  ::close(fd);
  if (map == MAP_FAILED) return false;
  g_work.frames = static_cast<const uint8_t*>(map);
  return true;
}

void ReleaseWorkspace() {
  if (g_work.frames) munmap(const_cast<uint8_t*>(g_work.frames), g_work.bytes);
  if (!g_work.dir.empty()) fs::remove_all(g_work.dir);
}

EncodeSettings Settings() {
  EncodeSettings s;
  s.frameRate = kRate;
  s.width = kWidth;
  s.height = kHeight;
  return s;  // default bit rate: quality position 10
}

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Our side: the writer takes the 300 frames straight from the mapped file.
double TimeWriter(const Output& o) {
  const std::string path = (g_work.dir / (std::string("ours.") + o.extension)).string();
  const Clock::time_point start = Clock::now();
  VideoWriter writer;
  if (writer.open(path, Settings()) != 1) return -1;
  for (int i = 0; i < kFrames; ++i) writer.writeFrame(g_work.frames + i * kFrameBytes, kWidth, kHeight);
  writer.close();
  return SecondsSince(start);
}

std::string FfmpegCommand(const Output& o) {
  const std::string path = (g_work.dir / (std::string("ffmpeg.") + o.extension)).string();
  return "ffmpeg -nostdin -loglevel error -y -f rawvideo -pix_fmt bgr24 -s " + std::to_string(kWidth) + "x" +
         std::to_string(kHeight) + " -r " + std::to_string(kRate) + " -i '" + g_work.raw.string() +
         "' -vf vflip -pix_fmt yuv420p -c:v " + o.encoder + " -b:v " + std::to_string(Settings().bitRate) + " -g 12 " +
         o.options + " '" + path + "'";
}

// The reference: the whole ffmpeg command, start-up included.
double TimeFfmpeg(const Output& o) {
  const Clock::time_point start = Clock::now();
  if (std::system(FfmpegCommand(o).c_str()) != 0) return -1;
  return SecondsSince(start);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::map<std::string, double> g_ratios;

// One iteration times both sides back to back (alternating which goes first),
// so a change in the machine's load hits both alike; the ratio is the median
// of the iterations' ratios. The reported time is ours.
void BM_WriterVsFfmpeg(benchmark::State& state) {
  const Output& o = kOutputs[state.range(0)];
  std::vector<double> ours, theirs, ratios;
  for (auto _ : state) {
    const bool oursFirst = ours.size() % 2 == 0;
    const double first = oursFirst ? TimeWriter(o) : TimeFfmpeg(o);
    const double second = oursFirst ? TimeFfmpeg(o) : TimeWriter(o);
    const double writer = oursFirst ? first : second, ffmpeg = oursFirst ? second : first;
    if (writer <= 0 || ffmpeg <= 0) {
      state.SkipWithError(writer <= 0 ? "writer open failed" : ("command failed: " + FfmpegCommand(o)).c_str());
      return;
    }
    state.SetIterationTime(writer);
    ours.push_back(writer);
    theirs.push_back(ffmpeg);
    ratios.push_back(ffmpeg / writer);
  }
  state.counters["ours_ms"] = Median(ours) * 1000;
  state.counters["ffmpeg_ms"] = Median(theirs) * 1000;
  state.counters["ratio"] = g_ratios[o.extension] = Median(ratios);
  state.SetLabel(o.extension);
}

BENCHMARK(BM_WriterVsFfmpeg)
    ->DenseRange(0, static_cast<int>(std::size(kOutputs)) - 1)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  av_log_set_level(AV_LOG_ERROR);
  if (!PrepareWorkspace()) {
    std::fprintf(stderr, "cannot prepare the raw frames\n");
    ReleaseWorkspace();
    return 1;
  }
  benchmark::ConsoleReporter reporter(benchmark::ConsoleReporter::OO_Tabular);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::fflush(stdout);
  for (const Output& o : kOutputs) {
    auto it = g_ratios.find(o.extension);
    if (it != g_ratios.end()) std::printf("ratio writer/ffmpeg %s: %.2f\n", o.extension, it->second);
  }
  ReleaseWorkspace();
  benchmark::Shutdown();
  return 0;
}
