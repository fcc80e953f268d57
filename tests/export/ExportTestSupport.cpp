#include "ExportTestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "ExportPresentation.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

extern char** environ;

ExportRun RunExport(const std::string& source, const std::string& archive, ExportOptions options) {
  ExportRun run;
  auto started = options.officeStarted;
  options.officeStarted = [&run, started](pid_t pid) {
    run.officePids.push_back(pid);
    if (started) started(pid);
  };
  run.result = ExportPresentation(
      source, archive, [&run](const std::string& message) { run.messages.push_back(message); }, options);
  return run;
}

bool IsOfficeProcess(pid_t pid) {
  std::ifstream cmdline("/proc/" + std::to_string(pid) + "/cmdline");
  std::string text;
  std::getline(cmdline, text, '\0');
  if (text.find("soffice") == std::string::npos) return false;
  // A zombie has no command line any more; anything readable is a live process.
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const auto close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

bool IsLiveProcess(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const auto close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

bool WaitUntilGone(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  // A killed process's main thread shows as a zombie while its other threads still end.
  auto threads = [pid] {
    std::error_code ec;
    size_t count = 0;
    for (fs::directory_iterator it("/proc/" + std::to_string(pid) + "/task", ec), end; !ec && it != end;
         it.increment(ec))
      ++count;
    return count;
  };
  while (IsLiveProcess(pid) || threads() > 1) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

HelperProcess::HelperProcess(const std::vector<std::string>& arguments) {
  std::vector<std::string> args = {KAVRETO_BINARY_DIR "/tests/export/export_helper"};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int input[2], output[2];
  if (::pipe2(input, O_CLOEXEC) != 0) return;
  if (::pipe2(output, O_CLOEXEC) != 0) {
    ::close(input[0]), ::close(input[1]);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input[0], 0);
  posix_spawn_file_actions_adddup2(&actions, output[1], 1);
  if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(input[0]);
  ::close(output[1]);
  in_ = input[1];
  out_ = output[0];
}

HelperProcess::~HelperProcess() {
  if (pid_ > 0 && !reaped_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (in_ >= 0) ::close(in_);
  if (out_ >= 0) ::close(out_);
}

std::string HelperProcess::readLine(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const auto newline = buffer_.find('\n');
    if (newline != std::string::npos) {
      std::string line = buffer_.substr(0, newline);
      buffer_.erase(0, newline + 1);
      return line;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (out_ < 0 || left.count() <= 0) return {};
    pollfd p{out_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char chunk[512];
    const ssize_t got = ::read(out_, chunk, sizeof chunk);
    if (got <= 0) return {};
    buffer_.append(chunk, static_cast<size_t>(got));
  }
}

std::string HelperProcess::waitFor(const std::string& prefix, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string line =
        readLine(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()));
    if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
    if (line.empty()) break;
  }
  return {};
}

void HelperProcess::closeInput() {
  if (in_ >= 0) ::close(in_);
  in_ = -1;
}

void HelperProcess::kill(int signal) {
  if (pid_ > 0 && !reaped_) ::kill(pid_, signal);
}

int HelperProcess::wait(std::chrono::milliseconds limit) {
  if (pid_ <= 0 || reaped_) return -1;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      reaped_ = true;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    if (r < 0 || std::chrono::steady_clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(20ms);
  }
}

std::vector<std::string> LeftoverPipeFiles() {
  std::vector<std::string> found;
  const std::string prefix = "OSL_PIPE_" + std::to_string(::getuid()) + "_kavreto-" + std::to_string(::getpid()) + "-";
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/tmp", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0) found.push_back(name);
  }
  return found;
}

std::vector<std::string> ListDirectory(const std::string& directory) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(directory, ec)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

void WriteWholeFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << data;
}

ScratchDirectory::ScratchDirectory() {
  std::string pattern = (fs::temp_directory_path() / "kavreto-exporttest-XXXXXX").string();
  if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ec;
  if (!path_.empty()) fs::remove_all(path_, ec);
}

PrivateTmpDir::PrivateTmpDir() {
  if (const char* old = std::getenv("TMPDIR")) {
    old_ = old;
    hadOld_ = true;
  }
  ::setenv("TMPDIR", dir_.path().c_str(), 1);
}

PrivateTmpDir::~PrivateTmpDir() {
  if (hadOld_)
    ::setenv("TMPDIR", old_.c_str(), 1);
  else
    ::unsetenv("TMPDIR");
}

namespace {

bool DecodeBase64Strict(const std::string& in, std::string& out) {
  auto value = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  };
  std::string clean;
  for (char c : in)
    if (c != '\r' && c != '\n') clean.push_back(c);
  if (clean.size() % 4 != 0) return false;
  out.clear();
  for (size_t i = 0; i < clean.size(); i += 4) {
    int v[4];
    int pad = 0;
    for (int k = 0; k < 4; ++k) {
      if (clean[i + k] == '=') {
        if (i + 4 != clean.size() || k < 2) return false;
        v[k] = 0;
        ++pad;
      } else {
        if (pad > 0) return false;
        v[k] = value(clean[i + k]);
        if (v[k] < 0) return false;
      }
    }
    const unsigned n = (v[0] << 18) | (v[1] << 12) | (v[2] << 6) | v[3];
    out.push_back(static_cast<char>((n >> 16) & 255));
    if (pad < 2) out.push_back(static_cast<char>((n >> 8) & 255));
    if (pad < 1) out.push_back(static_cast<char>(n & 255));
  }
  return true;
}

// Header block up to the blank line at `pos`; names lower-cased. Returns the body start.
size_t ReadHeaders(const std::string& text, size_t pos, std::vector<std::pair<std::string, std::string>>& headers) {
  for (;;) {
    const size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) return std::string::npos;
    if (end == pos) return end + 2;
    const std::string line = text.substr(pos, end - pos);
    const size_t colon = line.find(':');
    if (colon == std::string::npos) return std::string::npos;
    std::string name = line.substr(0, colon);
    std::transform(name.begin(), name.end(), name.begin(), ::tolower);
    std::string value = line.substr(colon + 1);
    value.erase(0, value.find_first_not_of(' '));
    headers.emplace_back(name, value);
    pos = end + 2;
  }
}

std::string Header(const std::vector<std::pair<std::string, std::string>>& headers, const std::string& name) {
  for (const auto& [n, v] : headers)
    if (n == name) return v;
  return {};
}

}  // namespace

bool ReadMhtml(const std::string& text, std::vector<MhtmlPartRead>& parts, std::string& error) {
  parts.clear();
  std::vector<std::pair<std::string, std::string>> top;
  size_t pos = ReadHeaders(text, 0, top);
  if (pos == std::string::npos) return error = "no header block", false;
  if (Header(top, "mime-version") != "1.0") return error = "no MIME-Version 1.0", false;
  const std::string type = Header(top, "content-type");
  if (type.rfind("multipart/related;", 0) != 0) return error = "not multipart/related: " + type, false;
  const size_t b = type.find("boundary=\"");
  if (b == std::string::npos) return error = "no boundary", false;
  const std::string boundary = type.substr(b + 10, type.find('"', b + 10) - (b + 10));
  const std::string delimiter = "\r\n--" + boundary;
  pos = text.find("--" + boundary + "\r\n", pos);
  if (pos == std::string::npos) return error = "no first part", false;
  pos += boundary.size() + 4;
  for (;;) {
    std::vector<std::pair<std::string, std::string>> headers;
    const size_t body = ReadHeaders(text, pos, headers);
    if (body == std::string::npos) return error = "bad part headers", false;
    const size_t end = text.find(delimiter, body);
    if (end == std::string::npos) return error = "part not closed", false;
    MhtmlPartRead part;
    part.location = Header(headers, "content-location");
    part.type = Header(headers, "content-type");
    if (part.location.empty() || part.type.empty()) return error = "part without location or type", false;
    if (Header(headers, "content-transfer-encoding") != "base64") return error = "part not base64", false;
    if (!DecodeBase64Strict(text.substr(body, end - body), part.body))
      return error = "bad base64 in " + part.location, false;
    parts.push_back(std::move(part));
    pos = end + delimiter.size();
    if (text.compare(pos, 2, "--") == 0) return true;
    if (text.compare(pos, 2, "\r\n") != 0) return error = "bad delimiter line", false;
    pos += 2;
  }
}
