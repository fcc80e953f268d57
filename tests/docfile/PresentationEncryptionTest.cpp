// Encrypted presentations are told by their structure whatever their name: the corpus's
// encrypted .ppt, the same without its summary stream, the same with only the document
// stream's mark left, and an encrypted OOXML package; good and truncated decks are not.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "CompoundFile.h"
#include "CompoundFileWriter.h"
#include "EncryptedDecks.h"
#include "PresentationEncryption.h"
#include "ScratchDirectory.h"
#include "TestFiles.h"

namespace {

using Kind = PresentationEncryption::Kind;
const std::string kGoodPpt = KAVRETO_SOURCE_DIR "/../shared/corpus/ppt/poi__37625.ppt";

TEST(PresentationEncryptionTest, EncryptedDecksAreToldByTheirStructure) {
  ScratchDirectory dir;
  const std::string pptx = EncryptedDecks::Pptx(dir.path());
  EXPECT_EQ(PresentationEncryption::InspectFile(pptx).kind, Kind::Ooxml);
  // Its name says nothing: the same bytes under another name are still encrypted.
  WriteWholeFile(dir.file("slides.odp"), ReadWholeFile(pptx));
  EXPECT_EQ(PresentationEncryption::InspectFile(dir.file("slides.odp")).kind, Kind::Ooxml);
  // Only EncryptionInfo, or one of an unknown version, is not enough.
  EXPECT_FALSE(PresentationEncryption::InspectData(CompoundFileWriter::Write({{"EncryptionInfo", "\x04\x00\x04\x00"}}))
                   .encrypted());
  EXPECT_FALSE(PresentationEncryption::InspectData(
                   CompoundFileWriter::Write({{"EncryptionInfo", std::string("\x09\x00\x01\x00", 4)},
                                              {"EncryptedPackage", std::string(16, 'x')}}))
                   .encrypted());

  if (EncryptedDecks::CorpusPpt().empty()) GTEST_SKIP() << "corpus not on this machine";
  const std::string corpus = ReadWholeFile(EncryptedDecks::CorpusPpt());
  EXPECT_EQ(PresentationEncryption::InspectData(corpus).kind, Kind::PowerPoint97);
  const std::string noSummary = EncryptedDecks::PptWithoutSummary(dir.path());
  ASSERT_FALSE(noSummary.empty());
  CompoundFile file;
  ASSERT_TRUE(file.open(ReadWholeFile(noSummary)));
  EXPECT_EQ(file.findInRoot("EncryptedSummary"), CompoundFile::kNoStream);
  EXPECT_EQ(PresentationEncryption::InspectFile(noSummary).kind, Kind::PowerPoint97);

  // With the Current User token set to "not encrypted", the document stream's current edit
  // still names its CryptSession10Container.
  std::string plainToken = ReadWholeFile(noSummary);
  const uint32_t encrypted = PresentationEncryption::kEncryptedToken, plain = PresentationEncryption::kPlainToken;
  const size_t at = plainToken.find(std::string(reinterpret_cast<const char*>(&encrypted), 4));
  ASSERT_NE(at, std::string::npos);
  std::memcpy(&plainToken[at], &plain, 4);
  const PresentationEncryption::Finding finding = PresentationEncryption::InspectData(plainToken);
  EXPECT_EQ(finding.kind, Kind::PowerPoint97);
  EXPECT_NE(finding.how.find("CryptSession10Container"), std::string::npos) << finding.how;
}

TEST(PresentationEncryptionTest, GoodTruncatedAndOtherFilesAreNot) {
  ScratchDirectory dir;
  WriteWholeFile(dir.file("notes.ppt"), "plain text\n");
  EXPECT_FALSE(PresentationEncryption::InspectFile(dir.file("notes.ppt")).encrypted());
  EXPECT_FALSE(PresentationEncryption::InspectFile(dir.file("missing.ppt")).encrypted());
  EXPECT_FALSE(PresentationEncryption::InspectFile(dir.path()).encrypted());
  EXPECT_FALSE(PresentationEncryption::InspectData(CompoundFileWriter::Write({{"Current User", "short"}})).encrypted());
  if (!std::filesystem::exists(kGoodPpt)) GTEST_SKIP() << "corpus not on this machine";
  const std::string good = ReadWholeFile(kGoodPpt);
  EXPECT_FALSE(PresentationEncryption::InspectData(good).encrypted());
  for (const size_t size : {good.size() / 3, good.size() - 1000, size_t{600}})
    EXPECT_FALSE(PresentationEncryption::InspectData(good.substr(0, size)).encrypted()) << size;
  // The encrypted deck cut short loses nothing of its marks that we read: still encrypted
  // while its tables and records are there, never a fault when they are not.
  const std::string locked = ReadWholeFile(EncryptedDecks::CorpusPpt());
  for (size_t size = 0; size < locked.size(); size += 509) PresentationEncryption::InspectData(locked.substr(0, size));
}

}  // namespace
