#pragma once
// A reader of OLE compound files (the "structured storage" container of PowerPoint 97-2003
// files and of encrypted OOXML files): the header, the sector allocation table (FAT, with
// its DIFAT extension), the mini stream, the directory, and random-access reads from a
// stream. It reads only what is asked for, through a caller's read function, so a large
// file is never loaded whole. It takes outside data: every index, chain and length is
// checked, a chain that loops or leaves the file ends the read with false; it has no Qt so
// it can be fuzzed and run under the sanitizers.
//
// Threads: an object is used by one thread at a time.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class CompoundFile {
 public:
  // Reads `size` bytes at `offset` of the file into `out`; false when they are not all there.
  using ReadFunction = std::function<bool(uint64_t offset, size_t size, uint8_t* out)>;

  enum class EntryType : uint8_t { Empty = 0, Storage = 1, Stream = 2, Root = 5 };
  struct Entry {
    std::string name;  // UTF-8
    EntryType type = EntryType::Empty;
    uint32_t startSector = 0;
    uint64_t size = 0;
    uint32_t left = kNoStream, right = kNoStream, child = kNoStream;
  };
  static constexpr uint32_t kNoStream = 0xFFFFFFFFu;
  static constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  // Largest directory and allocation tables read (entries), far beyond real documents.
  static constexpr size_t kMaxDirectoryEntries = 1u << 16;
  static constexpr size_t kMaxTableEntries = 1u << 24;

  // Reads the header, the allocation tables and the directory of a file of `fileSize` bytes.
  // False (see error()) when the file is not a compound file or its tables are broken.
  bool open(ReadFunction read, uint64_t fileSize);
  // The same over bytes in memory, which must outlive the object.
  bool open(std::string_view data);
  // Whether `data` begins with the compound file signature.
  static bool HasSignature(std::string_view data);

  const std::vector<Entry>& entries() const { return entries_; }
  // The index of the stream or storage named `name` (compared without case, as the format
  // does) directly inside the root storage; kNoStream when there is none.
  uint32_t findInRoot(std::string_view name) const;
  // Reads `size` bytes at `offset` of stream `index` into `out`; false when the stream is
  // shorter or its chain is broken.
  bool read(uint32_t index, uint64_t offset, size_t size, uint8_t* out) const;
  // A whole stream of at most `limit` bytes; false when it is longer or cannot be read.
  bool readAll(uint32_t index, size_t limit, std::string& out) const;
  const std::string& error() const { return error_; }

 private:
  bool fail(std::string why);
  bool readTables();
  // The sectors of the chain starting at `start` in `table`, at most `limit` of them.
  bool chain(const std::vector<uint32_t>& table, uint32_t start, size_t limit, std::vector<uint32_t>& out) const;

  ReadFunction readFile_;
  uint64_t fileSize_ = 0;
  uint32_t sectorShift_ = 9;
  uint32_t miniSectorShift_ = 6;
  uint32_t miniCutoff_ = 4096;
  std::vector<uint32_t> fat_;
  std::vector<uint32_t> miniFat_;
  std::vector<uint32_t> miniStreamSectors_;  // the root entry's chain, which holds the mini stream
  std::vector<Entry> entries_;
  std::string error_;
};
