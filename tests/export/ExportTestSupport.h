#pragma once
// Helpers for the export tests: one export with its messages and office processes recorded,
// a private temporary directory, and checks that nothing of the office is left behind.

#include <sys/types.h>

#include <string>
#include <vector>

#include "ExportOptions.h"
#include "ScratchDirectory.h"
#include "StrictMhtmlReader.h"
#include "TestFiles.h"

struct ExportRun {
  int result = -1;
  std::vector<std::string> messages;
  std::vector<pid_t> officePids;  // every office process the export started
};

// The shared corpus of real presentations (MANIFEST.tsv, ppt/), beside the repository.
inline const std::string kCorpusDir = KAVRETO_SOURCE_DIR "/../shared/corpus/";

// Runs ExportPresentation with `options`, recording what it reports.
ExportRun RunExport(const std::string& source, const std::string& archive, ExportOptions options = {});

// True while a process with this id exists and is an office (soffice.bin) process.
bool IsOfficeProcess(pid_t pid);

// Pipe files in /tmp named after this test process's office pipes (a killed office leaves them).
std::vector<std::string> LeftoverPipeFiles();

// Points TMPDIR at a fresh directory for the lifetime of the object (restoring the old value
// afterwards), so a test can check that an export leaves no temporary file behind.
class PrivateTmpDir {
 public:
  PrivateTmpDir();
  ~PrivateTmpDir();
  const std::string& path() const { return dir_.path(); }

 private:
  ScratchDirectory dir_;
  std::string old_;
  bool hadOld_ = false;
};
