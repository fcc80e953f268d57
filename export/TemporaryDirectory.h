#pragma once
// A private directory made with mode 0700 under a unique name and removed with everything in
// it when the object goes away. While it exists it holds an advisory lock (flock on its
// ".lock" file) for the object's life, so that what a killed process left behind can be told
// from the directory of a live one, in this process or another: RemoveStale() removes only
// directories whose lock nobody holds.
//
// Threads: any thread; one object is used by one thread at a time. RemoveStale() may run on
// any thread, beside live directories.

#include <functional>
#include <string>

class TemporaryDirectory {
 public:
  // Makes the directory "<system temporary directory>/<prefix>XXXXXX".
  explicit TemporaryDirectory(const std::string& prefix);
  // Makes the directory "<parent>/<prefix>XXXXXX"; `parent` must exist.
  TemporaryDirectory(const std::string& parent, const std::string& prefix);
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  // Whether the directory was made (and locked).
  bool valid() const { return !path_.empty(); }
  // Absolute path without a trailing slash; empty when the directory could not be made.
  const std::string& path() const { return path_; }
  // Removes the directory and its contents now (also done by the destructor), then gives up
  // the lock.
  void remove();

  // $TMPDIR when set and usable, else /tmp.
  static std::string SystemPath();

  // Removes every directory "<parent>/<prefix>*" that is not locked by a live object. Just
  // before one is removed, `beforeRemove` (when set) is called with its path, to clean up
  // what belongs to it outside the directory. A directory without its lock file yet is left
  // alone while it is young (it may be in the middle of being made). Errors are ignored:
  // what cannot be removed now is tried again next time. Returns how many were removed.
  static int RemoveStale(const std::string& parent, const std::string& prefix,
                         const std::function<void(const std::string& path)>& beforeRemove = {});

  // Name of the lock file inside each directory.
  static constexpr const char* kLockName = ".lock";

 private:
  void make(const std::string& parent, const std::string& prefix);

  std::string path_;
  int lockFd_ = -1;
};
