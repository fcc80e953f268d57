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
  close();
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

std::future<BatchExporter::Result> BatchExporter::submit(const std::string& source, const std::string& archive) {
  auto task = std::make_shared<std::packaged_task<Result()>>([source, archive] {
    Result result;
    result.count = ExportPresentation(source, archive,
                                      [&result](const std::string& message) { result.messages.push_back(message); });
    return result;
  });
  std::future<Result> future = task->get_future();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back([task] { (*task)(); });
  }
  wake_.notify_all();
  return future;
}

int BatchExporter::exportPresentation(const std::string& source, const std::string& archive,
                                      const ExportNotifier& notify) {
  std::future<Result> future = submit(source, archive);
  WaitWithEvents(future);
  const Result result = future.get();
  for (const std::string& message : result.messages) notify(message);
  return result.count;
}

void BatchExporter::close() {
  // Every export has finished by the time exportPresentation returns; one office per
  // export ends with it.
}
