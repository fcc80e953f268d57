// ExportPresentation with the real LibreOffice on real .ppt files: slide counts, the archive
// it writes, and what it leaves behind (no office process, no pipe, no temporary file, nothing
// next to the source).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "ExportPresentation.h"
#include "ExportTestSupport.h"
#include "FixtureFiles.h"

namespace {

void ExpectNothingLeft(const ExportRun& run, const PrivateTmpDir* tmp = nullptr) {
  for (pid_t pid : run.officePids) EXPECT_FALSE(IsOfficeProcess(pid)) << "office process " << pid << " still runs";
  EXPECT_EQ(LeftoverPipeFiles(), std::vector<std::string>{});
  if (tmp != nullptr) {
    EXPECT_EQ(ListDirectory(tmp->path()), std::vector<std::string>{}) << "temporary files left";
  }
}

struct ArchiveContents {
  std::string page;  // BASE.files/fullscreen.htm
  std::string show;  // BASE.files/show.svg
  std::string pageType, showType;
};

ArchiveContents ReadArchive(const std::string& path, const std::string& base) {
  std::vector<MhtmlPartRead> parts;
  std::string error;
  ArchiveContents contents;
  EXPECT_TRUE(ReadMhtml(ReadWholeFile(path), parts, error)) << error;
  for (const auto& part : parts) {
    if (part.location == base + ".files/fullscreen.htm") contents.page = part.body, contents.pageType = part.type;
    if (part.location == base + ".files/show.svg") contents.show = part.body, contents.showType = part.type;
  }
  return contents;
}

class ExportPresentationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fourSlides_ = FixtureFiles::Converted("four-slides.fodp");
    ASSERT_FALSE(fourSlides_.empty()) << "could not convert the test presentation";
  }
  std::string fourSlides_;
};

TEST_F(ExportPresentationTest, FourSlideDeckGivesItsCountAndAPlayableArchive) {
  ScratchDirectory sourceDir, archiveDir;
  const std::string source = FixtureFiles::CopyTo(fourSlides_, sourceDir.path(), "deck.ppt");
  const std::string archive = archiveDir.file("nn1a2b.tmp");
  PrivateTmpDir tmp;

  const ExportRun run = RunExport(source, archive);

  EXPECT_EQ(run.result, 4);  // the hidden slide counts
  EXPECT_TRUE(run.messages.empty()) << run.messages.front();
  EXPECT_FALSE(run.officePids.empty());
  ExpectNothingLeft(run, &tmp);
  // Opened read-only: no lock file or anything else next to the source.
  EXPECT_EQ(ListDirectory(sourceDir.path()), std::vector<std::string>{"deck.ppt"});
  // Exactly the archive, under exactly its name.
  EXPECT_EQ(ListDirectory(archiveDir.path()), std::vector<std::string>{"nn1a2b.tmp"});

  const ArchiveContents contents = ReadArchive(archive, "nn1a2b");
  EXPECT_EQ(contents.pageType, "text/html; charset=utf-8");
  EXPECT_EQ(contents.showType, "image/svg+xml");
  EXPECT_NE(contents.page.find("<iframe name=\"PPTSld\" src=\"show.svg\""), std::string::npos);
  // Slide 4 is hidden: the page shows the engine's slides 0, 1 and 2 only.
  EXPECT_NE(contents.page.find("var kvShownSlides = [0, 1, 2];"), std::string::npos);
  EXPECT_NE(contents.show.find("ooo:number-of-slides=\"4\""), std::string::npos);
  EXPECT_NE(contents.show.find("<script"), std::string::npos);
  // The three click effects of slide 2 came through.
  size_t clicks = 0;
  for (size_t at = contents.show.find("presentation:node-type=\"on-click\""); at != std::string::npos;
       at = contents.show.find("presentation:node-type=\"on-click\"", at + 1))
    ++clicks;
  EXPECT_EQ(clicks, 3u);
}

TEST_F(ExportPresentationTest, OneSlideDeckAndAnExistingArchiveIsReplaced) {
  const std::string oneSlide = FixtureFiles::Converted("one-slide.fodp");
  ASSERT_FALSE(oneSlide.empty());
  ScratchDirectory archiveDir;
  const std::string archive = archiveDir.file("show.tmp");
  WriteWholeFile(archive, "stale contents of an earlier run");

  const ExportRun run = RunExport(oneSlide, archive);

  EXPECT_EQ(run.result, 1);
  EXPECT_TRUE(run.messages.empty());
  ExpectNothingLeft(run);
  const ArchiveContents contents = ReadArchive(archive, "show");
  EXPECT_FALSE(contents.page.empty());
  EXPECT_NE(contents.show.find("ooo:number-of-slides=\"1\""), std::string::npos);
  EXPECT_EQ(ListDirectory(archiveDir.path()), std::vector<std::string>{"show.tmp"});
}

TEST_F(ExportPresentationTest, SourcePathWithSpacesAndChineseCharacters) {
  ScratchDirectory dir;
  const std::string sub = dir.file("我的 文件");
  std::filesystem::create_directory(sub);
  const std::string source = FixtureFiles::CopyTo(fourSlides_, sub, "演示 文稿 #1.ppt");
  ASSERT_FALSE(source.empty());

  const ExportRun run = RunExport(source, dir.file("out.tmp"));

  EXPECT_EQ(run.result, 4);
  EXPECT_TRUE(run.messages.empty());
  EXPECT_EQ(ListDirectory(sub), std::vector<std::string>{"演示 文稿 #1.ppt"});
}

// A UNO bootstrap setting of the calling program must not reach the office it starts.
TEST_F(ExportPresentationTest, CallersUnoBootstrapSettingDoesNotReachTheOffice) {
  ScratchDirectory dir;
  ::setenv("URE_BOOTSTRAP", "vnd.sun.star.pathname:/nonexistent/fundamentalrc", 1);
  const ExportRun run = RunExport(fourSlides_, dir.file("out.tmp"));
  ::unsetenv("URE_BOOTSTRAP");
  EXPECT_EQ(run.result, 4);
  EXPECT_TRUE(run.messages.empty());
}

TEST_F(ExportPresentationTest, TwoExportsAtTheSameTimeUseTheirOwnOffices) {
  ScratchDirectory dir;
  ExportRun first, second;
  std::thread other([&] { second = RunExport(fourSlides_, dir.file("b.tmp")); });
  first = RunExport(fourSlides_, dir.file("a.tmp"));
  other.join();

  EXPECT_EQ(first.result, 4);
  EXPECT_EQ(second.result, 4);
  EXPECT_TRUE(first.messages.empty());
  EXPECT_TRUE(second.messages.empty());
  ExpectNothingLeft(first);
  ExpectNothingLeft(second);
  EXPECT_FALSE(ReadArchive(dir.file("a.tmp"), "a").page.empty());
  EXPECT_FALSE(ReadArchive(dir.file("b.tmp"), "b").page.empty());
}

// The UNO runtime and the bridge are shut down in order: a program that exported and then
// ends normally (static destructors included) exits with status 0 and prints nothing.
TEST_F(ExportPresentationTest, ProgramEndsCleanlyAfterAnExport) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string source = fourSlides_;
  EXPECT_EXIT(
      {
        int code = 1;
        {
          ScratchDirectory dir;
          code = ExportPresentation(source, dir.file("x.tmp"), {}) == 4 ? 0 : 1;
        }
        std::exit(code);
      },
      ::testing::ExitedWithCode(0), "^$");
}

}  // namespace
