// - "fields": the text fields of master pages (slide number, date and time, footer, header).
//   The export writes each as a placeholder text ("<number>", "<date/time>", "<footer>") that
//   the engine replaces on every slide. When the placeholder's box is narrower than the
//   placeholder text, the export breaks that text over several lines, one placeholder piece
//   each ("<numbe" "r>", or "<" "nu" "m" "be" "r>"). The engine looks for exactly one
//   placeholder in a field and, finding several, drops the field: the slide number then shows
//   on no slide. Here the pieces become one placeholder again, in the first line's place,
//   before the engine reads the master pages.
//   A variable date comes without its format (the export writes none for the office's
//   default one), and the engine writes it in the browser's own form ("12/9/2026"); here it
//   is the office's short form, two digits each for month, day and year ("12/09/26"), on the
//   film clock's day.
(function () {
  'use strict';

  var kFieldClasses = ['Slide_Number', 'Date/Time', 'Footer', 'Header'];

  function byClass(root, name) {
    var found = [];
    var all = root.getElementsByTagName('*');
    for (var i = 0; i < all.length; ++i)
      if (all[i].getAttribute('class') === name) found.push(all[i]);
    return found;
  }

  // Removes `node` and then each ancestor below `stop` that is left without text.
  function removeUpTo(node, stop) {
    while (node && node !== stop) {
      var parent = node.parentNode;
      parent.removeChild(node);
      if (parent === stop || (parent.textContent && parent.textContent.trim() !== '')) return;
      node = parent;
    }
  }

  // Joins the placeholder pieces of every field of the master pages; the number of fields
  // mended.
  function joinPlaceholders(doc) {
    var mended = 0;
    var masters = byClass(doc.documentElement, 'Master_Slide');
    for (var m = 0; m < masters.length; ++m) {
      for (var c = 0; c < kFieldClasses.length; ++c) {
        var fields = byClass(masters[m], kFieldClasses[c]);
        for (var f = 0; f < fields.length; ++f) {
          var texts = byClass(fields[f], 'SVGTextShape');
          if (texts.length !== 1) continue;
          var pieces = byClass(texts[0], 'PlaceholderText');
          if (pieces.length < 2) continue;
          var whole = '';
          for (var p = 0; p < pieces.length; ++p) whole += pieces[p].textContent;
          pieces[0].textContent = whole;
          for (var q = 1; q < pieces.length; ++q) removeUpTo(pieces[q], texts[0]);
          ++mended;
        }
      }
    }
    return mended;
  }

  function pad(n) {
    return (n < 10 ? '0' : '') + n;
  }

  function shortDate(win) {
    var Provider = win.CurrentDateTimeProvider;
    if (typeof Provider !== 'function' || !Provider.prototype.createDateTimeText) return;
    var engineText = Provider.prototype.createDateTimeText;
    Provider.prototype.createDateTimeText = function () {
      if (this.dateTimeFormat === '<time>') return engineText.call(this);
      var now = new win.Date();
      return pad(now.getMonth() + 1) + '/' + pad(now.getDate()) + '/' + pad(now.getFullYear() % 100);
    };
  }

  // Once the engine's script has run, before its window.onload reads the master pages: a
  // load listener may come after that onload, and the fields are then read unmended.
  document.addEventListener('DOMContentLoaded', function () {
    if (typeof window.MetaDocument !== 'function') return;
    try {
      joinPlaceholders(document);
      shortDate(window);
    } catch (e) {
      // an engine of another make: left as it is
    }
  });
})();
