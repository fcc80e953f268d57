#pragma once
// Helpers for the export tests: one export with its messages and office processes recorded,
// a private temporary directory, and checks that nothing of the office is left behind.

#include <sys/types.h>

#include <string>
#include <vector>

#include "ExportOptions.h"

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

// Names of the entries of `directory`, sorted.
std::vector<std::string> ListDirectory(const std::string& directory);

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& data);

// A directory of its own for one test, removed with its contents at the end.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

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

// A strict reading of an MHTML archive as RFC 2557 describes it: MIME-Version, a
// multipart/related Content-Type with its boundary, parts separated by the boundary and closed
// by the final delimiter, each with Content-Location, Content-Type and a base64 body (the
// only encoding the writer uses). False, with `error` set, on anything else.
struct MhtmlPartRead {
  std::string location;
  std::string type;
  std::string body;
};
bool ReadMhtml(const std::string& text, std::vector<MhtmlPartRead>& parts, std::string& error);
