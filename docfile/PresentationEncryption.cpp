#include "PresentationEncryption.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

struct RecordHeader {
  uint16_t verAndInstance = 0;
  uint16_t type = 0;
  uint32_t length = 0;
};

bool ReadHeader(const CompoundFile& file, uint32_t stream, uint64_t offset, RecordHeader& header) {
  uint8_t bytes[8];
  if (!file.read(stream, offset, sizeof bytes, bytes)) return false;
  header = {U16(bytes), U16(bytes + 2), U32(bytes + 4)};
  return true;
}

// The PowerPoint Document stream's edits, newest first, each with its persist directory.
constexpr int kMaxEdits = 256;
// A persist directory larger than this is not read (real ones hold a few entries per slide).
constexpr uint32_t kMaxPersistDirectoryBytes = 1u << 20;

// The stream offset of persist object `id` in the directory at `offset`; 0 when absent.
uint32_t PersistOffset(const CompoundFile& file, uint32_t stream, uint32_t offset, uint32_t id, bool& broken) {
  RecordHeader header;
  if (!ReadHeader(file, stream, offset, header) || header.type != PresentationEncryption::kPersistDirectoryAtom ||
      header.length > kMaxPersistDirectoryBytes) {
    broken = true;
    return 0;
  }
  std::vector<uint8_t> bytes(header.length);
  if (!file.read(stream, uint64_t{offset} + 8, bytes.size(), bytes.data())) {
    broken = true;
    return 0;
  }
  // Entries: a 20-bit first id and a 12-bit count, then that many 32-bit offsets.
  size_t at = 0;
  while (at + 4 <= bytes.size()) {
    const uint32_t word = U32(&bytes[at]);
    const uint32_t first = word & 0xFFFFFu;
    const uint32_t count = word >> 20;
    at += 4;
    if (at + 4 * size_t{count} > bytes.size()) {
      broken = true;
      return 0;
    }
    if (id >= first && id < first + count) return U32(&bytes[at + 4 * size_t{id - first}]);
    at += 4 * size_t{count};
  }
  return 0;
}

}  // namespace

PresentationEncryption::Finding PresentationEncryption::InspectPowerPoint(const CompoundFile& file) {
  const uint32_t user = file.findInRoot("Current User");
  const uint32_t document = file.findInRoot("PowerPoint Document");
  if (user == CompoundFile::kNoStream) return {};
  // CurrentUserAtom: header, size, headerToken, offsetToCurrentEdit, ...
  uint8_t atom[20];
  if (!file.read(user, 0, sizeof atom, atom) || U16(atom + 2) != kCurrentUserAtom) return {};
  const uint32_t token = U32(atom + 12);
  if (token == kEncryptedToken) return {Kind::PowerPoint97, "the Current User record carries the encrypted token"};
  if (document == CompoundFile::kNoStream) return {};

  // The current edit, and the older ones through offsetLastEdit, until one names an
  // encryption session; its persist object must be a CryptSession10Container.
  uint32_t edit = U32(atom + 16);
  std::vector<uint32_t> seen;
  uint32_t sessionId = 0;
  for (int i = 0; i < kMaxEdits; ++i) {
    for (const uint32_t s : seen)
      if (s == edit) return {};
    seen.push_back(edit);
    RecordHeader header;
    if (!ReadHeader(file, document, edit, header) || header.type != kUserEditAtom || header.length < 0x1C) return {};
    uint8_t body[0x20] = {};
    const size_t length = header.length >= 0x20 ? 0x20 : 0x1C;
    if (!file.read(document, uint64_t{edit} + 8, length, body)) return {};
    const uint32_t lastEdit = U32(body + 8);
    const uint32_t persistDirectory = U32(body + 12);
    if (sessionId == 0 && length == 0x20) sessionId = U32(body + 0x1C);
    if (sessionId == 0) return {};  // the newest edit decides whether a session is named
    bool broken = false;
    const uint32_t at = PersistOffset(file, document, persistDirectory, sessionId, broken);
    if (broken) return {};
    if (at != 0) {
      if (!ReadHeader(file, document, at, header) || header.type != kCryptSession10Container) return {};
      return {Kind::PowerPoint97, "the document's current edit names an encryption session (CryptSession10Container)"};
    }
    if (lastEdit == 0) return {};
    edit = lastEdit;
  }
  return {};
}

PresentationEncryption::Finding PresentationEncryption::Inspect(const CompoundFile& file) {
  const uint32_t info = file.findInRoot("EncryptionInfo");
  const uint32_t package = file.findInRoot("EncryptedPackage");
  if (info != CompoundFile::kNoStream && package != CompoundFile::kNoStream &&
      file.entries()[package].type == CompoundFile::EntryType::Stream) {
    // EncryptionInfo begins with its version: 2, 3 or 4 major, 2, 3 or 4 minor.
    uint8_t version[4];
    if (file.read(info, 0, sizeof version, version)) {
      const uint16_t major = U16(version), minor = U16(version + 2);
      if (major >= 2 && major <= 4 && minor >= 2 && minor <= 4)
        return {Kind::Ooxml, "an encrypted Office Open XML package (EncryptionInfo and EncryptedPackage)"};
    }
  }
  return InspectPowerPoint(file);
}

PresentationEncryption::Finding PresentationEncryption::InspectData(std::string_view data) {
  if (!CompoundFile::HasSignature(data)) return {};
  CompoundFile file;
  if (!file.open(data)) return {};
  return Inspect(file);
}

PresentationEncryption::Finding PresentationEncryption::InspectFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  Finding finding;
  struct stat info {};
  uint8_t signature[sizeof CompoundFile::kSignature];
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      ::pread(fd, signature, sizeof signature, 0) == static_cast<ssize_t>(sizeof signature) &&
      CompoundFile::HasSignature(std::string_view(reinterpret_cast<const char*>(signature), sizeof signature))) {
    CompoundFile file;
    const auto read = [fd](uint64_t offset, size_t size, uint8_t* out) {
      size_t done = 0;
      while (done < size) {
        const ssize_t n = ::pread(fd, out + done, size - done, static_cast<off_t>(offset + done));
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
      }
      return true;
    };
    if (file.open(read, static_cast<uint64_t>(info.st_size))) finding = Inspect(file);
  }
  ::close(fd);
  return finding;
}
