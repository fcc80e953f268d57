// `kavreto convert` when things go wrong under it, with the real office, browser and encoder:
// a renderer that is killed or stops answering ends the conversion with its message, exit
// status 1 and a complete video; a kavreto that is itself killed leaves no process behind,
// and the work file it leaves is removed by the next conversion but never one in use.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "AppTestSupport.h"
#include "FixtureFiles.h"
#include "ProcessTree.h"

namespace {

constexpr int kConversionLimitMs = 240000;
// Helpers notice a dead parent within moments; this only bounds a broken case.
constexpr int kHelpersGoneMs = 15000;

// The frame count that --stats reports, or -1.
long WrittenFrames(const std::string& log) {
  const size_t at = log.find("\nframes: ");
  return at == std::string::npos ? -1 : std::atol(log.c_str() + at + 9);
}

// Ends the office processes whose command line holds `marker`.
void KillOfficeProcesses(const std::string& marker) {
  std::error_code error;
  for (const auto& proc : std::filesystem::directory_iterator("/proc", error)) {
    std::ifstream comm(proc.path() / "comm");
    std::string command;
    if (!std::getline(comm, command) || command.rfind("soffice", 0) != 0) continue;
    std::ifstream cmdline(proc.path() / "cmdline");
    const std::string arguments((std::istreambuf_iterator<char>(cmdline)), std::istreambuf_iterator<char>());
    if (arguments.find(marker) != std::string::npos) ::kill(std::atoi(proc.path().filename().c_str()), SIGKILL);
  }
}

// The one-slide fixture with its slide repeated `count` times: a show long enough to be
// interrupted in its middle however fast it is filmed. Its .ppt path, "" on failure.
std::string RepeatedSlideDeck(int count) {
  std::ifstream in(FixtureFiles::SourcePath("one-slide.fodp"));
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t begin = text.find("<draw:page ");
  const size_t end = text.find("</draw:page>");
  if (!in || begin == std::string::npos || end == std::string::npos) return "";
  const std::string page = text.substr(begin, end + std::string("</draw:page>").size() - begin);
  std::string pages;
  for (int i = 1; i <= count; ++i) {
    std::string copy = page;
    const size_t name = copy.find("draw:name=\"page1\"");
    if (name != std::string::npos) copy.replace(name, 17, "draw:name=\"page" + std::to_string(i) + "\"");
    pages += copy + "\n";
  }
  static TempDir dir;
  const std::string path = dir.file("repeated-" + std::to_string(count) + ".fodp");
  std::ofstream(path) << text.substr(0, begin) + pages + text.substr(end + std::string("</draw:page>").size());
  return FixtureFiles::Converted(path);
}

class ConversionFault : public testing::Test {
 protected:
  static void SetUpTestSuite() { longDeck_ = RepeatedSlideDeck(24); }
  void SetUp() override { ASSERT_FALSE(longDeck_.empty()) << "LibreOffice could not make the fixture"; }
  // A failed check leaks no office process either.
  void TearDown() override {
    for (const std::string& marker : markers_) KillOfficeProcesses(marker);
  }

  // Work files in a private cache directory shared by the test's conversions; `tmp` is the
  // conversion's TMPDIR, where the office's profile and pipe go.
  std::vector<std::string> Env(const TempDir& tmp, std::vector<std::string> more = {}) {
    markers_.push_back(tmp.path());
    more.insert(more.end(),
                {"XDG_CACHE_HOME=" + cache_.path(), "TMPDIR=" + tmp.path(), "XDG_RUNTIME_DIR=" + runtime_.path()});
    return more;
  }
  std::vector<std::string> WorkFiles() const {
    std::vector<std::string> files = FilesWithPrefix(cache_.path(), "nn");
    std::sort(files.begin(), files.end());
    return files;
  }
  // A conversion of the long deck at 30 fps, with frames written by the time this returns
  // (the second slide is reached only after the first has been filmed).
  std::unique_ptr<ChildProcess> StartFilming(const std::string& output, const TempDir& tmp,
                                             std::vector<std::string> env = {}) {
    auto kavreto = std::make_unique<ChildProcess>(
        std::vector<std::string>{KavretoProgram(), "convert", longDeck_, output, "--fps", "30", "--stats"},
        Env(tmp, std::move(env)));
    EXPECT_TRUE(kavreto->waitForStderr("slide 2 of", kConversionLimitMs)) << kavreto->stderrText();
    return kavreto;
  }
  // The video holds exactly the frames the command says it wrote, and decodes cleanly.
  void ExpectCompleteVideo(const std::string& output, const std::string& log) const {
    const long written = WrittenFrames(log);
    ASSERT_GT(written, 0) << log;
    const DecodedVideo video = DecodeVideo(output);
    EXPECT_EQ(video.errors, "");
    EXPECT_EQ(static_cast<long>(video.frames.size()), written);
  }

  static std::string longDeck_;
  TempDir cache_, runtime_, out_;
  std::vector<std::string> markers_;
};
std::string ConversionFault::longDeck_;

TEST_F(ConversionFault, KilledRendererEndsTheConversionWithItsMessage) {
  TempDir tmp;
  const std::string output = out_.file("killed.mp4");
  auto kavreto = StartFilming(output, tmp);
  const pid_t renderer = FindRenderer(kavreto->pid());
  ASSERT_GT(renderer, 0);
  const std::vector<ProcessRef> helpers = BrowserHelpers(kavreto->pid());
  ASSERT_EQ(::kill(renderer, SIGKILL), 0);
  EXPECT_EQ(kavreto->wait(60000), 1) << kavreto->stderrText();
  const std::string& log = kavreto->stderrText();
  EXPECT_NE(log.find("播放器意外退出"), std::string::npos) << log;
  EXPECT_EQ(log.find("完成!"), std::string::npos) << log;
  EXPECT_NE(log.find("renderer process was killed (signal 9, SIGKILL"), std::string::npos) << log;
  ExpectCompleteVideo(output, log);
  EXPECT_TRUE(WaitUntilNoneRuns(helpers, kHelpersGoneMs));
  EXPECT_EQ(OfficeProcessCount(tmp.path()), 0);
  EXPECT_EQ(WorkFiles(), std::vector<std::string>{});
}

TEST_F(ConversionFault, StoppedRendererEndsTheConversionAfterTheLimit) {
  TempDir tmp;
  const std::string output = out_.file("stopped.flv");
  auto kavreto = StartFilming(output, tmp, {"KAVRETO_RENDERER_HANG_SECONDS=3"});
  const pid_t renderer = FindRenderer(kavreto->pid());
  ASSERT_GT(renderer, 0);
  const std::vector<ProcessRef> helpers = BrowserHelpers(kavreto->pid());
  ASSERT_EQ(::kill(renderer, SIGSTOP), 0);
  const int status = kavreto->wait(120000);
  ::kill(renderer, SIGCONT);  // should it still be there
  EXPECT_EQ(status, 1) << kavreto->stderrText();
  const std::string& log = kavreto->stderrText();
  EXPECT_NE(log.find("播放器停止响应"), std::string::npos) << log;
  EXPECT_NE(log.find("stopped answering (no answer for 3 s)"), std::string::npos) << log;
  ExpectCompleteVideo(output, log);
  EXPECT_TRUE(WaitUntilNoneRuns(helpers, kHelpersGoneMs));
  EXPECT_EQ(WorkFiles(), std::vector<std::string>{});
}

TEST_F(ConversionFault, HealthyConversionIsNeverTakenForHungAndItsHelpersEndWithIt) {
  // A limit far below the time the conversion takes: only a page that stops answering for
  // that long may trip it, never one that is merely busy.
  TempDir tmp;
  const std::string output = out_.file("healthy.mp4");
  auto kavreto = StartFilming(output, tmp, {"KAVRETO_RENDERER_HANG_SECONDS=2"});
  const std::vector<ProcessRef> helpers = BrowserHelpers(kavreto->pid());
  EXPECT_FALSE(helpers.empty());
  EXPECT_EQ(kavreto->wait(kConversionLimitMs), 0) << kavreto->stderrText();
  ExpectCompleteVideo(output, kavreto->stderrText());
  EXPECT_TRUE(WaitUntilNoneRuns(helpers, kHelpersGoneMs));
}

TEST_F(ConversionFault, InterruptedConversionsLeaveNoHelperBehind) {
  for (int signalNumber : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signalNumber);
    TempDir tmp;
    auto kavreto = StartFilming(out_.file("interrupted" + std::to_string(signalNumber) + ".mp4"), tmp);
    const std::vector<ProcessRef> helpers = BrowserHelpers(kavreto->pid());
    EXPECT_FALSE(helpers.empty());
    ::kill(kavreto->pid(), signalNumber);
    EXPECT_EQ(kavreto->wait(60000), 3) << kavreto->stderrText();
    EXPECT_TRUE(WaitUntilNoneRuns(helpers, kHelpersGoneMs));
    EXPECT_EQ(OfficeProcessCount(tmp.path()), 0);
    EXPECT_EQ(WorkFiles(), std::vector<std::string>{});
  }
}

TEST_F(ConversionFault, KilledConversionsLeaveNothingThatTheNextOneDoesNotRemove) {
  // A conversion running beside the others the whole time; stopped (but alive, holding its
  // work file) so that it is still running when the next conversion sweeps.
  TempDir besideTmp;
  const std::string besideOutput = out_.file("beside.mp4");
  auto beside = StartFilming(besideOutput, besideTmp);
  const std::vector<std::string> besideFiles = WorkFiles();
  ASSERT_EQ(besideFiles.size(), 1u);
  ASSERT_EQ(::kill(beside->pid(), SIGSTOP), 0);

  // Killed during the export, once the office has the presentation open: its office goes
  // with it.
  TempDir exportTmp;
  std::vector<std::string> exportFiles;
  {
    const std::string source = exportTmp.file("deck.ppt");
    std::filesystem::copy_file(longDeck_, source);
    ChildProcess kavreto({KavretoProgram(), "convert", source, out_.file("export.mp4")}, Env(exportTmp));
    ASSERT_TRUE(PollUntil([&] { return OfficeHavingOpen(source) > 0; }, 60000)) << kavreto.stderrText();
    ::kill(kavreto.pid(), SIGKILL);
    EXPECT_EQ(kavreto.wait(10000), 128 + SIGKILL);
    EXPECT_TRUE(PollUntil([&] { return OfficeProcessCount(exportTmp.path()) == 0; }, kHelpersGoneMs))
        << "the office outlived the killed conversion";
    exportFiles = WorkFiles();
    EXPECT_EQ(exportFiles.size(), 2u);  // the one beside, and the killed one's
  }
  // Killed during filming: the browser's helpers go with it.
  TempDir filmTmp;
  {
    auto kavreto = StartFilming(out_.file("film.mp4"), filmTmp);
    const std::vector<ProcessRef> helpers = BrowserHelpers(kavreto->pid());
    EXPECT_FALSE(helpers.empty());
    ::kill(kavreto->pid(), SIGKILL);
    EXPECT_EQ(kavreto->wait(10000), 128 + SIGKILL);
    EXPECT_TRUE(WaitUntilNoneRuns(helpers, kHelpersGoneMs)) << "a browser helper outlived the killed conversion";
    EXPECT_EQ(OfficeProcessCount(filmTmp.path()), 0);
  }
  // The killed filming's start removed what the killed export left; its own stays.
  const std::vector<std::string> filmFiles = WorkFiles();
  EXPECT_EQ(filmFiles.size(), 2u);
  for (const std::string& file : exportFiles) {
    const bool kept = std::find(filmFiles.begin(), filmFiles.end(), file) != filmFiles.end();
    EXPECT_EQ(kept, file == besideFiles.front()) << file;
  }

  // The next conversion removes what the killed ones left, and keeps the one in use.
  TempDir nextTmp;
  {
    ChildProcess next(
        {KavretoProgram(), "convert", FixtureFiles::Converted("one-slide.fodp"), out_.file("next.mp4"), "--fps", "5"},
        Env(nextTmp));
    EXPECT_EQ(next.wait(kConversionLimitMs), 0) << next.stderrText();
  }
  EXPECT_EQ(WorkFiles(), besideFiles);

  // The conversion beside, resumed, ends as if nothing had happened.
  ::kill(beside->pid(), SIGCONT);
  EXPECT_EQ(beside->wait(kConversionLimitMs), 0) << beside->stderrText();
  ExpectCompleteVideo(besideOutput, beside->stderrText());
  EXPECT_EQ(WorkFiles(), std::vector<std::string>{});
  for (const TempDir* tmp : {&besideTmp, &exportTmp, &filmTmp, &nextTmp}) {
    EXPECT_EQ(OfficeProcessCount(tmp->path()), 0);
  }
}

}  // namespace
