// Effects by letter and by word: the engine's `anim:iterate` container is left empty (its
// maker of iterated children does nothing), so such an effect had nothing to play and an
// entrance by letter never showed its text. Here the container gets its children as a `par`
// does, with the container's target (the office writes the target on the container only):
// the effect plays on its whole target at once rather than letter after letter.
(function () {
  'use strict';

  function install(win) {
    if (typeof win.createIteratedNodes !== 'function' || win.createIteratedNodes.kvIterate || !win.NSS) return;
    var smil = win.NSS.smil;
    var anim = win.NSS.anim;
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
      for (var j = 0; j < children.length; ++j) {
        if (!win.createChildNode(children[j], container, context)) {
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
