// Comb (SMIL pushWipe with subtype combHorizontal or combVertical): not in the office's show
// engine's table, so it plays as a cut. The slides are cut into strips like the teeth of a
// comb; the entering slide's strips push in from alternate sides, pushing the leaving slide's
// strips out: horizontal strips from the left and the right, vertical strips from the top and
// the bottom.
(function () {
  'use strict';

  var TEETH = 10;

  function strips(stage, horizontal, odd) {
    var size = (horizontal ? stage.H : stage.W) / TEETH;
    var d = '';
    for (var i = odd ? 1 : 0; i < TEETH; i += 2) {
      var at = i * size;
      d += horizontal
        ? 'M 0 ' + at + ' H ' + stage.W + ' V ' + (at + size) + ' H 0 Z '
        : 'M ' + at + ' 0 V ' + stage.H + ' H ' + (at + size) + ' V 0 Z ';
    }
    return d;
  }

  function setup(stage) {
    var horizontal = stage.info.subtype !== 'combVertical';
    var parts = [];
    for (var odd = 0; odd < 2; ++odd) {
      var clip = stage.clip(strips(stage, horizontal, odd === 1));
      // Each group of teeth moves as one, with both slides inside it side by side.
      var group = stage.svg('g', { 'clip-path': clip.url }, stage.layer);
      var teeth = stage.svg('g', {}, group);
      stage.slide('out', teeth);
      var entering = stage.slide('in', teeth);
      var side = odd === 1 ? 1 : -1; // even teeth come from the left (top), odd ones from the right (bottom)
      entering.setAttribute('transform', horizontal ? 'translate(' + side * stage.W + ',0)' : 'translate(0,' + side * stage.H + ')');
      parts.push({ teeth: teeth, side: side });
    }
    stage.data = { parts: parts, horizontal: horizontal };
  }

  function draw(stage, t) {
    var d = stage.data;
    for (var i = 0; i < d.parts.length; ++i) {
      var shift = -d.parts[i].side * t * (d.horizontal ? stage.W : stage.H);
      d.parts[i].teeth.setAttribute('transform', d.horizontal ? 'translate(' + shift + ',0)' : 'translate(0,' + shift + ')');
    }
  }

  window.addEventListener(
    'load',
    function (event) {
      if (event.target !== document || !window.kvTransitions) return;
      window.kvTransitions.register('pushWipe', ['combHorizontal', 'combVertical'], draw, { setup: setup });
    },
    true
  );
})();
