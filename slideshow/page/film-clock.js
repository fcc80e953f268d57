// The film clock: injected into every frame of the slide-show page at document creation,
// before any of the page's own scripts. While a conversion films, time in the page is the
// time of the frame being filmed, not the wall clock:
//   - Math.random follows one seeded sequence shared by every frame;
//   - Date (without arguments), Date.now, performance.now, setTimeout, setInterval,
//     requestAnimationFrame and their clear/cancel functions (function and string forms)
//     all follow one clock kept by the top-level window; child frames of the same origin
//     delegate to it, so one advance moves every frame's time together and runs the timers
//     that fall due, in order of their due time;
//   - the clock only moves when the player advances it: film(t) for a filmed frame,
//     preroll() while the page loads and starts (see there);
//   - a one-pixel strip below the filmed area shows a counter, bumped with every frame in
//     which the page changed, so the player knows when the picture of that frame is drawn. A
//     page changed when a MutationObserver saw a change, when a timer or frame callback ran
//     (changes through SVG transform lists make no mutation records) or when touch() said so.
// The player replaces the placeholder `/*@kavreto:clock-config@*/ null` with its settings,
// {start: ms since 1970, useTimings: bool, token: number}, before it injects the script; the
// token tells the answers of this page from those of a page loaded earlier.
(function () {
  'use strict';
  var CONFIG = /*@kavreto:clock-config@*/ null || { start: 0, useTimings: false, token: 0 };
  var NAME = '@kClockGlobal@';
  var win = window;

  // A child frame whose top-level window keeps a clock delegates to it.
  var clock = null;
  if (win.top !== win) {
    try {
      clock = win.top[NAME] || null;
    } catch (e) {
      clock = null; // another origin: keeps its own clock
    }
  }
  if (!clock) clock = makeClock(CONFIG);
  if (win.top === win) {
    Object.defineProperty(win, NAME, { value: clock, enumerable: false, configurable: false, writable: false });
  }
  install(win, clock);

  function makeClock(config) {
    var RealDate = Date;
    var realNow = RealDate.now.bind(RealDate);
    var now = Number(config.start) || 0; // ms since 1970, the time of the page
    var origin = now; // performance.now() counts from here
    var timers = []; // pending timers, sorted by due time, then by order of creation
    var byId = {};
    var frames = []; // requestAnimationFrame callbacks waiting for the next frame
    var nextId = 1;
    var order = 0;
    var nesting = 0; // depth of timer callbacks that set timers (as browsers count it)
    var windows = []; // every window that uses this clock
    var observers = []; // per window: true when its document changed since last asked
    var dirty = true; // something in a page changed since the last filmed frame
    var counter = 0;
    var holds = 0; // the page asked the player to wait before the first frame
    var strip = null;

    function insert(timer) {
      var lo = 0;
      var hi = timers.length;
      while (lo < hi) {
        var mid = (lo + hi) >> 1;
        var t = timers[mid];
        if (t.due < timer.due || (t.due === timer.due && t.order < timer.order)) lo = mid + 1;
        else hi = mid;
      }
      timers.splice(lo, 0, timer);
    }

    function add(callback, delay, repeat) {
      delay = Number(delay);
      if (!(delay >= 0) || !isFinite(delay)) delay = 0;
      // Timers set from timer callbacks five deep wait at least 4 ms, as in browsers: a
      // callback that sets itself again at 0 ms cannot hold an advance for ever.
      if (nesting >= 5 && delay < 4) delay = 4;
      var timer = {
        id: nextId++,
        due: now + delay,
        order: order++,
        callback: callback,
        interval: repeat ? Math.max(delay, 1) : -1,
        nesting: nesting + 1
      };
      byId[timer.id] = timer;
      insert(timer);
      return timer.id;
    }

    function clear(id) {
      var timer = byId[id];
      if (!timer) return;
      delete byId[id];
      var at = timers.indexOf(timer);
      if (at >= 0) timers.splice(at, 1);
    }

    var errorListeners = []; // told what a timer or frame callback threw

    function report(error) {
      try {
        console.error(error && error.stack ? error.stack : String(error));
      } catch (e) {
        // nothing to report to
      }
      for (var i = 0; i < errorListeners.length; ++i) {
        try {
          errorListeners[i](error);
        } catch (e) {
          // a listener that fails itself
        }
      }
    }

    // Runs every timer due up to `limit`, each at its own due time. Returns how many ran.
    function runDue(limit) {
      var ran = 0;
      while (timers.length > 0 && timers[0].due <= limit && ran < 100000) {
        var timer = timers.shift();
        if (timer.due > now) now = timer.due;
        if (timer.interval >= 0) {
          timer.due = now + timer.interval;
          timer.order = order++;
          insert(timer);
        } else {
          delete byId[timer.id];
        }
        ++ran;
        var outer = nesting;
        nesting = timer.nesting;
        try {
          timer.callback();
        } catch (e) {
          report(e);
        }
        nesting = outer;
      }
      return ran;
    }

    function runFrames() {
      if (frames.length === 0) return 0;
      var due = frames;
      frames = [];
      var stamp = now - origin;
      for (var i = 0; i < due.length; ++i) {
        if (due[i].cancelled) continue;
        try {
          due[i].callback(stamp);
        } catch (e) {
          report(e);
        }
      }
      return due.length;
    }

    // Asks every frame whether its document changed since it was last asked.
    function collect() {
      for (var i = 0; i < observers.length; ++i) {
        try {
          if (observers[i]()) dirty = true;
        } catch (e) {
          // a frame that has gone
        }
      }
    }

    function forEachDocument(visit) {
      function walk(w) {
        var d;
        try {
          d = w.document;
        } catch (e) {
          return; // another origin
        }
        if (!d) return;
        visit(d);
        for (var i = 0; i < w.frames.length; ++i) walk(w.frames[i]);
      }
      walk(windows.length > 0 ? windows[0] : window);
    }

    function loading() {
      var busy = false;
      forEachDocument(function (d) {
        if (d.readyState !== 'complete') busy = true;
      });
      return busy;
    }

    function showCounter() {
      var top = windows[0];
      var doc = top && top.document;
      if (!doc || !doc.documentElement) return;
      if (!strip || strip.ownerDocument !== doc || !strip.isConnected) {
        strip = doc.createElement('div');
        strip.setAttribute('aria-hidden', 'true');
        strip.style.cssText =
          'position:fixed;left:0;bottom:0;width:100%;height:1px;margin:0;padding:0;border:0;' +
          'z-index:2147483647;pointer-events:none;';
        doc.documentElement.appendChild(strip);
      }
      var c = counter & 0xfff;
      strip.style.backgroundColor =
        'rgb(' + ((c >> 8) & 15) * 17 + ',' + ((c >> 4) & 15) * 17 + ',' + (c & 15) * 17 + ')';
    }

    function nextDue() {
      if (frames.length > 0) return now;
      return timers.length > 0 ? timers[0].due : null;
    }

    // Math.random of every frame: one sequence from a fixed seed (mulberry32), so that what
    // the engine draws at random (random bars, dissolve) is the same in every run.
    var seed = 0x6b617672;
    function random() {
      seed = (seed + 0x6d2b79f5) | 0;
      var t = seed;
      t = Math.imul(t ^ (t >>> 15), t | 1);
      t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
      return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
    }

    return {
      RealDate: RealDate,
      random: random,
      config: config,
      now: function () {
        return now;
      },
      sinceOrigin: function () {
        return now - origin;
      },
      setTimer: add,
      // `listener(error)` is called with whatever a timer or frame callback throws.
      onError: function (listener) {
        errorListeners.push(listener);
      },
      clearTimer: clear,
      isPending: function (id) {
        return typeof id === 'number' && !!byId[id];
      },
      requestFrame: function (callback) {
        var entry = { id: nextId++, callback: callback, cancelled: false };
        frames.push(entry);
        return entry.id;
      },
      cancelFrame: function (id) {
        for (var i = 0; i < frames.length; ++i) if (frames[i].id === id) frames[i].cancelled = true;
      },
      // `w` uses this clock; `pending()` tells whether its document changed (see install).
      attach: function (w, pending) {
        windows.push(w);
        if (pending) observers.push(pending);
        else dirty = true;
      },
      changed: function () {
        dirty = true;
      },
      isStrip: function (node) {
        return node === strip;
      },
      // The page asks the player to wait before the first frame (release() ends the wait).
      hold: function () {
        ++holds;
      },
      release: function () {
        if (holds > 0) --holds;
      },
      // Before the first frame: lets the page load and start. While a document is still
      // loading, only timers already due run and time stands still; once everything has
      // loaded and the page still holds the start, time jumps to the next timer and runs it,
      // so a start that waits for timers completes at the same page time on every run.
      // 'started' once nothing holds the start any more.
      preroll: function () {
        for (var jumps = 0; jumps < 500; ++jumps) {
          runDue(now);
          runFrames();
          if (loading()) return { state: 'loading', now: now, token: config.token };
          if (holds === 0) return { state: 'started', now: now, token: config.token };
          var due = nextDue();
          if (due === null) return { state: 'waiting', now: now, token: config.token };
          if (due > now) now = due;
        }
        return { state: 'starting', now: now, token: config.token };
      },
      // Moves the page's time on to `t` (ms since 1970), running the timers that fall due; a
      // step of the show then happens at the time of the frame it follows.
      advanceTo: function (t) {
        if (runDue(t) > 0) dirty = true;
        if (t > now) now = t;
      },
      // The page changed in a way a MutationObserver may not see (a step of the show ran):
      // the next filmed frame is drawn again.
      touch: function () {
        dirty = true;
      },
      // Moves the page's time to `t` (ms since 1970) for a filmed frame, running every timer
      // that falls due. `changed` tells whether anything in the page changed since the last
      // frame; if so the strip shows the new counter. `next` is the time of the next timer
      // (null: none); until then the page does nothing by itself.
      film: function (t) {
        // A timer or frame callback that ran may have changed the picture without a mutation
        // record: the engine moves, scales and turns shapes through their SVG transform lists
        // (transform.baseVal), which change what is drawn but are not seen by a
        // MutationObserver. Such a frame is drawn again.
        if (runDue(t) > 0) dirty = true;
        if (t > now) now = t;
        if (runFrames() > 0) dirty = true;
        collect();
        if (loading()) dirty = true;
        var changed = dirty;
        if (changed) {
          ++counter;
          showCounter();
          collect();
        }
        dirty = false;
        var title = '';
        try {
          title = String(windows[0].document.title);
        } catch (e) {
          title = '';
        }
        return {
          changed: changed,
          counter: counter & 0xfff,
          next: nextDue(),
          title: title,
          now: now,
          token: config.token
        };
      },
      // The browser has not drawn the last frame's strip: the strip's opacity moves by a
      // thousandth (far below one colour level, so its counter reads the same), which gives
      // the renderer a fresh change to draw. The strip's own changes are no page change.
      redraw: function () {
        showCounter();
        if (strip) strip.style.opacity = strip.style.opacity === '0.999' ? '1' : '0.999';
      },
      realNow: realNow
    };
  }

  function install(w, c) {
    var RealDate = w.Date;
    function FilmDate() {
      if (!new.target) return new RealDate(c.now()).toString();
      var args = Array.prototype.slice.call(arguments);
      if (args.length === 0) args = [c.now()];
      return Reflect.construct(RealDate, args, new.target);
    }
    Object.setPrototypeOf(FilmDate, RealDate);
    FilmDate.prototype = RealDate.prototype;
    Object.defineProperty(RealDate.prototype, 'constructor', {
      value: FilmDate,
      writable: true,
      configurable: true,
      enumerable: false
    });
    FilmDate.now = function now() {
      return Math.floor(c.now());
    };
    FilmDate.parse = RealDate.parse;
    FilmDate.UTC = RealDate.UTC;
    w.Date = FilmDate;

    try {
      Object.defineProperty(w.performance, 'now', {
        value: function now() {
          return c.sinceOrigin();
        },
        configurable: true,
        writable: true
      });
    } catch (e) {
      // leave it
    }

    try {
      w.Math.random = function random() {
        return c.random();
      };
    } catch (e) {
      // leave it
    }

    // The string form runs in the frame's own global scope, as the browser's does.
    function callback(handler, args) {
      if (typeof handler === 'function') {
        return function () {
          handler.apply(w, args);
        };
      }
      var code = String(handler);
      var evaluate = w.eval;
      return function () {
        evaluate(code);
      };
    }
    w.setTimeout = function setTimeout(handler, delay) {
      return c.setTimer(callback(handler, Array.prototype.slice.call(arguments, 2)), delay, false);
    };
    w.setInterval = function setInterval(handler, delay) {
      return c.setTimer(callback(handler, Array.prototype.slice.call(arguments, 2)), delay, true);
    };
    w.clearTimeout = function clearTimeout(id) {
      c.clearTimer(id);
    };
    w.clearInterval = function clearInterval(id) {
      c.clearTimer(id);
    };
    w.requestAnimationFrame = function requestAnimationFrame(handler) {
      return c.requestFrame(handler);
    };
    w.cancelAnimationFrame = function cancelAnimationFrame(id) {
      c.cancelFrame(id);
    };
    // Changes of the document are watched from the frame's own scripts. Records handed to a
    // callback of the top window's make script objects for the nodes they name in the top
    // window's realm, with its prototypes; a node first named that way (the SVG show's root
    // while the document was still being parsed) then lacked what the frame's scripts add to
    // its prototypes, and matrices made by it lacked the show engine's helpers, in some runs
    // and not in others.
    // A change of a document's title is the page protocol talking, not a change of the
    // picture; the frame strip is the clock's own.
    function visible(records) {
      for (var i = 0; i < records.length; ++i) {
        var node = records[i].target;
        if (node && node.nodeType === 3) node = node.parentNode;
        var name = node && node.nodeName ? String(node.nodeName).toLowerCase() : '';
        if (name !== 'title' && !c.isStrip(node)) return true;
      }
      return false;
    }
    var observer = null;
    try {
      observer = new w.MutationObserver(function (records) {
        if (visible(records)) c.changed();
      });
      observer.observe(w.document, { subtree: true, childList: true, attributes: true, characterData: true });
    } catch (e) {
      observer = null;
    }
    c.attach(
      w,
      observer
        ? function pending() {
            return visible(observer.takeRecords());
          }
        : null
    );
  }
})();
