#pragma once
// The show page of an exported archive (fullscreen.htm) and the preparation of the SVG show it
// frames.
//
// The SVG show is LibreOffice's SVG export of the presentation: one SVG document holding every
// slide and a script engine that plays slide transitions and animation effects. The page puts
// it into the frame PPTSld and gives the player the page interface it drives the show with:
//   PPTSld.g_animMainSequence.cangonext / .next()   the current slide's on-click steps
//   HasNextSld(), GoToNextSld(), gCurSld            slide navigation, slide number from 1
// and it assigns top.status an address of the slide ("...fullscreen.htm#slideN") whenever a
// slide is shown, which is how the player learns that the slide changed.
//
// Behaviour the player relies on:
// - One call of next() or GoToNextSld() is one step. A step asked for while an effect or a
//   transition is still playing waits in a queue and runs once the show is idle; it is never
//   dropped and never cuts the running one short. While steps wait or something plays,
//   cangonext is true (next() then queues a step that decides at run time between the next
//   effect, the next slide and the end mark "Endppt" in the top document's title).
// - Only the slides listed as shown are played, in order; hidden slides are passed over, also
//   by the engine's own automatic advance. Nothing wraps past the last shown slide.
//
// The page and its script are the files slideshow/page/fullscreen.html and showpage.js (see
// there for the whole interface and behaviour), embedded at build time.
//
// Threads: pure functions, any thread.

#include <string>
#include <vector>

class ShowPage {
 public:
  // The page's HTML (UTF-8). `showAddress` is the SVG show's address relative to the page;
  // `shownSlides` are the engine's slide indices (from 0) that a slide show shows, in order.
  static std::string Html(const std::string& showAddress, const std::vector<int>& shownSlides);

  // The SVG show made ready for the frame: the engine's alert() boxes (which would block a page
  // nobody sees) are turned into console messages, slide backgrounds get hard edges (no
  // light line around the slide), and the engine's busy wait between animation frames is
  // replaced by a plain frame mark (the film clock moves only between filmed frames).
  // Returns an empty string when `svg` is not an SVG document with a script engine.
  static std::string PrepareShow(const std::string& svg);
};
