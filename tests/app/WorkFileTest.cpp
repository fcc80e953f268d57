// Work files and their locks: a conversion's own file survives every sweep, in this process
// and in others, while it lives; what a killed conversion left goes with the next sweep.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "AppTestSupport.h"
#include "MhtmlWriter.h"
#include "WorkFile.h"

namespace {

namespace fs = std::filesystem;

// True when some open file description holds the lock of `path`.
bool LockedByAnyone(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return held;
}

void Touch(const std::string& path, const std::string& text = "left behind") { std::ofstream(path) << text; }

// A process id that runs no process now (a child that has been reaped).
pid_t DeadPid() {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(0);
  ::waitpid(pid, nullptr, 0);
  return pid;
}

TEST(WorkFile, NamesAreNnHexTmp) {
  for (const char* name : {"nn0.tmp", "nn1a2b3c.tmp", "nnffffffff.tmp"}) EXPECT_TRUE(WorkFile::IsWorkFileName(name));
  for (const char* name : {"nn.tmp", "nn1A.tmp", "nn12.tmp.part", "xnn12.tmp", "nn12.tm", "nn-1.tmp", "nn 1.tmp",
                           "notes.tmp", ".kavreto-archive-12-3.part"}) {
    EXPECT_FALSE(WorkFile::IsWorkFileName(name)) << name;
  }
}

TEST(WorkFile, IsCreatedEmptyLockedAndUnderAFreeName) {
  TempDir dir;
  Touch(dir.file("nn10.tmp"));  // taken: the next number is used
  WorkFile file;
  ASSERT_TRUE(file.create(dir.path(), 0x10));
  EXPECT_EQ(file.name(), "nn11.tmp");
  EXPECT_EQ(file.path(), dir.file("nn11.tmp"));
  EXPECT_EQ(fs::file_size(file.path()), 0u);
  EXPECT_TRUE(LockedByAnyone(file.path()));

  WorkFile second;
  ASSERT_TRUE(second.create(dir.path(), 0x10));
  EXPECT_EQ(second.name(), "nn12.tmp");

  file.remove();
  EXPECT_FALSE(FileExists(dir.file("nn11.tmp")));
  EXPECT_FALSE(file.valid());
  file.remove();  // harmless again
  EXPECT_TRUE(FileExists(dir.file("nn10.tmp")));

  WorkFile none;
  EXPECT_FALSE(none.create(dir.file("no-such-directory"), 1));
  EXPECT_FALSE(none.valid());
}

TEST(WorkFile, RemoveNeverDeletesAFileThatReplacedOurs) {
  TempDir dir;
  WorkFile file;
  ASSERT_TRUE(file.create(dir.path(), 7));
  const std::string path = file.path();
  ASSERT_EQ(::unlink(path.c_str()), 0);
  Touch(path, "someone else's");
  file.remove();
  EXPECT_TRUE(FileExists(path));
}

TEST(WorkFile, SweepRemovesOnlyWhatNobodyHolds) {
  TempDir dir;
  WorkFile mine;
  ASSERT_TRUE(mine.create(dir.path(), 0x100));
  Touch(dir.file("nnabc.tmp"));                                                    // stale
  Touch(dir.file("notes.tmp"));                                                    // not a work file
  Touch(dir.file(".kavreto-archive-" + std::to_string(DeadPid()) + "-42.part"));   // its writer is gone
  Touch(dir.file(".kavreto-archive-" + std::to_string(::getpid()) + "-43.part"));  // its writer runs
  fs::create_directory(dir.file("nndef.tmp"));                                     // not a regular file
  Touch(dir.file("target"));
  fs::create_symlink(dir.file("target"), dir.file("nn123.tmp"));  // never followed

  // A work file locked by another process, which stays alive until told.
  int ready[2], go[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(go), 0);
  const pid_t holder = ::fork();
  if (holder == 0) {
    WorkFile theirs;
    const char ok = theirs.create(dir.path(), 0x200) ? '1' : '0';
    [[maybe_unused]] ssize_t n = ::write(ready[1], &ok, 1);
    char byte;
    n = ::read(go[0], &byte, 1);
    ::_exit(0);  // the lock goes with the process, the file stays
  }
  char ok = 0;
  ASSERT_EQ(::read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, '1');

  const WorkFile::Sweep sweep = WorkFile::RemoveStale(dir.path());
  EXPECT_EQ(sweep.removed, 2);
  EXPECT_EQ(sweep.failed, 0);
  EXPECT_GT(sweep.freeBytes, 0u);
  std::set<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir.path())) left.insert(entry.path().filename().string());
  const std::set<std::string> expected = {
      mine.name(), "nn200.tmp", "notes.tmp", ".kavreto-archive-" + std::to_string(::getpid()) + "-43.part",
      "nndef.tmp", "target",    "nn123.tmp"};
  EXPECT_EQ(left, expected);
  EXPECT_TRUE(LockedByAnyone(mine.path()));  // the sweep's own look did not take the lock away

  // Once the other process has died (as if killed), its file is stale.
  const char byte = 'x';
  ASSERT_EQ(::write(go[1], &byte, 1), 1);
  ASSERT_EQ(::waitpid(holder, nullptr, 0), holder);
  EXPECT_EQ(WorkFile::RemoveStale(dir.path()).removed, 1);
  EXPECT_FALSE(FileExists(dir.file("nn200.tmp")));
  EXPECT_TRUE(FileExists(mine.path()));
  for (int fd : {ready[0], ready[1], go[0], go[1]}) ::close(fd);
}

TEST(WorkFile, NewFilesSurviveSweepsRunningAtTheSameTime) {
  // Other processes sweep the directory without pause while this one makes work files:
  // each must exist, and be locked, from the moment create() returns.
  TempDir dir;
  std::vector<pid_t> sweepers;
  for (int i = 0; i < 2; ++i) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      for (;;) WorkFile::RemoveStale(dir.path());
    }
    sweepers.push_back(pid);
  }
  int lost = 0;
  for (uint32_t i = 0; i < 300; ++i) {
    WorkFile file;
    ASSERT_TRUE(file.create(dir.path(), i * 3));
    std::this_thread::yield();
    if (!FileExists(file.path()) || !LockedByAnyone(file.path())) ++lost;
  }
  for (pid_t pid : sweepers) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
  EXPECT_EQ(lost, 0);
}

TEST(WorkFile, TheArchiveWrittenIntoItStaysLocked) {
  TempDir dir;
  WorkFile file;
  ASSERT_TRUE(file.create(dir.path(), 0x5));
  MhtmlWriter writer;
  writer.addPart({"nn5.files/fullscreen.htm", "text/html", "<html></html>"});
  std::string error;
  ASSERT_TRUE(writer.writeFile(file.path(), error)) << error;
  EXPECT_TRUE(file.relock());
  EXPECT_EQ(WorkFile::RemoveStale(dir.path()).removed, 0);
  EXPECT_GT(fs::file_size(file.path()), 0u);
  EXPECT_TRUE(LockedByAnyone(file.path()));
}

TEST(WorkFile, RelockTakesOverAFileRenamedOverIt) {
  TempDir dir;
  WorkFile file;
  ASSERT_TRUE(file.create(dir.path(), 0x6));
  Touch(dir.file("new"), "archive");
  ASSERT_EQ(::rename(dir.file("new").c_str(), file.path().c_str()), 0);
  EXPECT_FALSE(LockedByAnyone(file.path()));
  ASSERT_TRUE(file.relock());
  EXPECT_TRUE(LockedByAnyone(file.path()));
  EXPECT_EQ(WorkFile::RemoveStale(dir.path()).removed, 0);
  file.remove();
  EXPECT_FALSE(FileExists(dir.file("nn6.tmp")));
  // Nothing at the path any more: nothing to lock.
  ASSERT_TRUE(file.create(dir.path(), 0x6));
  ::unlink(file.path().c_str());
  EXPECT_FALSE(file.relock());
}

TEST(WorkFile, OnlyLeftoversThatThreatenTheDiskAreWorthAMessage) {
  constexpr uint64_t kMiB = uint64_t{1} << 20;
  auto sweep = [](int failed, uint64_t failedBytes, uint64_t freeBytes) {
    WorkFile::Sweep s;
    s.failed = failed;
    s.failedBytes = failedBytes;
    s.freeBytes = freeBytes;
    return s;
  };
  EXPECT_FALSE(WorkFile::ThreatensDisk(sweep(0, 0, 100 * kMiB)));
  EXPECT_FALSE(WorkFile::ThreatensDisk(sweep(3, 5 * kMiB, 100 * 1024 * kMiB)));
  EXPECT_FALSE(WorkFile::ThreatensDisk(sweep(1, 0, 0)));  // empty files fill nothing
  EXPECT_TRUE(WorkFile::ThreatensDisk(sweep(1, 1024 * kMiB, 1024 * 1024 * kMiB)));
  EXPECT_TRUE(WorkFile::ThreatensDisk(sweep(2, 20 * kMiB, 150 * kMiB)));
  EXPECT_FALSE(WorkFile::ThreatensDisk(sweep(2, 20 * kMiB, 250 * kMiB)));
  EXPECT_TRUE(WorkFile::ThreatensDisk(sweep(1, 1, 0)));
}

}  // namespace
