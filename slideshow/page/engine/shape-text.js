// Effects on the text of a shape: an effect the office applies to a shape's text only (the
// text presets: change font, font colour, size and style, bold flash, and text-only entrances
// and exits) targets the shape with `anim:sub-item="text"`. The engine then takes the shape
// for one paragraph, which it is not; the text element it makes is left half built, and the
// show ends with "Cannot read properties of undefined (reading 'cloneNode')". Here such an
// effect targets the shape's text element instead, so the shape's fill and outline stay as
// they are; a shape without text is animated whole.
(function () {
  'use strict';

  function install(win) {
    var Base = win.AnimationBaseNode;
    if (typeof Base !== 'function' || Base.prototype.parseElement.kvShapeText || !win.NSS) return;
    var doc = win.document;
    var smil = win.NSS.smil;
    var anim = win.NSS.anim;
    var parse = Base.prototype.parseElement;
    var parseText = function () {
      var element = this.aElement;
      if (element && element.getAttributeNS(anim, 'sub-item') === 'text') {
        var id = element.getAttributeNS(smil, 'targetElement');
        var target = id ? doc.getElementById(id) : null;
        var kind = target ? target.getAttribute('class') : null;
        if (target && kind !== 'TextParagraph' && kind !== 'ListItem') {
          var text = target.querySelector('.SVGTextShape');
          if (text) {
            if (!text.getAttribute('id')) text.setAttribute('id', id + '.kvtext');
            element.setAttributeNS(smil, 'smil:targetElement', text.getAttribute('id'));
          }
          element.removeAttributeNS(anim, 'sub-item');
        }
      }
      return parse.apply(this, arguments);
    };
    parseText.kvShapeText = true;
    Base.prototype.parseElement = parseText;
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
