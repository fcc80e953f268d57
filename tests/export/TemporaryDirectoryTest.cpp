// The work directories' locks: what a dead process left is removed, what a live one holds is
// kept, and the listed pipe files of a dead export go with it (but nothing else it lists).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "ExportTestSupport.h"
#include "OfficeLeftovers.h"
#include "TemporaryDirectory.h"

namespace {

namespace fs = std::filesystem;

// A directory as a killed owner leaves it: the lock file is there, nobody holds it.
std::string DeadOwnersDirectory(const ScratchDirectory& parent, const std::string& name) {
  const std::string path = parent.file(name);
  fs::create_directory(path);
  WriteWholeFile(path + "/" + TemporaryDirectory::kLockName, "");
  WriteWholeFile(path + "/profile", "settings");
  return path;
}

void MakeOld(const std::string& path) {
  const timespec times[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

TEST(TemporaryDirectoryTest, RemoveStaleKeepsLiveDirectoriesAndRemovesDeadOnes) {
  ScratchDirectory parent;
  TemporaryDirectory live(parent.path(), "work-");
  ASSERT_TRUE(live.valid());
  EXPECT_EQ(ListDirectory(live.path()), std::vector<std::string>{TemporaryDirectory::kLockName});
  const std::string dead = DeadOwnersDirectory(parent, "work-dead1");
  const std::string starting = parent.file("work-starting");  // made, lock not taken yet
  fs::create_directory(starting);
  const std::string abandoned = parent.file("work-abandoned");  // the same, long ago
  fs::create_directory(abandoned);
  MakeOld(abandoned);
  WriteWholeFile(parent.file("work-file"), "not a directory");
  const std::string other = DeadOwnersDirectory(parent, "other-dead");

  std::vector<std::string> told;
  const int removed =
      TemporaryDirectory::RemoveStale(parent.path(), "work-", [&](const std::string& path) { told.push_back(path); });

  EXPECT_EQ(removed, 2);
  EXPECT_EQ(told.size(), 2u);
  EXPECT_FALSE(fs::exists(dead));
  EXPECT_FALSE(fs::exists(abandoned));
  EXPECT_TRUE(fs::exists(live.path()));
  EXPECT_TRUE(fs::exists(starting));
  EXPECT_TRUE(fs::exists(parent.file("work-file")));
  EXPECT_TRUE(fs::exists(other));

  // Given up by its owner, the live one is gone with its lock.
  const std::string livePath = live.path();
  live.remove();
  EXPECT_FALSE(fs::exists(livePath));
}

TEST(TemporaryDirectoryTest, LockIsNotInheritedByChildProcesses) {
  ScratchDirectory parent;
  TemporaryDirectory dir(parent.path(), "work-");
  ASSERT_TRUE(dir.valid());
  const int fd = ::open((dir.path() + "/" + TemporaryDirectory::kLockName).c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  // The lock descriptor closes on exec: a program started meanwhile cannot keep it alive.
  bool foundCloseOnExec = false;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (fs::read_symlink(entry.path(), ec).string() != dir.path() + "/" + TemporaryDirectory::kLockName) continue;
    const int descriptor = std::stoi(entry.path().filename().string());
    if (descriptor != fd && (::fcntl(descriptor, F_GETFD) & FD_CLOEXEC) != 0) foundCloseOnExec = true;
  }
  ::close(fd);
  EXPECT_TRUE(foundCloseOnExec);
}

TEST(TemporaryDirectoryTest, StaleExportTakesOnlyItsOwnPipeFilesAlong) {
  PrivateTmpDir tmp;
  ScratchDirectory elsewhere;
  const std::string pipe =
      "/tmp/OSL_PIPE_" + std::to_string(::getuid()) + "_kavreto-stale-test-" + std::to_string(::getpid());
  const std::string notAPipe = elsewhere.file("precious");
  WriteWholeFile(pipe, "");
  WriteWholeFile(notAPipe, "keep me");
  const std::string dead = tmp.path() + "/" + OfficeLeftovers::kWorkPrefix + "x1";
  fs::create_directory(dead);
  WriteWholeFile(dead + "/" + TemporaryDirectory::kLockName, "");
  WriteWholeFile(dead + "/pipe-files", pipe + "\n" + notAPipe + "\n/tmp/OSL_PIPE_0_../etc/x\n");

  EXPECT_EQ(OfficeLeftovers::RemoveStale(""), 1);

  EXPECT_FALSE(fs::exists(dead));
  EXPECT_FALSE(fs::exists(pipe));
  EXPECT_TRUE(fs::exists(notAPipe));
}

}  // namespace
