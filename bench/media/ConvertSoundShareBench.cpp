// What the sound track costs a real conversion, on the kind of deck that has the most sounds:
// 91 slides, 78 of them coming in with a wipe that plays a short transition sound (0.4 s, a
// different tone on each). The same deck is converted by `kavreto convert` (352 x 288, 25 fps,
// into .mp4 with AAC and .flv with MP3) with its sounds and with --mute, turn about, in the
// same run; each conversion is timed from the command's start to its exit (export, filming
// in the browser, encoding). It prints
//   sound share of conversion <ext>: X %   X = (with sound - muted) / with sound
//   sound share of conversion: X %         the larger of the two
// from the fastest of each kind's runs, and the same share of the processor time that the
// conversion and every process it started used, as its --stats count it (which the machine's
// other work disturbs less: the sound is mixed and encoded on the writer's thread while the
// browser films, so the wall time hides most of it).
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "../app/StatsLines.h"

namespace fs = std::filesystem;

namespace {

constexpr int kSlides = 91, kSounds = 78;

fs::path g_dir;
std::map<std::string, double> g_best;     // fastest whole run by kind
std::map<std::string, double> g_bestCpu;  // least processor time by kind


// The deck: slide i (from 0) has a colour of its own; slides 1 .. 78 come in with a wipe and
// tone<i - 1>.wav, linked from the deck's folder.
std::string Deck() {
  std::ostringstream styles, pages;
  for (int i = 0; i < kSlides; ++i) {
    char colour[8];
    std::snprintf(colour, sizeof colour, "#%02x%02x%02x", (i * 37) % 256, (i * 71 + 40) % 256, (i * 113 + 90) % 256);
    styles << "<style:style style:name=\"dp" << i << "\" style:family=\"drawing-page\">"
           << "<style:drawing-page-properties draw:fill=\"solid\" draw:fill-color=\"" << colour << "\"";
    if (i >= 1 && i <= kSounds)
      styles << " presentation:transition-speed=\"fast\" smil:type=\"barWipe\" smil:subtype=\"leftToRight\">"
             << "<presentation:sound xlink:href=\"tone" << i - 1
             << ".wav\" xlink:type=\"simple\" xlink:show=\"new\" xlink:actuate=\"onRequest\"/>"
             << "</style:drawing-page-properties></style:style>\n";
    else
      styles << "/></style:style>\n";
    pages << "<draw:page draw:name=\"page" << i + 1 << "\" draw:style-name=\"dp" << i
          << "\" draw:master-page-name=\"Default\"/>\n";
  }
  return R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
    xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
    xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
    xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
    xmlns:xlink="http://www.w3.org/1999/xlink"
    xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0"
    xmlns:smil="urn:oasis:names:tc:opendocument:xmlns:smil-compatible:1.0"
    office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.presentation">
<office:styles/>
<office:automatic-styles>
<style:page-layout style:name="PM1"><style:page-layout-properties fo:margin-top="0cm" fo:margin-bottom="0cm"
  fo:margin-left="0cm" fo:margin-right="0cm" fo:page-width="25.4cm" fo:page-height="19.05cm"
  style:print-orientation="landscape"/></style:page-layout>
)" + styles.str() +
         R"(</office:automatic-styles>
<office:master-styles><style:master-page style:name="Default" style:page-layout-name="PM1"/></office:master-styles>
<office:body><office:presentation>
)" + pages.str() +
         "</office:presentation></office:body></office:document>\n";
}

bool Prepare() {
  g_dir = fs::temp_directory_path() / ("kavreto-bench-sound-convert-" + std::to_string(::getpid()));
  fs::create_directories(g_dir);
  for (int i = 0; i < kSounds; ++i) {
    const fs::path wav = g_dir / ("tone" + std::to_string(i) + ".wav");
    const std::string command = "ffmpeg -nostdin -v error -y -f lavfi -i sine=frequency=" + std::to_string(300 + 10 * i) +
                                ":sample_rate=44100:duration=0.4 '" + wav.string() + "'";
    if (std::system(command.c_str()) != 0) return false;
  }
  std::ofstream(g_dir / "sounds.fodp") << Deck();
  return true;
}

// Runs `kavreto convert`; the "name: value" lines it printed with --stats, and its exit status.
std::map<std::string, double> Convert(const std::string& output, bool mute) {
  int err[2];
  if (::pipe(err) != 0) return {};
  const std::string input = (g_dir / "sounds.fodp").string();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(err[1], 2);
    ::close(err[0]);
    const std::string program = std::string(KAVRETO_BINARY_DIR) + "/app/kavreto";
    ::execl(program.c_str(), program.c_str(), "convert", input.c_str(), output.c_str(), "--size", "352x288", "--fps",
            "25", "--stats", "--timeout", "900", mute ? "--mute" : "--stats", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(err[1]);
  const std::string text = ReadToEnd(err[0]);
  ::close(err[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  std::map<std::string, double> stats = StatsLines(text);
  stats["exit status"] = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return stats;
}

void BM_Convert(benchmark::State& state, const std::string& extension, bool mute) {
  const std::string output = (g_dir / ("film." + extension)).string();
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const std::map<std::string, double> stats = Convert(output, mute);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (stats.count("exit status") == 0 || stats.at("exit status") != 0) {
      state.SkipWithError("kavreto convert did not reach the end of the show");
      return;
    }
    state.SetIterationTime(seconds);
    state.counters["frames"] = stats.count("frames") ? stats.at("frames") : 0;
    const std::string name = extension + (mute ? "/muted" : "/sound");
    g_best[name] = g_best.count(name) ? std::min(g_best[name], seconds) : seconds;
    const double cpu = stats.count("cpu seconds") ? stats.at("cpu seconds") : 0;
    g_bestCpu[name] = g_bestCpu.count(name) ? std::min(g_bestCpu[name], cpu) : cpu;
    state.counters["cpu_s"] = cpu;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (!Prepare()) {
    std::fprintf(stderr, "could not make the deck's sounds\n");
    return 1;
  }
  // Turn about, so that whatever else the machine does falls on both kinds alike.
  for (int round = 0; round < 3; ++round)
    for (const char* ext : {"mp4", "flv"})
      for (bool mute : {true, false})
        benchmark::RegisterBenchmark(
            (std::string("BM_Convert/") + ext + (mute ? "/muted/" : "/sound/") + std::to_string(round)).c_str(),
            BM_Convert, std::string(ext), mute)
            ->UseManualTime()
            ->Unit(benchmark::kSecond)
            ->Iterations(1);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  double worst = -1;
  for (const char* ext : {"mp4", "flv"}) {
    const std::string e = ext;
    if (!g_best.count(e + "/sound") || !g_best.count(e + "/muted")) continue;
    const double sound = g_best[e + "/sound"], muted = g_best[e + "/muted"];
    const double share = 100.0 * (sound - muted) / sound;
    worst = std::max(worst, share);
    const double cpuSound = g_bestCpu[e + "/sound"], cpuMuted = g_bestCpu[e + "/muted"];
    std::printf("sound share of conversion %s: %.1f %% (%.2f s with sound, %.2f s muted); of its processor time: "
                "%.1f %% (%.2f s, %.2f s)\n",
                ext, share, sound, muted, 100.0 * (cpuSound - cpuMuted) / cpuSound, cpuSound, cpuMuted);
  }
  if (worst > -1) std::printf("sound share of conversion: %.1f %%\n", worst);
  std::error_code ec;
  fs::remove_all(g_dir, ec);
  return 0;
}
