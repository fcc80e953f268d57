#include "ArchiveRegistry.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>

namespace {
constexpr std::string_view kFilePrefix = "file://";
constexpr size_t kMaxCachedArchives = 4;
}  // namespace

void ArchiveRegistry::allow(const std::string& archivePath) {
  if (archivePath.empty() || isAllowed(archivePath)) return;
  allowed_.push_back(archivePath);
}

bool ArchiveRegistry::isAllowed(const std::string& archivePath) const {
  return std::find(allowed_.begin(), allowed_.end(), archivePath) != allowed_.end();
}

std::string ArchiveRegistry::NormaliseInnerPath(std::string_view inner) {
  std::vector<std::string_view> segments;
  size_t pos = 0;
  while (pos <= inner.size()) {
    size_t slash = inner.find('/', pos);
    if (slash == std::string_view::npos) slash = inner.size();
    std::string_view seg = inner.substr(pos, slash - pos);
    if (seg == "..") {
      if (segments.empty()) return {};
      segments.pop_back();
    } else if (!seg.empty() && seg != ".") {
      segments.push_back(seg);
    }
    pos = slash + 1;
  }
  std::string out;
  for (std::string_view seg : segments) {
    if (!out.empty()) out += '/';
    out += seg;
  }
  return out;
}

ArchiveRegistry::Result ArchiveRegistry::resolve(std::string_view addressPath) {
  Result result;
  if (addressPath.substr(0, kFilePrefix.size()) != kFilePrefix) {
    result.status = Status::NotAllowed;
    return result;
  }
  std::string_view rest = addressPath.substr(kFilePrefix.size());
  // The longest allowed archive path followed by "!" wins, so an archive whose name
  // contains "!" still resolves to itself.
  const std::string* archive = nullptr;
  for (const std::string& a : allowed_) {
    if (rest.size() > a.size() && rest.substr(0, a.size()) == a && rest[a.size()] == '!' &&
        (archive == nullptr || a.size() > archive->size()))
      archive = &a;
  }
  if (archive == nullptr) {
    result.status = Status::NotAllowed;
    return result;
  }
  std::string inner = NormaliseInnerPath(rest.substr(archive->size() + 1));
  if (inner.empty()) return result;  // NotFound

  std::shared_ptr<const MhtmlArchive> parsed = load(*archive, result.error);
  if (!parsed) {
    result.status = Status::Unreadable;
    return result;
  }
  const MhtmlArchive::Part* part = parsed->find(inner);
  if (part == nullptr) return result;  // NotFound
  result.status = Status::Served;
  result.contentType = part->contentType.empty() ? "application/octet-stream" : part->contentType;
  result.body = part->body;
  return result;
}

std::shared_ptr<const MhtmlArchive> ArchiveRegistry::load(const std::string& archivePath, std::string& error) {
  struct stat st {};
  if (::stat(archivePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    cache_.erase(archivePath);
    error = "no such file";
    return nullptr;
  }
  if (static_cast<uint64_t>(st.st_size) > MhtmlArchive::kMaxArchiveBytes) {
    cache_.erase(archivePath);
    error = "larger than 1 GiB";
    return nullptr;
  }
  const int64_t modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  auto it = cache_.find(archivePath);
  if (it != cache_.end() && it->second.size == st.st_size && it->second.modified == modified) {
    error = it->second.error;
    return it->second.archive;
  }

  std::string data;
  {
    std::ifstream in(archivePath, std::ios::binary);
    if (!in) {
      error = "cannot be opened for reading";
      return nullptr;
    }
    data.resize(static_cast<size_t>(st.st_size));
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    if (static_cast<size_t>(in.gcount()) != data.size()) {
      error = "could not be read completely";
      return nullptr;
    }
  }
  auto archive = std::make_shared<MhtmlArchive>();
  std::string parseError;
  if (!archive->parse(data)) {
    parseError = "not a readable archive: " + archive->error();
    archive.reset();
  }
  error = parseError;

  if (it == cache_.end() && cache_.size() >= kMaxCachedArchives) cache_.erase(cache_.begin());
  cache_[archivePath] = Cached{static_cast<int64_t>(st.st_size), modified, archive, parseError};
  return archive;
}
