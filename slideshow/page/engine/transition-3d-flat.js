// The office's 3D transitions that are patterns in the plane rather than turning slides. Like
// those in transition-3d.js they are stored as SMIL miscShapeWipe with a subtype each, and the
// office's SVG show engine knows none of them (they were cuts):
//   rightCenter    static: the slide breaks up into flickering noise and the entering slide
//                  comes out of it
//   bottomCenter   fine dissolve: the entering slide appears in fine cells, scattered
//   horizontal     ripple: the entering slide spreads from the centre in a widening ring wave
//   circle         revolving circles: concentric rings of the entering slide revolve into place
//   topRight       iris: the entering slide opens out through a turning eight-bladed iris
// The scattered ones draw from a fixed seed and, for the noise, from the step of time it is in,
// so every run shows the same pictures.
(function () {
  'use strict';

  var kit = null;

  function rect(x, y, w, h) {
    return 'M ' + x + ' ' + y + ' h ' + w + ' v ' + h + ' h ' + -w + ' Z ';
  }

  function layered(stage) {
    stage.slide('out');
    var clip = stage.clip('');
    stage.slide('in', null, { 'clip-path': clip.url });
    return clip.path;
  }

  var STATIC_COLUMNS = 48;
  var STATIC_ROWS = 36;
  var STATIC_STEPS = 60; // the noise changes this many times over the transition

  var staticNoise = {
    setup: function (stage) {
      stage.data.entering = layered(stage);
      var white = stage.clip('');
      var black = stage.clip('');
      stage.svg('rect', { x: 0, y: 0, width: stage.W, height: stage.H, fill: '#d8d8d8', 'clip-path': white.url }, stage.layer);
      stage.svg('rect', { x: 0, y: 0, width: stage.W, height: stage.H, fill: '#202020', 'clip-path': black.url }, stage.layer);
      stage.data.white = white.path;
      stage.data.black = black.path;
    },
    draw: function (stage, t) {
      var step = Math.min(STATIC_STEPS, Math.floor(t * STATIC_STEPS));
      var random = kit.random(0x73746174 + step * 7919);
      var noise = 0.7 * Math.sin(Math.PI * t);
      var w = stage.W / STATIC_COLUMNS;
      var h = stage.H / STATIC_ROWS;
      var entering = '';
      var white = '';
      var black = '';
      for (var r = 0; r < STATIC_ROWS; ++r) {
        for (var c = 0; c < STATIC_COLUMNS; ++c) {
          var cell = rect(c * w, r * h, w * 1.01, h * 1.01);
          var pick = random();
          if (pick < noise) {
            if (random() < 0.5) white += cell;
            else black += cell;
          } else if (random() < t) {
            entering += cell;
          }
        }
      }
      stage.data.entering.setAttribute('d', entering || 'M 0 0 Z');
      stage.data.white.setAttribute('d', white || 'M 0 0 Z');
      stage.data.black.setAttribute('d', black || 'M 0 0 Z');
    }
  };

  var DISSOLVE_COLUMNS = 64;
  var DISSOLVE_ROWS = 48;

  var fineDissolve = {
    setup: function (stage) {
      stage.data.path = layered(stage);
      var random = kit.random(0x66696e65);
      var cells = [];
      for (var i = 0; i < DISSOLVE_COLUMNS * DISSOLVE_ROWS; ++i) cells.push({ i: i, at: random() });
      cells.sort(function (a, b) {
        return a.at - b.at || a.i - b.i;
      });
      stage.data.cells = cells;
    },
    draw: function (stage, t) {
      var cells = stage.data.cells;
      var w = stage.W / DISSOLVE_COLUMNS;
      var h = stage.H / DISSOLVE_ROWS;
      var n = Math.round(t * cells.length);
      var d = '';
      for (var k = 0; k < n; ++k) {
        var i = cells[k].i;
        d += rect((i % DISSOLVE_COLUMNS) * w, Math.floor(i / DISSOLVE_COLUMNS) * h, w * 1.01, h * 1.01);
      }
      stage.data.path.setAttribute('d', d || 'M 0 0 Z');
    }
  };

  function circle(cx, cy, r) {
    if (r <= 0) return 'M ' + cx + ' ' + cy + ' Z ';
    return 'M ' + (cx - r) + ' ' + cy + ' a ' + r + ' ' + r + ' 0 1 0 ' + 2 * r + ' 0 a ' + r + ' ' + r + ' 0 1 0 ' + -2 * r + ' 0 Z ';
  }

  // Counter-clockwise, so that with the clockwise circle() it leaves a hole (non-zero rule).
  function hole(cx, cy, r) {
    if (r <= 0) return '';
    return 'M ' + (cx - r) + ' ' + cy + ' a ' + r + ' ' + r + ' 0 1 1 ' + 2 * r + ' 0 a ' + r + ' ' + r + ' 0 1 1 ' + -2 * r + ' 0 Z ';
  }

  var ripple = {
    setup: function (stage) {
      var d = stage.data;
      stage.slide('out');
      d.outerClip = stage.clip('');
      d.outer = stage.slide('out', null, { 'clip-path': d.outerClip.url });
      d.innerClip = stage.clip('');
      d.inner = stage.slide('in', null, { 'clip-path': d.innerClip.url });
      d.waveClip = stage.clip('');
      d.wave = stage.slide('in', null, { 'clip-path': d.waveClip.url });
      d.crest = stage.svg('circle', { cx: stage.W / 2, cy: stage.H / 2, r: 0, fill: 'none', stroke: '#ffffff' }, stage.layer);
    },
    draw: function (stage, t) {
      var d = stage.data;
      var cx = stage.W / 2;
      var cy = stage.H / 2;
      var reach = Math.sqrt(cx * cx + cy * cy);
      var band = reach * 0.12;
      var r = kit.ease(t) * (reach + band);
      var swell = 0.06 * Math.sin(Math.PI * t);
      var around = function (scale) {
        return 'translate(' + cx + ',' + cy + ') scale(' + scale + ') translate(' + -cx + ',' + -cy + ')';
      };
      // Just outside the crest the leaving slide is pushed outwards, just inside it the entering
      // slide is drawn in: a ring wave runs over the slide.
      d.outerClip.path.setAttribute('d', circle(cx, cy, r + band) + hole(cx, cy, r));
      d.outer.setAttribute('transform', around(1 + swell));
      d.innerClip.path.setAttribute('d', circle(cx, cy, Math.max(0, r - band)));
      d.waveClip.path.setAttribute('d', circle(cx, cy, r) + hole(cx, cy, Math.max(0, r - band)));
      d.wave.setAttribute('transform', around(1 - swell));
      d.crest.setAttribute('r', String(r));
      d.crest.setAttribute('stroke-width', String(band * 0.25));
      d.crest.setAttribute('stroke-opacity', String(0.35 * Math.sin(Math.PI * t)));
    }
  };

  var RINGS = 7;

  var revolvingCircles = {
    setup: function (stage) {
      var d = stage.data;
      stage.slide('out');
      var cx = stage.W / 2;
      var cy = stage.H / 2;
      var reach = Math.sqrt(cx * cx + cy * cy);
      d.rings = [];
      for (var k = 0; k < RINGS; ++k) {
        var outer = (reach * (RINGS - k)) / RINGS;
        var inner = (reach * (RINGS - k - 1)) / RINGS;
        var clip = stage.clip(circle(cx, cy, outer * 1.01) + hole(cx, cy, inner));
        var group = stage.svg('g', { 'clip-path': clip.url }, stage.layer);
        d.rings.push({ group: group, use: stage.slide('in', group), sign: k % 2 === 0 ? 1 : -1 });
      }
    },
    draw: function (stage, t) {
      var rings = stage.data.rings;
      for (var k = 0; k < rings.length; ++k) {
        var s = kit.ease(kit.staggered(t, k, rings.length, 0.55)); // the outer rings first
        var a = rings[k].sign * 180 * (1 - s);
        rings[k].use.setAttribute('transform', 'rotate(' + a + ',' + stage.W / 2 + ',' + stage.H / 2 + ')');
        rings[k].group.setAttribute('opacity', String(Math.min(1, 2 * s)));
      }
    }
  };

  var iris = {
    setup: function (stage) {
      stage.data.path = layered(stage);
    },
    draw: function (stage, t) {
      var cx = stage.W / 2;
      var cy = stage.H / 2;
      var reach = Math.sqrt(cx * cx + cy * cy) / Math.cos(Math.PI / 8);
      var r = kit.ease(t) * reach;
      var turnBy = (Math.PI / 2) * (1 - t);
      var d = '';
      for (var k = 0; k < 8; ++k) {
        var a = turnBy + (Math.PI / 4) * k;
        d += (k === 0 ? 'M ' : ' L ') + (cx + r * Math.cos(a)) + ' ' + (cy + r * Math.sin(a));
      }
      stage.data.path.setAttribute('d', r > 0 ? d + ' Z' : 'M 0 0 Z');
    }
  };

  window.addEventListener(
    'load',
    function (event) {
      if (event.target !== document || !window.kvTransitions) return;
      kit = window.kvTransitions;
      var add = function (subtype, transition) {
        kit.register('miscShapeWipe', [subtype], transition.draw, { setup: transition.setup });
      };
      add('rightCenter', staticNoise);
      add('bottomCenter', fineDissolve);
      add('horizontal', ripple);
      add('circle', revolvingCircles);
      add('topRight', iris);
    },
    true
  );
})();
