#include <gtest/gtest.h>

#include "Base64.h"
#include "MhtmlArchive.h"
#include "TestArchive.h"

namespace {

std::string Binary() {
  std::string s;
  for (int i = 0; i < 256; ++i) s += char(i);
  return s + "\r\n--not-a-boundary\r\n" + s;
}

TEST(MhtmlArchive, FindsPartsByInnerPathInBothEncodings) {
  const std::string html = "<html><body>Zeile mit = und \xe4\xb8\xad\xe6\x96\x87 and a very long line " +
                           std::string(200, 'x') + " \nsecond line\n";
  const std::string archiveText = MakeMhtml({{"a.files/fullscreen.htm", "text/html; charset=utf-8", html, false},
                                             {"a.files/pic.bin", "application/octet-stream", Binary(), true},
                                             {"file:///C:/work/a.files/abs.css", "text/css", "body{}", true}});
  MhtmlArchive archive;
  ASSERT_TRUE(archive.parse(archiveText)) << archive.error();
  ASSERT_EQ(archive.parts().size(), 3u);

  const MhtmlArchive::Part* page = archive.find("a.files/fullscreen.htm");
  ASSERT_NE(page, nullptr);
  // Quoted-printable turns line breaks into CRLF; everything else comes back byte for byte.
  std::string expected = html;
  for (size_t p = 0; (p = expected.find('\n', p)) != std::string::npos; p += 2) expected.replace(p, 1, "\r\n");
  EXPECT_EQ(page->body, expected);
  EXPECT_EQ(page->contentType, "text/html; charset=utf-8");

  const MhtmlArchive::Part* bin = archive.find("a.files/pic.bin");
  ASSERT_NE(bin, nullptr);
  EXPECT_EQ(bin->body, Binary());

  // Parts named by an absolute address are found by their path inside the archive.
  ASSERT_NE(archive.find("a.files/abs.css"), nullptr);
  EXPECT_EQ(archive.find("a.files/abs.css")->body, "body{}");
  EXPECT_EQ(archive.find("files/abs.css"), nullptr);  // whole segments only
  EXPECT_EQ(archive.find("a.files/missing.htm"), nullptr);
  EXPECT_EQ(archive.find(""), nullptr);
}

TEST(MhtmlArchive, ReadsLineFeedOnlyArchivesAndUnquotedBoundaries) {
  const std::string text =
      "MIME-Version: 1.0\nContent-Type: Multipart/Related; boundary=b1; type=text/html\n\n"
      "--b1\nContent-Location: x.files/a.txt\nContent-Transfer-Encoding: 7bit\n\nhello\n--b1 \n"
      "Content-Location: x.files/b.txt\ncontent-transfer-encoding: BASE64\n\naGk=\n--b1--\n";
  MhtmlArchive archive;
  ASSERT_TRUE(archive.parse(text)) << archive.error();
  ASSERT_NE(archive.find("x.files/a.txt"), nullptr);
  EXPECT_EQ(archive.find("x.files/a.txt")->body, "hello");
  EXPECT_EQ(archive.find("x.files/b.txt")->body, "hi");
}

TEST(MhtmlArchive, RefusesBrokenArchives) {
  const std::string good = MakeMhtml(
      {{"a.files/fullscreen.htm", "text/html", "<p>x</p>", true}, {"a.files/b.htm", "text/html", "<p>y</p>", false}});
  MhtmlArchive archive;
  ASSERT_TRUE(archive.parse(good));

  const std::vector<std::pair<std::string, std::string>> broken = {
      {"empty", ""},
      {"plain text", "hello world\r\n"},
      {"not multipart", "Content-Type: text/html\r\n\r\n<p>x</p>"},
      {"no boundary", "Content-Type: multipart/related\r\n\r\n--x\r\n\r\nbody\r\n--x--\r\n"},
      {"truncated", good.substr(0, good.size() / 2)},
      {"no closing delimiter", good.substr(0, good.rfind("--"
                                                         "----=_KavretoTestPart_0042--"))},
      {"bad base64", MakeMhtml({{"a", "text/plain", "abc", true}})
                         .replace(MakeMhtml({{"a", "text/plain", "abc", true}}).find("YWJj"), 4, "YW*j")},
      {"bad quoted-printable",
       "Content-Type: multipart/related; boundary=q\r\n\r\n--q\r\n"
       "Content-Transfer-Encoding: quoted-printable\r\n\r\nbad =ZZ escape\r\n--q--\r\n"},
      {"unknown encoding",
       "Content-Type: multipart/related; boundary=q\r\n\r\n--q\r\n"
       "Content-Transfer-Encoding: x-uuencode\r\n\r\nbody\r\n--q--\r\n"},
      {"no parts", "Content-Type: multipart/related; boundary=q\r\n\r\n--q--\r\n"},
  };
  for (const auto& [name, text] : broken) {
    EXPECT_FALSE(archive.parse(text)) << name;
    EXPECT_TRUE(archive.parts().empty()) << name;
    EXPECT_FALSE(archive.error().empty()) << name;
    EXPECT_EQ(archive.find("a.files/fullscreen.htm"), nullptr) << name;
  }
}

TEST(MhtmlArchive, DecodersRejectMalformedInput) {
  std::string out;
  EXPECT_TRUE(Base64::Decode("TWFu\r\nTW Fu\r\nTQ==\r\n", out));
  EXPECT_EQ(out, "ManManM");
  EXPECT_TRUE(Base64::Decode("TWE", out));  // missing padding is tolerated
  EXPECT_EQ(out, "Ma");
  EXPECT_FALSE(Base64::Decode("TWE=TQ==", out));  // padding inside the body
  EXPECT_FALSE(Base64::Decode("TWFuT", out));     // a lone character
  EXPECT_FALSE(Base64::Decode("TQ=", out));       // incomplete padding
  EXPECT_FALSE(Base64::Decode("TQ==TWFu", out));  // data after padding
  EXPECT_FALSE(Base64::Decode("T===", out));

  EXPECT_TRUE(MhtmlArchive::DecodeQuotedPrintable("a=3Db=\r\nc  \r\nd=e4", out));
  EXPECT_EQ(out, "a=bc\r\nd\xe4");
  EXPECT_FALSE(MhtmlArchive::DecodeQuotedPrintable("a=4", out));
  EXPECT_FALSE(MhtmlArchive::DecodeQuotedPrintable("a=G1", out));
}

}  // namespace
