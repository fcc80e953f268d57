#include "OfficeLeftovers.h"

#include <unistd.h>

#include <fstream>

#include "OfficeProfileTemplate.h"
#include "TemporaryDirectory.h"

namespace {

constexpr const char* kPipeList = "pipe-files";

// Only the office's own socket files are ever removed, whatever the list says.
bool IsOfficePipeFile(const std::string& path) {
  const std::string name = "OSL_PIPE_" + std::to_string(::getuid()) + "_";
  return (path.rfind("/tmp/" + name, 0) == 0 || path.rfind("/var/tmp/" + name, 0) == 0) &&
         path.find("/..") == std::string::npos && path.find('/', path.find(name)) == std::string::npos;
}

void RemoveListedPipeFiles(const std::string& dir) {
  std::ifstream in(dir + "/" + kPipeList);
  for (std::string line; std::getline(in, line);)
    if (IsOfficePipeFile(line)) ::unlink(line.c_str());
}

}  // namespace

void OfficeLeftovers::RecordPipeFiles(const std::string& workDir, const OfficeProcess::Settings& settings) {
  std::ofstream out(workDir + "/" + kPipeList, std::ios::app);
  for (const std::string& file : OfficeProcess::PipeFiles(settings)) out << file << "\n";
}

int OfficeLeftovers::RemoveStale(const std::string& cacheDir) {
  int removed = TemporaryDirectory::RemoveStale(TemporaryDirectory::SystemPath(), kWorkPrefix, RemoveListedPipeFiles);
  if (!cacheDir.empty())
    removed += TemporaryDirectory::RemoveStale(cacheDir, OfficeProfileTemplate::kPartialPrefix, RemoveListedPipeFiles);
  return removed;
}
