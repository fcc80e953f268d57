#include "FfmpegLog.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace {

std::mutex g_printMutex;

void QuietCallback(void* object, int level, const char* format, va_list arguments) {
  if (level > AV_LOG_WARNING) return;
  // A message may come in pieces: keep this thread's piece until its line is complete.
  thread_local std::string pending;
  thread_local int printPrefix = 1;
  char piece[1024];
  av_log_format_line2(object, level, format, arguments, piece, sizeof piece, &printPrefix);
  pending += piece;
  if (pending.empty() || pending.back() != '\n') return;
  const std::string line = FfmpegLog::OneLine(pending);
  pending.clear();
  std::lock_guard lock(g_printMutex);
  std::fprintf(stderr, "%s%s", isatty(2) == 1 ? "\r\033[K" : "", line.c_str());
  std::fflush(stderr);
}

}  // namespace

std::string FfmpegLog::OneLine(const std::string& message) {
  std::string line;
  for (const char c : message) {
    if (c == '\r') continue;
    line += c == '\n' ? ' ' : c;
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line + "\n";
}

void FfmpegLog::Install(bool verbose) {
  if (verbose) {
    av_log_set_level(AV_LOG_INFO);
    av_log_set_callback(av_log_default_callback);
    return;
  }
  av_log_set_level(AV_LOG_WARNING);
  av_log_set_callback(QuietCallback);
}
