#pragma once
// Reads over UNO the hanging indent of each table of a presentation's slides: what
// TableBullets::Apply sets the text after a cell's bullet at. A table's indent is the one most
// of its cells' bulleted paragraphs have (tables are laid out alike).
//
// Threads: the thread that uses the office connection.

#include <com/sun/star/lang/XComponent.hpp>
#include <vector>

#include "TableBullets.h"

class TableBulletReader {
 public:
  // The tables with any hanging paragraph; empty when there are none or the document cannot
  // be read.
  static std::vector<TableBullets::Table> Read(const css::uno::Reference<css::lang::XComponent>& document);
};
