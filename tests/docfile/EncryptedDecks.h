#pragma once
// Encrypted presentations made at test time: the corpus's encrypted .ppt rewritten without
// its "EncryptedSummary" stream (the one the office looks for), and an encrypted OOXML
// package (EncryptionInfo with an agile-encryption header, EncryptedPackage of random bytes),
// which is all the structure an encrypted .pptx shows without its password.

#include <string>

class EncryptedDecks {
 public:
  // The corpus's encrypted .ppt; empty when the corpus is not on this machine.
  static std::string CorpusPpt();
  // Writes the decks into `dir`; their paths. PptWithoutSummary is empty without the corpus.
  static std::string PptWithoutSummary(const std::string& dir);
  static std::string Pptx(const std::string& dir);
};
