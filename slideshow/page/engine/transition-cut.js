// Cut through a colour (SMIL barWipe with subtype fadeOverColor, the office's "cut through
// black"): not in the office's show engine's table, so the colour is never seen. As in the
// office's own show, the leaving slide stays for the first third of the time, the colour for
// the second and the entering slide comes in for the last.
(function () {
  'use strict';

  function setup(stage) {
    stage.slide('out');
    var colour = stage.svg('rect', { x: 0, y: 0, width: stage.W, height: stage.H, fill: stage.info.fadeColor || '#000000' }, stage.layer);
    var entering = stage.slide('in');
    stage.data = { colour: colour, entering: entering };
  }

  function draw(stage, t) {
    var d = stage.data;
    // The colour lies over the leaving slide and under the entering one.
    d.colour.setAttribute('visibility', t > 1 / 3 ? 'visible' : 'hidden');
    d.entering.setAttribute('visibility', t > 2 / 3 ? 'visible' : 'hidden');
  }

  window.addEventListener(
    'load',
    function (event) {
      if (event.target !== document || !window.kvTransitions) return;
      window.kvTransitions.register('barWipe', ['fadeOverColor'], draw, { setup: setup });
    },
    true
  );
})();
