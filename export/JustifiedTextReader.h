#pragma once
// Reads over UNO which text shapes of a presentation (slides and master pages) hold justified
// paragraphs, and where those paragraphs' lines end, or right-to-left paragraphs: what
// JustifiedText::Apply marks in the exported show. Only shapes whose text area is their box are read (text boxes, placeholders,
// rectangles); a rotated shape, or one whose text does not wrap, is left as exported.
//
// Threads: the thread that uses the office connection.

#include <com/sun/star/lang/XComponent.hpp>
#include <vector>

#include "JustifiedText.h"

class JustifiedTextReader {
 public:
  // The shapes with any justified or right-to-left paragraph; empty when there are none or the document
  // cannot be read.
  static std::vector<JustifiedText::Shape> Read(const css::uno::Reference<css::lang::XComponent>& document);
};
