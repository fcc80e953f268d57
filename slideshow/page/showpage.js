// The show page's script. It puts LibreOffice's SVG show (one SVG document holding every
// slide and the engine that plays transitions and effects) into the frame PPTSld and gives
// the player the page interface it drives the show with:
//   PPTSld.g_animMainSequence.cangonext / .next()   the current slide's on-click steps
//   HasNextSld(), GoToNextSld(), gCurSld            slide navigation, slide number from 1
// It assigns top.status an address of the slide ("...fullscreen.htm#slideN") whenever a
// slide is shown, which is how the player learns that the slide changed.
//
// Behaviour the player relies on:
// - One call of next() or GoToNextSld() is one step. A step asked for while an effect or a
//   transition is still playing waits in a queue and runs once the show is idle; it is never
//   dropped and never cuts the running one short. On the film clock such a step is not taken
//   at all (the player asks again once the picture has stood still for its hold), so that
//   whatever the running one leaves stands still for the hold before the next step. A step
//   asked for while nothing plays but the engine waits for events of its own (an effect that
//   starts by itself after a delay) is not taken: the show is about to change by itself.
// - Only the slides listed as shown are played, in order; hidden slides are passed over, also
//   by the engine's own automatic advance. Nothing wraps past the last shown slide.
// - The title '@kEndTitle@' means the real end: a step asked for on the last shown slide
//   with nothing left to play. A show that cannot be played sets the title
//   '@kFailedTitlePrefix@' + a reason: "engine" when the engine never became ready,
//   "ended:<slide>:<count>" when it broke down on the way, followed by ":<what the engine
//   threw>" when it threw. An effect or a transition the engine throws on is no failure when
//   its slide is shown all the same: the slide stands as it is and the next step shows the
//   next slide (see kvEngineThrew).
// - On the film clock (see film-clock.js) the first frame waits until the engine is ready:
//   the engine may still be starting (bringing in its first slide) when the frame's load
//   event fires, so the page looks again every 50 ms of show time, for up to 60 s.
// - With the player's "use timings" setting, a slide that has an automatic timing of its own
//   moves on by it once its effects have played: steps asked for meanwhile are ignored.
//   Without it the engine's own timings are never used.
//
// Names starting with kv are the page's own; the engine's globals used are aSlideShow
// (isRunning, isTransitionPlaying, isAnyEffectPlaying, isEnabled, nextEffect, displaySlide,
// aNextEffectEventArray, nCurrentEffect, automaticAdvanceTimeout), theMetaDoc, nCurSlide and
// switchSlide.

/* exported gCurSld, HasNextSld, GoToNextSld, kvFrameLoaded */
/* global kvShownSlides */

// Number of the slide being shown, as the presentation numbers it (from 1, hidden slides
// included), so that it reads against the presentation's slide count.
var gCurSld = 1;
var kvReady = false; // the engine in PPTSld is ready and the interface is attached
var kvFailed = false; // the show cannot be played (the failure title has been set)
var kvSlide = -1; // engine index of the slide shown (or being brought in)
var kvQueue = []; // steps asked for while the show was busy: 'step' or 'slide'
var kvTimer = null;
var kvWaitingSince = 0;
var kvMaxWaitMs = 20000; // a show that never comes to rest does not hold steps back forever
var kvOwnEventsSince = 0; // show time since which steps wait for the engine's own events
var kvBrokenSlide = -1; // engine index of a slide whose effects the engine could not play
var kvBusySince = 0; // show time since which steps asked for on the film clock found the show busy
var kvOwnEventsPlace = '';
var kvReadyLimitMs = 60000; // show time the engine may take to become ready
var kvReadyPollMs = 50;
var kvReadyWaitStart = null;
var kvClock = window['@kClockGlobal@'] || null;
var kvUseTimings = !!(kvClock && kvClock.config && kvClock.config.useTimings);
var kvHolding = false;

// The first filmed frame waits until the show is attached or has failed; the view has the
// player's frame strip below the filmed area.
if (kvClock) {
  kvClock.hold();
  kvHolding = true;
  document.documentElement.className += ' kv-film-strip';
}

function kvReleaseStart() {
  if (kvHolding) {
    kvHolding = false;
    kvClock.release();
  }
}

function kvEngine() {
  var f = window.PPTSld;
  return kvReady && !kvFailed && f && f.aSlideShow ? f : null;
}

function kvSlideTotal() {
  var f = window.PPTSld;
  try {
    if (f && f.theMetaDoc) return f.theMetaDoc.nNumberOfSlides;
  } catch (e) {
    // fall through
  }
  return kvShownSlides.length;
}

function kvFail(reason) {
  if (kvFailed) return;
  kvFailed = true;
  kvQueue = [];
  if (kvTimer !== null) {
    clearTimeout(kvTimer);
    kvTimer = null;
  }
  top.document.title = '@kFailedTitlePrefix@' + reason;
  kvReleaseStart();
}

// The show broke down on the way; `error` is what the engine threw, if anything.
function kvFailMidway(error) {
  try {
    if (error && error.stack) console.error(String(error.stack));
  } catch (e) {
    // nothing to report to
  }
  var words = '';
  try {
    if (error) words = String(error.message || error);
  } catch (e) {
    // an error that cannot be put in words
  }
  words = words.replace(/[\x00-\x1f\x7f]+/g, ' ').slice(0, 200);
  kvFail('ended:' + gCurSld + ':' + kvSlideTotal() + (words ? ':' + words : ''));
}

// The engine threw while it played slide kvSlide (`error`): an effect or a transition it cannot
// play. Where the slide is shown all the same, the show goes on from there: the effects that
// started are brought to their end, the rest of the slide's effects are passed over (the next
// step shows the next slide) and the engine is told that nothing plays. A slide whose effects
// the engine cannot even prepare is brought in without them. True when the show can go on;
// false when the slide cannot be shown, a failure of the show.
function kvEngineThrew(error) {
  var f = kvEngine();
  try {
    console.error('kavreto: the show engine failed on slide ' + (kvSlide + 1) + ': ' +
                  String(error && error.stack ? error.stack : error));
  } catch (e) {
    // nothing to report to
  }
  if (!f || kvSlide < 0) return false;
  var s = f.aSlideShow;
  try {
    s.aTimer.releaseTimer();
  } catch (e) {
    // an engine of another make
  }
  if (f.nCurSlide !== kvSlide) {
    // The slide did not come in: its effects broke while the engine prepared them. It comes in
    // as a cut without them, its shapes as they stand on the slide.
    try {
      var effects = f.theMetaDoc.aMetaSlideSet[kvSlide].aSlideAnimationsHandler;
      effects.aAnimatedElementMap = {};
      effects.isAnimated = function () {
        return false;
      };
      effects.elementsParsed = function () {
        return false;
      };
      s.displaySlide(kvSlide, true);
    } catch (e) {
      // checked below
    }
  }
  if (f.nCurSlide !== kvSlide) return false;
  kvBrokenSlide = kvSlide;
  try {
    s.skipAllPlayingEffects();
  } catch (e) {
    // left where they stand
  }
  s.bIsNextEffectRunning = false;
  s.bIsTransitionRunning = false;
  s.bIsSkipping = false;
  s.bIsSkippingAll = false;
  s.bIsIdle = true;
  return true;
}

function kvNextShown(index) {
  for (var i = 0; i < kvShownSlides.length; ++i) if (kvShownSlides[i] > index) return kvShownSlides[i];
  return -1;
}

function kvPreviousShown(index) {
  for (var i = kvShownSlides.length - 1; i >= 0; --i) if (kvShownSlides[i] < index) return kvShownSlides[i];
  return -1;
}

function kvBusy() {
  var f = kvEngine();
  if (!f) return true;
  if (kvBrokenSlide === kvSlide) return false;
  var s = f.aSlideShow;
  return s.isRunning() || s.isTransitionPlaying() || s.isAnyEffectPlaying();
}

function kvEffectsLeft() {
  var f = kvEngine();
  if (!f || kvBrokenSlide === kvSlide) return 0;
  var s = f.aSlideShow;
  if (!s.isEnabled() || !s.aNextEffectEventArray) return 0;
  return Math.max(0, s.aNextEffectEventArray.size() - s.nCurrentEffect);
}

// True while the slide's own automatic timing is still to move the show on.
function kvTimingPending() {
  var f = kvEngine();
  if (!f || !kvClock) return false;
  return kvClock.isPending(f.aSlideShow.automaticAdvanceTimeout);
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
  // What a step changes is not always seen by the film clock's MutationObserver (shapes move
  // through their SVG transform lists): the next frame is drawn again.
  if (kvClock && kvClock.touch) kvClock.touch();
  if (kind === 'step' && kvEffectsLeft() > 0) {
    f.aSlideShow.nextEffect();
    return;
  }
  if (kvUseTimings && kvTimingPending()) return; // the slide's own timing moves on
  var next = kvNextShown(kvSlide);
  if (next >= 0) kvShowSlide(next, false);
  else if (kind === 'step') top.document.title = '@kEndTitle@';
}

function kvPump() {
  if (kvTimer !== null) {
    clearTimeout(kvTimer);
    kvTimer = null;
  }
  if (kvFailed) return;
  while (kvQueue.length > 0 && kvReady) {
    try {
      if (kvBusy()) {
        if (kvWaitingSince === 0) kvWaitingSince = Date.now();
        if (Date.now() - kvWaitingSince < kvMaxWaitMs) break;
      }
      kvWaitingSince = 0;
      kvRun(kvQueue.shift());
    } catch (e) {
      if (!kvEngineThrew(e)) {
        kvFailMidway(e);
        return;
      }
    }
  }
  if (kvQueue.length > 0) kvTimer = setTimeout(kvPump, 40);
  else kvWaitingSince = 0;
}

// Where the show stands (slide and effect), to tell one wait for the engine's own events
// from the next.
function kvPlace() {
  var f = kvEngine();
  return f ? kvSlide + ':' + f.aSlideShow.nCurrentEffect : '';
}

// True while the engine waits for events of its own with nothing playing and no step of the
// player's pending: an effect that starts by itself after a delay, say. The picture stands
// still, but the show is going to change by itself.
function kvAwaitingOwnEvents() {
  var f = kvEngine();
  if (!f || kvQueue.length > 0) return false;
  var s = f.aSlideShow;
  // A transition can hold a picture still for a while (cut through black shows black for a
  // third of its time): the slide it brings in is still to come.
  if (s.isTransitionPlaying()) return true;
  return s.isRunning() && !s.isAnyEffectPlaying();
}

function kvAsk(kind) {
  if (kvFailed) return; // the failure has been reported; steps change nothing
  // A still picture while the engine waits for its own events is no reason to step: such
  // steps would pile up and then run one after another once those events have played,
  // passing slides by unseen. The player asks again once the picture the events leave has
  // stood still. A show that keeps waiting longer than kvMaxWaitMs takes the step at once.
  if (kvAwaitingOwnEvents()) {
    var place = kvPlace();
    if (kvOwnEventsSince === 0 || kvOwnEventsPlace !== place) {
      kvOwnEventsSince = Date.now();
      kvOwnEventsPlace = place;
    }
    if (Date.now() - kvOwnEventsSince < kvMaxWaitMs) return;
    kvWaitingSince = kvOwnEventsSince;
  }
  kvOwnEventsSince = 0;
  // On the film clock a step asked for while an effect or a transition still plays is not
  // kept either. Kept, it would run the moment that one ended, so what it left (the slide a
  // transition brought in, an effect's end) would be passed by without standing still for
  // the player's hold; a transition the engine cannot draw leaves the picture still while it
  // "plays", and steps kept meanwhile ran back to back, passing slides by unseen. The player
  // asks again once the picture has stood still for its hold. A show that stays busy longer
  // than kvMaxWaitMs takes the step at once.
  if (kvClock && kvReady && kvQueue.length === 0 && kvBusy()) {
    if (kvBusySince === 0) kvBusySince = Date.now();
    if (Date.now() - kvBusySince < kvMaxWaitMs) return;
    kvWaitingSince = kvBusySince;
  }
  kvBusySince = 0;
  kvQueue.push(kind);
  kvPump();
}

// True when a slide follows the one that is shown (or will be, once queued steps have run).
// Before the engine is ready, and after a failure, the answer is true, so that the advance
// script never takes a step that could not be seen for the end of the show.
function HasNextSld() {
  var f = kvEngine();
  if (!f) return true;
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
  // Before the engine is ready, the caller could not see the slide's effects: keep a plain
  // step, which plays them first.
  kvAsk(kvEngine() ? 'slide' : 'step');
}

function kvEngineReady(f) {
  try {
    return !!(f && f.aSlideShow && f.theMetaDoc && typeof f.nCurSlide === 'number');
  } catch (e) {
    return false;
  }
}

// Without the player's "use timings" setting, a slide's own automatic timing never moves the
// show on: the player's hold decides, as on every other slide (a timing shorter than the hold
// would pass the slide by before the player has seen it). The engine sets the timing's timer
// once a slide's effects have played; that step is taken away, and a timer the engine set
// while it started is cleared.
function kvIgnoreOwnTimings(show) {
  show.notifyAnimationsEnd = function () {};
  if (typeof show.automaticAdvanceTimeout === 'number') {
    window.PPTSld.clearTimeout(show.automaticAdvanceTimeout);
    show.automaticAdvanceTimeout = null;
  }
}

function kvAttach() {
  if (kvReady || kvFailed) return;
  var f = window.PPTSld;
  if (!kvEngineReady(f)) {
    // Not ready yet (still bringing in its first slide, or slow to start): look again.
    if (kvReadyWaitStart === null) kvReadyWaitStart = Date.now();
    if (Date.now() - kvReadyWaitStart >= kvReadyLimitMs) kvFail('engine');
    else setTimeout(kvAttach, kvReadyPollMs);
    return;
  }
  try {
    if (kvShownSlides.length === 0) {
      for (var i = 0; i < f.theMetaDoc.nNumberOfSlides; ++i) kvShownSlides.push(i);
    }
    kvReady = true;
    if (!kvUseTimings) kvIgnoreOwnTimings(f.aSlideShow);
    // What the engine throws from its own timers (the updates that play effects and
    // transitions) is handled as what it throws from a step.
    if (kvClock && kvClock.onError) {
      kvClock.onError(function (error) {
        if (kvEngine() && !kvEngineThrew(error)) kvFailMidway(error);
      });
    }
    // The engine's own navigation (automatic slide timings, keys) goes through switchSlide:
    // make it pass over hidden slides and stop at the last shown slide instead of wrapping.
    f.switchSlide = function (offset, skipTransition) {
      var index = kvSlide;
      for (var n = 0; n < Math.abs(offset) && index >= 0; ++n)
        index = offset > 0 ? kvNextShown(index) : kvPreviousShown(index);
      if (index < 0 || index === kvSlide || !kvEngine()) return;
      try {
        kvShowSlide(index, skipTransition);
      } catch (e) {
        if (!kvEngineThrew(e)) kvFailMidway(e);
      }
    };
    f.g_animMainSequence = {
      get cangonext() {
        return kvFailed || kvQueue.length > 0 || kvBusy() || kvEffectsLeft() > 0;
      },
      next: function () {
        kvAsk('step');
      }
    };
    kvSlide = kvShownSlides[0];
    if (f.nCurSlide !== kvSlide) f.aSlideShow.displaySlide(kvSlide, true);
    kvReport();
    kvReleaseStart();
    kvPump();
  } catch (e) {
    kvFail('engine');
  }
}

// The frame's load event: the SVG show has loaded (its engine may still be starting).
function kvFrameLoaded() {
  kvAttach();
}
