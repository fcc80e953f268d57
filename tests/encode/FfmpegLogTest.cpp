// FFmpeg's output when quiet: informational lines are dropped, a warning that arrives in
// pieces is printed once as one line. The test runs itself as a child with its standard
// error on a pipe, since the log writes there.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "FfmpegLog.h"

namespace {

std::string LogOf(bool verbose) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(fds[1], 2);
    FfmpegLog::Install(verbose);
    av_log(nullptr, AV_LOG_INFO, "frame I:24 Avg QP: 1.99\n");
    av_log(nullptr, AV_LOG_WARNING, "first part, ");
    av_log(nullptr, AV_LOG_WARNING, "second part\n");
    av_log(nullptr, AV_LOG_ERROR, "broken\nacross lines\n");
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string text;
  char buffer[256];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
  ::close(fds[0]);
  ::waitpid(pid, nullptr, 0);
  return text;
}

TEST(FfmpegLog, QuietKeepsWarningsAndErrorsOneLineEach) {
  EXPECT_EQ(LogOf(false), "first part, second part\nbroken across lines\n");
  const std::string verbose = LogOf(true);
  EXPECT_NE(verbose.find("frame I:24 Avg QP"), std::string::npos) << verbose;
  EXPECT_EQ(FfmpegLog::OneLine("a\r\nb\n\n"), "a b\n");
}

}  // namespace
