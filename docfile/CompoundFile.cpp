#include "CompoundFile.h"

#include <algorithm>
#include <cstring>

#include "Utf8.h"

namespace {

constexpr uint32_t kEndOfChain = 0xFFFFFFFEu;
constexpr size_t kHeaderSize = 512;
constexpr size_t kHeaderDifatEntries = 109;
constexpr size_t kEntrySize = 128;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}


// A directory entry's name: UTF-16LE, `bytes` long with its terminating zero.
std::string EntryName(const uint8_t* p, uint16_t bytes) {
  std::string name;
  const size_t units = std::min<size_t>(bytes, 64) / 2;
  for (size_t i = 0; i < units; ++i) {
    uint32_t c = U16(p + 2 * i);
    if (c == 0) break;
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units) {
      const uint32_t low = U16(p + 2 * (i + 1));
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    Utf8::Append(name, c);
  }
  return name;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

bool CompoundFile::HasSignature(std::string_view data) {
  return data.size() >= sizeof kSignature && std::memcmp(data.data(), kSignature, sizeof kSignature) == 0;
}

bool CompoundFile::fail(std::string why) {
  error_ = std::move(why);
  fat_.clear();
  miniFat_.clear();
  miniStreamSectors_.clear();
  entries_.clear();
  return false;
}

bool CompoundFile::open(std::string_view data) {
  return open(
      [data](uint64_t offset, size_t size, uint8_t* out) {
        if (offset > data.size() || size > data.size() - offset) return false;
        std::memcpy(out, data.data() + offset, size);
        return true;
      },
      data.size());
}

bool CompoundFile::open(ReadFunction read, uint64_t fileSize) {
  readFile_ = std::move(read);
  fileSize_ = fileSize;
  error_.clear();
  return readTables();
}

bool CompoundFile::chain(const std::vector<uint32_t>& table, uint32_t start, size_t limit,
                         std::vector<uint32_t>& out) const {
  out.clear();
  std::vector<bool> seen(table.size(), false);
  uint32_t sector = start;
  while (sector != kEndOfChain && out.size() < limit) {
    // A sector met twice: the chain loops.
    if (sector >= table.size() || seen[sector]) return false;
    seen[sector] = true;
    out.push_back(sector);
    sector = table[sector];
  }
  return true;
}

bool CompoundFile::readTables() {
  uint8_t header[kHeaderSize];
  if (fileSize_ < kHeaderSize || !readFile_(0, kHeaderSize, header)) return fail("shorter than a compound file header");
  if (std::memcmp(header, kSignature, sizeof kSignature) != 0) return fail("no compound file signature");
  const uint16_t major = U16(header + 0x1A);
  sectorShift_ = U16(header + 0x1E);
  miniSectorShift_ = U16(header + 0x20);
  if ((major != 3 && major != 4) || (sectorShift_ != 9 && sectorShift_ != 12) || miniSectorShift_ != 6)
    return fail("unknown compound file version or sector size");
  miniCutoff_ = U32(header + 0x38);
  const size_t sectorSize = size_t{1} << sectorShift_;
  const size_t perSector = sectorSize / 4;
  // No table can have more sectors than the file.
  const uint64_t fileSectors = fileSize_ >> sectorShift_;
  const uint32_t fatSectors = U32(header + 0x2C);
  if (fatSectors > fileSectors || uint64_t{fatSectors} * perSector > kMaxTableEntries)
    return fail("allocation table larger than the file");

  // Where the FAT's sectors are: 109 in the header, the rest in the DIFAT chain.
  std::vector<uint32_t> fatList;
  for (size_t i = 0; i < kHeaderDifatEntries && fatList.size() < fatSectors; ++i)
    fatList.push_back(U32(header + 0x4C + 4 * i));
  std::vector<uint8_t> sector(sectorSize);
  uint32_t difat = U32(header + 0x44);
  size_t difatRead = 0;
  while (fatList.size() < fatSectors) {
    if (difat >= fileSectors || ++difatRead > fileSectors) return fail("broken DIFAT chain");
    if (!readFile_((uint64_t{difat} + 1) << sectorShift_, sectorSize, sector.data()))
      return fail("DIFAT sector beyond the end of the file");
    for (size_t i = 0; i + 1 < perSector && fatList.size() < fatSectors; ++i) fatList.push_back(U32(&sector[4 * i]));
    difat = U32(&sector[4 * (perSector - 1)]);
  }
  fat_.clear();
  fat_.reserve(fatList.size() * perSector);
  for (const uint32_t s : fatList) {
    if (s >= fileSectors || !readFile_((uint64_t{s} + 1) << sectorShift_, sectorSize, sector.data()))
      return fail("allocation table sector beyond the end of the file");
    for (size_t i = 0; i < perSector; ++i) fat_.push_back(U32(&sector[4 * i]));
  }

  // The directory.
  std::vector<uint32_t> sectors;
  if (!chain(fat_, U32(header + 0x30), kMaxDirectoryEntries * kEntrySize / sectorSize, sectors) || sectors.empty())
    return fail("broken directory chain");
  entries_.clear();
  for (const uint32_t s : sectors) {
    if (!readFile_((uint64_t{s} + 1) << sectorShift_, sectorSize, sector.data()))
      return fail("directory sector beyond the end of the file");
    for (size_t at = 0; at + kEntrySize <= sectorSize; at += kEntrySize) {
      const uint8_t* e = &sector[at];
      Entry entry;
      entry.type = static_cast<EntryType>(e[66]);
      if (entry.type != EntryType::Storage && entry.type != EntryType::Stream && entry.type != EntryType::Root)
        entry.type = EntryType::Empty;
      if (entry.type != EntryType::Empty) entry.name = EntryName(e, U16(e + 64));
      entry.left = U32(e + 68);
      entry.right = U32(e + 72);
      entry.child = U32(e + 76);
      entry.startSector = U32(e + 116);
      // Version 3 files may leave garbage in the size's high half.
      entry.size = major == 3 ? U32(e + 120) : U32(e + 120) | (uint64_t{U32(e + 124)} << 32);
      entries_.push_back(std::move(entry));
    }
  }
  if (entries_[0].type != EntryType::Root) return fail("the first directory entry is not the root");

  // The mini stream (the root entry's chain) and its allocation table.
  if (!chain(fat_, entries_[0].startSector, fat_.size(), miniStreamSectors_)) return fail("broken mini stream chain");
  const uint32_t miniFatSectors = U32(header + 0x40);
  if (miniFatSectors > fileSectors) return fail("mini allocation table larger than the file");
  if (!chain(fat_, U32(header + 0x3C), miniFatSectors, sectors)) return fail("broken mini allocation table chain");
  miniFat_.clear();
  for (const uint32_t s : sectors) {
    if (!readFile_((uint64_t{s} + 1) << sectorShift_, sectorSize, sector.data()))
      return fail("mini allocation table sector beyond the end of the file");
    for (size_t i = 0; i < perSector; ++i) miniFat_.push_back(U32(&sector[4 * i]));
  }
  return true;
}

uint32_t CompoundFile::findInRoot(std::string_view name) const {
  if (entries_.empty()) return kNoStream;
  // The root's children form a binary tree through left and right; a broken file may loop.
  std::vector<bool> seen(entries_.size(), false);
  std::vector<uint32_t> pending{entries_[0].child};
  while (!pending.empty()) {
    const uint32_t at = pending.back();
    pending.pop_back();
    if (at >= entries_.size() || seen[at]) continue;
    seen[at] = true;
    const Entry& entry = entries_[at];
    if (entry.type == EntryType::Empty || entry.type == EntryType::Root) continue;
    if (SameName(entry.name, name)) return at;
    pending.push_back(entry.left);
    pending.push_back(entry.right);
  }
  return kNoStream;
}

bool CompoundFile::read(uint32_t index, uint64_t offset, size_t size, uint8_t* out) const {
  if (index >= entries_.size() || entries_[index].type != EntryType::Stream) return false;
  const Entry& entry = entries_[index];
  if (offset > entry.size || size > entry.size - offset) return false;
  if (size == 0) return true;
  const bool mini = entry.size < miniCutoff_;
  const uint32_t shift = mini ? miniSectorShift_ : sectorShift_;
  const uint64_t unit = uint64_t{1} << shift;
  const uint64_t end = offset + size;
  const uint64_t needed = (end + unit - 1) >> shift;
  const std::vector<uint32_t>& table = mini ? miniFat_ : fat_;
  if (needed > table.size()) return false;
  std::vector<uint32_t> sectors;
  if (!chain(table, entry.startSector, static_cast<size_t>(needed), sectors) || sectors.size() < needed) return false;
  uint64_t at = offset;
  while (at < end) {
    const uint64_t within = at & (unit - 1);
    const size_t piece = static_cast<size_t>(std::min(unit - within, end - at));
    const uint32_t s = sectors[static_cast<size_t>(at >> shift)];
    uint64_t fileOffset = 0;
    if (mini) {
      // A mini sector lies inside the mini stream, itself a chain of regular sectors.
      const uint64_t streamOffset = (uint64_t{s} << miniSectorShift_) + within;
      const uint64_t big = streamOffset >> sectorShift_;
      if (big >= miniStreamSectors_.size()) return false;
      fileOffset = ((uint64_t{miniStreamSectors_[big]} + 1) << sectorShift_) +
                   (streamOffset & ((uint64_t{1} << sectorShift_) - 1));
    } else {
      fileOffset = ((uint64_t{s} + 1) << sectorShift_) + within;
    }
    if (!readFile_(fileOffset, piece, out + (at - offset))) return false;
    at += piece;
  }
  return true;
}

bool CompoundFile::readAll(uint32_t index, size_t limit, std::string& out) const {
  out.clear();
  if (index >= entries_.size() || entries_[index].size > limit) return false;
  out.resize(static_cast<size_t>(entries_[index].size));
  return read(index, 0, out.size(), reinterpret_cast<uint8_t*>(out.data()));
}
