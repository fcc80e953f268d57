#pragma once
// The ready-made office profile that every export copies as its private profile. A brand-new
// profile makes the office initialise it, exit asking to be started again and start a second
// time; a copy of one that has been through this starts at once. The template lives in the
// user's cache as "office-template-<office version>", is made once (a lock keeps two
// processes from making it at the same time), and is made again when the office version
// changes (templates of other versions are then removed). The template records the office's
// version as the one last run, so that a copy does not make the office run the graphics
// self-test it runs on the first start after an upgrade.
//
// Threads: any thread; concurrent calls, in this process or others, are safe.

#include <chrono>
#include <string>

#include "ExportOptions.h"

class OfficeProfileTemplate {
 public:
  // The directory of the cache: `configured` when set, else $XDG_CACHE_HOME/kavreto, else
  // ~/.cache/kavreto. Not made here.
  static std::string CacheDirectory(const std::string& configured);

  // A name for the installed office's version (build id and a digest of its version file, its
  // main binaries and what a template holds); empty when the version cannot be read, and then no template is used.
  static std::string VersionKey(const std::string& programDir);

  // Where the template for the office in `programDir` is (or would be) in the cache directory
  // `cache`; empty when the office's version cannot be read or `cache` is empty.
  static std::string PathIn(const std::string& cache, const std::string& programDir);

  // The path of the template for the office of `options`, made first when there is none (that
  // starts the office, within `deadline`). Empty when there is none and it could not be made,
  // or templates are turned off; the export then lets the office make its own profile.
  static std::string Ensure(const ExportOptions& options, std::chrono::steady_clock::time_point deadline);

  // Copies the template to `profileDir` (which must not exist yet). False on failure.
  static bool CopyTo(const std::string& templateDir, const std::string& profileDir);

  // Prefix of the directories in which templates are being made.
  static constexpr const char* kPartialPrefix = "office-template-partial-";
};
