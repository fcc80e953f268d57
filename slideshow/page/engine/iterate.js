// Effects by letter and by word: the engine's `anim:iterate` container is left empty (its
// maker of iterated children does nothing), so such an effect had nothing to play and an
// entrance by letter never showed its text. Here the container gets its children as a `par`
// does: the effect plays on its whole target at once rather than letter after letter.
(function () {
  'use strict';

  function install(win) {
    if (typeof win.createIteratedNodes !== 'function' || win.createIteratedNodes.kvIterate) return;
    var filled = function (element, container, context) {
      var children = win.getElementChildren(element);
      for (var i = 0; i < children.length; ++i) {
        if (!win.createChildNode(children[i], container, context)) {
          container.removeAllChildrenNodes();
          break;
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
