#include "WorkFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// True when `path` names (without following a symbolic link) the file open at `fd`.
bool PathHolds(const std::string& path, int fd, struct stat* opened = nullptr) {
  struct stat atPath {
  }, atFd{};
  if (::fstat(fd, &atFd) != 0 || ::lstat(path.c_str(), &atPath) != 0) return false;
  if (opened != nullptr) *opened = atFd;
  return SameFile(atPath, atFd);
}

// Opens `path` and takes its lock without waiting; -1 when it is missing, not a regular
// file, or held by someone else (then errno is EWOULDBLOCK).
int OpenLocked(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return -1;
  }
  return fd;
}

// The process id in ".kavreto-archive-PID-N.part" (the exporter's half-written archive), or 0.
pid_t ArchivePartOwner(const std::string& name) {
  static const std::string prefix = ".kavreto-archive-";
  static const std::string suffix = ".part";
  if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return 0;
  }
  char* end = nullptr;
  const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
  if (end == nullptr || *end != '-' || pid <= 0) return 0;
  return static_cast<pid_t>(pid);
}

}  // namespace

WorkFile::~WorkFile() { remove(); }

bool WorkFile::IsWorkFileName(const std::string& name) {
  if (name.size() < 7 || name.compare(0, 2, "nn") != 0 || name.compare(name.size() - 4, 4, ".tmp") != 0) return false;
  for (size_t i = 2; i < name.size() - 4; ++i) {
    const char c = name[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

bool WorkFile::create(const std::string& directory, uint32_t seed) {
  remove();
  for (int attempt = 0; attempt < 1000; ++attempt, ++seed) {
    char name[32];
    std::snprintf(name, sizeof name, "nn%x.tmp", seed);
    const std::string path = directory + "/" + name;
    // The name is taken by creating the file exclusively: a conversion in another process
    // that got the same seed moves on to the next number instead of sharing the file.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    // Another process sweeping the directory may have found the new file before it was
    // locked and deleted it: then the lock is not ours or the path holds nothing.
    struct stat opened {};
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !PathHolds(path, fd, &opened)) {
      ::close(fd);
      continue;
    }
    fd_ = fd;
    path_ = path;
    name_ = name;
    device_ = opened.st_dev;
    inode_ = opened.st_ino;
    return true;
  }
  return false;
}

bool WorkFile::relock() {
  if (fd_ < 0) return false;
  struct stat atPath {};
  if (::lstat(path_.c_str(), &atPath) != 0) return false;
  if (atPath.st_dev == device_ && atPath.st_ino == inode_) return true;
  // A sweep in another process may hold the new file's lock for a moment; it then finds the
  // file unlocked by nobody else and deletes it, which the check below notices.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int fd = OpenLocked(path_, O_RDONLY);
    if (fd < 0) {
      if (errno != EWOULDBLOCK) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    struct stat opened {};
    if (!PathHolds(path_, fd, &opened)) {
      ::close(fd);
      return false;
    }
    ::close(fd_);
    fd_ = fd;
    device_ = opened.st_dev;
    inode_ = opened.st_ino;
    return true;
  }
  return false;
}

void WorkFile::remove() {
  if (fd_ < 0) return;
  // Deleted while still locked, so that no sweep can take the lock in between.
  if (PathHolds(path_, fd_)) ::unlink(path_.c_str());
  ::close(fd_);
  fd_ = -1;
  path_.clear();
  name_.clear();
  device_ = 0;
  inode_ = 0;
}

WorkFile::Sweep WorkFile::RemoveStale(const std::string& directory) {
  Sweep sweep;
  struct statvfs space {};
  if (::statvfs(directory.c_str(), &space) == 0) {
    sweep.freeBytes = static_cast<uint64_t>(space.f_bavail) * static_cast<uint64_t>(space.f_frsize);
  }
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) return sweep;
  auto failedOn = [&sweep](const struct stat& info) {
    ++sweep.failed;
    sweep.failedBytes += static_cast<uint64_t>(info.st_size);
  };
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    const std::string path = directory + "/" + name;
    if (IsWorkFileName(name)) {
      // A lock held by anyone means a living conversion: leave the file alone.
      const int fd = OpenLocked(path, O_RDONLY);
      if (fd < 0) continue;
      struct stat opened {};
      if (PathHolds(path, fd, &opened)) {
        if (::unlink(path.c_str()) == 0) {
          ++sweep.removed;
        } else if (errno != ENOENT) {
          failedOn(opened);
        }
      }
      ::close(fd);
    } else if (const pid_t owner = ArchivePartOwner(name); owner > 0) {
      if (::kill(owner, 0) == 0 || errno != ESRCH) continue;  // its writer still runs
      struct stat info {};
      if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
      if (::unlink(path.c_str()) == 0) {
        ++sweep.removed;
      } else if (errno != ENOENT) {
        failedOn(info);
      }
    }
  }
  ::closedir(dir);
  return sweep;
}

bool WorkFile::ThreatensDisk(const Sweep& sweep) {
  constexpr uint64_t kGiB = uint64_t{1} << 30;
  if (sweep.failed == 0 || sweep.failedBytes == 0) return false;
  return sweep.failedBytes >= kGiB || sweep.failedBytes >= sweep.freeBytes / 10;
}
