// - "rtl lines": the export writes a right-to-left paragraph's line in the order of its text:
//   the line's first piece at the x where the office drew it, every other piece after the one
//   before. The office sets the pieces in right-to-left order, so in English text of such a
//   paragraph a closing full stop stands at the line's left ("." "to another line"), and a
//   space the paragraph starts with at its right; the film had the full stop at the right and
//   pushed whole lines off the slide behind a leading space. The exporter marks each line of
//   such a paragraph (data-kv-rtl); here the line is split into its right-to-left runs as the
//   office's bidirectional layout forms them for text of left-to-right letters (the neutral
//   characters before the paragraph's first letter and after its last, and the spaces that
//   end each line; brackets go with what they enclose) and the runs are set from right to left, the first one where the office
//   drew it, each measured with the browser's own layout. A line with right-to-left letters
//   of its own is the browser's to order, and is left as exported.
(function () {
  'use strict';

  var kRightToLeftLetter = /[\u0590-\u08FF\uFB1D-\uFDFF\uFE70-\uFEFF]/;
  var kStrong = /[\p{L}\p{N}]/u;
  var kMirrored = { '(': ')', ')': '(', '[': ']', ']': '[', '{': '}', '}': '{', '<': '>', '>': '<', '\u00AB': '\u00BB', '\u00BB': '\u00AB' };

  function isLinePiece(node) {
    return node.nodeType === 1 && node.getAttribute('class') === 'TextPosition' && !node.hasAttribute('x');
  }

  // The tspans that hold the line's text, in order, or null when the line holds text in
  // another form.
  function pieces(line) {
    var group = [line];
    for (var n = line.nextSibling; n && (n.nodeType !== 1 || isLinePiece(n)); n = n.nextSibling)
      if (n.nodeType === 1) group.push(n);
    var found = [];
    for (var g = 0; g < group.length; ++g) {
      for (var c = group[g].firstChild; c; c = c.nextSibling) {
        if (c.nodeType === 3 && c.data.trim() !== '') return null;
        if (c.nodeType !== 1) continue;
        if (c.childNodes.length !== 1 || c.firstChild.nodeType !== 3) return null;
        found.push(c);
      }
    }
    return found;
  }

  // Splits the piece that holds character `at` of the line so that `at` starts a piece.
  function splitAt(list, at) {
    var start = 0;
    for (var i = 0; i < list.length; ++i) {
      var text = list[i].textContent;
      if (at > start && at < start + text.length) {
        var rest = list[i].cloneNode(false);
        rest.textContent = text.substring(at - start);
        list[i].textContent = text.substring(0, at - start);
        list[i].parentNode.insertBefore(rest, list[i].nextSibling);
        list.splice(i + 1, 0, rest);
        return;
      }
      start += text.length;
    }
  }

  function reversed(text) {
    var out = '';
    for (var i = text.length - 1; i >= 0; --i) out += kMirrored[text.charAt(i)] || text.charAt(i);
    return out;
  }

  function order(line, first, last) {
    var list = pieces(line);
    if (!list || list.length === 0) return;
    var text = '';
    for (var i = 0; i < list.length; ++i) text += list[i].textContent;
    if (kRightToLeftLetter.test(text)) return;
    var firstStrong = -1, lastStrong = -1;
    for (var c = 0; c < text.length; ++c) {
      if (!kStrong.test(text.charAt(c))) continue;
      if (firstStrong < 0) firstStrong = c;
      lastStrong = c;
    }
    if (firstStrong < 0) return;
    var headEnd = first ? firstStrong : 0;
    var tailStart = last ? lastStrong + 1 : text.replace(/\s+$/, '').length;
    // A bracket closed or opened by one among the letters goes with them: "(1795)".
    var open = 0;
    for (var m = headEnd; m < tailStart; ++m) open += text.charAt(m) === '(' ? 1 : text.charAt(m) === ')' ? -1 : 0;
    for (var t = tailStart; t < text.length && open > 0; ++t)
      if (text.charAt(t) === ')') {
        --open;
        tailStart = t + 1;
      }
    var closing = 0;
    for (var n = tailStart - 1; n >= headEnd; --n) closing += text.charAt(n) === ')' ? 1 : text.charAt(n) === '(' ? -1 : 0;
    for (var h = headEnd - 1; h >= 0 && closing > 0; --h)
      if (text.charAt(h) === '(') {
        --closing;
        headEnd = h;
      }
    if (headEnd === 0 && tailStart === text.length) return;
    var x0 = parseFloat(line.getAttribute('x'));
    if (!isFinite(x0)) return;
    splitAt(list, headEnd);
    splitAt(list, tailStart);
    // The runs in the order of the text: [pieces, right to left].
    var runs = [[[], true], [[], false], [[], true]];
    var at = 0;
    for (var p = 0; p < list.length; ++p) {
      runs[at < headEnd ? 0 : at < tailStart ? 1 : 2][0].push(list[p]);
      at += list[p].textContent.length;
    }
    runs = runs.filter(function (run) { return run[0].length > 0; });
    var widths = runs.map(function (run) {
      return run[0].map(function (piece) { return piece.getComputedTextLength(); });
    });
    var left = x0;
    for (var r = 0; r < runs.length; ++r) {
      var width = widths[r].reduce(function (a, b) { return a + b; }, 0);
      if (r > 0) left -= width;
      var run = runs[r][0];
      if (runs[r][1]) {
        // A right-to-left run: its pieces from the last to the first, each read backwards.
        var cursor = left;
        for (var k = run.length - 1; k >= 0; --k) {
          run[k].textContent = reversed(run[k].textContent);
          run[k].setAttribute('x', String(cursor));
          cursor += widths[r][k];
        }
      } else {
        run[0].setAttribute('x', String(left));
      }
    }
  }

  document.addEventListener('DOMContentLoaded', function () {
    var lines = document.querySelectorAll('tspan[data-kv-rtl]');
    for (var i = 0; i < lines.length; ++i) {
      var line = lines[i];
      var siblings = line.parentNode.querySelectorAll(':scope > tspan[data-kv-rtl]');
      try {
        order(line, siblings[0] === line, siblings[siblings.length - 1] === line);
      } catch (e) {
        // the line stays as exported
      }
    }
  });
})();
