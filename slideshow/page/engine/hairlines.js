// - "hairlines": lines the office draws one pixel wide where the browser draws them thinner.
//   - A hairline (a line of no width, as drawings and clip art are made of) comes without a
//     stroke width, which the browser takes as one unit, a hundredth of a millimetre: the
//     lines all but vanish and the drawing looks pale. The office draws it one pixel wide.
//   - A table's borders thinner than a pixel (a few tenths of a millimetre at a few hundred
//     rows) the office draws one pixel wide, in their full colour, on whole pixels; the
//     browser spreads them by anti-aliasing over two rows into a faint grey. Each such border
//     line (unfilled, level or upright) becomes one pixel wide, without anti-aliasing.
//   Other thin lines (a shape's outline, a chart's grid) the office draws anti-aliased at
//   their own width, as the browser does: they are left alone.
(function () {
  'use strict';

  // Device pixels per user unit of the document's root: the viewBox fitted into the view,
  // which the root fills (read from the window, so as not to lay the page out this early).
  function pixelsPerUnit(doc) {
    var box = doc.documentElement.viewBox && doc.documentElement.viewBox.baseVal;
    if (!box || !(box.width > 0) || !(box.height > 0)) return 0;
    return Math.min(window.innerWidth / box.width, window.innerHeight / box.height) * (window.devicePixelRatio || 1);
  }

  // Whether `element` draws only level and upright lines: a rect, or a path of absolute
  // moves and lines whose every step keeps x or y.
  function levelAndUpright(element) {
    if (element.localName === 'rect') return true;
    if (element.localName !== 'path') return false;
    var d = element.getAttribute('d') || '';
    if (/[^MLZ0-9.,\s-]/.test(d)) return false;
    var numbers = d.match(/-?[0-9.]+/g) || [];
    if (numbers.length < 4 || numbers.length % 2 !== 0) return false;
    for (var i = 2; i < numbers.length; i += 2)
      if (numbers[i] !== numbers[i - 2] && numbers[i + 1] !== numbers[i - 1]) return false;
    return true;
  }

  function widen(doc) {
    var scale = pixelsPerUnit(doc);
    if (!(scale > 0)) return;
    var pixel = String(1 / scale);
    var stroked = doc.querySelectorAll('[stroke]');
    for (var i = 0; i < stroked.length; ++i) {
      var element = stroked[i];
      var stroke = element.getAttribute('stroke');
      if (!stroke || stroke === 'none' || element.closest('pattern, marker, mask, clipPath')) continue;
      if (!element.hasAttribute('stroke-width')) {
        if (element.closest('text')) continue;
        element.setAttribute('stroke-width', pixel);
        continue;
      }
      if (!(parseFloat(element.getAttribute('stroke-width')) < 1 / scale) || element.getAttribute('fill') !== 'none' ||
          !element.closest('.com\\.sun\\.star\\.drawing\\.TableShape') || !levelAndUpright(element))
        continue;
      element.setAttribute('stroke-width', pixel);
      element.setAttribute('shape-rendering', 'crispEdges');
    }
  }

  document.addEventListener('DOMContentLoaded', function () {
    if (!(document.documentElement instanceof SVGSVGElement) || typeof window.MetaDocument !== 'function') return;
    try {
      widen(document);
    } catch (e) {
      // an engine of another make: left as it is
    }
  });
})();
