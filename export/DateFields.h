#pragma once
// Date and time fields in the text of ordinary shapes (text boxes of slides and master pages;
// the master's date placeholder is the page's to fill in, engine/fields.js). The export
// writes such a field of a master page as the placeholder "<date/time>", which no slide
// replaces, and one of a slide as the office's text of the moment of export, the real clock's
// even under SOURCE_DATE_EPOCH. Before the export each variable field is made a fixed one at
// the film clock's start and its text put in its place, in the office's own form for the
// field's format and language ("下午 12:38:21"); a fixed field keeps its own date.
//
// Threads: the thread that holds the office connection, while the document is open.

#include <com/sun/star/lang/XComponent.hpp>

class DateFields {
 public:
  // The film clock's start for a conversion starting now: SOURCE_DATE_EPOCH (seconds since
  // 1970) when it is set to a number, else the real time; in ms since 1970.
  static double ConversionStartMs();

  // Puts the text of every date and time field of the document's ordinary shapes in the
  // field's place, variable ones at `whenMs` (ms since 1970, in local time); returns how many.
  // A field that cannot be read stays. Never throws.
  static int Replace(const css::uno::Reference<css::lang::XComponent>& document, double whenMs);
};
