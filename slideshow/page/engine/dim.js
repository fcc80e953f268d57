// Fixes for the office's SVG show engine, injected at document creation into every frame.
// Each is put in once the document's parsing has ended (DOMContentLoaded): the engine's script
// has run by then, and its window.onload, which starts the show, has not. A load listener is
// not enough: the engine's onload may run before it. Frames without the engine are left alone.
//
// - "dim": PowerPoint's "dim after the effect" comes as a colour animation of the attribute
//   "dim", which the engine does not know; it throws while bringing in the slide, and the
//   show cannot go on. Here the attribute dims the shape: its filled and stroked parts (the
//   text of a paragraph among them) take the colour.
(function () {
  'use strict';

  // The parts of `root` (itself included) that paint `attribute`, i.e. have it set and not
  // to "none".
  function painted(root, attribute) {
    var found = [];
    var value = root.getAttribute && root.getAttribute(attribute);
    if (value && value !== 'none') found.push(root);
    var inner = root.querySelectorAll ? root.querySelectorAll('[' + attribute + ']') : [];
    for (var i = 0; i < inner.length; ++i) {
      value = inner[i].getAttribute(attribute);
      if (value && value !== 'none') found.push(inner[i]);
    }
    return found;
  }

  function addDim(win) {
    var map = win.aAttributeMap;
    var element = win.AnimatedElement;
    if (!map || map.dim || !map['fill-color'] || typeof element !== 'function' || !win.colorParser) return;
    var proto = element.prototype;
    proto.kvGetDimColor = function () {
      var fills = painted(this.aActiveElement, 'fill');
      var strokes = fills.length > 0 ? [] : painted(this.aActiveElement, 'stroke');
      var value = fills.length > 0 ? fills[0].getAttribute('fill') : strokes.length > 0 ? strokes[0].getAttribute('stroke') : '';
      return win.colorParser(value || 'black');
    };
    proto.kvSetDimColor = function (color) {
      var value = color.toString(true /* clamped */);
      var fills = painted(this.aActiveElement, 'fill');
      for (var i = 0; i < fills.length; ++i) fills[i].setAttribute('fill', value);
      var strokes = painted(this.aActiveElement, 'stroke');
      for (var j = 0; j < strokes.length; ++j) strokes[j].setAttribute('stroke', value);
    };
    map.dim = { type: map['fill-color'].type, get: 'kvGetDimColor', set: 'kvSetDimColor' };
  }

  document.addEventListener('DOMContentLoaded', function () {
    try {
      addDim(window);
    } catch (e) {
      // an engine of another make: left as it is
    }
  });
})();
