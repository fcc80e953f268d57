#include "BatchExporter.h"

#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>

namespace {

// Waits for `future` while the UI thread's events run.
template <typename T>
void WaitWithEvents(std::future<T>& future) {
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (future.wait_for(std::chrono::seconds(0)) == std::future_status::ready) loop.quit();
  });
  poll.start(10);
  if (future.wait_for(std::chrono::seconds(0)) != std::future_status::ready) loop.exec();
}

}  // namespace

BatchExporter::BatchExporter() : thread_([this] { runThread(); }) {}

BatchExporter::~BatchExporter() {
  close();  // the office ends on the thread that started it
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void BatchExporter::runThread() {
  while (true) {
    std::function<void()> job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return quit_ || !queue_.empty(); });
      if (queue_.empty()) return;
      job = std::move(queue_.front());
      queue_.erase(queue_.begin());
    }
    job();
  }
}

template <typename T>
std::future<T> BatchExporter::submit(std::function<T()> job) {
  auto task = std::make_shared<std::packaged_task<T()>>(std::move(job));
  std::future<T> future = task->get_future();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back([task] { (*task)(); });
  }
  wake_.notify_all();
  return future;
}

int BatchExporter::exportPresentation(const std::string& source, const std::string& archive,
                                      const ExportNotifier& notify) {
  std::future<Result> future = submit<Result>([this, source, archive] {
    Result result;
    if (!office_) office_ = std::make_unique<OfficeExporter>();
    result.count = office_->exportPresentation(
        source, archive, [&result](const std::string& message) { result.messages.push_back(message); }, &result.report);
    return result;
  });
  WaitWithEvents(future);
  const Result result = future.get();
  lastReport_ = result.report;
  for (const std::string& message : result.messages) notify(message);
  return result.count;
}

void BatchExporter::close() {
  std::future<bool> future = submit<bool>([this] {
    if (office_) office_->close();
    office_.reset();
    return true;
  });
  future.wait();
}
