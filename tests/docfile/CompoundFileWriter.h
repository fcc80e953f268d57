#pragma once
// Writes a small OLE compound file (version 3, 512-byte sectors) holding the given streams in
// its root storage: streams under 4096 bytes go into the mini stream, as the format requires.
// The tests make their compound files with it, independently of the reader under test.

#include <string>
#include <utility>
#include <vector>

class CompoundFileWriter {
 public:
  using Stream = std::pair<std::string, std::string>;  // name (ASCII), content
  static std::string Write(std::vector<Stream> streams);
};
