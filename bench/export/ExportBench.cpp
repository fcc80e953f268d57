// bench_export: where the time of an export goes, from a cold start and with a warm office,
// for the 4-slide test presentation and the 25-slide corpus file, against the reference of
// the office's own command line doing the same conversion (start, open, SVG export, quit)
// with a fresh profile, in the same run.
//   new-profile   a new office with a brand-new profile (it starts, asks for a restart,
//                 starts again): how every export started before the profile template
//   template      a new office from a copy of the ready-made profile (made before timing)
//   first-ever    the same with an empty cache: the template is made first
//   warm          one office kept between exports (OfficeExporter)
// The two cold modes and the reference take turns within each iteration, so that the load of
// a shared machine falls on them alike. Prints, per input and mode, the fastest export with
// its phases: preparing (template,
// work directory, profile copy), starting and connecting the office (how many starts), and
// the rest (open, count, export, archive, quit), then the ratios to the reference.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ExportPresentation.h"
#include "FixtureFiles.h"
#include "OfficeExporter.h"
#include "TemporaryDirectory.h"

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Input {
  std::string name;
  std::string path;
  int slides = 0;
};
std::vector<Input> g_inputs;

enum Mode { NewProfile, Template, FirstEver, Warm, ModeCount };
constexpr const char* kModeNames[] = {"new-profile", "template", "first-ever", "warm"};

struct Figures {
  double total = 1e9, prepare = 0, start = 0;
  size_t starts = 0;
};
std::map<std::string, Figures> g_figures;   // fastest per input and mode
std::map<std::string, double> g_reference;  // fastest office command line per input

std::unique_ptr<TemporaryDirectory> g_cache;  // the template for the "template" mode

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// One export in `mode` of `input`; records its phases when it is the fastest so far.
double TimeExport(const Input& input, Mode mode, OfficeExporter* warm, const std::string& archive, bool& ok) {
  Figures& best = g_figures[input.name + "/" + kModeNames[mode]];
  std::unique_ptr<TemporaryDirectory> freshCache;
  if (mode == FirstEver) freshCache = std::make_unique<TemporaryDirectory>("kavreto-bench-cache-");
  const auto begin = Clock::now();
  Clock::time_point firstStart = begin, connected = begin;
  size_t starts = 0;
  ExportOptions options;
  options.useProfileTemplate = mode != NewProfile;
  options.cacheDir = freshCache ? freshCache->path() : g_cache->path();
  options.officeStarted = [&](pid_t) {
    if (starts++ == 0) firstStart = Clock::now();
  };
  options.officeConnected = [&](pid_t) { connected = Clock::now(); };
  const int count = warm != nullptr ? warm->exportPresentation(input.path, archive, {})
                                    : ExportPresentation(input.path, archive, {}, options);
  const double total = Seconds(Clock::now() - begin);
  ok = count == input.slides;
  if (ok && total < best.total) {
    best.total = total;
    best.prepare = starts > 0 ? Seconds(firstStart - begin) : 0;
    best.start = starts > 0 ? Seconds(connected - firstStart) : 0;
    best.starts = starts;
  }
  return total;
}

// The office's own command line: `soffice --headless --convert-to svg` with a fresh profile
// (a cold start too).
double TimeOfficeCommandLine(const Input& input) {
  TemporaryDirectory dir("kavreto-bench-");
  std::vector<std::string> args = {"soffice",      "--headless",
                                   "--norestore",  "-env:UserInstallation=file://" + dir.path() + "/profile",
                                   "--convert-to", "svg:impress_svg_Export",
                                   "--outdir",     dir.path() + "/out",
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
  const double took = Seconds(Clock::now() - begin);
  posix_spawn_file_actions_destroy(&actions);
  double& best = g_reference.try_emplace(input.name, 1e9).first->second;
  if (took < best) best = took;
  return took;
}

// The cold starts side by side: each iteration runs a new-profile export, a template export
// and the office's command line in turn, so that the load of a shared machine falls on all
// three alike.
void BM_ColdRound(benchmark::State& state) {
  const Input& input = g_inputs[state.range(0)];
  TemporaryDirectory dir("kavreto-bench-");
  for (auto _ : state) {
    bool ok = true, each = true;
    double took = TimeExport(input, NewProfile, nullptr, dir.path() + "/nn1.tmp", each);
    ok = ok && each;
    took += TimeExport(input, Template, nullptr, dir.path() + "/nn1.tmp", each);
    ok = ok && each;
    took += TimeOfficeCommandLine(input);
    if (!ok) state.SkipWithError("wrong slide count");
    state.SetIterationTime(took);
  }
  state.SetLabel(input.name + " new-profile + template + office command line");
}

void BM_Export(benchmark::State& state) {
  const Input& input = g_inputs[state.range(0)];
  const Mode mode = static_cast<Mode>(state.range(1));
  TemporaryDirectory dir("kavreto-bench-");
  ExportOptions options;
  options.cacheDir = g_cache->path();
  OfficeExporter warm(options);
  if (mode == Warm) warm.exportPresentation(input.path, dir.path() + "/nn0.tmp", {});
  for (auto _ : state) {
    bool ok = true;
    state.SetIterationTime(TimeExport(input, mode, mode == Warm ? &warm : nullptr, dir.path() + "/nn1.tmp", ok));
    if (!ok) state.SkipWithError("wrong slide count");
  }
  warm.close();
  state.SetLabel(input.name + " " + kModeNames[mode]);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string fixture = FixtureFiles::Converted("four-slides.fodp");
  if (fixture.empty()) {
    std::fprintf(stderr, "bench_export: cannot convert the test presentation (is LibreOffice installed?)\n");
    return 1;
  }
  g_inputs.push_back({"four-slides.ppt", fixture, 4});
  const std::string corpus = KAVRETO_CORPUS_DIR "/ppt/poi__bug58718_008558.ppt";
  if (fs::exists(corpus)) g_inputs.push_back({"poi__bug58718_008558.ppt", corpus, 25});

  // The template the "template" mode copies, made before any timing.
  g_cache = std::make_unique<TemporaryDirectory>("kavreto-bench-cache-");
  {
    ExportOptions options;
    options.cacheDir = g_cache->path();
    TemporaryDirectory dir("kavreto-bench-");
    if (ExportPresentation(fixture, dir.path() + "/nn.tmp", {}, options) != 4) {
      std::fprintf(stderr, "bench_export: the first export failed\n");
      return 1;
    }
  }

  for (size_t i = 0; i < g_inputs.size(); ++i) {
    benchmark::RegisterBenchmark("BM_ColdRound", BM_ColdRound)
        ->Arg(static_cast<int64_t>(i))
        ->UseManualTime()
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
    for (int mode : {FirstEver, Warm}) {
      benchmark::RegisterBenchmark("BM_Export", BM_Export)
          ->Args({static_cast<int64_t>(i), mode})
          ->UseManualTime()
          ->Iterations(mode == Warm ? 5 : 2)
          ->Unit(benchmark::kMillisecond);
    }
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  std::printf("\n");
  for (const Input& input : g_inputs) {
    const double reference = g_reference.count(input.name) ? g_reference[input.name] : 0;
    std::printf("%s (%d slides), office command line to SVG: %.2f s\n", input.name.c_str(), input.slides, reference);
    for (int mode = 0; mode < ModeCount; ++mode) {
      const auto found = g_figures.find(input.name + "/" + kModeNames[mode]);
      if (found == g_figures.end() || found->second.total >= 1e9) continue;
      const Figures& f = found->second;
      std::printf(
          "  export s %-11s %.2f  (preparing %.2f, office start and connect %.2f in %zu start(s), the rest %.2f)"
          "  ratio export/office-command-line: %.2f\n",
          kModeNames[mode], f.total, f.prepare, f.start, f.starts, f.total - f.prepare - f.start,
          reference > 0 ? f.total / reference : 0.0);
    }
  }
  return 0;
}
