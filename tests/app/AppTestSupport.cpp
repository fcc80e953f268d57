#include "AppTestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

ChildProcess::ChildProcess(const std::vector<std::string>& args, const std::vector<std::string>& env) {
  int pipeFds[2];
  int outFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return;
  if (::pipe2(outFds, O_CLOEXEC) != 0) {
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    return;
  }
  std::map<std::string, std::string> vars;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry(*e);
    const size_t eq = entry.find('=');
    if (eq != std::string::npos) vars[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  // The dialog's texts that the program prints are the Chinese source texts unless a test
  // asks for another locale.
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"}) vars.erase(name);
  vars["LANG"] = "zh_CN.UTF-8";
  for (const std::string& entry : env) {
    const size_t eq = entry.find('=');
    vars[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  std::vector<std::string> envStrings;
  for (const auto& [k, v] : vars) envStrings.push_back(k + "=" + v);
  std::vector<char*> envp, argv;
  for (std::string& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> argsCopy = args;
  for (std::string& s : argsCopy) argv.push_back(s.data());
  argv.push_back(nullptr);

  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(pipeFds[1], 2);
    ::dup2(outFds[1], 1);
    const int devnull = ::open("/dev/null", O_RDWR);
    ::dup2(devnull, 0);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  ::close(outFds[1]);
  stderrFd_ = pipeFds[0];
  stdoutFd_ = outFds[0];
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !exited_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (stderrFd_ >= 0) ::close(stderrFd_);
  if (stdoutFd_ >= 0) ::close(stdoutFd_);
}

void ChildProcess::pump(int timeoutMs) {
  if (stderrFd_ < 0 && stdoutFd_ < 0) return;
  pollfd p[2] = {{stderrFd_, POLLIN, 0}, {stdoutFd_, POLLIN, 0}};  // a negative fd is left out
  if (::poll(p, 2, timeoutMs) <= 0) return;
  int* fds[2] = {&stderrFd_, &stdoutFd_};
  std::string* texts[2] = {&stderr_, &stdout_};
  for (int i = 0; i < 2; ++i) {
    if (*fds[i] < 0 || p[i].revents == 0) continue;
    char buffer[4096];
    const ssize_t n = ::read(*fds[i], buffer, sizeof buffer);
    if (n > 0) {
      texts[i]->append(buffer, static_cast<size_t>(n));
    } else {
      ::close(*fds[i]);
      *fds[i] = -1;
    }
  }
}

bool ChildProcess::waitForStderr(const std::string& text, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (stderr_.find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() > deadline || stderrFd_ < 0) return false;
    pump(50);
  }
  return true;
}

int ChildProcess::wait(int timeoutMs) {
  if (exited_) return status_;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    pump(50);
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      while (stderrFd_ >= 0 || stdoutFd_ >= 0) pump(100);
      exited_ = true;
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return status_;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      exited_ = true;
      status_ = -1;
      return -1;
    }
  }
}

std::string KavretoProgram() { return std::string(KAVRETO_BINARY_DIR) + "/app/kavreto"; }

pid_t OfficeHavingOpen(const std::string& path) {
  std::error_code error;
  for (const auto& proc : fs::directory_iterator("/proc", error)) {
    std::ifstream comm(proc.path() / "comm");
    std::string command;
    if (!std::getline(comm, command) || command.rfind("soffice", 0) != 0) continue;
    std::error_code fdError;
    for (const auto& fd : fs::directory_iterator(proc.path() / "fd", fdError)) {
      std::error_code linkError;
      if (fs::read_symlink(fd.path(), linkError).string() == path)
        return static_cast<pid_t>(std::atoi(proc.path().filename().c_str()));
    }
  }
  return 0;
}

int OfficeProcessCount(const std::string& marker) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream comm(entry.path() / "comm");
    std::string command;
    if (!std::getline(comm, command) || command.rfind("soffice", 0) != 0) continue;
    std::ifstream cmdline(entry.path() / "cmdline");
    const std::string arguments((std::istreambuf_iterator<char>(cmdline)), std::istreambuf_iterator<char>());
    if (arguments.find(marker) != std::string::npos) ++count;
  }
  return count;
}

std::vector<std::string> FilesWithPrefix(const std::string& dir, const std::string& prefix) {
  std::vector<std::string> found;
  std::error_code error;
  for (const auto& entry : fs::recursive_directory_iterator(dir, error)) {
    if (entry.path().filename().string().rfind(prefix, 0) == 0) found.push_back(entry.path().string());
  }
  return found;
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

namespace {

std::string ReadAll(int fd) {
  std::string text;
  char buffer[65536];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  return text;
}

// Runs a program and returns its standard output; its standard error goes to `errors`.
std::string Capture(const std::vector<std::string>& args, std::string& errors) {
  int out[2], err[2];
  if (::pipe(out) != 0 || ::pipe(err) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    ::close(out[0]);
    ::close(err[0]);
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    for (std::string& s : copy) argv.push_back(s.data());
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  // The error stream is small; read it after the output.
  std::string text = ReadAll(out[0]);
  errors += ReadAll(err[0]);
  ::close(out[0]);
  ::close(err[0]);
  ::waitpid(pid, nullptr, 0);
  return text;
}

}  // namespace

DecodedVideo DecodeVideo(const std::string& path) {
  DecodedVideo video;
  const std::string size = std::to_string(DecodedVideo::kWidth) + "x" + std::to_string(DecodedVideo::kHeight);
  const std::string raw = Capture({"ffmpeg", "-v", "error", "-nostdin", "-i", path, "-vsync", "passthrough", "-s", size,
                                   "-pix_fmt", "rgb24", "-f", "rawvideo", "-"},
                                  video.errors);
  const size_t frameBytes = static_cast<size_t>(DecodedVideo::kWidth) * DecodedVideo::kHeight * 3;
  for (size_t at = 0; at + frameBytes <= raw.size(); at += frameBytes) {
    video.frames.emplace_back(raw.begin() + static_cast<std::ptrdiff_t>(at),
                              raw.begin() + static_cast<std::ptrdiff_t>(at + frameBytes));
  }
  std::string probeErrors;
  std::istringstream times(Capture({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                                    "frame=best_effort_timestamp_time", "-of", "csv=p=0", path},
                                   probeErrors));
  for (std::string line; std::getline(times, line);) {
    if (!line.empty()) video.times.push_back(std::atof(line.c_str()));
  }
  return video;
}

VideoStreamInfo ProbeVideo(const std::string& path) {
  VideoStreamInfo info;
  std::string errors;
  std::istringstream fields(Capture({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                                     "stream=width,height", "-of", "csv=p=0", path},
                                    errors));
  char comma = 0;
  fields >> info.width >> comma >> info.height;
  return info;
}
