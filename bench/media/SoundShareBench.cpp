// What the sound track costs a conversion, on the kind of deck that has the most sounds: 91
// slides, 78 of them with a short transition sound (0.4 s, a different tone on each), one
// slide every 1.2 s of video (2730 frames of 352 x 288 at 25 fps, into .flv with MP3 and
// .mp4 with AAC). The same frames are written once without sound (the reference) and once
// with the deck's sounds decoded, placed and mixed, and it prints
// "sound share of writing the film <ext>: X %" with X = (with - without) / with. A real
// conversion also films every frame in the browser, which this leaves out: the share it
// reports is an upper bound (bench_sound_convert measures a whole conversion); the line also
// says what an audio stream of silence alone costs (the encoder's share). It also prints
// "sound share of writing the film: X %" for the larger of the two.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "../encode/RatioReporter.h"
#include "SoundMixer.h"
#include "VideoWriter.h"

namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 352, kHeight = 288, kRate = 25, kSlides = 91, kSounds = 78, kFramesPerSlide = 30;

fs::path g_dir;
std::vector<std::shared_ptr<const std::string>> g_tones;
std::vector<std::vector<uint8_t>> g_frames;  // one picture per slide

std::string ReadFile(const fs::path& path) {
  std::string data;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) data.append(buffer, n);
    std::fclose(f);
  }
  return data;
}

void Prepare() {
  g_dir = fs::temp_directory_path() / ("kavreto-bench-sound-" + std::to_string(::getpid()));
  fs::create_directories(g_dir);
  for (int i = 0; i < kSounds; ++i) {
    const fs::path wav = g_dir / ("tone" + std::to_string(i) + ".wav");
    const std::string command = "ffmpeg -nostdin -v error -y -f lavfi -i sine=frequency=" + std::to_string(300 + 10 * i) +
                                ":sample_rate=44100:duration=0.4 '" + wav.string() + "'";
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "could not make %s\n", wav.c_str());
    g_tones.push_back(std::make_shared<const std::string>(ReadFile(wav)));
  }
  for (int s = 0; s < kSlides; ++s) {
    std::vector<uint8_t> frame(static_cast<size_t>(kWidth) * kHeight * 3);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>((i / 3 % kWidth) * (s + 1) + i % 3 * 70);
    g_frames.push_back(std::move(frame));
  }
}

// sound: 0 none, 1 the deck's sounds, 2 an audio stream of silence (what encoding alone costs)
void Film(benchmark::State& state, const char* extension, int sound) {
  const std::string path = (g_dir / (std::string("film.") + extension)).string();
  EncodeSettings settings;
  settings.width = kWidth;
  settings.height = kHeight;
  settings.frameRate = kRate;
  settings.bitRate = 400000;
  for (auto _ : state) {
    SoundMixer mixer;
    if (sound == 1) {
      for (int i = 0; i < kSounds; ++i) mixer.addClipBytes("tone" + std::to_string(i) + ".wav", g_tones[i]);
      // The show reports each transition as it plays.
      for (int i = 0; i < kSounds; ++i) mixer.play(i, int64_t{i + 1} * kFramesPerSlide, 1.0, false);
    }
    VideoWriter writer;
    if (writer.open(path, settings, sound ? &mixer : nullptr) != 1) {
      state.SkipWithError("the writer did not open");
      break;
    }
    for (int f = 0; f < kSlides * kFramesPerSlide; ++f) {
      const auto& frame = g_frames[f / kFramesPerSlide];
      writer.writeFrame(frame.data(), kWidth, kHeight);
    }
    writer.close();
  }
}

}  // namespace

int main(int argc, char** argv) {
  av_log_set_level(AV_LOG_ERROR);
  Prepare();
  for (const char* ext : {"flv", "mp4"}) {
    benchmark::RegisterBenchmark((std::string("BM_Film/") + ext + "/silent").c_str(), Film, ext, 0)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->Repetitions(3);
    benchmark::RegisterBenchmark((std::string("BM_Film/") + ext + "/silence").c_str(), Film, ext, 2)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->Repetitions(3);
    benchmark::RegisterBenchmark((std::string("BM_Film/") + ext + "/sound").c_str(), Film, ext, 1)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->Repetitions(3);
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  double worst = 0;
  for (const char* ext : {"flv", "mp4"}) {
    const double silent = reporter.seconds(std::string("BM_Film/") + ext + "/silent");
    const double sound = reporter.seconds(std::string("BM_Film/") + ext + "/sound");
    if (silent <= 0 || sound <= 0) continue;
    const double share = 100.0 * (sound - silent) / sound;
    worst = std::max(worst, share);
    const double silence = reporter.seconds(std::string("BM_Film/") + ext + "/silence");
    std::printf("sound share of writing the film %s: %.1f %% (an audio stream of silence alone: %.1f %%)\n", ext, share,
                100.0 * (silence - silent) / sound);
  }
  std::printf("sound share of writing the film: %.1f %%\n", worst);
  std::error_code ec;
  fs::remove_all(g_dir, ec);
  return 0;
}
