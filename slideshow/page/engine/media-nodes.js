// Sounds and media commands: the engine makes no node for `anim:audio` and `anim:command`,
// and an effect with a child it cannot make loses all its children. So an effect that plays
// a sound (common in decks from PowerPoint) did nothing at all. Here such children are left
// out of their effect, which then plays without them; the film has no sound of the show.
(function () {
  'use strict';

  function install(win) {
    var createChild = win.createChildNode;
    if (typeof createChild !== 'function' || createChild.kvMediaNodes) return;
    var skipped = {};
    skipped[win.ANIMATION_NODE_AUDIO] = true;
    skipped[win.ANIMATION_NODE_COMMAND] = true;
    var wrapped = function (element) {
      if (element && skipped[win.getAnimationElementType(element)]) return true;
      return createChild.apply(this, arguments);
    };
    wrapped.kvMediaNodes = true;
    win.createChildNode = wrapped;
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
