#pragma once
// Keeps one office warm for several exports. Each file is exported exactly as
// ExportPresentation does it (see ExportPresentation.h: opened hidden, read-only, macros
// never run, closed again after its export; the same result, messages and report), but the
// office is started only once: lazily, on the first file that gets as far as the office. It
// is started again when it has died (a crash, a hang ended at the time limit), and it always
// ends on close() and on destruction, and when this process dies.
//
// Threads: one thread at a time uses an object (each call blocks while the office works).
// The office is started on the thread of the call that starts it; when that thread ends, the
// office is ended too (and started again by the next call), so keep one thread for it.

#include <memory>
#include <string>

#include "ExportOptions.h"
#include "ExportPresentation.h"

class OfficeExporter {
 public:
  explicit OfficeExporter(ExportOptions options = {});
  ~OfficeExporter();
  OfficeExporter(const OfficeExporter&) = delete;
  OfficeExporter& operator=(const OfficeExporter&) = delete;

  // Exports one presentation; see ExportPresentation for the result, `notify` and `report`.
  int exportPresentation(const std::string& sourcePath, const std::string& archivePath, const ExportNotifier& notify,
                         ExportReport* report = nullptr);

  // Asks the office to quit (kills it after the quit limit) and removes its work files. The
  // next export starts a new one.
  void close();

 private:
  struct Office;
  bool startOffice(ExportReport& report);
  void dropOffice();

  ExportOptions options_;
  std::unique_ptr<Office> office_;
};
