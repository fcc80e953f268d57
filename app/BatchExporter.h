// The batch command's exporter: one office kept warm for the whole run (OfficeExporter).
// Every export of a run is made on one thread of its own, which owns the office, so that
// the UI thread keeps running while the office works: the browser of the new slide-show
// window starts meanwhile, and the signals are seen.
//
// Threads: every public function on the UI thread. The exports run on the exporter's
// own thread, one at a time; messages for the user are handed back to the UI thread.
#pragma once

#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ExportPresentation.h"
#include "OfficeExporter.h"

class BatchExporter {
 public:
  BatchExporter();
  ~BatchExporter();  // waits for an export that still runs, then ends the office
  BatchExporter(const BatchExporter&) = delete;
  BatchExporter& operator=(const BatchExporter&) = delete;

  // The dialog's export (same contract as ExportPresentation). Waits for the export
  // while running the UI thread's events; `notify` is called on the UI thread.
  int exportPresentation(const std::string& source, const std::string& archive, const ExportNotifier& notify);

  // What the last export reported: the kind of problem and the office's own words.
  const ExportReport& lastReport() const { return lastReport_; }
  void forgetReport() { lastReport_ = {}; }

  // Ends the office once no export runs. Harmless when repeated; the next export starts
  // a new one.
  void close();

 private:
  struct Result {
    int count = 0;
    std::vector<std::string> messages;
    ExportReport report;
  };
  // Runs `job` on the exporter's thread.
  template <typename T>
  std::future<T> submit(std::function<T()> job);
  void runThread();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<std::function<void()>> queue_;  // guarded by mutex_
  bool quit_ = false;                         // guarded by mutex_
  std::unique_ptr<OfficeExporter> office_;    // the exporter's thread only
  std::thread thread_;
  ExportReport lastReport_;  // UI thread
};
