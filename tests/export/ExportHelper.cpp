// export_helper: runs exports in a process of its own, so that tests can kill it at a chosen
// moment. Tells its progress on standard output, one line at a time:
//   started PID      an office process was started
//   connected PID    the connection to it is up (the export is about to open the file)
//   done COUNT       an export returned
// Usage: export_helper [--cache DIR] [--office DIR] [--hold] SOURCE ARCHIVE
//   --cache DIR  where the ready-made office profile is kept
//   --office DIR the office program directory
//   --hold       after the export, keep the office running until standard input closes
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "ExportOptions.h"
#include "OfficeExporter.h"

int main(int argc, char** argv) {
  ExportOptions options;
  bool hold = false;
  int i = 1;
  for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
    if (std::strcmp(argv[i], "--hold") == 0)
      hold = true;
    else if (std::strcmp(argv[i], "--cache") == 0 && i + 1 < argc)
      options.cacheDir = argv[++i];
    else if (std::strcmp(argv[i], "--office") == 0 && i + 1 < argc)
      options.officeProgramDir = argv[++i];
  }
  if (argc - i != 2) {
    std::fprintf(stderr, "usage: export_helper [--cache DIR] [--hold] SOURCE ARCHIVE\n");
    return 2;
  }
  options.officeStarted = [](pid_t pid) { std::printf("started %d\n", static_cast<int>(pid)), std::fflush(stdout); };
  options.officeConnected = [](pid_t pid) {
    std::printf("connected %d\n", static_cast<int>(pid)), std::fflush(stdout);
  };
  OfficeExporter exporter(options);
  const int count = exporter.exportPresentation(argv[i], argv[i + 1], {});
  std::printf("done %d\n", count);
  std::fflush(stdout);
  if (hold) {
    char byte;
    while (::read(0, &byte, 1) > 0) {
    }
  }
  exporter.close();
  return count > 0 ? 0 : 1;
}
