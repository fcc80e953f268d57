#include "TemporaryDirectory.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

// How long a directory may go without its lock file before it counts as left behind: making
// it and taking the lock are a few system calls apart, so anything older was never finished.
constexpr auto kUnlockedGrace = std::chrono::minutes(2);

bool IsYoung(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return false;
  const auto changed = std::chrono::system_clock::from_time_t(info.st_mtime);
  return std::chrono::system_clock::now() - changed < kUnlockedGrace;
}

}  // namespace

TemporaryDirectory::TemporaryDirectory(const std::string& prefix) { make(SystemPath(), prefix); }

TemporaryDirectory::TemporaryDirectory(const std::string& parent, const std::string& prefix) { make(parent, prefix); }

TemporaryDirectory::~TemporaryDirectory() { remove(); }

std::string TemporaryDirectory::SystemPath() {
  std::error_code ec;
  fs::path base = fs::temp_directory_path(ec);
  if (ec || base.empty()) base = "/tmp";
  std::string path = base.string();
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

void TemporaryDirectory::make(const std::string& parent, const std::string& prefix) {
  std::string pattern = parent + "/" + prefix + "XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr) return;
  const std::string path = buffer.data();
  // The lock is taken on a file of another name and then renamed into place: whoever sees
  // ".lock" sees it locked (as long as its owner lives).
  const std::string pending = path + "/.lock-pending";
  const int fd = ::open(pending.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0 || ::flock(fd, LOCK_EX) != 0 || ::rename(pending.c_str(), (path + "/" + kLockName).c_str()) != 0) {
    if (fd >= 0) ::close(fd);
    std::error_code ec;
    fs::remove_all(path, ec);
    return;
  }
  path_ = path;
  lockFd_ = fd;
}

void TemporaryDirectory::remove() {
  if (!path_.empty()) {
    std::error_code ec;
    fs::remove_all(path_, ec);
    path_.clear();
  }
  if (lockFd_ >= 0) {
    ::close(lockFd_);
    lockFd_ = -1;
  }
}

int TemporaryDirectory::RemoveStale(const std::string& parent, const std::string& prefix,
                                    const std::function<void(const std::string& path)>& beforeRemove) {
  int removed = 0;
  std::error_code ec;
  for (fs::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string path = it->path().string();
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) continue;

    const int fd = ::open((path + "/" + kLockName).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
      // No lock file: being made right now, or left by a process killed while making it.
      if (errno != ENOENT || IsYoung(path)) continue;
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd);  // held: a live owner
      continue;
    }
    // Ours now (the lock, if any, is held until the directory is gone).
    if (beforeRemove) beforeRemove(path);
    std::error_code removeError;
    fs::remove_all(path, removeError);
    if (!removeError) ++removed;
    if (fd >= 0) ::close(fd);
  }
  return removed;
}
