// Start-up and many-file cost of `kavreto convert` against the office's own command line
// turning the same deck into a PDF, in the same run. Every run is a new process with a new
// temporary directory; as on a user's machine, the office profile is already initialised:
// kavreto's profile template in a cache shared by the runs (made by one untimed first run,
// whose time is reported as well) and, for the office, a profile that one untimed PDF
// conversion has initialised.
//   first run s: X       the very first run, which also makes the profile template
//   start-up s: X        command start to the first filmed frame (one-slide corpus deck)
//   total s: X           the whole command (one-slide corpus deck)
//   office-pdf s: X      `soffice --headless --convert-to pdf` of the same deck
//   office-pdf with kavreto's profile template s: X
//                        the same with a copy of kavreto's profile template as the office's
//                        profile (for information: the office's own start made as short)
//   ratio total/office-pdf one-slide: X       goal <= 1.0
// the same figures for the 4-slide fixture, and
//   ratio ten-in-one/ten-separate: X          ten copies of the 4-slide fixture in one run
//                                             against ten runs one after another; goal <= 0.6
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ExportOptions.h"
#include "OfficeProfileTemplate.h"
#include "StatsLines.h"

namespace {

namespace fs = std::filesystem;

const char* kOneSlide = KAVRETO_CORPUS_DIR "/ppt/poi__Single_Coloured_Page.ppt";
const char* kFourSlides = KAVRETO_SOURCE_DIR "/tests/fixtures/four-slides.fodp";

// A scratch directory, removed with everything in it.
struct Scratch {
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "kavreto-bench-startup-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path = pattern;
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  std::string path;
};

struct Run {
  int status = -1;
  double seconds = 0;
  std::map<std::string, double> stats;  // the "name: value" lines on standard error
};

// The cache shared by every kavreto run of the benchmark (the profile template lives there).
const std::string& SharedCache() {
  static Scratch cache;
  return cache.path;
}

// Runs `args` with the shared cache and a private temporary directory under `scratch`.
Run RunCold(const std::vector<std::string>& args, const std::string& scratch) {
  const std::string tmp = scratch + "/tmp";
  fs::create_directories(tmp);
  // Made here, in the benchmark's own process: a first call in the child below would make
  // a cache of the child's own, never shared and never removed.
  const std::string& cache = SharedCache();
  int err[2];
  Run run;
  if (::pipe(err) != 0) return run;
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(err[1], 2);
    ::close(err[0]);
    const int devnull = ::open("/dev/null", O_RDWR);
    ::dup2(devnull, 0);
    ::dup2(devnull, 1);
    ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    ::setenv("TMPDIR", tmp.c_str(), 1);
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(err[1]);
  const std::string text = ReadToEnd(err[0]);
  ::close(err[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.stats = StatsLines(text);
  return run;
}

std::string Kavreto() { return std::string(KAVRETO_BINARY_DIR) + "/app/kavreto"; }

// The office's own PDF conversion of `deck` with a profile that an untimed conversion
// initialised first.
double OfficePdfSeconds(const std::string& deck) {
  Scratch scratch;
  const std::vector<std::string> args = {"soffice",
                                         "-env:UserInstallation=file://" + scratch.path + "/profile",
                                         "--headless",
                                         "--convert-to",
                                         "pdf",
                                         "--outdir",
                                         scratch.path + "/pdf",
                                         deck};
  if (RunCold(args, scratch.path).status != 0) return 0;
  const Run run = RunCold(args, scratch.path);
  return run.status == 0 ? run.seconds : 0;
}

// The office's PDF conversion of `deck` with a copy of kavreto's profile template as its
// profile (made by the first run): how fast the office itself is once its start is as
// kavreto's. 0 when there is no template or the conversion failed.
double OfficePdfSecondsWithTemplate(const std::string& deck) {
  // The runs' cache is XDG_CACHE_HOME, so kavreto's cache directory is "kavreto" in it.
  const std::string templateDir =
      OfficeProfileTemplate::PathIn(SharedCache() + "/kavreto", ExportOptions().officeProgramDir);
  if (templateDir.empty() || !fs::is_directory(templateDir)) return 0;
  Scratch scratch;
  if (!OfficeProfileTemplate::CopyTo(templateDir, scratch.path + "/profile")) return 0;
  const Run run = RunCold({"soffice", "-env:UserInstallation=file://" + scratch.path + "/profile", "--headless",
                           "--convert-to", "pdf", "--outdir", scratch.path + "/pdf", deck},
                          scratch.path);
  return run.status == 0 ? run.seconds : 0;
}

// The run that makes the profile template in the shared cache, once; its time (0 when it failed).
double FirstRunSeconds() {
  static const double seconds = [] {
    Scratch first;
    const Run run = RunCold({Kavreto(), "convert", kFourSlides, first.path + "/out.mp4"}, first.path);
    if (run.status != 0) return 0.0;
    std::printf("first run s: %.2f\n", run.seconds);
    return run.seconds;
  }();
  return seconds;
}

// One deck: our start-up and total against the office's PDF; false when a run failed.
bool CompareWithOfficePdf(const std::string& deck, const char* name, benchmark::State& state) {
  Scratch scratch;
  const Run ours = RunCold({Kavreto(), "convert", deck, scratch.path + "/out.mp4", "--stats"}, scratch.path);
  const double pdf = OfficePdfSeconds(deck);
  if (ours.status != 0 || pdf <= 0) return false;
  std::printf("%s start-up s: %.2f\n", name, ours.stats.at("start-up seconds"));
  std::printf("%s total s: %.2f\n", name, ours.seconds);
  std::printf("%s office-pdf s: %.2f\n", name, pdf);
  std::printf("%s office-pdf with kavreto's profile template s: %.2f\n", name, OfficePdfSecondsWithTemplate(deck));
  std::printf("ratio total/office-pdf %s: %.2f\n", name, ours.seconds / pdf);
  state.counters[std::string(name) + "_total_over_pdf"] = ours.seconds / pdf;
  return true;
}

void BM_StartUpAgainstOfficePdf(benchmark::State& state) {
  if (!fs::exists(kOneSlide)) {
    state.SkipWithError((std::string("no corpus deck: ") + kOneSlide).c_str());
    return;
  }
  for (auto _ : state) {
    if (FirstRunSeconds() <= 0) {
      state.SkipWithError("the first run failed");
      return;
    }
    if (!CompareWithOfficePdf(kOneSlide, "one-slide", state) ||
        !CompareWithOfficePdf(kFourSlides, "four-slide", state)) {
      state.SkipWithError("a conversion failed");
      return;
    }
  }
}
BENCHMARK(BM_StartUpAgainstOfficePdf)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_TenInOneAgainstTenSeparate(benchmark::State& state) {
  const int copies =
      std::getenv("KAVRETO_BENCH_COPIES") != nullptr ? std::atoi(std::getenv("KAVRETO_BENCH_COPIES")) : 10;
  for (auto _ : state) {
    if (FirstRunSeconds() <= 0) {
      state.SkipWithError("the first run failed");
      return;
    }
    Scratch scratch;
    const std::string in = scratch.path + "/in";
    fs::create_directories(in);
    std::vector<std::string> decks;
    for (int i = 0; i < copies; ++i) {
      decks.push_back(in + "/deck" + std::to_string(i) + ".fodp");
      fs::copy_file(kFourSlides, decks.back());
    }
    std::vector<std::string> args = {Kavreto(), "convert"};
    args.insert(args.end(), decks.begin(), decks.end());
    args.insert(args.end(), {"--output-dir", scratch.path + "/one-run"});
    Scratch oneRunScratch;
    const Run together = RunCold(args, oneRunScratch.path);  // the template exists by now
    double separate = 0;
    for (const std::string& deck : decks) {
      Scratch own;
      const Run run = RunCold({Kavreto(), "convert", deck, own.path + "/out.mp4"}, own.path);
      if (run.status != 0) {
        state.SkipWithError("a separate run failed");
        return;
      }
      separate += run.seconds;
    }
    if (together.status != 0) {
      state.SkipWithError("the run of many files failed");
      return;
    }
    std::printf("ten-in-one s: %.2f\n", together.seconds);
    std::printf("ten-separate s: %.2f\n", separate);
    std::printf("ratio ten-in-one/ten-separate: %.2f\n", together.seconds / separate);
    state.counters["ten_in_one_over_ten_separate"] = together.seconds / separate;
  }
}
BENCHMARK(BM_TenInOneAgainstTenSeparate)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
