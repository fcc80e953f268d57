// The compound file reader against files made by an independent writer, and against broken
// ones: reads across sector boundaries in both the mini stream and regular sectors, lookups
// without case, and clean refusals of truncated files and looping chains.
#include <gtest/gtest.h>

#include <cstring>

#include "CompoundFile.h"
#include "CompoundFileWriter.h"

namespace {

std::string Pattern(size_t size, int seed) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 7 + static_cast<size_t>(seed) * 13) & 0xFF);
  return s;
}

TEST(CompoundFileTest, ReadsSmallAndLargeStreamsAnywhere) {
  const std::string small = Pattern(200, 1), edge = Pattern(4095, 2), large = Pattern(10000, 3);
  const std::string data = CompoundFileWriter::Write({{"Small", small}, {"Edge", edge}, {"Large Stream", large}});
  CompoundFile file;
  ASSERT_TRUE(file.open(data)) << file.error();
  for (const auto& [name, content] : {std::pair{"small", small}, {"EDGE", edge}, {"large stream", large}}) {
    SCOPED_TRACE(name);
    const uint32_t index = file.findInRoot(name);
    ASSERT_NE(index, CompoundFile::kNoStream);
    std::string whole;
    ASSERT_TRUE(file.readAll(index, 1u << 20, whole));
    EXPECT_EQ(whole, content);
    // A piece that crosses sector boundaries (64 bytes in the mini stream, 512 outside it).
    std::string piece(150, '\0');
    ASSERT_TRUE(file.read(index, 40, piece.size(), reinterpret_cast<uint8_t*>(piece.data())));
    EXPECT_EQ(piece, content.substr(40, 150));
    // Nothing past the stream's end; a limit smaller than the stream is refused.
    EXPECT_FALSE(file.read(index, content.size() - 10, 11, reinterpret_cast<uint8_t*>(piece.data())));
    EXPECT_FALSE(file.readAll(index, content.size() - 1, whole));
  }
  EXPECT_EQ(file.findInRoot("Missing"), CompoundFile::kNoStream);
  EXPECT_EQ(file.findInRoot("Root Entry"), CompoundFile::kNoStream);
}

TEST(CompoundFileTest, RefusesBrokenFilesWithoutFault) {
  const std::string large = Pattern(20000, 4);
  const std::string data = CompoundFileWriter::Write({{"Small", "abc"}, {"Large", large}});
  CompoundFile file;
  EXPECT_FALSE(file.open(std::string_view("not a compound file at all, just text")));
  EXPECT_FALSE(file.open(std::string_view(data.data(), 300)));  // inside the header

  // Cut inside the large stream: the tables read, the stream does not.
  const std::string cut = data.substr(0, data.size() - 4096);
  ASSERT_TRUE(file.open(cut)) << file.error();
  std::string whole;
  EXPECT_FALSE(file.readAll(file.findInRoot("Large"), 1u << 20, whole));
  EXPECT_TRUE(file.readAll(file.findInRoot("Small"), 100, whole));
  EXPECT_EQ(whole, "abc");

  // A FAT chain that points back at itself ends the read instead of looping.
  std::string loop = data;
  ASSERT_TRUE(file.open(loop));
  const uint32_t start = file.entries()[file.findInRoot("Large")].startSector;
  const size_t fatEntry = 512 + 4 * (start + 1);  // the FAT is sector 0
  std::memcpy(&loop[fatEntry], &start, 4);
  ASSERT_TRUE(file.open(loop));
  EXPECT_FALSE(file.readAll(file.findInRoot("Large"), 1u << 20, whole));

  // A directory whose sibling links form a cycle is searched once.
  std::string cycle = data;
  const uint32_t dirStart = 1, self = 1;
  std::memcpy(&cycle[(dirStart + 1) * 512 + 128 + 72], &self, 4);  // entry 1's right sibling: itself
  ASSERT_TRUE(file.open(cycle));
  EXPECT_EQ(file.findInRoot("Nothing"), CompoundFile::kNoStream);
}

}  // namespace
