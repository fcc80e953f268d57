#include "ShowPage.h"

namespace {

// Page script. Names starting with kv are the page's own; the engine's globals used are
// aSlideShow (isRunning, isTransitionPlaying, isAnyEffectPlaying, isEnabled, nextEffect,
// displaySlide, aNextEffectEventArray, nCurrentEffect), nCurSlide and switchSlide.
constexpr const char* kPageHead = R"KV(<!DOCTYPE html>
<html>
<head>
<meta charset="utf-8">
<title>Slide show</title>
<style>
html, body { margin: 0; padding: 0; width: 100%; height: 100%; overflow: hidden; background: #000; }
/* One pixel larger than the window on every side: the slide's outermost pixels are only
   partly covered by the drawing and would show the frame's white background as a thin line. */
iframe { position: absolute; left: -1px; top: -1px; border: 0; width: calc(100% + 2px); height: calc(100% + 2px); }
</style>
<script>
// Engine slide indices (from 0) that the show shows, in order; hidden slides are left out.
var kvShownSlides = )KV";

constexpr const char* kPageScript = R"KV(;
// Number of the slide being shown, as the presentation numbers it (from 1, hidden slides
// included), so that it reads against the presentation's slide count.
var gCurSld = 1;
var kvReady = false;        // the engine in PPTSld has loaded and the interface is attached
var kvSlide = -1;           // engine index of the slide shown (or being brought in)
var kvBroken = false;       // the frame loaded without a working engine: the show is over
var kvQueue = [];           // steps asked for while the show was busy: 'step' or 'slide'
var kvTimer = null;
var kvWaitingSince = 0;
var kvMaxWaitMs = 20000;    // a show that never comes to rest does not hold steps back forever

function kvEngine() {
  var f = window.PPTSld;
  return (kvReady && f && f.aSlideShow) ? f : null;
}

function kvNextShown(index) {
  for (var i = 0; i < kvShownSlides.length; ++i)
    if (kvShownSlides[i] > index) return kvShownSlides[i];
  return -1;
}

function kvPreviousShown(index) {
  for (var i = kvShownSlides.length - 1; i >= 0; --i)
    if (kvShownSlides[i] < index) return kvShownSlides[i];
  return -1;
}

function kvBusy() {
  var f = kvEngine();
  if (!f) return true;
  var s = f.aSlideShow;
  return s.isRunning() || s.isTransitionPlaying() || s.isAnyEffectPlaying();
}

function kvEffectsLeft() {
  var f = kvEngine();
  if (!f) return 0;
  var s = f.aSlideShow;
  if (!s.isEnabled() || !s.aNextEffectEventArray) return 0;
  return Math.max(0, s.aNextEffectEventArray.size() - s.nCurrentEffect);
}

// Tells the player which slide is shown: an address of the slide in the status text.
function kvReport() {
  gCurSld = kvSlide >= 0 ? kvSlide + 1 : 1;
  top.status = document.URL.split('#')[0] + '#slide' + gCurSld;
}

// Shows a slide. The engine's nCurSlide changes only once the transition has ended, so the
// page keeps the slide it asked for itself.
function kvShowSlide(index, skipTransition) {
  kvSlide = index;
  kvEngine().aSlideShow.displaySlide(index, !!skipTransition);
  kvReport();
}

// Runs one step now: 'step' plays the next effect, else shows the next slide, else marks the
// end; 'slide' shows the next slide if there is one.
function kvRun(kind) {
  var f = kvEngine();
  if (kind === 'step' && kvEffectsLeft() > 0) {
    f.aSlideShow.nextEffect();
    return;
  }
  var next = kvNextShown(kvSlide);
  if (next >= 0) kvShowSlide(next, false);
  else if (kind === 'step') top.document.title = 'Endppt';
}

function kvPump() {
  if (kvTimer !== null) { clearTimeout(kvTimer); kvTimer = null; }
  if (kvBroken) {
    // Nothing can be played: every step asked for ends the show.
    if (kvQueue.indexOf('step') >= 0) top.document.title = 'Endppt';
    kvQueue = [];
    return;
  }
  while (kvQueue.length > 0 && kvReady) {
    if (kvBusy()) {
      if (kvWaitingSince === 0) kvWaitingSince = Date.now();
      if (Date.now() - kvWaitingSince < kvMaxWaitMs) break;
    }
    kvWaitingSince = 0;
    kvRun(kvQueue.shift());
  }
  if (kvQueue.length > 0) kvTimer = setTimeout(kvPump, 40);
  else kvWaitingSince = 0;
}

function kvAsk(kind) {
  kvQueue.push(kind);
  kvPump();
}

// True when a slide follows the one that is shown (or will be, once queued steps have run).
function HasNextSld() {
  if (kvBroken) return false;
  var f = kvEngine();
  if (!f) return true;  // not loaded yet: a step asked for now is kept until it is
  var index = kvSlide;
  for (var i = 0; i < kvQueue.length; ++i) {
    if (kvQueue[i] === 'slide') {
      index = kvNextShown(index);
      if (index < 0) return false;
    }
  }
  return kvNextShown(index) >= 0;
}

// Shows the next slide with its transition (queued while the show is busy).
function GoToNextSld() {
  // Before the engine has loaded, the caller could not see the slide's effects: keep a
  // plain step, which plays them first.
  kvAsk(kvEngine() || kvBroken ? 'slide' : 'step');
}

function kvAttach() {
  var f = window.PPTSld;
  if (kvReady || kvBroken) return;
  if (!f || !f.aSlideShow || !f.theMetaDoc || typeof f.nCurSlide !== 'number') {
    // The frame has loaded but its engine did not start: show what there is and let the
    // next step end the show rather than wait for ever.
    kvBroken = true;
    kvReport();
    kvPump();
    return;
  }
  if (kvShownSlides.length === 0) {
    for (var i = 0; i < f.theMetaDoc.nNumberOfSlides; ++i) kvShownSlides.push(i);
  }
  kvReady = true;
  // The engine's own navigation (automatic slide timings, keys) goes through switchSlide:
  // make it pass over hidden slides and stop at the last shown slide instead of wrapping.
  f.switchSlide = function(offset, skipTransition) {
    var index = kvSlide;
    for (var n = 0; n < Math.abs(offset) && index >= 0; ++n)
      index = offset > 0 ? kvNextShown(index) : kvPreviousShown(index);
    if (index >= 0 && index !== kvSlide) kvShowSlide(index, skipTransition);
  };
  f.g_animMainSequence = {
    get cangonext() { return kvQueue.length > 0 || kvBusy() || kvEffectsLeft() > 0; },
    next: function() { kvAsk('step'); }
  };
  kvSlide = kvShownSlides[0];
  if (f.nCurSlide !== kvSlide) f.aSlideShow.displaySlide(kvSlide, true);
  kvReport();
  kvPump();
}
</script>
</head>
<body>
<iframe name="PPTSld" src=")KV";

constexpr const char* kPageTail = R"KV(" onload="kvAttach()" scrolling="no"></iframe>
</body>
</html>
)KV";

// Inserted before the engine's script. The engine's alert() boxes would block a page nobody
// sees. Slide and master backgrounds stop a fraction of a pixel short of the slide's edge and
// lie on top of each other, so smoothed edges would let the lower one show through as a thin
// light line around the slide: backgrounds are drawn with hard edges.
constexpr const char* kShowPreamble =
    "<style type=\"text/css\"><![CDATA[\n"
    ".Background path { shape-rendering: crispEdges; }\n"
    "]]></style>\n"
    "<script type=\"text/ecmascript\"><![CDATA[\n"
    "window.alert = function(message) { if (window.console) console.log(String(message)); };\n"
    "]]></script>\n";

std::string EscapeAttribute(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

}  // namespace

std::string ShowPage::Html(const std::string& showAddress, const std::vector<int>& shownSlides) {
  std::string list = "[";
  for (size_t i = 0; i < shownSlides.size(); ++i) {
    if (i > 0) list += ", ";
    list += std::to_string(shownSlides[i]);
  }
  list += "]";
  return std::string(kPageHead) + list + kPageScript + EscapeAttribute(showAddress) + kPageTail;
}

std::string ShowPage::PrepareShow(const std::string& svg) {
  const size_t root = svg.find("<svg");
  const size_t script = svg.find("<script");
  if (root == std::string::npos || script == std::string::npos || script < root) return {};
  std::string out;
  out.reserve(svg.size() + 200);
  out.append(svg, 0, script);
  out += kShowPreamble;
  out.append(svg, script, std::string::npos);
  return out;
}
