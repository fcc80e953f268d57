// bench_export: a whole export from a cold start (a new office process each time) for the
// 4-slide test presentation and the 25-slide corpus file, against the reference of the office's
// own command line doing the same conversion (start, open, SVG export, quit) in the same run.
// Prints "export s SLIDES: X" for both files, and how much of an export is starting the office
// (what a warm office kept between exports would save).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "ExportPresentation.h"
#include "FixtureFiles.h"

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Input {
  std::string name;
  std::string path;
  int slides = 0;
};
std::vector<Input> gInputs;

struct Figures {
  double total = 1e9, start = 1e9;
  int count = 0;
};
std::map<std::string, Figures> gFigures;  // fastest per input

fs::path ScratchDir() {
  std::string pattern = (fs::temp_directory_path() / "kavreto-bench-XXXXXX").string();
  return mkdtemp(pattern.data()) ? fs::path(pattern) : fs::path();
}

void BM_Export(benchmark::State& state) {
  const Input& input = gInputs[state.range(0)];
  const fs::path dir = ScratchDir();
  Figures& best = gFigures[input.name];
  for (auto _ : state) {
    const auto begin = Clock::now();
    Clock::time_point connected = begin;
    ExportOptions options;
    options.officeConnected = [&](pid_t) { connected = Clock::now(); };
    const int count = ExportPresentation(input.path, (dir / "nn1.tmp").string(), {}, options);
    const auto end = Clock::now();
    if (count != input.slides) state.SkipWithError("wrong slide count");
    const double total = std::chrono::duration<double>(end - begin).count();
    if (total < best.total) {
      best.total = total;
      best.start = std::chrono::duration<double>(connected - begin).count();
      best.count = count;
    }
    state.SetIterationTime(total);
  }
  state.SetLabel(input.name);
  std::error_code ec;
  fs::remove_all(dir, ec);
}

// The reference: `soffice --headless --convert-to svg` with a fresh profile (a cold start too).
void BM_OfficeCommandLine(benchmark::State& state) {
  const Input& input = gInputs[state.range(0)];
  for (auto _ : state) {
    const fs::path dir = ScratchDir();
    std::vector<std::string> args = {"soffice",      "--headless",
                                     "--norestore",  "-env:UserInstallation=file://" + (dir / "profile").string(),
                                     "--convert-to", "svg:impress_svg_Export",
                                     "--outdir",     (dir / "out").string(),
                                     input.path};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto begin = Clock::now();
    pid_t pid = -1;
    int status = 0;
    if (posix_spawnp(&pid, "soffice", &actions, nullptr, argv.data(), environ) == 0) ::waitpid(pid, &status, 0);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - begin).count());
    posix_spawn_file_actions_destroy(&actions);
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  state.SetLabel(input.name);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string fixture = FixtureFiles::Converted("four-slides.fodp");
  if (fixture.empty()) {
    std::fprintf(stderr, "bench_export: cannot convert the test presentation (is LibreOffice installed?)\n");
    return 1;
  }
  gInputs.push_back({"four-slides.ppt", fixture, 4});
  const std::string corpus = KAVRETO_CORPUS_DIR "/ppt/poi__bug58718_008558.ppt";
  if (fs::exists(corpus)) gInputs.push_back({"poi__bug58718_008558.ppt", corpus, 25});

  for (size_t i = 0; i < gInputs.size(); ++i) {
    benchmark::RegisterBenchmark("BM_Export", BM_Export)
        ->Arg(static_cast<int64_t>(i))
        ->UseManualTime()
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_OfficeCommandLine", BM_OfficeCommandLine)
        ->Arg(static_cast<int64_t>(i))
        ->UseManualTime()
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  std::printf("\n");
  for (const Input& input : gInputs) {
    const Figures& f = gFigures[input.name];
    if (f.count == 0) continue;
    std::printf("export s %d: %.2f   (%s; office start and connect %.2f s, the rest %.2f s)\n", f.count, f.total,
                input.name.c_str(), f.start, f.total - f.start);
  }
  std::printf(
      "goal: export s <= 2.00 from a cold start. A warm office kept between exports would save about "
      "the start time above per export.\n");
  return 0;
}
