// Several exports through one warm office, the ready-made profile each office starts from,
// and the archive's base name.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "ExportPresentation.h"
#include "ExportTestSupport.h"
#include "FixtureFiles.h"
#include "OfficeExporter.h"
#include "OfficeProfileTemplate.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Outcome {
  int result = -1;
  std::vector<std::string> messages;
  ExportReport report;
};

Outcome Export(OfficeExporter& exporter, const std::string& source, const std::string& archive) {
  Outcome outcome;
  outcome.result = exporter.exportPresentation(
      source, archive, [&](const std::string& message) { outcome.messages.push_back(message); }, &outcome.report);
  return outcome;
}

std::vector<std::string> PartNames(const std::string& archive) {
  std::vector<MhtmlPartRead> parts;
  std::string error;
  EXPECT_TRUE(ReadMhtml(ReadWholeFile(archive), parts, error)) << error;
  std::vector<std::string> names;
  for (const auto& part : parts) names.push_back(part.location);
  return names;
}

class OfficeExporterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fourSlides_ = FixtureFiles::Converted("four-slides.fodp");
    oneSlide_ = FixtureFiles::Converted("one-slide.fodp");
    ASSERT_FALSE(fourSlides_.empty());
    ASSERT_FALSE(oneSlide_.empty());
    options_.officeStarted = [this](pid_t pid) { started_.push_back(pid); };
  }
  std::string fourSlides_, oneSlide_;
  ExportOptions options_;
  std::vector<pid_t> started_;
};

TEST_F(OfficeExporterTest, SeveralFilesThroughOneOfficeABadOneInTheMiddle) {
  ScratchDirectory dir;
  PrivateTmpDir tmp;
  WriteWholeFile(dir.file("notes.ppt"), "These are plain notes, not a presentation.\n");
  const std::string encrypted = kCorpusDir + "ppt/poi__Password_Protected-hello.ppt";
  {
    OfficeExporter exporter(options_);
    EXPECT_TRUE(started_.empty()) << "the office starts with the first file, not before";

    const Outcome first = Export(exporter, fourSlides_, dir.file("a.tmp"));
    const Outcome bad = Export(exporter, dir.file("notes.ppt"), dir.file("b.tmp"));
    const Outcome second = Export(exporter, oneSlide_, dir.file("c.tmp"));

    EXPECT_EQ(first.result, 4);
    EXPECT_TRUE(first.messages.empty());
    EXPECT_EQ(first.report.problem, ExportProblem::None);
    EXPECT_EQ(bad.result, 0);
    EXPECT_EQ(bad.messages, std::vector<std::string>{kUnknownExceptionMessage});
    EXPECT_EQ(bad.report.problem, ExportProblem::NotAPresentation) << bad.report.detail;
    EXPECT_EQ(second.result, 1);
    EXPECT_TRUE(second.messages.empty());
    if (fs::exists(encrypted)) {
      const Outcome locked = Export(exporter, encrypted, dir.file("d.tmp"));
      EXPECT_EQ(locked.report.problem, ExportProblem::Encrypted) << locked.report.detail;
      EXPECT_EQ(Export(exporter, fourSlides_, dir.file("e.tmp")).result, 4);
    }
    ASSERT_EQ(started_.size(), 1u) << "one office for every file";
    EXPECT_TRUE(IsOfficeProcess(started_.front()));
    std::vector<std::string> written = {"a.tmp", "c.tmp", "notes.ppt"};
    if (fs::exists(encrypted)) written.insert(written.begin() + 2, "e.tmp");
    EXPECT_EQ(ListDirectory(dir.path()), written);
    EXPECT_EQ(PartNames(dir.file("c.tmp")), (std::vector<std::string>{"c.files/fullscreen.htm", "c.files/show.svg"}));
  }
  // Destroyed without close(): the office still ends, and its files go.
  EXPECT_TRUE(WaitUntilGone(started_.front(), 20s));
  EXPECT_EQ(LeftoverPipeFiles(), std::vector<std::string>{});
  EXPECT_EQ(ListDirectory(tmp.path()), std::vector<std::string>{});
}

TEST_F(OfficeExporterTest, AnOfficeThatDiedIsStartedAgainAndCloseEndsIt) {
  ScratchDirectory dir;
  OfficeExporter exporter(options_);
  EXPECT_EQ(Export(exporter, oneSlide_, dir.file("a.tmp")).result, 1);
  ASSERT_EQ(started_.size(), 1u);
  ::kill(started_.front(), SIGKILL);
  ASSERT_TRUE(WaitUntilGone(started_.front(), 20s));

  const Outcome again = Export(exporter, fourSlides_, dir.file("b.tmp"));
  EXPECT_EQ(again.result, 4);
  EXPECT_TRUE(again.messages.empty());
  ASSERT_EQ(started_.size(), 2u);

  exporter.close();
  EXPECT_TRUE(WaitUntilGone(started_.back(), 20s));
  EXPECT_EQ(LeftoverPipeFiles(), std::vector<std::string>{});
  // Usable after close(): the next file starts a new office.
  EXPECT_EQ(Export(exporter, oneSlide_, dir.file("c.tmp")).result, 1);
  EXPECT_EQ(started_.size(), 3u);
}

// An archive named ".tmp" has an empty base name, as the slide-show window reads it; one
// with several full stops keeps all but the last part.
TEST_F(OfficeExporterTest, BaseNameOfTheArchiveEndsAtItsLastFullStop) {
  ScratchDirectory dir;
  OfficeExporter exporter(options_);
  EXPECT_EQ(Export(exporter, oneSlide_, dir.file(".tmp")).result, 1);
  EXPECT_EQ(PartNames(dir.file(".tmp")), (std::vector<std::string>{".files/fullscreen.htm", ".files/show.svg"}));
  EXPECT_EQ(Export(exporter, oneSlide_, dir.file("nn.1.tmp")).result, 1);
  EXPECT_EQ(PartNames(dir.file("nn.1.tmp")),
            (std::vector<std::string>{"nn.1.files/fullscreen.htm", "nn.1.files/show.svg"}));
}

// Two exports start at the same moment and no profile template exists yet: it is made once,
// both use it, and neither office has to start twice.
TEST_F(OfficeExporterTest, ProfileTemplateIsMadeOnceUnderConcurrency) {
  ScratchDirectory cache, dir;
  // A template of an office version that is no longer installed.
  fs::create_directories(cache.file("office-template-1.0-old/user"));
  std::atomic<int> made{0};
  std::string madePath;
  ExportOptions options;
  options.cacheDir = cache.path();
  options.profileTemplateMade = [&](const std::string& path) {
    ++made;
    madePath = path;
  };

  struct Run {
    int result = -1;
    std::vector<pid_t> started;
  } runs[2];
  auto run = [&](Run& r, const std::string& archive) {
    ExportOptions mine = options;
    mine.officeStarted = [&r](pid_t pid) { r.started.push_back(pid); };
    r.result = ExportPresentation(fourSlides_, archive, {}, mine);
  };
  std::thread other(run, std::ref(runs[1]), dir.file("b.tmp"));
  run(runs[0], dir.file("a.tmp"));
  other.join();

  EXPECT_EQ(made.load(), 1);
  for (const Run& r : runs) {
    EXPECT_EQ(r.result, 4);
    EXPECT_EQ(r.started.size(), 1u) << "the office started more than once";
  }
  const std::string key = OfficeProfileTemplate::VersionKey(options.officeProgramDir);
  ASSERT_FALSE(key.empty());
  EXPECT_EQ(madePath, cache.file("office-template-" + key));
  EXPECT_EQ(OfficeProfileTemplate::PathIn(cache.path(), options.officeProgramDir), madePath);
  EXPECT_EQ(ListDirectory(cache.path()), (std::vector<std::string>{"office-template-" + key, "office-template.lock"}));
  // The office's version is recorded as the one last run: a copy then starts without the
  // office's first-start-after-an-upgrade self-test, which is most of its start time.
  const std::string settings = ReadWholeFile(madePath + "/user/registrymodifications.xcu");
  EXPECT_NE(settings.find("\"ooSetupLastVersion\" oor:op=\"fuse\"><value>"), std::string::npos) << settings;

  // The next export copies it and makes none.
  Run third;
  run(third, dir.file("c.tmp"));
  EXPECT_EQ(third.result, 4);
  EXPECT_EQ(third.started.size(), 1u);
  EXPECT_EQ(made.load(), 1);
}

}  // namespace
