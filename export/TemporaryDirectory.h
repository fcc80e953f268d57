#pragma once
// A private directory under the system's temporary directory ($TMPDIR, else /tmp), made with
// mode 0700 under a unique name and removed with everything in it when the object goes away.
//
// Threads: any thread; one object is used by one thread at a time.

#include <string>

class TemporaryDirectory {
 public:
  // Makes the directory "<tmp>/<prefix>XXXXXX". valid() says whether that worked.
  explicit TemporaryDirectory(const std::string& prefix);
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  bool valid() const { return !path_.empty(); }
  // Absolute path without a trailing slash; empty when the directory could not be made.
  const std::string& path() const { return path_; }
  // Removes the directory and its contents now (also done by the destructor).
  void remove();

 private:
  std::string path_;
};
