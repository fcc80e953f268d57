// libFuzzer target: the archive parser must refuse or accept any input without a fault, and
// every part it accepts must be found again by its own location.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "ArchiveRegistry.h"
#include "Base64.h"
#include "MhtmlArchive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  MhtmlArchive archive;
  if (archive.parse(input)) {
    for (const MhtmlArchive::Part& part : archive.parts()) {
      if (!part.contentLocation.empty() && archive.find(part.contentLocation) == nullptr) __builtin_trap();
    }
  }
  std::string decoded;
  Base64::Decode(input, decoded);
  MhtmlArchive::DecodeQuotedPrintable(input, decoded);
  ArchiveRegistry::NormaliseInnerPath(input);
  return 0;
}
