#pragma once
// The page files of this directory, embedded at build time (EmbedPageFiles.cmake), with the
// shared texts of PageTexts.h filled in.
//
// Threads: constants, any thread.

namespace PageFiles {

// fullscreen.html: the show page, with the places the exporter fills in
// (/*@kavreto:shown-slides@*/, <script src="showpage.js"></script>, @kavreto:show-address@).
extern const char kShowPageHtml[];
// showpage.js: the show page's script.
extern const char kShowPageScript[];
// film-clock.js: the film clock, injected into every frame (/*@kavreto:clock-config@*/ is
// replaced by its settings).
extern const char kFilmClockScript[];
// status-text.js: window.status reported as marked console messages, injected into every frame.
extern const char kStatusTextScript[];
// engine/*.js: fixes for the office's show engine, one file per gap, joined and injected into
// every frame.
extern const char kEngineFixesScript[];

}  // namespace PageFiles
