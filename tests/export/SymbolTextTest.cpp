// Text in Symbol and Wingdings becomes the symbols the office draws for it.
#include <gtest/gtest.h>

#include <string>

#include "SymbolText.h"

namespace {

TEST(SymbolText, CodesStandForTheirSymbolsInBothRanges) {
  // Greek, maths and arrows of Symbol; the arrows, bullets and ticks decks use from Wingdings.
  EXPECT_EQ(SymbolText::Unicode("Symbol", 0xF065), U'ε');
  EXPECT_EQ(SymbolText::Unicode("Symbol", 'm'), U'μ');
  EXPECT_EQ(SymbolText::Unicode("Symbol", 0xF044), U'Δ');
  EXPECT_EQ(SymbolText::Unicode("Symbol", 0xF0D6), U'√');
  EXPECT_EQ(SymbolText::Unicode("Symbol", 0xF0DE), U'⇒');
  EXPECT_EQ(SymbolText::Unicode("Symbol", 0xF0FE), U'⎭');  // the table's last code
  EXPECT_EQ(SymbolText::Unicode("Symbol", '1'), U'1');
  EXPECT_EQ(SymbolText::Unicode("'Wingdings', serif", 0xF0E8), U'➔');
  EXPECT_EQ(SymbolText::Unicode("WINGDINGS", 0xF0FC), U'✓');
  EXPECT_EQ(SymbolText::Unicode("Wingdings", 'n'), U'■');
  EXPECT_EQ(SymbolText::Unicode("Wingdings", 0xF0CA), U'⬎');  // right, then bent down
  EXPECT_EQ(SymbolText::Unicode("Wingdings", 0xF020), U' ');  // the table's first code
  // Outside the tables, or with no counterpart, or another font: nothing.
  for (char32_t code : {char32_t(0x1F), char32_t(0x100), char32_t(0xF01F), char32_t(0xF100), char32_t(0xF080)})
    EXPECT_EQ(SymbolText::Unicode("Symbol", code), 0u) << std::hex << static_cast<unsigned>(code);
  EXPECT_EQ(SymbolText::Unicode("Wingdings", 0xF0FF), 0u);
  EXPECT_EQ(SymbolText::Unicode("Wingdings 2", 'n'), 0u);
  EXPECT_EQ(SymbolText::Unicode("Arial", 'n'), 0u);
}

TEST(SymbolText, TextDrawnInASymbolFontIsRecodedWhereverTheFontIsSet) {
  const std::string svg =
      "<font><glyph unicode=\"\xEF\x81\xA5\"/></font>"  // the show's own fonts stay as they are
      "<text class=\"SVGTextShape\"><tspan font-family=\"Arial, sans-serif\">a "
      "<tspan font-family=\"Symbol\" fill=\"red\">\xEF\x81\xA5=m&amp;c</tspan> b</tspan>"
      "<tspan font-family=\"Wingdings\"><tspan x=\"1\">\xEF\x83\xA8</tspan><tspan/>n</tspan></text>"
      "<text font-family=\"Calibri\">n</text><g>n</g>";
  EXPECT_EQ(SymbolText::Apply(svg),
            "<font><glyph unicode=\"\xEF\x81\xA5\"/></font>"
            "<text class=\"SVGTextShape\"><tspan font-family=\"Arial, sans-serif\">a "
            "<tspan font-family=\"OpenSymbol, DejaVu Sans\" fill=\"red\">ε=μ&amp;χ</tspan> b</tspan>"
            "<tspan font-family=\"OpenSymbol, DejaVu Sans\"><tspan x=\"1\">➔</tspan><tspan/>■</tspan></text>"
            "<text font-family=\"Calibri\">n</text><g>n</g>");
  // Nothing in a symbol font, or an element cut off: unchanged.
  for (const std::string& same : {std::string("<text><tspan font-family=\"Arial\">n</tspan></text>"),
                                  std::string("<text><tspan font-family=\"Symbol\">a</tspan>"),
                                  std::string("<text><tspan font-family=\"Symbol\"</text>")})
    EXPECT_EQ(SymbolText::Apply(same), same);
}

}  // namespace
