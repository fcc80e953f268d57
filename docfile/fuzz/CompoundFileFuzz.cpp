// libFuzzer target: the compound file reader and the encryption check must refuse or accept
// any input without a fault, and every stream the directory lists must read back within
// its stated size or fail cleanly.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "CompoundFile.h"
#include "PresentationEncryption.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  CompoundFile file;
  if (file.open(input)) {
    std::string stream;
    for (uint32_t i = 0; i < file.entries().size() && i < 64; ++i) {
      if (file.readAll(i, 1u << 20, stream) && stream.size() != file.entries()[i].size) __builtin_trap();
      if (file.findInRoot(file.entries()[i].name) >= file.entries().size() && i > 0 &&
          file.findInRoot(file.entries()[i].name) != CompoundFile::kNoStream)
        __builtin_trap();
    }
  }
  PresentationEncryption::InspectData(input);
  return 0;
}
