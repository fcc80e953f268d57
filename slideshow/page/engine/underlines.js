// - "underlines": the export writes a paragraph's underline on the paragraph's element and
//   text-decoration="none" on its runs that are not underlined (often the leading spaces of
//   a line, or a word after the underlined ones). In SVG, as in CSS, a decoration is drawn by
//   the element that sets it across all it holds, and "none" on a run inside does not take it
//   away: the browser underlines the whole paragraph. Here a decoration set on an element that
//   holds its text only in inner elements moves down to those of them that set none of their
//   own, so each run is underlined as the office draws it.
(function () {
  'use strict';

  // Whether `element` holds text of its own outside its child elements.
  function holdsOwnText(element) {
    for (var node = element.firstChild; node; node = node.nextSibling)
      if (node.nodeType === 3 && node.nodeValue.trim() !== '') return true;
    return false;
  }

  // Moves the decoration of `element` down to its child elements, and theirs on down.
  function moveDown(element) {
    var value = element.getAttribute('text-decoration');
    if (!value || value === 'none' || !element.firstElementChild || holdsOwnText(element)) return;
    for (var child = element.firstElementChild; child; child = child.nextElementSibling) {
      if (!child.hasAttribute('text-decoration')) child.setAttribute('text-decoration', value);
      moveDown(child);
    }
    element.removeAttribute('text-decoration');
  }

  function pushDown(doc) {
    var decorated = doc.querySelectorAll('text[text-decoration], tspan[text-decoration]');
    for (var i = 0; i < decorated.length; ++i) moveDown(decorated[i]);
  }

  document.addEventListener('DOMContentLoaded', function () {
    if (typeof window.MetaDocument !== 'function') return;
    try {
      pushDown(document);
    } catch (e) {
      // an engine of another make: left as it is
    }
  });
})();
