// Colours set at once: an `anim:set` of "fill-color", "stroke-color" or "color" hands its
// value to the shape as the colour's text ("#333399"), and an animation in HSL hands it an
// HSL colour; the engine's fill and line colour setters take only its RGB colour objects and
// end the show on anything else ("AnimatedElement.setFillColor: value argument is not an
// instance of RGBColor": colour over by word, coloured lettering...). Here they get an RGB
// colour. The getters look only at the element's children: on a text element (whose colours
// sit deeper) they found none, and an animation from that colour ended the show with "Cannot
// read properties of undefined (reading 'equal')" (grow with colour). Here they look deeper,
// and a shape without that paint counts as black.
(function () {
  'use strict';

  // The first colour of `attribute` painted by the descendants of `root`, or null.
  function deepPaint(root, attribute) {
    var inner = root.querySelectorAll('[' + attribute + ']');
    for (var i = 0; i < inner.length; ++i) {
      var value = inner[i].getAttribute(attribute);
      if (value && value !== 'none') return value;
    }
    return null;
  }

  function install(win) {
    var Element = win.AnimatedElement;
    var RGB = win.RGBColor;
    if (typeof Element !== 'function' || typeof RGB !== 'function' || typeof win.colorParser !== 'function') return;
    var proto = Element.prototype;
    if (proto.setFillColor && proto.setFillColor.kvColourValues) return;

    function rgb(value) {
      if (value instanceof RGB) return value;
      if (value && typeof value.convertToRGB === 'function') return value.convertToRGB();
      var parsed = typeof value === 'string' ? win.colorParser(value) : null;
      if (parsed && typeof parsed.convertToRGB === 'function' && !(parsed instanceof RGB)) parsed = parsed.convertToRGB();
      return parsed instanceof RGB ? parsed : new RGB(0, 0, 0);
    }
    // (The text colour's setter, in text-attributes.js, takes any of them.)
    ['setFillColor', 'setStrokeColor'].forEach(function (name) {
      var set = proto[name];
      if (typeof set !== 'function') return;
      var wrapped = function (value) {
        var args = Array.prototype.slice.call(arguments);
        args[0] = rgb(value);
        return set.apply(this, args);
      };
      wrapped.kvColourValues = true;
      proto[name] = wrapped;
    });
    [
      ['getFillColor', 'fill'],
      ['getStrokeColor', 'stroke']
    ].forEach(function (pair) {
      var get = proto[pair[0]];
      if (typeof get !== 'function') return;
      proto[pair[0]] = function () {
        var colour = get.apply(this, arguments);
        if (colour && typeof colour.equal === 'function') return colour;
        var deep = this.aActiveElement ? deepPaint(this.aActiveElement, pair[1]) : null;
        return rgb(deep || 'black');
      };
    });
  }

  // Once the engine's script has run, before its window.onload starts the show.
  document.addEventListener('DOMContentLoaded', function () {
    try {
      install(window);
    } catch (e) {
      // an engine of another make: left as it is
    }
  });
})();
