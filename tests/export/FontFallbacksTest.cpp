// Missing fonts get the office's stand-in in the exported show's font lists.
#include <gtest/gtest.h>

#include <string>

#include "FontFallbacks.h"
#include "InstalledFonts.h"

namespace {

std::string Fake(const std::string& family) {
  if (family == "Script MT Bold" || family == "Corbel") return "DejaVu Sans";
  if (family == "Calibri") return "Carlito";
  return "";  // installed
}

TEST(FontFallbacks, MissingFirstFamilyGetsItsStandInBeforeAnyGeneric) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {R"(<tspan font-family="Script MT Bold" font-size="635">)", R"(<tspan font-family="Script MT Bold, DejaVu Sans" font-size="635">)"},
      {R"(<text font-family="Corbel, sans-serif">)", R"(<text font-family="Corbel, DejaVu Sans, sans-serif">)"},
      {R"(<text font-family="&apos;Calibri&apos;,sans-serif">)", R"(<text font-family="&apos;Calibri&apos;, Carlito, sans-serif">)"},
      // Installed, generic, carried by the show, already listed, empty: unchanged.
      {R"(<text font-family="DejaVu Serif">)", nullptr},
      {R"(<text font-family="sans-serif">)", nullptr},
      {R"(<text font-family="Script MT Bold embedded">)", nullptr},
      {R"(<text font-family="Corbel, DejaVu Sans">)", nullptr},
      {R"(<text font-family="">)", nullptr},
      // Not the attribute itself.
      {R"(<text data-font-family="Corbel">)", nullptr},
      {R"(<g class="x">font-family="Corbel"</g>)", nullptr},
  };
  for (const auto& c : cases) EXPECT_EQ(FontFallbacks::Apply(c.in, Fake), c.out ? c.out : c.in) << c.in;

  // Every attribute of a show, the text around them kept; an unclosed one ends the scan.
  EXPECT_EQ(FontFallbacks::Apply(R"(<a font-family="Corbel"/>x<b font-family="Arial"/><c font-family="Corbel)", Fake),
            R"(<a font-family="Corbel, DejaVu Sans"/>x<b font-family="Arial"/><c font-family="Corbel)");
}

// Asked of this machine's fontconfig: a family it has is installed, one no machine has gets
// a family that is.
TEST(InstalledFonts, InstalledFamilyHasNoStandInAMissingOneHasAnInstalledOne) {
  EXPECT_EQ(InstalledFonts::StandIn("DejaVu Sans"), "");
  EXPECT_EQ(InstalledFonts::StandIn("dejavu sans"), "");
  const std::string stand = InstalledFonts::StandIn("Kavreto Missing Face 7");
  ASSERT_FALSE(stand.empty());
  EXPECT_EQ(InstalledFonts::StandIn(stand), "");
}

}  // namespace
