#pragma once
// Text in the symbol fonts of Windows decks, Symbol and Wingdings. Such text is stored as the
// font's own codes (0x20-0xFF, or the same in the private-use block at U+F020-U+F0FF). The
// office draws them as the symbols they stand for (it recodes them into its OpenSymbol
// font); the browser has no font with those codes and draws empty boxes instead, so Greek
// letters, arrows and ticks go missing from the film. In the exported show such text is
// recoded to the Unicode symbols the codes stand for, and its font list names installed
// fonts that hold them. A code with no Unicode counterpart stays as it was.
//
// Threads: pure functions, any thread.

#include <string>

class SymbolText {
 public:
  // The Unicode character font `family` code `code` stands for; 0 when `family` is no symbol
  // font of the tables or the code has no counterpart.
  static char32_t Unicode(const std::string& family, char32_t code);

  // `svg` with the text of every <text> element drawn in a symbol font recoded.
  static std::string Apply(const std::string& svg);
};
