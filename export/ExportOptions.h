#pragma once
// Limits and observation points of one export. The defaults are what the program uses;
// tests shorten the limits or watch the office process.
//
// Threads: a plain value; the callbacks run on the thread that called ExportPresentation (or
// OfficeExporter::exportPresentation).

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>

struct ExportOptions {
  // Directory of the office program (soffice.bin). No soffice.bin there means no office is
  // installed: the export returns 0 and says nothing.
  std::string officeProgramDir = KAVRETO_DEFAULT_OFFICE_PROGRAM_DIR;
  // Where the ready-made office profile that each export copies is kept; empty: the user's
  // cache ($XDG_CACHE_HOME/kavreto, else ~/.cache/kavreto).
  std::string cacheDir;
  // Whether exports copy that ready-made profile (made once per office version). Off, every
  // office builds a new profile itself, which makes it start twice.
  bool useProfileTemplate = true;
  // Time for the office to start and accept the connection (restarts included).
  std::chrono::milliseconds startLimit{60000};
  // Time for everything the office does once connected (open, count, export, close). When it
  // runs out the office is killed, which fails the call that hangs.
  std::chrono::milliseconds workLimit{180000};
  // Time the office gets to quit by itself before it is killed.
  std::chrono::milliseconds quitLimit{10000};
  // Called with the process id of every office process started (a restart starts another).
  std::function<void(pid_t)> officeStarted;
  // Called once the connection to the office is up, before the presentation is opened.
  std::function<void(pid_t)> officeConnected;
  // Called with its path when this call made the ready-made profile.
  std::function<void(const std::string& path)> profileTemplateMade;
};
