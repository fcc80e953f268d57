// Uncover and the diagonal cover: the slide wipes the office's show engine plays as cuts.
//
// - Uncover is a slide wipe reversed: the leaving slide moves away and shows the entering one
//   beneath it. The engine moves the leaving slide but draws it under the entering slide, so
//   nothing is seen moving.
// - The wipes from a corner (subtypes fromTopLeft, fromTopRight, fromBottomLeft,
//   fromBottomRight), covering or uncovering, are not in the engine's table at all.
// Here both slides are drawn on a stage (transition-kit.js) in the right order.
(function () {
  'use strict';

  var DIRECTIONS = {
    fromLeft: [1, 0],
    fromRight: [-1, 0],
    fromTop: [0, 1],
    fromBottom: [0, -1],
    fromTopLeft: [1, 1],
    fromTopRight: [-1, 1],
    fromBottomLeft: [1, -1],
    fromBottomRight: [-1, -1]
  };

  function setup(stage) {
    var cover = !stage.info.reverse;
    // The moving slide is drawn last, over the one that stands.
    var still = stage.slide(cover ? 'out' : 'in');
    var moving = stage.slide(cover ? 'in' : 'out');
    stage.data = { still: still, moving: moving, cover: cover, direction: DIRECTIONS[stage.info.subtype] || [1, 0] };
  }

  function draw(stage, t) {
    var d = stage.data;
    var s = d.cover ? t - 1 : t; // cover: from one slide off to in place; uncover: from in place to off
    var dx = s * d.direction[0] * stage.W;
    var dy = s * d.direction[1] * stage.H;
    d.moving.setAttribute('transform', 'translate(' + dx + ',' + dy + ')');
  }

  window.addEventListener(
    'load',
    function (event) {
      if (event.target !== document || !window.kvTransitions) return;
      var kit = window.kvTransitions;
      kit.register('slideWipe', Object.keys(DIRECTIONS), draw, { setup: setup, reverse: true });
      kit.register('slideWipe', ['fromTopLeft', 'fromTopRight', 'fromBottomLeft', 'fromBottomRight'], draw, {
        setup: setup,
        reverse: false
      });
    },
    true
  );
})();
