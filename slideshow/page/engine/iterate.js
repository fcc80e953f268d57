// Effects by letter and by word: the engine's `anim:iterate` container is left empty (its
// maker of iterated children does nothing), so such an effect had nothing to play and an
// entrance by letter never showed its text. Here the container gets its children with the
// container's target (the office writes the target on the container only). By letter and by
// word, the target's text is set out as one group per letter or word, each a copy of its
// letters at their places, and the children play on each group in turn, one interval apart;
// the text itself is hidden behind them. Where the text cannot be set out (no text, or no
// positions from the browser), the effect plays on the whole target at once.
(function () {
  'use strict';

  var SVG = 'http://www.w3.org/2000/svg';

  // Seconds of a time as the office writes it: "0.05s", "0.05" or "PT00H00M00.05S".
  function seconds(text) {
    text = String(text || '').trim();
    var iso = /^PT(?:([\d.]+)H)?(?:([\d.]+)M)?(?:([\d.]+)S)?$/i.exec(text);
    if (iso) return (parseFloat(iso[1] || 0) * 60 + parseFloat(iso[2] || 0)) * 60 + parseFloat(iso[3] || 0);
    var value = parseFloat(text);
    return isFinite(value) && value > 0 ? value : 0;
  }

  var made = 0;
  // Sets out the text of `shape` as one group per letter (or word) after its text element,
  // hides the text, and returns the groups' ids in reading order; null when it cannot.
  function setOut(shape, byWord) {
    if (!shape) return null;
    var text = shape.classList && shape.classList.contains('SVGTextShape') ? shape : shape.querySelector('.SVGTextShape');
    if (!text || typeof text.getNumberOfChars !== 'function') return null;
    var doc = text.ownerDocument;
    var count = text.getNumberOfChars();
    var content = text.textContent;
    if (!(count > 0) || count !== content.length || count > 2000) return null;
    // The innermost run (a text node's parent) of every character, for its look.
    var runs = [];
    var walker = doc.createTreeWalker(text, 4 /* NodeFilter.SHOW_TEXT */);
    for (var node = walker.nextNode(); node; node = walker.nextNode()) {
      for (var c = 0; c < node.data.length; ++c) runs.push(node.parentNode);
    }
    var holder = doc.createElementNS(SVG, 'g');
    holder.setAttribute('class', 'kvLetters');
    var ids = [];
    var group = null;
    for (var i = 0; i < count; ++i) {
      var ch = content.charAt(i);
      if (/\s/.test(ch)) {
        group = null; // a space ends a word; spaces are not drawn
        continue;
      }
      if (!group || !byWord) {
        group = doc.createElementNS(SVG, 'g');
        var id = 'kv-letters-' + ++made;
        group.setAttribute('id', id);
        holder.appendChild(group);
        ids.push(id);
      }
      var at = text.getStartPositionOfChar(i);
      var style = viewOf(doc).getComputedStyle(runs[i]);
      var letter = doc.createElementNS(SVG, 'text');
      letter.setAttribute('x', at.x);
      letter.setAttribute('y', at.y);
      letter.setAttribute('font-family', style.fontFamily);
      letter.setAttribute('font-size', style.fontSize);
      letter.setAttribute('font-weight', style.fontWeight);
      letter.setAttribute('font-style', style.fontStyle);
      letter.setAttribute('fill', runs[i].getAttribute('fill') || style.fill);
      letter.setAttribute('style', 'white-space: pre');
      letter.textContent = ch;
      group.appendChild(letter);
    }
    if (ids.length === 0) return null;
    text.parentNode.insertBefore(holder, text.nextSibling);
    text.setAttribute('visibility', 'hidden');
    return ids;
  }
  function viewOf(doc) {
    return doc.defaultView || window;
  }

  function install(win) {
    if (typeof win.createIteratedNodes !== 'function' || win.createIteratedNodes.kvIterate || !win.NSS) return;
    var smil = win.NSS.smil;
    var anim = win.NSS.anim;
    var doc = win.document;
    var filled = function (element, container, context) {
      var children = win.getElementChildren(element);
      // The office puts the target (and the sub-item) on the iterate container only.
      var target = element.getAttributeNS(smil, 'targetElement');
      var subItem = element.getAttributeNS(anim, 'sub-item');
      for (var i = 0; i < children.length; ++i) {
        if (target && !children[i].getAttributeNS(smil, 'targetElement')) {
          children[i].setAttributeNS(smil, 'smil:targetElement', target);
          if (subItem && !children[i].getAttributeNS(anim, 'sub-item')) children[i].setAttributeNS(anim, 'anim:sub-item', subItem);
        }
      }
      var units = null;
      var type = element.getAttributeNS(anim, 'iterate-type');
      if (target && (type === 'by-letter' || type === 'by-word')) {
        try {
          units = setOut(doc.getElementById(target), type === 'by-word');
        } catch (e) {
          units = null;
        }
      }
      if (!units) {
        for (var j = 0; j < children.length; ++j) {
          if (!win.createChildNode(children[j], container, context)) {
            container.removeAllChildrenNodes();
            break;
          }
        }
        return;
      }
      var interval = seconds(element.getAttributeNS(anim, 'iterate-interval'));
      for (var u = 0; u < units.length; ++u) {
        for (var k = 0; k < children.length; ++k) {
          var copy = children[k].cloneNode(true);
          copy.setAttributeNS(smil, 'smil:targetElement', units[u]);
          copy.removeAttributeNS(anim, 'sub-item');
          var begin = seconds(copy.getAttributeNS(smil, 'begin'));
          copy.setAttributeNS(smil, 'smil:begin', begin + u * interval + 's');
          if (!win.createChildNode(copy, container, context)) {
            container.removeAllChildrenNodes();
            return;
          }
        }
      }
    };
    filled.kvIterate = true;
    win.createIteratedNodes = filled;
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
