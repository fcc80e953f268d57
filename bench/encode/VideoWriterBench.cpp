// Times VideoWriter against the ffmpeg command on the same frames (written
// once to a raw file, bottom row first as the capture delivers them; ffmpeg
// flips them with -vf vflip), with the same codec and settings, for every
// output extension at 720 x 540 (300 frames) and for .mp4 at 1920 x 1080
// (75 frames), and prints "ratio writer/ffmpeg EXT: X" and
// "ratio writer/ffmpeg 1080p mp4: X" with X = ffmpeg time / our time.
//
// Colours and index: both sides write the same kind of file. For H.264 the
// ffmpeg side converts to full range and states full range, BT.601 and sRGB
// as the writer does; for the other codecs both sides give limited range
// (ffmpeg's own conversion does so directly). MP4 and MOV get
// "-movflags +faststart" on the ffmpeg side, as the writer puts their index
// first.
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

constexpr int kRate = 25;

struct Size {
  int width, height, frames;
  size_t frameBytes() const { return static_cast<size_t>(width) * height * 3; }
};
constexpr Size kSd{720, 540, 300};
constexpr Size kHd{1920, 1080, 75};

// What ffmpeg needs to write H.264 as the writer does: full range from the
// conversion on, stated in the stream, and the index first.
#define KAVRETO_FULL_RANGE                                                                                          \
  "-vf vflip,scale=out_range=pc:out_color_matrix=bt601 -color_range pc -colorspace bt470bg -color_primaries bt709 " \
  "-color_trc iec61966-2-1 -movflags +faststart"

struct Output {
  const char* name;  // what the ratio line calls it
  const char* extension;
  Size size;
  const char* encoder;  // ffmpeg's name for the container's default encoder
  const char* options;  // what the writer sets beyond bit rate, size, rate, GOP
};
const Output kOutputs[] = {
    {"flv", "flv", kSd, "flv", "-vf vflip -threads 1"},
    {"swf", "swf", kSd, "flv", "-vf vflip -threads 1"},
    {"wmv", "wmv", kSd, "msmpeg4", "-vf vflip -threads 1"},
    {"mp4", "mp4", kSd, "libx264", KAVRETO_FULL_RANGE},
    {"mov", "mov", kSd, "libx264", KAVRETO_FULL_RANGE},
    {"mpg", "mpg", kSd, "mpeg1video", "-vf vflip -threads 1 -mbd 2"},
    {"1080p mp4", "mp4", kHd, "libx264", KAVRETO_FULL_RANGE},
};

struct Frames {
  fs::path raw;
  const uint8_t* frames = nullptr;
  size_t bytes = 0;
};

struct Workspace {
  fs::path dir;
  Frames sd, hd;
  const Frames& of(const Size& s) const { return s.width == kSd.width ? sd : hd; }
};
Workspace g_work;

// Slide-like frames: a slide background with boxes that changes every 50
// frames, and one box that moves across it.
void WriteRawFrames(const fs::path& path, const Size& size) {
  const int width = size.width, height = size.height;
  std::ofstream out(path, std::ios::binary);
  std::vector<uint8_t> frame(size.frameBytes());
  for (int i = 0; i < size.frames; ++i) {
    const int slide = i / 50;
    std::mt19937 random(static_cast<unsigned>(slide));
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        uint8_t* p = &frame[(static_cast<size_t>(y) * width + x) * 3];
        p[0] = static_cast<uint8_t>(255 - y * 100 / height - slide * 20);
        p[1] = static_cast<uint8_t>(230 - x * 60 / width);
        p[2] = static_cast<uint8_t>(200 + slide * 9);
      }
    for (int box = 0; box < 40 * width / kSd.width; ++box) {  // "text lines"
      const int bx = random() % (width - 200), by = random() % (height - 20), bw = 40 + random() % 160;
      const uint8_t shade = static_cast<uint8_t>(random() % 80);
      for (int y = by; y < by + 12; ++y)
        for (int x = bx; x < bx + bw; ++x)
          if ((x / 3 + y) % 4 != 0) {
            uint8_t* p = &frame[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = p[1] = p[2] = shade;
          }
    }
    const int mx = (i * 7 * width / kSd.width) % (width - 100), my = 200 + (i % 50);
    for (int y = my; y < my + 80; ++y)
      for (int x = mx; x < mx + 100; ++x) {
        uint8_t* p = &frame[(static_cast<size_t>(y) * width + x) * 3];
        p[0] = 30;
        p[1] = static_cast<uint8_t>(120 + i % 100);
        p[2] = 220;
      }
    out.write(reinterpret_cast<const char*>(frame.data()), static_cast<std::streamsize>(frame.size()));
  }
}

bool PrepareFrames(Frames& frames, const Size& size, const char* name) {
  frames.raw = g_work.dir / name;
  WriteRawFrames(frames.raw, size);
  const int fd = ::open(frames.raw.c_str(), O_RDONLY);
  if (fd < 0) return false;
  frames.bytes = size.frameBytes() * size.frames;
  void* map = mmap(nullptr, frames.bytes, PROT_READ, MAP_SHARED | MAP_POPULATE, fd, 0);
  ::close(fd);
  if (map == MAP_FAILED) return false;
  frames.frames = static_cast<const uint8_t*>(map);
  return true;
}

bool PrepareWorkspace() {
  char pattern[] = "/tmp/kavreto-bench-writer-XXXXXX";
  if (!mkdtemp(pattern)) return false;
  g_work.dir = pattern;
  return PrepareFrames(g_work.sd, kSd, "sd.bgr") && PrepareFrames(g_work.hd, kHd, "hd.bgr");
}

void ReleaseWorkspace() {
  for (Frames* f : {&g_work.sd, &g_work.hd})
    if (f->frames) munmap(const_cast<uint8_t*>(f->frames), f->bytes);
  if (!g_work.dir.empty()) fs::remove_all(g_work.dir);
}

EncodeSettings Settings(const Size& size) {
  EncodeSettings s;
  s.frameRate = kRate;
  s.width = size.width;
  s.height = size.height;
  // Quality position 10 at 720 x 540, the same bits per pixel at 1080p.
  s.bitRate = static_cast<int32_t>(10 * 20480LL * size.width * size.height / (kSd.width * kSd.height));
  return s;
}

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Our side: the writer takes the frames straight from the mapped file.
double TimeWriter(const Output& o) {
  const std::string path = (g_work.dir / (std::string("ours.") + o.extension)).string();
  const Size& size = o.size;
  const uint8_t* frames = g_work.of(size).frames;
  const Clock::time_point start = Clock::now();
  VideoWriter writer;
  if (writer.open(path, Settings(size)) != 1) return -1;
  for (int i = 0; i < size.frames; ++i)
    writer.writeFrame(frames + static_cast<size_t>(i) * size.frameBytes(), size.width, size.height);
  writer.close();
  if (writer.writeFailed()) return -1;
  return SecondsSince(start);
}

std::string FfmpegCommand(const Output& o) {
  const std::string path = (g_work.dir / (std::string("ffmpeg.") + o.extension)).string();
  const Size& size = o.size;
  return "ffmpeg -nostdin -loglevel error -y -f rawvideo -pix_fmt bgr24 -s " + std::to_string(size.width) + "x" +
         std::to_string(size.height) + " -r " + std::to_string(kRate) + " -i '" + g_work.of(size).raw.string() +
         "' -pix_fmt yuv420p -c:v " + o.encoder + " -b:v " + std::to_string(Settings(size).bitRate) + " -g 12 " +
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
  state.counters["ratio"] = g_ratios[o.name] = Median(ratios);
  state.SetLabel(o.name);
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
    auto it = g_ratios.find(o.name);
    if (it != g_ratios.end()) std::printf("ratio writer/ffmpeg %s: %.2f\n", o.name, it->second);
  }
  ReleaseWorkspace();
  benchmark::Shutdown();
  return 0;
}
