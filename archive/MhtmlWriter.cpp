#include "MhtmlWriter.h"

#include "Base64.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace {

std::string DirectoryOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

void MhtmlWriter::addPart(Part part) { parts_.push_back(std::move(part)); }

std::string MhtmlWriter::boundary() const {
  // A base64 body never holds '=' followed by '_' and no header value here holds the
  // marker either, so this boundary cannot occur inside a part.
  return "----=_KavretoPart_000_0001";
}

std::string MhtmlWriter::serialize() const {
  const std::string b = boundary();
  std::string out;
  out += "MIME-Version: 1.0\r\n";
  out += "Content-Type: multipart/related; boundary=\"" + b + "\"; type=\"";
  out += parts_.empty() ? std::string("text/html")
                        : parts_.front().contentType.substr(0, parts_.front().contentType.find(';'));
  out += "\"\r\n\r\n";
  out += "This is a multi-part message in MIME format.\r\n\r\n";
  for (const Part& part : parts_) {
    out += "--" + b + "\r\n";
    out += "Content-Location: " + part.contentLocation + "\r\n";
    out += "Content-Transfer-Encoding: base64\r\n";
    out += "Content-Type: " + part.contentType + "\r\n\r\n";
    out += Base64::EncodeLines(part.body);
    out += "\r\n";
  }
  out += "--" + b + "--\r\n";
  return out;
}

bool MhtmlWriter::writeFile(const std::string& path, std::string& error) const {
  const std::string text = serialize();
  // An existing file is written in place: its owner may hold a lock on it (a conversion's
  // work file), which a new file renamed over it would not carry.
  struct stat existing {};
  if (::lstat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
      bool ok = WriteAll(fd, text);
      int savedErrno = errno;
      if (::close(fd) != 0 && ok) {
        ok = false;
        savedErrno = errno;
      }
      if (!ok) error = "cannot write " + path + ": " + std::strerror(savedErrno);
      return ok;
    }
  }
  std::random_device random;
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
    temporary = DirectoryOf(path) + "/.kavreto-archive-" + std::to_string(::getpid()) + "-" + std::to_string(random()) +
                ".part";
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    error = "cannot create a file next to " + path + ": " + std::strerror(errno);
    return false;
  }
  bool ok = WriteAll(fd, text);
  int savedErrno = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    savedErrno = errno;
  }
  if (ok && ::rename(temporary.c_str(), path.c_str()) != 0) {
    ok = false;
    savedErrno = errno;
  }
  if (!ok) {
    ::unlink(temporary.c_str());
    error = "cannot write " + path + ": " + std::strerror(savedErrno);
  }
  return ok;
}
