// Text after a bullet in a table cell, set at its indent: only after a one-character bullet
// line, only in the table the office names (on its page, its box within its borders).
#include "TableBullets.h"

#include <gtest/gtest.h>

namespace {

const std::string kRun = "<tspan fill=\"rgb(0,33,91)\" stroke=\"none\" style=\"white-space: pre\">";

// A cell paragraph: its first line `first` at x 5811, then a line without x.
std::string Paragraph(const std::string& first) {
  return "<tspan class=\"TextParagraph\" font-size=\"564px\"><tspan class=\"TextPosition\" x=\"5811\" y=\"5800\">" + kRun +
         first + "</tspan></tspan><tspan class=\"TextPosition\" y=\"5802\">" + kRun + "Housing</tspan></tspan></tspan>";
}

std::string Table(const std::string& paragraphs) {
  return "<g class=\"com.sun.star.drawing.TableShape\"><g><rect class=\"BoundingBox\" stroke=\"none\" fill=\"none\" "
         "x=\"1134\" y=\"4101\" width=\"23876\" height=\"10299\"/><text class=\"SVGTextShape\">" +
         paragraphs + "</text></g></g>";
}

const std::string kShow = "<svg><g id=\"dummy-slide\" class=\"Slide\"></g><g id=\"id1\" class=\"Slide\">" +
                          Table(Paragraph("•") + Paragraph("No bullet")) + "</g><g id=\"id2\" class=\"Slide\">" +
                          Table(Paragraph("–")) + "</g></svg>";

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(TableBullets, TheTextAfterABulletStartsAtTheIndentOfTheNamedTableOnly) {
  // The office's rectangle lies inside the export's box, which holds the borders.
  const TableBullets::Table table{{1157, 4124, 23829, 10252, 0}, 476};
  const std::string out = TableBullets::Apply(kShow, {table});
  EXPECT_EQ(Count(out, "<tspan class=\"TextPosition\" x=\"6287\" y=\"5802\">"), 1u);
  EXPECT_LT(out.find("x=\"6287\""), out.find("No bullet"));  // not after the line of words
  EXPECT_LT(out.find("x=\"6287\""), out.find("id=\"id2\""));  // nor on the other slide
  EXPECT_EQ(out.size(), kShow.size() + std::string(" x=\"6287\"").size());  // nothing else changed
}

TEST(TableBullets, NoTableFoundLeavesTheShowAsItIs) {
  EXPECT_EQ(TableBullets::Apply(kShow, {}), kShow);
  EXPECT_EQ(TableBullets::Apply(kShow, {{{1157, 4124, 23829, 10252, 3}, 476}}), kShow);  // no such slide
  EXPECT_EQ(TableBullets::Apply(kShow, {{{1757, 4124, 23829, 10252, 0}, 476}}), kShow);  // another box
  EXPECT_EQ(TableBullets::Apply(kShow, {{{1157, 4124, 23829, 10252, 0}, 0}}), kShow);    // no indent
}

}  // namespace
