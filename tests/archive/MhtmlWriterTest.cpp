// The archive writer: what it writes reads back part for part, and a file appears at its name
// only when it is complete.
#include <gtest/gtest.h>

#include <filesystem>

#include "Base64.h"
#include "MhtmlWriter.h"
#include "ScratchDirectory.h"
#include "StrictMhtmlReader.h"
#include "TestFiles.h"

namespace {

TEST(MhtmlWriterTest, PartsReadBackExactly) {
  std::string binary;
  for (int i = 0; i < 1000; ++i) binary.push_back(static_cast<char>(i * 37 % 256));
  MhtmlWriter writer;
  writer.addPart({"a.files/fullscreen.htm", "text/html; charset=utf-8", "<p>演示文稿</p>\r\n--not a boundary"});
  writer.addPart({"a.files/show.svg", "image/svg+xml", binary});
  writer.addPart({"a.files/empty.txt", "text/plain", ""});
  for (size_t n = 1; n <= 3; ++n) writer.addPart({"a.files/p" + std::to_string(n), "text/plain", std::string(n, 'x')});

  std::vector<MhtmlPartRead> parts;
  std::string error;
  ASSERT_TRUE(ReadMhtml(writer.serialize(), parts, error)) << error;
  ASSERT_EQ(parts.size(), writer.parts().size());
  for (size_t i = 0; i < parts.size(); ++i) {
    EXPECT_EQ(parts[i].location, writer.parts()[i].contentLocation);
    EXPECT_EQ(parts[i].type, writer.parts()[i].contentType);
    EXPECT_EQ(parts[i].body, writer.parts()[i].body);
  }
}

TEST(Base64Test, LinesAreAtMost76Characters) {
  const std::string encoded = Base64::EncodeLines(std::string(1000, 'z'));
  size_t start = 0;
  for (size_t end = encoded.find("\r\n"); end != std::string::npos; end = encoded.find("\r\n", start)) {
    EXPECT_LE(end - start, 76u);
    start = end + 2;
  }
  EXPECT_EQ(start, encoded.size());  // ends with a line break
  EXPECT_EQ(Base64::EncodeLines("ab"), "YWI=\r\n");
  EXPECT_EQ(Base64::EncodeLines(""), "");
}

TEST(MhtmlWriterTest, WriteReplacesTheFileAndLeavesNothingElse) {
  ScratchDirectory dir;
  MhtmlWriter writer;
  writer.addPart({"x.files/fullscreen.htm", "text/html", "page"});
  const std::string target = dir.file("x.tmp");
  WriteWholeFile(target, "old");
  std::string error;
  ASSERT_TRUE(writer.writeFile(target, error)) << error;
  EXPECT_EQ(ReadWholeFile(target), writer.serialize());
  EXPECT_EQ(ListDirectory(dir.path()), std::vector<std::string>{"x.tmp"});

  EXPECT_FALSE(writer.writeFile(dir.file("missing/x.tmp"), error));
  EXPECT_FALSE(error.empty());
  std::filesystem::create_directory(dir.file("d.tmp"));
  EXPECT_FALSE(writer.writeFile(dir.file("d.tmp"), error));
  EXPECT_EQ(ListDirectory(dir.path()), (std::vector<std::string>{"d.tmp", "x.tmp"}));
}

}  // namespace
