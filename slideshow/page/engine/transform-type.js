// Scale and rotate: the office exports `anim:animateTransform` with its kind in a plain
// `type` attribute, while the engine reads `svg:type`; not finding it, the engine marks the
// node invalid, so no scale or rotation preset (spin, grow and shrink, zoom, curve up...)
// played. Here the kind is copied to the name the engine reads before the node is made.
(function () {
  'use strict';

  function install(win) {
    var createNode = win.createAnimationNode;
    if (typeof createNode !== 'function' || createNode.kvTransformType) return;
    var transformType = win.ANIMATION_NODE_ANIMATETRANSFORM;
    var wrapped = function (element) {
      if (element && win.getAnimationElementType(element) === transformType && !element.getAttribute('svg:type')) {
        var type = element.getAttribute('type');
        if (type) element.setAttribute('svg:type', type);
      }
      return createNode.apply(this, arguments);
    };
    wrapped.kvTransformType = true;
    win.createAnimationNode = wrapped;
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
