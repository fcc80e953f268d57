// libFuzzer target: the mends of the exported show's text (symbol fonts, transparency masks,
// font stand-ins) take whatever the office writes; they must never fault, and text with
// nothing for them must come back as it was.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FontFallbacks.h"
#include "SymbolText.h"
#include "TransparencyMasks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string symbols = SymbolText::Apply(input);
  if (input.find("<text") == std::string::npos && symbols != input) __builtin_trap();
  const std::string masks = TransparencyMasks::Apply(input);
  if (input.find("<mask") == std::string::npos && masks != input) __builtin_trap();
  const std::string none = FontFallbacks::Apply(input, [](const std::string&) { return std::string(); });
  if (none != input) __builtin_trap();
  FontFallbacks::Apply(masks, [](const std::string& family) { return family.size() % 2 ? "DejaVu Sans" : ""; });
  return 0;
}
