// Fixes for the office's SVG show engine, injected at document creation into every frame
// (see dim.js for how they are put in).
//
// - "media": the engine builds no node for the show's audio and media command nodes
//   (anim:audio, anim:command); it gives up on the whole container that holds one, so a slide
//   with a sound loses all its effects. Here such a node is a plain timed node that tells the
//   player when the show starts it. The player plays the sound into the film's track: the
//   page itself stays silent.
// - Reports, as status texts of the top page, on the film clock (ms since the clock's start):
//     KVSOUND:slide:<slide>:<ms>            the engine brings in slide <slide> (from 0), with
//                                           its transition
//     KVSOUND:node:<slide>:<ordinal>:<ms>   the show starts audio or command node <ordinal>
//                                           (its place among the slide's audio and command
//                                           nodes in document order, the transition's sound
//                                           left out) of slide <slide>
//     KVSOUND:media:<slide>:<shape>:<x>:<y>:<width>:<height>:<sx>:<sy>:<swidth>:<sheight>:<ms>
//                                           media shape <shape> of slide <slide> (its place
//                                           among the slide's media shapes in document
//                                           order) shows its picture in the first rectangle,
//                                           clipped to the slide's (the second), in pixels of
//                                           the top page, which the film's picture is; told for
//                                           every media shape of a slide just before the slide
//                                           itself, so the player draws a video clip's frames
//                                           where its poster picture stands
(function () {
  'use strict';

  var ANIM = 'urn:oasis:names:tc:opendocument:xmlns:animation:1.0';
  var OOO = 'http://xml.openoffice.org/svg/export';

  function report(text) {
    try {
      var t = window.performance && window.performance.now ? window.performance.now() : Date.now();
      window.top.status = 'KVSOUND:' + text + ':' + t.toFixed(3);
    } catch (e) {
      // no top page to tell
    }
  }

  function isMedia(element) {
    return element && element.namespaceURI === ANIM && (element.localName === 'audio' || element.localName === 'command');
  }

  // The export puts a slide's transition sound into a node of its own, in a container that
  // begins with the slide ("<slide id>.begin"); the slide report stands for it.
  function isTransitionSound(element, slideId) {
    var parent = element.parentNode;
    return element.localName === 'audio' && parent && parent.getAttributeNS &&
      parent.getAttributeNS('http://www.w3.org/2001/SMIL20/', 'begin') === slideId + '.begin';
  }

  // The slide (engine index) and ordinal of an audio or command element; null for a
  // transition sound.
  function placeOf(win, element) {
    var holder = element.parentNode;
    while (holder && !(holder.getAttributeNS && holder.getAttributeNS(OOO, 'slide'))) holder = holder.parentNode;
    if (!holder) return null;
    var slideId = holder.getAttributeNS(OOO, 'slide');
    if (isTransitionSound(element, slideId)) return null;
    var slide = -1;
    var meta = win.document.querySelectorAll('[id^="ooo:meta_slide_"]');
    for (var i = 0; i < meta.length; ++i) {
      if (meta[i].getAttributeNS(OOO, 'slide') === slideId) {
        slide = parseInt(meta[i].id.substring('ooo:meta_slide_'.length), 10);
        break;
      }
    }
    if (slide < 0) return null;
    var all = holder.getElementsByTagNameNS(ANIM, '*');
    var ordinal = 0;
    for (var j = 0; j < all.length; ++j) {
      if (all[j] === element) return { slide: slide, ordinal: ordinal };
      if (isMedia(all[j]) && !isTransitionSound(all[j], slideId)) ++ordinal;
    }
    return null;
  }

  function addMediaNodes(win) {
    var original = win.createAnimationNode;
    var BaseNode = win.BaseNode;
    if (typeof original !== 'function' || typeof BaseNode !== 'function' || typeof win.extend !== 'function') return;

    function MediaNode(element, parent, context) {
      MediaNode.superclass.constructor.call(this, element, parent, context);
      this.sClassName = 'KvMediaNode';
      this.kvPlace = placeOf(win, element);
    }
    win.extend(MediaNode, BaseNode);
    MediaNode.prototype.parseElement = function () {
      var ok = MediaNode.superclass.parseElement.call(this);
      // A sound or command without a length of its own must not hold the effect up: the
      // sound plays on in the film's track whatever the node does.
      if (!this.aElement.getAttributeNS(win.NSS.smil, 'dur')) this.aDuration = new win.Duration('0.001s');
      return ok;
    };
    MediaNode.prototype.activate_st = function () {
      if (this.kvPlace) report('node:' + this.kvPlace.slide + ':' + this.kvPlace.ordinal);
      this.scheduleDeactivationEvent();
    };

    win.createAnimationNode = function (element, parent, context) {
      if (isMedia(element)) return new MediaNode(element, parent, context);
      return original.apply(this, arguments);
    };
  }

  // Where the media shapes of slide `slide` show, on the top page. The office's export
  // writes a media shape as a group of class "...MediaShape" holding its poster image (or
  // only its bounding box) in the slide's own coordinates.
  function reportMediaPlaces(win, slide) {
    var doc = win.document;
    var meta = doc.getElementById('ooo:meta_slide_' + slide);
    var slideId = meta && meta.getAttributeNS(OOO, 'slide');
    var slideElement = slideId && doc.getElementById(slideId);
    var root = doc.documentElement;
    if (!slideElement || !root || typeof root.getScreenCTM !== 'function') return;
    var shapes = slideElement.querySelectorAll('g[class$="MediaShape"]');
    if (!shapes.length) return;
    var ctm = root.getScreenCTM();
    if (!ctm) return;
    var offsetX = 0, offsetY = 0;
    try {
      var frame = win.frameElement;
      if (frame) {
        var box = frame.getBoundingClientRect();
        offsetX = box.left + frame.clientLeft;
        offsetY = box.top + frame.clientTop;
      }
    } catch (e) {
      // a frame of another origin: its own corner stands for the page's
    }
    for (var i = 0; i < shapes.length; ++i) {
      var picture = shapes[i].querySelector('image') || shapes[i].querySelector('rect.BoundingBox');
      if (!picture) continue;
      var number = function (name) {
        return parseFloat(picture.getAttribute(name)) || 0;
      };
      var x = ctm.a * number('x') + ctm.e + offsetX, y = ctm.d * number('y') + ctm.f + offsetY;
      var w = ctm.a * number('width'), h = ctm.d * number('height');
      if (!(w > 0 && h > 0)) continue;
      // Only what lies on the slide shows: the rest is clipped away with the slide.
      var view = root.viewBox && root.viewBox.baseVal;
      var area = view && view.width > 0 && view.height > 0
        ? [ctm.a * view.x + ctm.e + offsetX, ctm.d * view.y + ctm.f + offsetY, ctm.a * view.width, ctm.d * view.height]
        : [x, y, w, h];
      var place = [x, y, w, h].concat(area).map(function (v) {
        return v.toFixed(2);
      });
      report('media:' + slide + ':' + i + ':' + place.join(':'));
    }
  }

  function addSlideReport(win) {
    var show = win.SlideShow;
    if (typeof show !== 'function' || typeof show.prototype.displaySlide !== 'function') return;
    var display = show.prototype.displaySlide;
    show.prototype.displaySlide = function (slide) {
      var n = win.theMetaDoc ? win.theMetaDoc.nNumberOfSlides : 0;
      if (typeof slide === 'number' && slide >= 0 && slide < n) {
        reportMediaPlaces(win, slide);
        report('slide:' + slide);
      }
      return display.apply(this, arguments);
    };
  }

  var installed = false;
  function install() {
    if (installed || typeof window.createAnimationNode !== 'function') return;
    installed = true;
    try {
      addMediaNodes(window);
      addSlideReport(window);
    } catch (e) {
      // an engine of another make: left as it is
    }
  }

  // The engine starts from window.onload, which it sets while its script runs; the nodes must
  // be known before it builds the slides' animations, so the handler it sets installs them
  // first. The load listener is the fallback for an engine that starts otherwise.
  // This script may also come after the engine's, once it has set the handler.
  if (typeof window.onload === 'function') {
    var start = window.onload;
    window.onload = function () {
      install();
      return start.apply(this, arguments);
    };
  }
  var handler = null;
  for (var owner = window; owner && !handler; owner = Object.getPrototypeOf(owner))
    handler = Object.getOwnPropertyDescriptor(owner, 'onload');
  if (handler && handler.set && handler.configurable !== false) {
    try {
      Object.defineProperty(window, 'onload', {
        configurable: true,
        enumerable: handler.enumerable,
        get: function () {
          return handler.get.call(window);
        },
        set: function (f) {
          handler.set.call(
            window,
            typeof f === 'function'
              ? function () {
                  install();
                  return f.apply(this, arguments);
                }
              : f
          );
        },
      });
    } catch (e) {
      // left to the load listener
    }
  }
  window.addEventListener(
    'load',
    function (event) {
      if (event.target !== document) return;
      install();
    },
    true
  );
})();
