// Justified lines marked in the exported show: every line of a justified paragraph but its
// last, in the shapes the office names only, and only where its paragraphs can be told apart.
#include "JustifiedText.h"

#include <gtest/gtest.h>

namespace {

// A paragraph of `lines` lines; a list item has its bullet on a line of its own first.
std::string Paragraph(int lines, bool item = false) {
  std::string p = item ? "<tspan ooo:numbering-type=\"bullet-style\" class=\"ListItem\" font-size=\"953px\">"
                       "<tspan class=\"TextPosition\" x=\"1825\" y=\"5000\"><tspan id=\"b.bp\" class=\"BulletPlaceholder\"/></tspan>"
                       : "<tspan class=\"TextParagraph\" font-size=\"953px\">";
  for (int i = 0; i < lines; ++i)
    p += "<tspan class=\"TextPosition\" x=\"1520\" y=\"" + std::to_string(5000 + 1000 * i) +
         "\"><tspan fill=\"rgb(0,0,0)\">line " + std::to_string(i) + " </tspan></tspan>";
  return p + "</tspan>";
}

std::string Shape(int x, const std::string& paragraphs) {
  return "<g><rect class=\"BoundingBox\" stroke=\"none\" fill=\"none\" x=\"" + std::to_string(x) +
         "\" y=\"4115\" width=\"22860\" height=\"12572\"/><text class=\"SVGTextShape\">" + paragraphs + "</text></g>";
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Two slides after the engine's dummy one; the first shape's box stands on both.
const std::string kShow = "<svg><g id=\"dummy-slide\" class=\"Slide\"></g><g id=\"id1\" class=\"Slide\">" +
                          Shape(1270, Paragraph(3) + Paragraph(2) + Paragraph(1)) + Shape(9000, Paragraph(3)) +
                          "</g><g id=\"id2\" class=\"Slide\">" + Shape(1270, Paragraph(3)) +
                          Shape(500, Paragraph(2, true)) + "</g></svg>";

TEST(JustifiedText, EveryLineButEachParagraphsLastOfTheNamedShape) {
  // The first and last paragraphs justified, the second not; the box within the rounding.
  const std::string out = JustifiedText::Apply(kShow, {{{1271, 4115, 22861, 12572, 0}, {23880, -1, 23500}, {}}});
  EXPECT_EQ(Count(out, "data-kv-justify=\"23880\""), 2u);
  // The one-line paragraph has only its last line; nothing on the other shape or on the
  // other slide's shape in the same place.
  EXPECT_EQ(Count(out, "data-kv-justify="), 2u);
  EXPECT_LT(out.find("data-kv-justify"), out.find("line 0"));
  EXPECT_EQ(out.find("data-kv-justify", out.find("x=\"9000\"")), std::string::npos);
  // All alike: the mark does not need the paragraphs counted.
  const std::string all = JustifiedText::Apply(kShow, {{{9000, 4115, 22860, 12572, 0}, {30000, 30000}, {}}});
  EXPECT_EQ(Count(all, "data-kv-justify=\"30000\""), 2u);
  // A list item's bullet is no line of its text: only its first line of two is stretched.
  const std::string item = JustifiedText::Apply(kShow, {{{500, 4115, 22860, 12572, 1}, {23000}, {}}});
  EXPECT_EQ(Count(item, "data-kv-justify=\"23000\""), 1u);
  EXPECT_LT(item.find("b.bp"), item.find("data-kv-justify"));
}

// Right-to-left paragraphs: each line's first piece is marked (the one with its x), not the
// pieces that follow it on the line, nor a list item's bullet; a paragraph left to right is not.
TEST(JustifiedText, EveryLineOfARightToLeftParagraphIsMarkedAtItsFirstPiece) {
  const std::string line = "<tspan class=\"TextPosition\" x=\"6197\" y=\"6413\"><tspan>to another</tspan></tspan>"
                           "<tspan class=\"TextPosition\" y=\"6413\"><tspan>.</tspan></tspan>";
  const std::string show = "<svg><g id=\"dummy-slide\" class=\"Slide\"></g><g id=\"id1\" class=\"Slide\">" +
                           Shape(1270, "<tspan class=\"TextParagraph\">" + line + line + "</tspan>" + Paragraph(2, true)) +
                           "</g></svg>";
  const std::string out = JustifiedText::Apply(show, {{{1270, 4115, 22860, 12572, 0}, {-1, -1}, {true, false}}});
  EXPECT_EQ(Count(out, "data-kv-rtl"), 2u);
  EXPECT_EQ(Count(out, "x=\"6197\" y=\"6413\""), 2u);
  EXPECT_EQ(Count(out, "<tspan class=\"TextPosition\" data-kv-rtl=\"\" x=\"6197\""), 2u);
  EXPECT_EQ(Count(out, "data-kv-justify"), 0u);
  // The paragraphs cannot be told apart: nothing is marked.
  EXPECT_EQ(JustifiedText::Apply(show, {{{1270, 4115, 22860, 12572, 0}, {-1}, {true}}}), show);
}

TEST(JustifiedText, ParagraphsThatCannotBeToldApartOrNoShapeLeaveTheShowAsItIs) {
  EXPECT_EQ(JustifiedText::Apply(kShow, {}), kShow);
  EXPECT_EQ(JustifiedText::Apply(kShow, {{{1270, 4115, 22860, 12572, 0}, {23880, -1}, {}}}), kShow);  // 2 of 3
  EXPECT_EQ(JustifiedText::Apply(kShow, {{{1270, 4115, 22890, 12572, 0}, {23880, 23880, 23880}, {}}}), kShow);
  EXPECT_EQ(JustifiedText::Apply(kShow, {{{500, 4115, 22860, 12572, 2}, {23000}, {}}}), kShow);  // no such slide
}

}  // namespace
