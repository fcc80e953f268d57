#include "CompoundFileWriter.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <stdexcept>

namespace {

constexpr uint32_t kEnd = 0xFFFFFFFEu, kFree = 0xFFFFFFFFu, kFatSector = 0xFFFFFFFDu;
constexpr size_t kSector = 512, kMini = 64, kCutoff = 4096;

void Put16(std::string& s, size_t at, uint32_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, size_t at, uint32_t v) {
  Put16(s, at, v & 0xFFFF);
  Put16(s, at + 2, v >> 16);
}
size_t Units(size_t bytes, size_t unit) { return (bytes + unit - 1) / unit; }

// Chains `count` sectors from `first` in `table`.
void Link(std::vector<uint32_t>& table, uint32_t first, size_t count) {
  for (size_t i = 0; i < count; ++i) table[first + i] = i + 1 < count ? static_cast<uint32_t>(first + i + 1) : kEnd;
}

}  // namespace

std::string CompoundFileWriter::Write(std::vector<Stream> streams) {
  // Directory order: the format compares names by length, then without case.
  std::sort(streams.begin(), streams.end(), [](const Stream& a, const Stream& b) {
    if (a.first.size() != b.first.size()) return a.first.size() < b.first.size();
    std::string x = a.first, y = b.first;
    for (char& c : x) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (char& c : y) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return x < y;
  });
  std::string mini;
  std::vector<uint32_t> miniFat;
  std::vector<uint32_t> start(streams.size(), kEnd);
  size_t bigSectors = 0;
  for (size_t i = 0; i < streams.size(); ++i) {
    const std::string& data = streams[i].second;
    if (data.empty()) continue;
    if (data.size() < kCutoff) {
      start[i] = static_cast<uint32_t>(miniFat.size());
      const size_t n = Units(data.size(), kMini);
      miniFat.resize(miniFat.size() + n);
      Link(miniFat, start[i], n);
      mini += data;
      mini.resize(miniFat.size() * kMini, '\0');
    } else {
      bigSectors += Units(data.size(), kSector);
    }
  }
  const size_t dirSectors = Units(streams.size() + 1, 4);
  const size_t miniFatSectors = Units(miniFat.size() * 4, kSector);
  const size_t miniSectors = Units(mini.size(), kSector);
  const size_t rest = dirSectors + miniFatSectors + miniSectors + bigSectors;
  size_t fatSectors = 1;
  while (fatSectors * (kSector / 4) < fatSectors + rest) ++fatSectors;
  if (fatSectors > 109) throw std::length_error("too large for a header-only DIFAT");
  const size_t total = fatSectors + rest;

  std::vector<uint32_t> fat(fatSectors * (kSector / 4), kFree);
  for (size_t i = 0; i < fatSectors; ++i) fat[i] = kFatSector;
  const uint32_t dirStart = static_cast<uint32_t>(fatSectors);
  Link(fat, dirStart, dirSectors);
  const uint32_t miniFatStart = dirStart + static_cast<uint32_t>(dirSectors);
  Link(fat, miniFatStart, miniFatSectors);
  const uint32_t miniStart = miniFatStart + static_cast<uint32_t>(miniFatSectors);
  Link(fat, miniStart, miniSectors);
  uint32_t next = miniStart + static_cast<uint32_t>(miniSectors);
  for (size_t i = 0; i < streams.size(); ++i) {
    const size_t size = streams[i].second.size();
    if (size < kCutoff) continue;
    start[i] = next;
    Link(fat, next, Units(size, kSector));
    next += static_cast<uint32_t>(Units(size, kSector));
  }

  std::string file((total + 1) * kSector, '\0');
  static const char kSignature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
  file.replace(0, 8, kSignature, 8);
  Put16(file, 0x18, 0x3E);
  Put16(file, 0x1A, 3);
  Put16(file, 0x1C, 0xFFFE);
  Put16(file, 0x1E, 9);
  Put16(file, 0x20, 6);
  Put32(file, 0x2C, static_cast<uint32_t>(fatSectors));
  Put32(file, 0x30, dirStart);
  Put32(file, 0x38, kCutoff);
  Put32(file, 0x3C, miniFatSectors > 0 ? miniFatStart : kEnd);
  Put32(file, 0x40, static_cast<uint32_t>(miniFatSectors));
  Put32(file, 0x44, kEnd);
  for (size_t i = 0; i < 109; ++i) Put32(file, 0x4C + 4 * i, i < fatSectors ? static_cast<uint32_t>(i) : kFree);
  auto sectorAt = [](size_t s) { return (s + 1) * kSector; };
  for (size_t i = 0; i < fat.size(); ++i) Put32(file, sectorAt(i / 128) + 4 * (i % 128), fat[i]);
  std::vector<uint32_t> miniFatPadded = miniFat;
  miniFatPadded.resize(miniFatSectors * 128, kFree);
  for (size_t i = 0; i < miniFatPadded.size(); ++i)
    Put32(file, sectorAt(miniFatStart + i / 128) + 4 * (i % 128), miniFatPadded[i]);
  file.replace(sectorAt(miniStart), mini.size(), mini);
  for (size_t i = 0; i < streams.size(); ++i)
    if (streams[i].second.size() >= kCutoff) file.replace(sectorAt(start[i]), streams[i].second.size(), streams[i].second);

  // Directory: the root, then the streams as a chain of right siblings in name order.
  auto entry = [&](size_t index, const std::string& name, uint8_t type, uint32_t child, uint32_t right,
                   uint32_t first, uint32_t size) {
    const size_t at = sectorAt(dirStart + index / 4) + (index % 4) * 128;
    for (size_t c = 0; c < name.size() && c < 31; ++c) Put16(file, at + 2 * c, static_cast<unsigned char>(name[c]));
    Put16(file, at + 64, static_cast<uint32_t>((std::min<size_t>(name.size(), 31) + 1) * 2));
    file[at + 66] = static_cast<char>(type);
    file[at + 67] = 1;  // black
    Put32(file, at + 68, kFree);
    Put32(file, at + 72, right);
    Put32(file, at + 76, child);
    Put32(file, at + 116, first);
    Put32(file, at + 120, size);
  };
  for (size_t i = streams.size() + 1; i < dirSectors * 4; ++i) {
    const size_t at = sectorAt(dirStart + i / 4) + (i % 4) * 128;
    Put32(file, at + 68, kFree);
    Put32(file, at + 72, kFree);
    Put32(file, at + 76, kFree);
  }
  entry(0, "Root Entry", 5, streams.empty() ? kFree : 1, kFree, miniSectors > 0 ? miniStart : kEnd,
        static_cast<uint32_t>(mini.size()));
  for (size_t i = 0; i < streams.size(); ++i)
    entry(i + 1, streams[i].first, 2, kFree, i + 1 < streams.size() ? static_cast<uint32_t>(i + 2) : kFree, start[i],
          static_cast<uint32_t>(streams[i].second.size()));
  return file;
}
