#pragma once
// What an office export leaves outside this process's control when the process is killed:
// its work directory (private profile, the office's temporary files, the exported show) in
// the system's temporary directory, a half-made profile template in the cache, and the
// office's pipe files in /tmp. Every such directory is locked by its live owner (see
// TemporaryDirectory) and lists the pipe files that belong to it, so the ones of dead
// exports can be removed without touching those of live ones.
//
// Threads: any thread.

#include <string>

#include "OfficeProcess.h"

class OfficeLeftovers {
 public:
  // Notes in `workDir` the pipe files an office started with `settings` makes.
  static void RecordPipeFiles(const std::string& workDir, const OfficeProcess::Settings& settings);

  // Removes the work directories, half-made templates (in `cacheDir`, when not empty) and
  // pipe files of exports whose process is gone. Returns how many directories it removed.
  static int RemoveStale(const std::string& cacheDir);

  // Prefix of the work directories in the system's temporary directory.
  static constexpr const char* kWorkPrefix = "kavreto-export-";
};
