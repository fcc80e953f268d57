// Converts a real presentation with `kavreto convert` at 720x540, 30 fps and
// reports what the batch command counted:
//   dropped ticks: N    ticks that found the worker still busy (goal 0)
//   wall/video: X       wall time over the video's duration (goal <= 1.05; the
//                       reference is real time, 1.0, since the show is filmed live)
//   peak rss MB: M      peak resident memory of kavreto and the processes it started
// The presentation is KAVRETO_BENCH_INPUT, or the corpus file below.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "StatsLines.h"

namespace {

const char* kDefaultInput = KAVRETO_CORPUS_DIR "/ppt/poi__bug58718_008558.ppt";

// Runs the conversion and returns the "name: value" lines it printed with --stats.
std::map<std::string, double> Convert(const std::string& input, const std::string& output) {
  int err[2];
  if (::pipe(err) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(err[1], 2);
    ::close(err[0]);
    const std::string program = std::string(KAVRETO_BINARY_DIR) + "/app/kavreto";
    ::execl(program.c_str(), program.c_str(), "convert", input.c_str(), output.c_str(), "--size", "720x540", "--fps",
            "30", "--stats", "--timeout", "600", static_cast<char*>(nullptr));
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

void BM_ConvertCorpusPresentation(benchmark::State& state) {
  const char* env = std::getenv("KAVRETO_BENCH_INPUT");
  const std::string input = env != nullptr ? env : kDefaultInput;
  if (!std::filesystem::exists(input)) {
    state.SkipWithError(("no input presentation: " + input).c_str());
    return;
  }
  const std::string output = (std::filesystem::temp_directory_path() / "kavreto-bench-convert.mp4").string();
  std::map<std::string, double> stats;
  double wholeRun = 0;  // seconds from starting the command to its exit, export and start-up included
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    stats = Convert(input, output);
    wholeRun = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  std::filesystem::remove(output);
  if (stats["exit status"] != 0) {
    state.SkipWithError("kavreto convert did not reach the end of the show");
    return;
  }
  const double wallOverVideo = stats["wall seconds"] / stats["video seconds"];
  state.counters["dropped_ticks"] = stats["dropped ticks"];
  state.counters["wall_over_video"] = wallOverVideo;
  state.counters["peak_rss_MB"] = stats["peak rss MB"];
  state.counters["frames"] = stats["frames"];
  std::printf("dropped ticks: %.0f\n", stats["dropped ticks"]);
  std::printf("wall/video: %.3f\n", wallOverVideo);
  std::printf("peak rss MB: %.0f\n", stats["peak rss MB"]);
  std::printf("wall/video with export and start-up: %.3f\n", wholeRun / stats["video seconds"]);
  std::printf("rss MB at first slide: %.0f, at last slide: %.0f (kavreto alone: %.0f, %.0f)\n",
              stats["rss MB at first slide"], stats["rss MB at last slide"],
              stats["kavreto's own rss MB at first slide"], stats["kavreto's own rss MB at last slide"]);
}
BENCHMARK(BM_ConvertCorpusPresentation)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
