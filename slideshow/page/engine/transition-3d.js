// The office's 3D transitions, whose slides turn in space: the office stores them as SMIL
// miscShapeWipe with a subtype each, and its SVG show engine knows none of them (they were
// cuts). Here the slides' pieces are faces of an HTML layer turned with CSS 3D transforms (see
// Stage.scene in transition-kit.js), each face a live copy of its part of a slide:
//   cornersOut     outside cube: the slides are two faces of a cube turning to the left
//   cornersIn      inside cube: the same, seen from inside the cube
//   across         tile flip: 8 x 6 tiles flip over one after another, left to right
//   leftToRight    fall: the leaving slide falls backwards and shows the entering one
//   topToBottom    turn around: the slide turns round, the entering slide on its back
//   topLeft        turn down: the entering slide swings down about its top left corner
//   bottomLeft     rochade: the slides change places, one passing behind the other
//   fanOutHorizontal  turning helix: horizontal strips turn round one after another
//   bottomRight    venetian blinds 3D, vertical: 8 slats turn round
//   topCenter      venetian blinds 3D, horizontal: 6 slats turn round
//   vertical       vortex: the leaving slide's tiles whirl away about the centre
//   heart          glitter: small tiles flip over in a scattered order
//   isosceles      honeycomb: the entering slide grows in as hexagonal cells from the centre.
//                  The office writes no token for this subtype (its documents and its SVG
//                  export lose it), so a miscShapeWipe without a subtype is honeycomb too: it
//                  is the only one of the set that arrives so.
(function () {
  'use strict';

  var kit = null;

  function deg(a) {
    return a + 'deg';
  }

  // One face per cell that shows the leaving slide until it has turned half way, then the
  // entering slide (the face's back, turned the other way round so it reads right).
  function flipper(stage, scene, x, y, w, h, clipUrl) {
    var face = stage.face(scene, 'out', x, y, w, h, clipUrl);
    var use = face.querySelector('use');
    return { face: face, use: use, side: 'out' };
  }

  function turn(stage, cell, angle, axis, extra) {
    var back = angle > 90;
    var side = back ? 'in' : 'out';
    if (cell.side !== side) {
      cell.use.setAttributeNS('http://www.w3.org/1999/xlink', 'href', '#' + (back ? stage.enteringId : stage.leavingId));
      cell.side = side;
    }
    var shown = back ? angle - 180 : angle;
    cell.face.style.transform = (extra || '') + axis + '(' + deg(shown) + ')';
  }

  function grid(stage, columns, rows) {
    var cells = [];
    var w = stage.W / columns;
    var h = stage.H / rows;
    for (var r = 0; r < rows; ++r) {
      for (var c = 0; c < columns; ++c) cells.push({ x: c * w, y: r * h, w: w, h: h, c: c, r: r });
    }
    return cells;
  }

  // Tiles, strips and slats that flip: `order(cell)` in [0, 1] says when a cell starts.
  function flipping(columns, rows, axis, share, order, seed) {
    return {
      setup: function (stage) {
        var random = kit.random(seed || 1);
        var scene = stage.scene(2.5);
        var cells = grid(stage, columns, rows);
        for (var i = 0; i < cells.length; ++i) {
          var cell = cells[i];
          cell.flip = flipper(stage, scene, cell.x, cell.y, cell.w, cell.h);
          cell.start = order(cell, columns, rows, random) * (1 - share);
        }
        stage.data.cells = cells;
      },
      draw: function (stage, t) {
        var cells = stage.data.cells;
        for (var i = 0; i < cells.length; ++i) {
          var s = kit.ease((t - cells[i].start) / share);
          turn(stage, cells[i].flip, 180 * s, axis);
        }
      }
    };
  }

  function cube(inside) {
    return {
      setup: function (stage) {
        var scene = stage.scene(inside ? 3 : 2);
        stage.data.out = stage.face(scene, 'out', 0, 0, stage.W, stage.H);
        stage.data.entering = stage.face(scene, 'in', 0, 0, stage.W, stage.H);
      },
      draw: function (stage, t) {
        var e = kit.ease(t);
        var half = stage.W / 2;
        var away = 'translateZ(' + stage.px(-0.35 * stage.W * Math.sin(Math.PI * e)) + ') ';
        var sign = inside ? -1 : 1; // the centre of the cube: behind the slide, or in front of it
        var a = inside ? 90 : -90;
        var pivot = function (angle) {
          return away + 'translateZ(' + stage.px(-sign * half) + ') rotateY(' + deg(angle) + ') translateZ(' + stage.px(sign * half) + ')';
        };
        stage.data.out.style.transform = pivot(a * e);
        stage.data.entering.style.transform = pivot(-a * (1 - e));
      }
    };
  }

  var fall = {
    setup: function (stage) {
      var scene = stage.scene(2);
      stage.face(scene, 'in', 0, 0, stage.W, stage.H);
      var out = stage.face(scene, 'out', 0, 0, stage.W, stage.H);
      out.style.transformOrigin = '50% 100%';
      stage.data.out = out;
    },
    draw: function (stage, t) {
      var a = 90 * t * t; // falls faster and faster
      stage.data.out.style.transform = 'rotateX(' + deg(a) + ')';
      stage.data.out.style.visibility = a >= 89.5 ? 'hidden' : 'visible';
    }
  };

  var turnAround = {
    setup: function (stage) {
      var scene = stage.scene(2);
      stage.data.flip = flipper(stage, scene, 0, 0, stage.W, stage.H);
    },
    draw: function (stage, t) {
      var e = kit.ease(t);
      var back = 'translateZ(' + stage.px(-0.8 * stage.W * Math.sin(Math.PI * e)) + ') ';
      turn(stage, stage.data.flip, 180 * e, 'rotateY', back);
    }
  };

  var turnDown = {
    setup: function (stage) {
      stage.slide('out');
      var entering = stage.slide('in');
      stage.data.entering = entering;
    },
    draw: function (stage, t) {
      var a = -90 * (1 - kit.ease(t));
      stage.data.entering.setAttribute('transform', 'rotate(' + a + ')');
    }
  };

  var rochade = {
    setup: function (stage) {
      var scene = stage.scene(2);
      stage.data.scene = scene;
      stage.data.entering = stage.face(scene, 'in', 0, 0, stage.W, stage.H);
      stage.data.out = stage.face(scene, 'out', 0, 0, stage.W, stage.H);
    },
    draw: function (stage, t) {
      var d = stage.data;
      var e = kit.ease(t);
      var side = 0.65 * stage.W * Math.sin(Math.PI * e);
      var swing = 35 * Math.sin(Math.PI * e);
      d.out.style.transform = 'translate3d(' + stage.px(side) + ',0,' + stage.px(-1.2 * stage.W * e) + ') rotateY(' + deg(-swing) + ')';
      d.entering.style.transform = 'translate3d(' + stage.px(-side) + ',0,' + stage.px(-1.2 * stage.W * (1 - e)) + ') rotateY(' + deg(swing) + ')';
      // The nearer slide is drawn last.
      var front = e < 0.5 ? d.out : d.entering;
      if (d.scene.lastChild !== front) d.scene.appendChild(front);
    }
  };

  var vortex = {
    setup: function (stage) {
      stage.slide('in');
      var scene = stage.scene(2);
      var random = kit.random(0x766f7274);
      var cells = grid(stage, 10, 8);
      var cx = stage.W / 2;
      var cy = stage.H / 2;
      for (var i = 0; i < cells.length; ++i) {
        var cell = cells[i];
        cell.face = stage.face(scene, 'out', cell.x, cell.y, cell.w, cell.h);
        cell.face.style.transformOrigin = stage.px(cx - cell.x) + ' ' + stage.px(cy - cell.y);
        var dx = cell.x + cell.w / 2 - cx;
        var dy = cell.y + cell.h / 2 - cy;
        var far = Math.sqrt(dx * dx + dy * dy) / Math.sqrt(cx * cx + cy * cy);
        cell.start = 0.5 * (1 - far) * 0.8 + 0.2 * random(); // the middle goes first
        cell.spin = 90 + 180 * random();
      }
      stage.data.cells = cells;
    },
    draw: function (stage, t) {
      var cells = stage.data.cells;
      for (var i = 0; i < cells.length; ++i) {
        var cell = cells[i];
        var s = kit.clamp((t - cell.start) / 0.5);
        var e = s * s;
        cell.face.style.transform =
          'rotateZ(' + deg(360 * e) + ') translateZ(' + stage.px(-2 * stage.W * e) + ') rotateY(' + deg(cell.spin * e) + ')';
        cell.face.style.opacity = String(1 - e);
        cell.face.style.visibility = s >= 1 ? 'hidden' : 'visible';
      }
    }
  };

  // Hexagonal cells of radius r around (x, y), as path data.
  function hexagon(x, y, r) {
    var d = '';
    for (var k = 0; k < 6; ++k) {
      var a = (Math.PI / 3) * k;
      d += (k === 0 ? 'M ' : ' L ') + (x + r * Math.cos(a)) + ' ' + (y + r * Math.sin(a));
    }
    return d + ' Z';
  }

  var honeycomb = {
    setup: function (stage) {
      stage.slide('out');
      var scene = stage.scene(2);
      var r = stage.W / 12;
      var cx = stage.W / 2;
      var cy = stage.H / 2;
      var cells = [];
      var dxStep = 1.5 * r;
      var dyStep = Math.sqrt(3) * r;
      for (var c = -1; c * dxStep <= stage.W + r; ++c) {
        for (var row = -1; row * dyStep <= stage.H + r; ++row) {
          var x = c * dxStep;
          var y = row * dyStep + (c % 2 !== 0 ? dyStep / 2 : 0);
          var grown = r * 1.04; // a little over, so that no seam is left between cells
          var clip = stage.clip(hexagon(x, y, grown));
          var face = stage.face(scene, 'in', x - grown, y - grown, 2 * grown, 2 * grown, clip.url);
          var far = Math.sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy)) / Math.sqrt(cx * cx + cy * cy);
          cells.push({ face: face, start: Math.min(1, far) * 0.55 });
        }
      }
      stage.data.cells = cells;
    },
    draw: function (stage, t) {
      var cells = stage.data.cells;
      for (var i = 0; i < cells.length; ++i) {
        var s = kit.ease((t - cells[i].start) / 0.45);
        cells[i].face.style.transform = 'rotate3d(1,1,0,' + deg(90 * (1 - s)) + ') scale(' + Math.max(s, 0.001) + ')';
        cells[i].face.style.visibility = s <= 0 ? 'hidden' : 'visible';
      }
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
      add('cornersOut', cube(false));
      add('cornersIn', cube(true));
      add(
        'across',
        flipping(8, 6, 'rotateY', 0.45, function (cell, columns, rows) {
          return (cell.c + cell.r * 0.5) / (columns - 1 + (rows - 1) * 0.5);
        })
      );
      add('leftToRight', fall);
      add('topToBottom', turnAround);
      add('topLeft', turnDown);
      add('bottomLeft', rochade);
      add(
        'fanOutHorizontal',
        flipping(1, 20, 'rotateY', 0.35, function (cell, columns, rows) {
          return cell.r / (rows - 1);
        })
      );
      add(
        'bottomRight',
        flipping(8, 1, 'rotateY', 0.8, function (cell, columns) {
          return cell.c / (columns - 1);
        })
      );
      add(
        'topCenter',
        flipping(1, 6, 'rotateX', 0.8, function (cell, columns, rows) {
          return cell.r / (rows - 1);
        })
      );
      add('vertical', vortex);
      add(
        'heart',
        flipping(
          12,
          9,
          'rotateY',
          0.2,
          function (cell, columns, rows, random) {
            return 0.6 * (cell.c / (columns - 1)) + 0.4 * random();
          },
          0x676c6974
        )
      );
      add('isosceles', honeycomb);
      add('default', honeycomb);
    },
    true
  );
})();
