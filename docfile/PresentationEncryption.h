#pragma once
// Tells from a file's own structure, never its name, whether it is an encrypted
// presentation, so that the user hears "encrypted" whatever the office makes of it:
//   - PowerPoint 97-2003: a compound file whose "Current User" record carries the
//     encrypted-document token, or whose "PowerPoint Document" stream's current edit
//     (UserEditAtom) names an encryption session that its persist directory places on a
//     CryptSession10Container record;
//   - encrypted OOXML (.pptx and the like): a compound file holding the streams
//     "EncryptionInfo" (with a known version) and "EncryptedPackage".
// Anything else, a damaged or truncated file included, is not called encrypted.
//
// Threads: any (no shared state).

#include <string>
#include <string_view>

#include "CompoundFile.h"

class PresentationEncryption {
 public:
  enum class Kind { None, PowerPoint97, Ooxml };
  struct Finding {
    Kind kind = Kind::None;
    std::string how;  // which mark said so, in plain words; empty for None
    bool encrypted() const { return kind != Kind::None; }
  };

  static Finding Inspect(const CompoundFile& file);
  // Reads only the records it needs; a file that cannot be read is not encrypted.
  static Finding InspectFile(const std::string& path);
  static Finding InspectData(std::string_view data);

  // The record types and tokens of the PowerPoint binary format used here.
  static constexpr uint16_t kCurrentUserAtom = 0x0FF6;
  static constexpr uint16_t kUserEditAtom = 0x0FF5;
  static constexpr uint16_t kPersistDirectoryAtom = 0x1772;
  static constexpr uint16_t kCryptSession10Container = 0x2F14;
  static constexpr uint32_t kEncryptedToken = 0xF3D1C4DFu;
  static constexpr uint32_t kPlainToken = 0xE391C05Fu;

 private:
  static Finding InspectPowerPoint(const CompoundFile& file);
};
