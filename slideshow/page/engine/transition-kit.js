// Slide transitions the office's show engine lacks, and the common parts they are drawn with.
//
// The engine's SlideTransition knows a fixed table of SMIL transition types and subtypes. For a
// slide whose transition is not in it, parseElement marks the transition invalid and the slide
// comes in as a cut; for a few that are in it (uncover) it draws the slides in the wrong order,
// which is a cut too. The files transition-*.js register what they draw with
// window.kvTransitions.register(type, subtypes, draw); once the document has loaded (before the
// engine starts, see dim.js) SlideTransition's parseElement and createSlideTransition are
// wrapped so that a registered transition is played by its draw function, and any other one the
// engine does not know crossfades: a transition is never lost to a cut.
//
// A registered transition is drawn on a "stage": a group laid over the slides for the time of
// the transition, clipped to the slide area, on which both slides are shown as live copies
// (<use> of the slide elements) that can be moved, clipped and, inside an HTML layer, turned
// with CSS 3D transforms. Every picture is a function of the transition's time, which the
// engine takes from the page's clock, so a film of it is the same in every run; transitions
// that look random draw from a fixed seed.
(function () {
  'use strict';

  var SVG = 'http://www.w3.org/2000/svg';
  var XLINK = 'http://www.w3.org/1999/xlink';
  var XHTML = 'http://www.w3.org/1999/xhtml';
  var registry = {}; // type -> subtype ('*' for any) -> {draw, reverse}

  function key(type, subtype) {
    return String(type) + ' ' + String(subtype);
  }

  // draw(stage, t) paints the stage at time t in [0, 1]; options.setup(stage) runs once at the
  // start, options.reverse says whether the entry is for direction="reverse" only (true), for
  // the forward direction only (false) or for both (undefined).
  function register(type, subtypes, draw, options) {
    options = options || {};
    var list = subtypes === '*' ? ['*'] : subtypes;
    for (var i = 0; i < list.length; ++i) {
      var entry = { draw: draw, setup: options.setup || null, reverse: options.reverse };
      var k = key(type, list[i]);
      (registry[k] = registry[k] || []).push(entry);
    }
  }

  function lookup(type, subtype, reverse) {
    var lists = [registry[key(type, subtype)], registry[key(type, '*')]];
    for (var l = 0; l < lists.length; ++l) {
      var list = lists[l] || [];
      for (var i = 0; i < list.length; ++i) {
        if (list[i].reverse === undefined || list[i].reverse === reverse) return list[i];
      }
    }
    return null;
  }

  // A small deterministic generator (mulberry32): the same seed gives the same numbers.
  function random(seed) {
    var a = seed >>> 0;
    return function () {
      a = (a + 0x6d2b79f5) >>> 0;
      var t = a;
      t = Math.imul(t ^ (t >>> 15), t | 1);
      t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
      return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
    };
  }

  function clamp(x) {
    return x < 0 ? 0 : x > 1 ? 1 : x;
  }

  // Smooth start and end, as the office's transitions accelerate and decelerate.
  function ease(t) {
    t = clamp(t);
    return t * t * (3 - 2 * t);
  }

  // The part of [0, 1] that item i of n plays in when items start one after another and each
  // lasts `share` of the whole time.
  function staggered(t, i, n, share) {
    var start = n > 1 ? (i / (n - 1)) * (1 - share) : 0;
    return clamp((t - start) / share);
  }

  var serial = 0;

  function Stage(win, leaving, entering, info) {
    var doc = win.document;
    this.win = win;
    this.doc = doc;
    this.W = win.WIDTH;
    this.H = win.HEIGHT;
    this.info = info; // {type, subtype, reverse, fadeColor}
    this.leavingId = leaving ? leaving.aMetaSlide.slideId : null;
    this.enteringId = entering.aMetaSlide.slideId;
    this.id = 'kv-stage-' + ++serial;
    this.ids = 0;
    this.data = {}; // for the draw function's own state
    // Slide units per pixel of the picture, for the HTML layer (see scene()).
    var screen = doc.documentElement.getScreenCTM ? doc.documentElement.getScreenCTM() : null;
    var scale = screen ? Math.sqrt(screen.a * screen.a + screen.b * screen.b) : 0;
    this.unit = scale > 0 && scale < 1 ? 1 / scale : 1;

    var group = entering.aMetaSlide.aVisibilityStatusElement.parentNode; // the slide group
    this.root = this.svg('g', { id: this.id, class: 'KvTransitionStage' });
    this.root.setAttribute('clip-path', 'url(#' + win.aPresentationClipPathId + ')');
    this.defs = this.svg('defs', {}, this.root);
    // Black behind everything, as the office's show has behind the slides.
    this.svg('rect', { x: 0, y: 0, width: this.W, height: this.H, fill: '#000000' }, this.root);
    this.layer = this.svg('g', {}, this.root);
    group.parentNode.insertBefore(this.root, group.nextSibling);
  }

  Stage.prototype.svg = function (name, attributes, parent) {
    var element = this.doc.createElementNS(SVG, name);
    for (var a in attributes) {
      if (Object.prototype.hasOwnProperty.call(attributes, a)) element.setAttribute(a, String(attributes[a]));
    }
    if (parent) parent.appendChild(element);
    return element;
  };

  Stage.prototype.html = function (name, style, parent) {
    var element = this.doc.createElementNS(XHTML, name);
    if (style) element.setAttribute('style', style);
    if (parent) parent.appendChild(element);
    return element;
  };

  // A live copy of the leaving ('out') or entering ('in') slide.
  Stage.prototype.slide = function (which, parent, attributes) {
    var id = which === 'out' ? this.leavingId : this.enteringId;
    var use = this.svg('use', attributes || {}, parent || this.layer);
    if (id) use.setAttributeNS(XLINK, 'href', '#' + id);
    return use;
  };

  // A clip path of path data `d` in slide coordinates; returns its url().
  Stage.prototype.clip = function (d) {
    var id = this.id + '-clip-' + ++this.ids;
    var clip = this.svg('clipPath', { id: id, clipPathUnits: 'userSpaceOnUse' }, this.defs);
    this.svg('path', { d: d || 'M 0 0 Z' }, clip);
    return { url: 'url(#' + id + ')', path: clip.firstChild };
  };

  // A length in slide coordinates as a CSS length in the HTML layer of scene().
  Stage.prototype.px = function (length) {
    return length / this.unit + 'px';
  };

  // An HTML layer over the whole slide in which faces are turned in 3D, seen from `distance`
  // slide widths in front of the slide. It is laid out at about the size it is shown at (one CSS
  // pixel for `unit` slide units) and scaled up to the slide: turned faces many thousand CSS
  // pixels wide are drawn wrongly.
  Stage.prototype.scene = function (distance) {
    var object = this.svg(
      'foreignObject',
      { x: 0, y: 0, width: this.W / this.unit, height: this.H / this.unit, transform: 'scale(' + this.unit + ')' },
      this.layer
    );
    var style =
      'position:relative;overflow:hidden;margin:0;padding:0;width:' + this.px(this.W) + ';height:' + this.px(this.H) + ';' +
      'perspective:' + this.px((distance || 2) * this.W) + ';perspective-origin:50% 50%;';
    return this.html('div', style, object);
  };

  // A face of the scene showing the part (x, y, w, h) of a slide (in slide coordinates), with
  // an optional clip path (url) in slide coordinates. Its transform turns it about its centre
  // unless its transform-origin says otherwise.
  Stage.prototype.face = function (scene, which, x, y, w, h, clipUrl) {
    var face = this.html(
      'div',
      'position:absolute;margin:0;padding:0;left:' + this.px(x) + ';top:' + this.px(y) + ';width:' + this.px(w) + ';height:' + this.px(h) + ';',
      scene
    );
    var picture = this.svg('svg', { width: w / this.unit, height: h / this.unit, viewBox: [x, y, w, h].join(' ') }, null);
    picture.setAttribute('style', 'display:block;overflow:hidden');
    face.appendChild(picture);
    this.slide(which, picture, clipUrl ? { 'clip-path': clipUrl } : {});
    return face;
  };

  Stage.prototype.remove = function () {
    if (this.root && this.root.parentNode) this.root.parentNode.removeChild(this.root);
    this.root = null;
  };

  var current = null; // the stage on screen, if any

  function removeStage() {
    if (current) current.remove();
    current = null;
  }

  function install(win) {
    var Transition = win.SlideTransition;
    var Base = win.SlideChangeBase;
    if (typeof Transition !== 'function' || typeof Base !== 'function' || typeof win.extend !== 'function') return;
    if (Transition.prototype.kvWrapped) return;
    var smil = win.NSS && win.NSS.smil;

    function StagedSlideChange(leaving, entering, entry, info) {
      Base.call(this, leaving, entering);
      this.entry = entry;
      this.info = info;
      this.stage = null;
    }
    win.extend(StagedSlideChange, Base);
    StagedSlideChange.prototype.start = function () {
      removeStage();
      this.aEnteringSlide.show();
      this.stage = current = new Stage(win, this.aLeavingSlide, this.aEnteringSlide, this.info);
      if (this.entry.setup) this.entry.setup(this.stage);
      this.entry.draw(this.stage, 0);
    };
    StagedSlideChange.prototype.perform = function (t) {
      if (this.bIsFinished || !this.stage) return false;
      this.entry.draw(this.stage, clamp(t));
      return true;
    };
    StagedSlideChange.prototype.end = function () {
      if (this.bIsFinished) return;
      if (this.stage) this.stage.remove();
      if (current === this.stage) current = null;
      this.stage = null;
      if (this.aLeavingSlide) Base.prototype.end.call(this);
      else this.bIsFinished = true;
    };

    // The engine may have read the slides' transitions before this runs, and the files that
    // register transitions may come after it: a transition is looked up when it is first asked
    // about, and again after the engine reads it anew.
    function resolve(handler) {
      if (handler.kvResolved) return;
      handler.kvResolved = true;
      handler.kvEntry = null;
      var element = handler.aElement;
      if (!element || !smil) return;
      var type = element.getAttributeNS(smil, 'type') || '';
      var subtype = element.getAttributeNS(smil, 'subtype') || 'default';
      var reverse = element.getAttributeNS(smil, 'direction') === 'reverse';
      handler.kvInfo = { type: type, subtype: subtype, reverse: reverse, fadeColor: element.getAttributeNS(smil, 'fadeColor') || '' };
      var entry = lookup(type, subtype, reverse);
      if (entry) {
        handler.kvEntry = entry;
        handler.bIsValid = true;
      } else if (!handler.bIsValid && type && type !== 'none') {
        handler.kvEntry = 'fade'; // unknown to the engine and to us: a crossfade, not a cut
        handler.bIsValid = true;
      }
    }

    var parse = Transition.prototype.parseElement;
    Transition.prototype.parseElement = function () {
      this.kvResolved = false;
      return parse.apply(this, arguments);
    };

    var isValid = Transition.prototype.isValid;
    Transition.prototype.isValid = function () {
      resolve(this);
      return isValid.apply(this, arguments);
    };

    var create = Transition.prototype.createSlideTransition;
    Transition.prototype.createSlideTransition = function (leaving, entering) {
      resolve(this);
      var entry = this.kvEntry;
      if (!entry || !entering) return create.apply(this, arguments);
      if (entry === 'fade') {
        return leaving ? new win.FadingSlideChange(leaving, entering) : null;
      }
      return new StagedSlideChange(leaving, entering, entry, this.kvInfo);
    };
    Transition.prototype.kvWrapped = true;

    // A stage left over by a transition that was cut short never stays on screen.
    var show = win.SlideShow && win.SlideShow.prototype;
    if (show && typeof show.notifyTransitionEnd === 'function') {
      var notify = show.notifyTransitionEnd;
      show.notifyTransitionEnd = function () {
        removeStage();
        return notify.apply(this, arguments);
      };
    }
  }

  var kit = {
    register: register,
    random: random,
    clamp: clamp,
    ease: ease,
    staggered: staggered
  };
  Object.defineProperty(window, 'kvTransitions', { value: kit, enumerable: false, configurable: false, writable: false });

  window.addEventListener(
    'load',
    function (event) {
      if (event.target !== document) return; // an image or other part of the page loaded
      try {
        install(window);
      } catch (e) {
        // an engine of another make: left as it is
      }
    },
    true
  );
})();
