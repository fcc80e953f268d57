// What an export reports when it cannot do its work, and that it cleans up after itself:
// the right message and result, no office process of its own left running, no pipe or
// temporary file left, nothing written next to the source.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "EncryptedDecks.h"
#include "ExportPresentation.h"
#include "ExportTestSupport.h"
#include "FixtureFiles.h"

namespace {

using namespace std::chrono_literals;

void ExpectClean(const ExportRun& run, const PrivateTmpDir& tmp) {
  for (pid_t pid : run.officePids) EXPECT_FALSE(IsOfficeProcess(pid)) << "office process " << pid << " still runs";
  EXPECT_EQ(LeftoverPipeFiles(), std::vector<std::string>{});
  EXPECT_EQ(ListDirectory(tmp.path()), std::vector<std::string>{}) << "temporary files left";
}

void ExpectOneMessage(const ExportRun& run, const char* message) {
  ASSERT_EQ(run.messages.size(), 1u);
  EXPECT_EQ(run.messages.front(), message);
}

// A stand-in office program directory whose soffice.bin is the given shell script.
std::string FakeOffice(const ScratchDirectory& dir, const std::string& script) {
  const std::string program = dir.file("soffice.bin");
  WriteWholeFile(program, "#!/bin/sh\n" + script + "\n");
  ::chmod(program.c_str(), 0755);
  return dir.path();
}

// Each file the office refuses gives the dialog's one text, and the report says which kind of
// refusal it was, from what the office itself said.
TEST(ExportFailureTest, RefusedSourcesGiveUnknownExceptionZeroAndTheirKind) {
  ScratchDirectory dir;
  WriteWholeFile(dir.file("empty.ppt"), "");
  WriteWholeFile(dir.file("notes.ppt"), "These are plain notes, not a presentation.\nSecond line.\n");
  std::filesystem::create_directory(dir.file("folder.ppt"));
  const std::string deck = kCorpusDir + "ppt/poi__bug58718_008558.ppt";
  const bool haveCorpus = std::filesystem::exists(deck);
  if (haveCorpus) {
    const std::string whole = ReadWholeFile(deck);
    WriteWholeFile(dir.file("truncated.ppt"), whole.substr(0, whole.size() / 3));
    WriteWholeFile(dir.file("unreadable.ppt"), whole);
    ::chmod(dir.file("unreadable.ppt").c_str(), 0);
  }
  // Encrypted decks the office does not recognise as such by itself.
  const std::string lockedPptx = EncryptedDecks::Pptx(dir.path());
  const std::string lockedPpt = haveCorpus ? EncryptedDecks::PptWithoutSummary(dir.path()) : std::string();
  const auto before = ListDirectory(dir.path());

  struct Case {
    std::string source;
    bool officeStarts;  // refused before any office is started?
    ExportProblem problem;
    bool needsCorpus = false;
    bool needsNonRoot = false;
  } cases[] = {
      {dir.file("missing.ppt"), false, ExportProblem::Unreadable},
      {dir.file("empty.ppt"), false, ExportProblem::NotAPresentation},  // the office would open a new blank one
      {dir.file("folder.ppt"), false, ExportProblem::Unreadable},
      {dir.file("notes.ppt"), true, ExportProblem::NotAPresentation},
      {kCorpusDir + "ppt/poi__Password_Protected-hello.ppt", false, ExportProblem::Encrypted, true},  // by its structure
      {dir.file("truncated.ppt"), true, ExportProblem::Damaged, true},
      {lockedPptx, false, ExportProblem::Encrypted},
      {lockedPpt, false, ExportProblem::Encrypted, true},
      {dir.file("unreadable.ppt"), false, ExportProblem::Unreadable, true, true},  // root reads anything
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    if (c.needsCorpus && !haveCorpus) continue;
    if (c.needsNonRoot && ::geteuid() == 0) continue;
    PrivateTmpDir tmp;
    ExportReport report;
    ExportRun run;
    run.result = ExportPresentation(
        c.source, dir.file("out.tmp"), [&run](const std::string& message) { run.messages.push_back(message); },
        [&run] {
          ExportOptions options;
          options.officeStarted = [&run](pid_t pid) { run.officePids.push_back(pid); };
          return options;
        }(),
        &report);
    EXPECT_EQ(run.result, 0);
    ExpectOneMessage(run, kUnknownExceptionMessage);
    EXPECT_EQ(!run.officePids.empty(), c.officeStarts);
    EXPECT_EQ(report.problem, c.problem) << report.detail;
    EXPECT_FALSE(report.detail.empty());
    ExpectClean(run, tmp);
  }
  // No archive, no lock file, nothing else.
  EXPECT_EQ(ListDirectory(dir.path()), before);
  EXPECT_EQ(PlainWords(ExportProblem::Encrypted), "The presentation is encrypted (password-protected).");
  EXPECT_EQ(PlainWords(ExportProblem::None), "");
}

TEST(ExportFailureTest, ArchiveThatCannotBeWrittenGivesUnknownExceptionAndTheCount) {
  const std::string source = FixtureFiles::Converted("one-slide.fodp");
  ASSERT_FALSE(source.empty());
  ScratchDirectory dir;
  std::filesystem::create_directory(dir.file("taken.tmp"));
  for (const std::string& archive : {dir.file("no/such/dir/out.tmp"), dir.file("taken.tmp")}) {
    SCOPED_TRACE(archive);
    PrivateTmpDir tmp;
    ExportReport report;
    std::vector<std::string> messages;
    const int result = ExportPresentation(
        source, archive, [&](const std::string& message) { messages.push_back(message); }, {}, &report);
    EXPECT_EQ(result, 1);  // the count had been read
    EXPECT_EQ(messages, std::vector<std::string>{kUnknownExceptionMessage});
    // The writer's own words reach the caller.
    EXPECT_EQ(report.problem, ExportProblem::WriteFailed);
    EXPECT_NE(report.detail.find(archive), std::string::npos) << report.detail;
    ExportRun run;
    ExpectClean(run, tmp);
  }
  EXPECT_EQ(ListDirectory(dir.path()), std::vector<std::string>{"taken.tmp"});
  EXPECT_TRUE(ListDirectory(dir.file("taken.tmp")).empty());
}

TEST(ExportFailureTest, NoOfficeInstalledSaysNothing) {
  const std::string source = FixtureFiles::Converted("one-slide.fodp");
  ScratchDirectory dir;
  ExportOptions options;
  options.officeProgramDir = dir.file("not-installed");
  const ExportRun run = RunExport(source, dir.file("out.tmp"), options);
  EXPECT_EQ(run.result, 0);
  EXPECT_TRUE(run.messages.empty());
  EXPECT_TRUE(run.officePids.empty());
  EXPECT_EQ(ListDirectory(dir.path()), std::vector<std::string>{});
}

TEST(ExportFailureTest, OfficeThatDoesNotStartSaysNothingAndIsEnded) {
  const std::string source = FixtureFiles::Converted("one-slide.fodp");
  ASSERT_FALSE(source.empty());
  struct Case {
    const char* script;
    size_t starts;
  } cases[] = {
      {"exit 1", 1},
      {"exit 81", 4},         // keeps asking for a restart: given up after three
      {"exec sleep 600", 1},  // never accepts a connection: killed at the time limit
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    ScratchDirectory fake, out;
    PrivateTmpDir tmp;
    ExportOptions options;
    options.officeProgramDir = FakeOffice(fake, c.script);
    options.startLimit = 2s;
    const ExportRun run = RunExport(source, out.file("out.tmp"), options);
    EXPECT_EQ(run.result, 0);
    EXPECT_TRUE(run.messages.empty());
    EXPECT_EQ(run.officePids.size(), c.starts);
    for (pid_t pid : run.officePids) EXPECT_NE(::kill(pid, 0), 0) << "process " << pid << " still exists";
    EXPECT_TRUE(ListDirectory(tmp.path()).empty());
    EXPECT_TRUE(ListDirectory(out.path()).empty());
  }
}

// An office that accepts the connection but never answers: the start time limit ends it.
TEST(ExportFailureTest, OfficeThatNeverAnswersSaysNothingAndIsEnded) {
  const std::string source = FixtureFiles::Converted("one-slide.fodp");
  ASSERT_FALSE(source.empty());
  ScratchDirectory fake, out;
  PrivateTmpDir tmp;
  ExportOptions options;
  // perl is part of every Debian system (perl-base).
  options.officeProgramDir = FakeOffice(fake, R"(exec perl -MIO::Socket::UNIX -e '
    my ($name) = map { /--accept=pipe,name=([^;]+)/ ? $1 : () } @ARGV;
    my $server = IO::Socket::UNIX->new(Local => "/tmp/OSL_PIPE_$<_$name", Listen => 1) or exit 2;
    my $client = $server->accept; sleep 600;' -- "$@")");
  options.startLimit = 3s;

  const ExportRun run = RunExport(source, out.file("out.tmp"), options);

  EXPECT_EQ(run.result, 0);
  EXPECT_TRUE(run.messages.empty());
  ASSERT_EQ(run.officePids.size(), 1u);
  EXPECT_NE(::kill(run.officePids.front(), 0), 0) << "the process still exists";
  EXPECT_EQ(LeftoverPipeFiles(), std::vector<std::string>{});
  EXPECT_EQ(ListDirectory(tmp.path()), std::vector<std::string>{});
}

TEST(ExportFailureTest, OfficeThatHangsIsKilledAtTheTimeLimit) {
  const std::string source = FixtureFiles::Converted("one-slide.fodp");
  ASSERT_FALSE(source.empty());
  ScratchDirectory out;
  PrivateTmpDir tmp;
  ExportOptions options;
  options.workLimit = 3s;
  options.officeConnected = [](pid_t pid) { ::kill(pid, SIGSTOP); };  // frozen before the open

  const auto start = std::chrono::steady_clock::now();
  const ExportRun run = RunExport(source, out.file("out.tmp"), options);
  const auto took = std::chrono::steady_clock::now() - start;

  EXPECT_EQ(run.result, 0);
  ExpectOneMessage(run, kOleExceptionMessage);
  EXPECT_LT(took, 60s);
  ExpectClean(run, tmp);
  EXPECT_TRUE(ListDirectory(out.path()).empty());
}

TEST(ExportFailureTest, OfficeThatDiesGivesOleException) {
  const std::string source = FixtureFiles::Converted("one-slide.fodp");
  ASSERT_FALSE(source.empty());
  ScratchDirectory out;
  PrivateTmpDir tmp;
  ExportOptions options;
  options.officeConnected = [](pid_t pid) { ::kill(pid, SIGKILL); };

  const ExportRun run = RunExport(source, out.file("out.tmp"), options);

  EXPECT_EQ(run.result, 0);
  ExpectOneMessage(run, kOleExceptionMessage);
  ExpectClean(run, tmp);
  EXPECT_TRUE(ListDirectory(out.path()).empty());
}

}  // namespace
