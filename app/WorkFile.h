// The work file of a conversion: the web archive "nn%x.tmp" that the exporter writes and the
// slide-show window plays, in the user's cache directory. A conversion holds an advisory
// flock on the open file for its whole life, so that every other conversion (in this or any
// other process) can tell a work file in use from one left behind by a conversion that was
// killed: RemoveStale deletes only the work files that no living process holds locked.
//
// Plain POSIX, no Qt. Threads: an object is used by one thread at a time (the UI thread);
// RemoveStale may run on any thread and in several processes at once.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

class WorkFile {
 public:
  WorkFile() = default;
  ~WorkFile();  // remove()
  WorkFile(const WorkFile&) = delete;
  WorkFile& operator=(const WorkFile&) = delete;

  // Makes a new, empty work file in `directory`, named "nn%x.tmp" from `seed` (the next
  // numbers are tried when a name is taken), and locks it. False when none could be made.
  // A work file this object held before is removed first.
  bool create(const std::string& directory, uint32_t seed);
  // Locks the file now found at path() again when something replaced it (a writer that
  // renames a new file over it). False when the path no longer holds a file we can lock.
  bool relock();
  // Deletes the file (only when the path still holds the file this object locked) and
  // releases the lock. Harmless when there is none.
  void remove();

  bool valid() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }  // empty while there is none
  const std::string& name() const { return name_; }  // the file name alone
  // The descriptor that holds the lock (for tests); -1 while there is none.
  int lockDescriptor() const { return fd_; }

  // What a sweep of stale work files did.
  struct Sweep {
    int removed = 0;           // stale files deleted
    int failed = 0;            // stale files that could not be deleted
    uint64_t failedBytes = 0;  // their size
    uint64_t freeBytes = 0;    // space left to unprivileged users on the directory's file system
  };
  // Deletes every work file in `directory` that no open file description holds locked, and
  // the half-written archives ".kavreto-archive-PID-*.part" of processes that no longer run.
  // Work files of conversions running beside this one are never touched.
  static Sweep RemoveStale(const std::string& directory);
  // True when the stale files that could not be deleted threaten to fill the disk: at least
  // 1 GiB, or at least a tenth of the space left. Anything less is not worth a message.
  static bool ThreatensDisk(const Sweep& sweep);
  // "nn" + lower-case hexadecimal digits + ".tmp".
  static bool IsWorkFileName(const std::string& name);

 private:
  std::string path_;
  std::string name_;
  int fd_ = -1;
  dev_t device_ = 0;
  ino_t inode_ = 0;
};
