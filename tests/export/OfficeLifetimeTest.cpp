// An export's office dies with the process that started it, however that process dies, and
// what a killed export leaves behind is removed by the next cleanup, while a live export's
// files are kept. The exports run in the export helper, a process of its own that the test
// kills with SIGKILL.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "ExportPresentation.h"
#include "ExportTestSupport.h"
#include "FixtureFiles.h"
#include "OfficeLeftovers.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::vector<std::string> WorkDirectories(const PrivateTmpDir& tmp) {
  std::vector<std::string> found;
  for (const std::string& name : ListDirectory(tmp.path()))
    if (name.rfind(OfficeLeftovers::kWorkPrefix, 0) == 0) found.push_back(name);
  return found;
}

std::vector<std::string> PipeFilesOf(pid_t pid) {
  std::vector<std::string> found;
  const std::string prefix = "OSL_PIPE_" + std::to_string(::getuid()) + "_kavreto-" + std::to_string(pid) + "-";
  for (const std::string& name : ListDirectory("/tmp"))
    if (name.rfind(prefix, 0) == 0) found.push_back(name);
  return found;
}

TEST(OfficeLifetimeTest, KilledDuringExportLeavesNoOfficeAndTheNextCleanupRemovesItsFiles) {
  const std::string source = FixtureFiles::Converted("four-slides.fodp");
  ASSERT_FALSE(source.empty());
  ScratchDirectory out;
  PrivateTmpDir tmp;  // the helpers inherit it

  // A live export in another process, its office kept running.
  HelperProcess live({"--hold", source, out.file("live.tmp")});
  const std::string liveOffice = live.waitFor("connected ", 120s);
  ASSERT_FALSE(liveOffice.empty());
  ASSERT_EQ(live.waitFor("done ", 120s), "4");
  const std::vector<std::string> liveDirs = WorkDirectories(tmp);
  ASSERT_EQ(liveDirs.size(), 1u);

  // Another, killed once its office is up and about to open the presentation.
  HelperProcess killed({source, out.file("killed.tmp")});
  const std::string office = killed.waitFor("connected ", 120s);
  ASSERT_FALSE(office.empty());
  const pid_t killedPid = killed.pid();
  killed.kill(SIGKILL);
  killed.wait(30s);

  EXPECT_TRUE(WaitUntilGone(std::stoi(office), 20s)) << "the killed export's office still runs";
  EXPECT_TRUE(IsOfficeProcess(std::stoi(liveOffice))) << "the live export's office was ended";
  ASSERT_EQ(WorkDirectories(tmp).size(), 2u) << "a killed export leaves its work directory";
  EXPECT_FALSE(PipeFilesOf(killedPid).empty()) << "a killed office leaves its pipe files";

  RemoveStaleOfficeLeftovers();

  EXPECT_EQ(WorkDirectories(tmp), liveDirs) << "only the live export's work directory is kept";
  EXPECT_EQ(PipeFilesOf(killedPid), std::vector<std::string>{});
  EXPECT_FALSE(PipeFilesOf(live.pid()).empty());

  // The live export is untouched by the cleanup and ends in order.
  live.closeInput();
  EXPECT_EQ(live.wait(60s), 0);
  EXPECT_TRUE(WaitUntilGone(std::stoi(liveOffice), 20s));
  EXPECT_EQ(WorkDirectories(tmp), std::vector<std::string>{});
  EXPECT_EQ(PipeFilesOf(live.pid()), std::vector<std::string>{});
}

// What the office starts goes too: a stand-in office that starts a child of its own and never
// answers.
TEST(OfficeLifetimeTest, KilledWhileTheOfficeStartsTakesTheOfficesChildrenAlong) {
  const std::string source = FixtureFiles::Converted("one-slide.fodp");
  ASSERT_FALSE(source.empty());
  ScratchDirectory fake, out;
  PrivateTmpDir tmp;
  const std::string childPidFile = fake.file("child.pid");
  WriteWholeFile(fake.file("soffice.bin"), "#!/bin/sh\nsleep 600 &\necho $! > " + childPidFile + ".new\nmv " +
                                               childPidFile + ".new " + childPidFile + "\nexec sleep 600\n");
  ::chmod(fake.file("soffice.bin").c_str(), 0755);

  HelperProcess helper({"--office", fake.path(), source, out.file("x.tmp")});
  const std::string office = helper.waitFor("started ", 60s);
  ASSERT_FALSE(office.empty());
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (!fs::exists(childPidFile) && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(20ms);
  ASSERT_TRUE(fs::exists(childPidFile));
  const pid_t child = std::stoi(ReadWholeFile(childPidFile));
  ASSERT_TRUE(IsLiveProcess(child));

  helper.kill(SIGKILL);
  helper.wait(30s);

  EXPECT_TRUE(WaitUntilGone(std::stoi(office), 20s)) << "the office still runs";
  EXPECT_TRUE(WaitUntilGone(child, 20s)) << "the office's child still runs";
  RemoveStaleOfficeLeftovers();
  EXPECT_EQ(WorkDirectories(tmp), std::vector<std::string>{});
}

}  // namespace
