// - "hairlines": the office draws a line thinner than a pixel (a table's borders, a thin
//   outline: a few tenths of a millimetre at a few hundred rows) one pixel wide, in its full
//   colour, on whole pixels. The browser draws it at its own width, spread by anti-aliasing
//   over two rows into a faint grey, so a table's grid all but vanishes. Here every unfilled
//   stroke made of level and upright lines only (a table's border, a frame) that is thinner
//   than a pixel at the page's scale becomes one pixel wide, on whole pixels, without
//   anti-aliasing, as the office draws it. Sloping lines (a chart's, even barely sloping) the
//   office draws anti-aliased at their own width, as the browser does: they are left alone.
(function () {
  'use strict';

  // Device pixels per user unit of the document's root: the viewBox fitted into the view.
  function pixelsPerUnit(doc) {
    var root = doc.documentElement;
    var box = root.viewBox && root.viewBox.baseVal;
    if (!box || !(box.width > 0) || !(box.height > 0)) return 0;
    var rect = root.getBoundingClientRect();
    var width = rect.width > 0 ? rect.width : window.innerWidth;
    var height = rect.height > 0 ? rect.height : window.innerHeight;
    return Math.min(width / box.width, height / box.height) * (window.devicePixelRatio || 1);
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
    var pixel = 1 / scale;
    var stroked = doc.querySelectorAll('[stroke]');
    for (var i = 0; i < stroked.length; ++i) {
      var element = stroked[i];
      var stroke = element.getAttribute('stroke');
      if (!stroke || stroke === 'none' || element.closest('pattern, marker, mask, clipPath')) continue;
      var width = parseFloat(element.getAttribute('stroke-width') || '1');
      if (!(width < pixel) || element.getAttribute('fill') !== 'none' || !levelAndUpright(element)) continue;
      element.setAttribute('stroke-width', String(pixel));
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
