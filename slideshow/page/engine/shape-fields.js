// - "shape fields": a slide number in an ordinary shape of a master page (a text box that
//   reads "ADSA meeting (7)"), not in the master's slide number placeholder. The export writes
//   it as the placeholder text "<number>" (sometimes broken into pieces, "<num" "ber>"), and
//   the engine fills in only the placeholders' fields, so every slide showed "<number>".
//   Here each such shape leaves the master and goes into every slide that shows the master's
//   objects, with that slide's number as the office counts it (hidden slides too), beneath
//   the slide's own shapes.
(function () {
  'use strict';

  var OOO = 'http://xml.openoffice.org/svg/export';
  var kPlaceholder = '<number>';
  var kFieldClasses = { Slide_Number: true, 'Date/Time': true, Footer: true, Header: true };

  function hasClass(element, name) {
    return element && element.getAttribute && element.getAttribute('class') === name;
  }

  // Whether `node` lies in one of the master's field placeholders (the engine's own fields).
  function inField(node, stop) {
    for (var n = node; n && n !== stop; n = n.parentNode) {
      if (n.getAttribute && kFieldClasses[n.getAttribute('class')]) return true;
    }
    return false;
  }

  // The runs of placeholder pieces in `shape` that spell "<number>", each as its pieces.
  function numberFields(shape) {
    var pieces = [];
    var all = shape.getElementsByTagName('*');
    for (var i = 0; i < all.length; ++i) if (hasClass(all[i], 'PlaceholderText')) pieces.push(all[i]);
    var fields = [];
    for (var start = 0; start < pieces.length; ++start) {
      var text = '';
      for (var end = start; end < pieces.length && text.length < kPlaceholder.length; ++end) {
        text += pieces[end].textContent;
        if (text === kPlaceholder) {
          fields.push(pieces.slice(start, end + 1));
          start = end;
          break;
        }
      }
    }
    return fields;
  }

  function slideNumberText(win, number, type) {
    var Provider = win.SlideNumberProvider;
    if (typeof Provider === 'function' && Provider.prototype.createSlideNumberText) {
      try {
        return String(Provider.prototype.createSlideNumberText(number, type));
      } catch (e) {
        // the plain number below
      }
    }
    return String(number);
  }

  function closestClass(node, name, stop) {
    for (var n = node; n && n !== stop; n = n.parentNode) if (hasClass(n, name)) return n;
    return null;
  }

  // The export lays the text out with the wide placeholder, which may push it onto a line of
  // its own; the office sets the short number on the line before (as in "Page 3"). Such a
  // line joins the one before it in the same paragraph; a line that stood centred or at the
  // right edge of the shape's box keeps that place.
  function joinLonelyLine(piece, shape) {
    var line = closestClass(piece, 'TextPosition', shape);
    if (!line || line.textContent.trim() !== piece.textContent.trim()) return;
    var before = line.previousElementSibling;
    if (!hasClass(before, 'TextPosition') || !before.getComputedTextLength) return;
    var box = null;
    var rects = shape.getElementsByTagName('rect');
    for (var r = 0; r < rects.length; ++r) if (hasClass(rects[r], 'BoundingBox')) box = rects[r];
    var x = parseFloat(before.getAttribute('x'));
    var width = before.getComputedTextLength();
    var lines = [];
    var all = shape.getElementsByTagName('*');
    for (var l = 0; l < all.length; ++l) if (hasClass(all[l], 'TextPosition')) lines.push(all[l]);
    var step = parseFloat(line.getAttribute('y')) - parseFloat(before.getAttribute('y'));
    while (line.firstChild) before.appendChild(line.firstChild);
    line.parentNode.removeChild(line);
    if (!box) return;
    // One line fewer: text set in the middle of the box moves down by half a line, text set
    // at its foot by a whole one.
    var top = parseFloat(box.getAttribute('y')), bottom = top + parseFloat(box.getAttribute('height'));
    var first = parseFloat(lines[0].getAttribute('y')), last = parseFloat(lines[lines.length - 1].getAttribute('y'));
    if (step > 0 && !isNaN(first) && !isNaN(last)) {
      var middle = (first - 0.75 * step + last + 0.25 * step) / 2;
      var down = Math.abs(middle - (top + bottom) / 2) < 0.25 * step ? step / 2 : bottom - (last + 0.25 * step) < 0.5 * step && first - 0.75 * step - top > step ? step : 0;
      if (down > 0)
        for (var m = 0; m < lines.length; ++m)
          if (lines[m] !== line) lines[m].setAttribute('y', String(parseFloat(lines[m].getAttribute('y')) + down));
    }
    var grown = before.getComputedTextLength() - width;
    if (!(width > 0) || !(grown > 0) || isNaN(x)) return;
    var left = parseFloat(box.getAttribute('x')), right = left + parseFloat(box.getAttribute('width'));
    var slack = 0.02 * (right - left);
    if (Math.abs(x + width / 2 - (left + right) / 2) < slack) {
      before.setAttribute('x', String(x - grown / 2));
    } else if (Math.abs(x + width - right) < Math.max(slack, 0.35 * (right - left) - width)) {
      before.setAttribute('x', String(x - grown));
    }
  }

  function removeIds(element) {
    if (element.removeAttribute) element.removeAttribute('id');
    var all = element.getElementsByTagName('g');
    for (var i = 0; i < all.length; ++i) all[i].removeAttribute('id');
  }

  // Moves every shape of a master page that holds a slide number outside the placeholders
  // into the slides that show that master's objects; the number of shapes moved.
  function moveShapeFields(doc, win) {
    var meta = doc.getElementById('ooo:meta_slides');
    if (!meta) return 0;
    var start = parseInt(meta.getAttributeNS(OOO, 'start-slide-number'), 10) || 0;
    var type = meta.getAttributeNS(OOO, 'page-numbering-type') || '';
    // slide element, master id, whether it shows the master's objects; in slide order
    var slides = [];
    for (var k = 0; ; ++k) {
      var entry = doc.getElementById('ooo:meta_slide_' + k);
      if (!entry) break;
      slides.push({
        element: doc.getElementById(entry.getAttributeNS(OOO, 'slide')),
        master: entry.getAttributeNS(OOO, 'master'),
        objects: entry.getAttributeNS(OOO, 'master-objects-visibility') !== 'hidden',
        number: start + k + 1
      });
    }
    var moved = 0;
    var groups = doc.getElementsByTagName('g');
    var objectsGroups = [];
    for (var g = 0; g < groups.length; ++g) if (hasClass(groups[g], 'BackgroundObjects')) objectsGroups.push(groups[g]);
    for (var o = 0; o < objectsGroups.length; ++o) {
      var objects = objectsGroups[o];
      var master = objects;
      while (master && !hasClass(master, 'Master_Slide')) master = master.parentNode;
      if (!master) continue;
      var shapes = [];
      for (var c = objects.firstElementChild; c; c = c.nextElementSibling) shapes.push(c);
      for (var s = 0; s < shapes.length; ++s) {
        var shape = shapes[s];
        if (!shape.getAttribute || kFieldClasses[shape.getAttribute('class')]) continue;
        var fields = numberFields(shape).filter(function (pieces) {
          return !inField(pieces[0], shape);
        });
        if (fields.length === 0) continue;
        for (var i = 0; i < slides.length; ++i) {
          var slide = slides[i];
          if (slide.master !== master.getAttribute('id') || !slide.objects || !slide.element) continue;
          var page = slide.element.firstElementChild;
          while (page && !hasClass(page, 'Page')) page = page.nextElementSibling;
          if (!page) continue;
          var copy = shape.cloneNode(true);
          removeIds(copy);
          var copies = numberFields(copy);
          for (var f = 0; f < copies.length; ++f) {
            copies[f][0].textContent = slideNumberText(win, slide.number, type);
            for (var p = 1; p < copies[f].length; ++p) copies[f][p].textContent = '';
          }
          // Beneath the slide's own shapes: after its background definitions.
          var before = page.firstElementChild;
          while (before && before.tagName.toLowerCase() === 'defs') before = before.nextElementSibling;
          page.insertBefore(copy, before);
          for (var j = 0; j < copies.length; ++j) joinLonelyLine(copies[j][0], copy);
        }
        objects.removeChild(shape);
        ++moved;
      }
    }
    return moved;
  }

  // Once the engine's script has run, before its window.onload reads the pages.
  document.addEventListener('DOMContentLoaded', function () {
    if (typeof window.MetaDocument !== 'function') return;
    try {
      moveShapeFields(document, window);
    } catch (e) {
      // an engine of another make: left as it is
    }
  });
})();
