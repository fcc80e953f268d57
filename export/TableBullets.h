#pragma once
// Text after a bullet in a table cell, which the export sets right against the bullet. Of a
// cell's bulleted paragraph the export writes the bullet as a line of its own, with its x,
// and the text's first line without an x, so the browser runs it on from the bullet; the
// office starts it at the paragraph's indent, where its other lines start. The office tells
// each table's hanging indent (read over UNO by TableBulletReader: how far a bullet stands
// before its text); each table is found in the exported show by its page and its bounding
// box (which holds the outer borders too), and such a line gets the x of its bullet plus
// that indent.
//
// Threads: pure functions, any thread.

#include <string>
#include <vector>

#include "TextShadows.h"

class TableBullets {
 public:
  struct Table {
    TextShadows::Box box;  // the table's page, position and size (1/100 mm)
    long indent = 0;       // from a bullet to its text, 1/100 mm
  };

  // `svg` with the text after each bullet of `tables` set at its indent; unchanged without
  // tables.
  static std::string Apply(const std::string& svg, const std::vector<Table>& tables);
};
