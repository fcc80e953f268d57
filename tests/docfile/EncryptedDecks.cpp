#include "EncryptedDecks.h"

#include <filesystem>
#include <random>

#include "CompoundFile.h"
#include "CompoundFileWriter.h"
#include "TestFiles.h"

std::string EncryptedDecks::CorpusPpt() {
  const std::string path = KAVRETO_SOURCE_DIR "/../shared/corpus/ppt/poi__Password_Protected-hello.ppt";
  return std::filesystem::exists(path) ? path : std::string();
}

std::string EncryptedDecks::PptWithoutSummary(const std::string& dir) {
  const std::string source = CorpusPpt();
  if (source.empty()) return {};
  const std::string data = ReadWholeFile(source);
  CompoundFile file;
  if (!file.open(data)) return {};
  std::vector<CompoundFileWriter::Stream> streams;
  for (uint32_t i = 1; i < file.entries().size(); ++i) {
    const CompoundFile::Entry& entry = file.entries()[i];
    if (entry.type != CompoundFile::EntryType::Stream || entry.name == "EncryptedSummary") continue;
    std::string content;
    if (!file.readAll(i, 1u << 24, content)) return {};
    streams.emplace_back(entry.name, content);
  }
  const std::string path = dir + "/locked-no-summary.ppt";
  WriteWholeFile(path, CompoundFileWriter::Write(streams));
  return path;
}

std::string EncryptedDecks::Pptx(const std::string& dir) {
  std::string info("\x04\x00\x04\x00\x40\x00\x00\x00", 8);  // agile encryption, version 4.4
  info +=
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
      "<encryption xmlns=\"http://schemas.microsoft.com/office/2006/encryption\">"
      "<keyData saltSize=\"16\" blockSize=\"16\" keyBits=\"256\" hashSize=\"64\" cipherAlgorithm=\"AES\" "
      "cipherChaining=\"ChainingModeCBC\" hashAlgorithm=\"SHA512\" saltValue=\"AAAAAAAAAAAAAAAAAAAAAA==\"/>"
      "</encryption>";
  std::string package(8, '\0');
  package[0] = static_cast<char>(0x00);
  package[1] = static_cast<char>(0x30);  // 12288 bytes of "package"
  std::mt19937 random(23);
  for (int i = 0; i < 12288; ++i) package += static_cast<char>(random() & 0xFF);
  const std::string path = dir + "/locked.pptx";
  WriteWholeFile(path, CompoundFileWriter::Write({{"EncryptionInfo", info}, {"EncryptedPackage", package}}));
  return path;
}
