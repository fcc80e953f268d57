// Character and fill attributes: the engine's attribute map has no character height, weight,
// posture, underline or font name, and its font colour, fill style and line style setters do
// nothing. So the text emphasis presets (font size, bold flash, font style, change font, font
// colour, underline...) showed nothing, or ended the show. Here they change the text parts of
// the animated element (the shape's text, or one paragraph of it):
//   - font-size: a factor of each text part's own size (the office writes "150%");
//   - font-weight, font-style, font-family, text-underline ("solid" or "none"): set on the text
//     parts that carry the attribute (else on the text elements);
//   - color: the fill of the text runs;
//   - fill and stroke ("none" or "solid"): the shape's own fill and outline hidden or shown.
(function () {
  'use strict';

  // `root` itself and its descendants that match `selector`.
  function parts(root, selector) {
    var found = root.matches && root.matches(selector) ? [root] : [];
    var inner = root.querySelectorAll ? root.querySelectorAll(selector) : [];
    for (var i = 0; i < inner.length; ++i) found.push(inner[i]);
    return found;
  }

  // The text parts of `root` that carry `attribute`, or else its text elements.
  function textParts(root, attribute) {
    var carrying = parts(root, 'text[' + attribute + '], tspan[' + attribute + ']');
    return carrying.length > 0 ? carrying : parts(root, 'text');
  }

  // The shape's own painted parts (not its text) that paint `attribute`.
  function shapeParts(root, attribute) {
    return parts(root, '[' + attribute + '], [data-kv-' + attribute + ']').filter(function (e) {
      return !(e.closest && e.closest('text'));
    });
  }

  function install(win) {
    var map = win.aAttributeMap;
    var Element = win.AnimatedElement;
    if (!map || map['font-size'] || typeof Element !== 'function' || !map.opacity || !map.visibility || !map.color) return;
    var proto = Element.prototype;
    var NUMBER = map.opacity.type;
    var ENUM = map.visibility.type;

    proto.kvGetCharScale = function () {
      return this.kvCharScale || 1;
    };
    proto.kvSetCharScale = function (factor) {
      factor = Number(factor);
      if (!(factor > 0)) factor = 1e-3;
      this.kvCharScale = factor;
      var sized = parts(this.aActiveElement, '[font-size]');
      for (var i = 0; i < sized.length; ++i) {
        var base = sized[i].getAttribute('data-kv-font-size');
        if (base === null) {
          base = sized[i].getAttribute('font-size');
          sized[i].setAttribute('data-kv-font-size', base);
        }
        var unit = String(base).replace(/^[-+0-9.eE]+/, '');
        sized[i].setAttribute('font-size', parseFloat(base) * factor + unit);
      }
    };

    function textAttribute(attribute, fallback, toValue, fromValue) {
      return {
        get: function () {
          var found = parts(this.aActiveElement, 'text[' + attribute + '], tspan[' + attribute + ']');
          return found.length > 0 ? fromValue(found[0].getAttribute(attribute)) : fallback;
        },
        set: function (value) {
          var found = textParts(this.aActiveElement, attribute);
          for (var i = 0; i < found.length; ++i) found[i].setAttribute(attribute, toValue(value));
        }
      };
    }
    function same(value) {
      return String(value);
    }
    var text = {
      'font-weight': textAttribute('font-weight', 'normal', same, function (v) {
        return Number(v) >= 600 || v === 'bold' ? 'bold' : 'normal';
      }),
      'font-style': textAttribute('font-style', 'normal', same, same),
      'font-family': textAttribute('font-family', '', same, same),
      'text-underline': textAttribute(
        'text-decoration',
        'none',
        function (v) {
          return v === 'none' ? 'none' : 'underline';
        },
        function (v) {
          return /underline/.test(v) ? 'solid' : 'none';
        }
      )
    };
    Object.keys(text).forEach(function (name) {
      var method = name.replace(/-(.)/g, function (m, c) {
        return c.toUpperCase();
      });
      proto['kvGet' + method] = text[name].get;
      proto['kvSet' + method] = text[name].set;
      map[name] = { type: ENUM, get: 'kvGet' + method, set: 'kvSet' + method };
    });
    map['font-size'] = { type: NUMBER, get: 'kvGetCharScale', set: 'kvSetCharScale' };

    // The text's colour: the fill of its runs.
    proto.getFontColor = function () {
      var runs = parts(this.aActiveElement, 'text [fill], text[fill]').filter(function (e) {
        return e.getAttribute('fill') !== 'none';
      });
      return win.colorParser(runs.length > 0 ? runs[0].getAttribute('fill') : 'black');
    };
    proto.setFontColor = function (color) {
      var value = color && color.toString ? color.toString(true /* clamped */) : String(color);
      var runs = parts(this.aActiveElement, 'text [fill], text[fill]');
      for (var i = 0; i < runs.length; ++i) {
        if (runs[i].getAttribute('fill') !== 'none') runs[i].setAttribute('fill', value);
      }
    };

    // Fill and line style: "none" hides the shape's own paint, keeping it to show again.
    function paintStyle(attribute) {
      var kept = 'data-kv-' + attribute;
      return {
        get: function () {
          return shapeParts(this.aActiveElement, attribute).some(function (e) {
            return e.hasAttribute(kept);
          })
            ? 'none'
            : 'solid';
        },
        set: function (style) {
          var painted = shapeParts(this.aActiveElement, attribute);
          for (var i = 0; i < painted.length; ++i) {
            var e = painted[i];
            if (style === 'none') {
              var value = e.getAttribute(attribute);
              if (!e.hasAttribute(kept) && value && value !== 'none') {
                e.setAttribute(kept, value);
                e.setAttribute(attribute, 'none');
              }
            } else if (e.hasAttribute(kept)) {
              e.setAttribute(attribute, e.getAttribute(kept));
              e.removeAttribute(kept);
            }
          }
        }
      };
    }
    var fill = paintStyle('fill');
    var stroke = paintStyle('stroke');
    proto.getFillStyle = fill.get;
    proto.setFillStyle = fill.set;
    proto.getStrokeStyle = stroke.get;
    proto.setStrokeStyle = stroke.set;

    // Character heights come as "150%" (or "1.5pt" in the office's preset list): a factor.
    var evalValues = win.evalValuesAttribute;
    if (typeof evalValues === 'function') {
      win.evalValuesAttribute = function (list, values) {
        var plain = [];
        for (var i = 0; i < values.length; ++i) {
          var v = values[i];
          var unit = typeof v === 'string' ? /^\s*([-+]?(?:\d+\.?\d*|\.\d+))(pt|%)\s*$/.exec(v) : null;
          plain.push(unit ? String(unit[2] === '%' ? parseFloat(unit[1]) / 100 : parseFloat(unit[1])) : v);
        }
        var args = Array.prototype.slice.call(arguments);
        args[1] = plain;
        return evalValues.apply(this, args);
      };
    }
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
