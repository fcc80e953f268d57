// Newsflash (SMIL zoom with subtype rotateIn): not in the office's SVG show engine, so it was a
// cut. The entering slide spins in from the centre, growing from nothing while it turns twice.
(function () {
  'use strict';

  function setup(stage) {
    stage.slide('out');
    stage.data.entering = stage.slide('in');
  }

  function draw(stage, t) {
    var cx = stage.W / 2;
    var cy = stage.H / 2;
    var s = Math.max(t, 0.001);
    stage.data.entering.setAttribute(
      'transform',
      'translate(' + cx + ',' + cy + ') rotate(' + 720 * (1 - t) + ') scale(' + s + ') translate(' + -cx + ',' + -cy + ')'
    );
  }

  window.addEventListener(
    'load',
    function (event) {
      if (event.target !== document || !window.kvTransitions) return;
      window.kvTransitions.register('zoom', ['rotateIn'], draw, { setup: setup });
    },
    true
  );
})();
