// Venetian blinds (SMIL blindsWipe): the office's show engine has no such transition and plays
// it as a cut. The entering slide shows through six blinds that open together: horizontal
// blinds (subtype horizontal) open from their top edge down, vertical ones (subtype vertical)
// from their left edge to the right.
(function () {
  'use strict';

  var BLINDS = 6;

  function setup(stage) {
    stage.slide('out');
    var clip = stage.clip('');
    stage.slide('in', null, { 'clip-path': clip.url });
    stage.data = { path: clip.path };
  }

  function draw(stage, t) {
    var horizontal = stage.info.subtype !== 'vertical';
    var size = (horizontal ? stage.H : stage.W) / BLINDS;
    var open = t * size;
    var d = '';
    for (var i = 0; i < BLINDS; ++i) {
      var at = i * size;
      d += horizontal
        ? 'M 0 ' + at + ' H ' + stage.W + ' V ' + (at + open) + ' H 0 Z '
        : 'M ' + at + ' 0 V ' + stage.H + ' H ' + (at + open) + ' V 0 Z ';
    }
    stage.data.path.setAttribute('d', d || 'M 0 0 Z');
  }

  window.addEventListener(
    'load',
    function (event) {
      if (event.target !== document || !window.kvTransitions) return;
      window.kvTransitions.register('blindsWipe', ['horizontal', 'vertical'], draw, { setup: setup });
    },
    true
  );
})();
