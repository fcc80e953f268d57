// A directory of its own for one test under the system's temporary directory, removed with
// everything in it when the object goes away. The tests' only scratch-directory helper.
//
// Threads: any thread; one object is used by one thread at a time.
#pragma once

#include <string>

class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  // Absolute path; empty when the directory could not be made.
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // Gives the directory up: it is no longer removed by the destructor.
  std::string release();

 private:
  std::string path_;
};

// For tests whose fixtures keep a plain path: a fresh directory (empty on failure) and its
// removal with everything in it.
std::string MakeTempDir();
void RemoveTree(const std::string& path);
