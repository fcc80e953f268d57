// - "justify": the export writes a justified paragraph's lines at their natural width, each
//   from its start, so all but the last end short of the box's right edge, where the office
//   ends them. The exporter marks each line the office stretches with the x at which it ends
//   (data-kv-justify, in the show's units); here the line's spaces are widened by what is
//   left to that end, measured with the browser's own text layout, as the office spreads
//   the room over a line's spaces. Spaces at the line's end take no part: the office lets
//   them run past the edge. A line the office broke where the text wraps ends in the space
//   it broke at; one without it ended at a manual line break, which the office leaves as
//   it is.
(function () {
  'use strict';

  // The word spacing that ends `line` where it is marked to end, or 0 to leave it.
  function spacingOf(line) {
    var end = parseFloat(line.getAttribute('data-kv-justify'));
    var text = line.textContent;
    var length = text.replace(/\s+$/, '').length;
    if (!(end > 0) || length === 0 || length === text.length || line.getNumberOfChars() !== text.length) return 0;
    var spaces = 0;
    for (var i = 0; i < length; ++i) spaces += text.charAt(i) === ' ' ? 1 : 0;
    if (spaces === 0) return 0;
    var room = end - line.getEndPositionOfChar(length - 1).x;
    return room > 0 ? room / spaces : 0;
  }

  document.addEventListener('DOMContentLoaded', function () {
    if (typeof window.MetaDocument !== 'function') return;
    var lines = document.querySelectorAll('tspan[data-kv-justify]');
    // Every line measured first, then all widened: one layout, not one a line.
    var spacing = [];
    for (var i = 0; i < lines.length; ++i) {
      try {
        spacing.push(spacingOf(lines[i]));
      } catch (e) {
        spacing.push(0);  // a line the browser does not lay out (never shown) is left as it is
      }
    }
    for (var j = 0; j < lines.length; ++j)
      if (spacing[j] > 0) lines[j].setAttribute('word-spacing', String(spacing[j]));
  });
})();
