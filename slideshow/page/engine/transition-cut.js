// Cut through a colour (SMIL barWipe with subtype fadeOverColor, the office's "cut through
// black"): not in the office's show engine's table, so the colour is never seen. As in the
// office's show, the leaving slide is cut to the colour at once and the colour is cut to the
// entering slide at the end.
(function () {
  'use strict';

  function setup(stage) {
    var out = stage.slide('out');
    var colour = stage.svg('rect', { x: 0, y: 0, width: stage.W, height: stage.H, fill: stage.info.fadeColor || '#000000' }, stage.layer);
    var entering = stage.slide('in');
    stage.data = { out: out, colour: colour, entering: entering };
  }

  function draw(stage, t) {
    var d = stage.data;
    d.out.setAttribute('visibility', t < 0.05 ? 'visible' : 'hidden');
    d.entering.setAttribute('visibility', t > 0.95 ? 'visible' : 'hidden');
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
