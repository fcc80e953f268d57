// - "matrix": the engine adds setToRotationAroundPoint (and setToIdentity) to
//   SVGMatrix.prototype and calls it on a matrix from createSVGMatrix() when a reversed clip
//   wipe turns its clip by 180 degrees (snake and diagonal wipes, reversed shape effects). In
//   some runs the matrices made there did not have it ("aMatrix.setToRotationAroundPoint is
//   not a function"): the transition became a cut, or the show ended. Now the prototype of the
//   matrices createSVGMatrix() makes has it, and every such matrix is checked. The engine's
//   setToIdentity goes along with it, and both are on DOMMatrix's prototype too.
(function () {
  'use strict';

  // The engine's own definition: a rotation by nAngle degrees around (nX, nY).
  function setToRotationAroundPoint(nX, nY, nAngle) {
    nAngle = (Math.PI * nAngle) / 180;
    var nSin = Math.sin(nAngle);
    var nCos = Math.cos(nAngle);
    this.a = nCos;
    this.c = -nSin;
    this.e = nX * (1 - nCos) + nY * nSin;
    this.b = nSin;
    this.d = nCos;
    this.f = nY * (1 - nCos) - nX * nSin;
  }

  function give(target, name, value) {
    if (!target || typeof target[name] === 'function') return;
    try {
      Object.defineProperty(target, name, { value: value, configurable: true, writable: true });
    } catch (e) {
      // an object that takes no properties
    }
  }

  function addMatrixHelpers(win) {
    var svg = win.SVGSVGElement && win.SVGSVGElement.prototype;
    var root = win.document.documentElement;
    if (!svg || typeof svg.createSVGMatrix !== 'function' || !root || typeof root.createSVGMatrix !== 'function')
      return;
    var engine = win.SVGMatrix && win.SVGMatrix.prototype;
    if (!engine || typeof win.ClippingFunctor !== 'function') return; // not the office's engine
    var rotate = typeof engine.setToRotationAroundPoint === 'function' ? engine.setToRotationAroundPoint : setToRotationAroundPoint;
    var made = Object.getPrototypeOf(root.createSVGMatrix());
    if (made !== engine || typeof engine.setToRotationAroundPoint !== 'function') {
      win.console.log('kavreto: createSVGMatrix() makes matrices without the engine\'s helpers (' +
                      (made === engine ? 'same prototype' : 'another prototype') + ')');
    }
    give(engine, 'setToRotationAroundPoint', rotate);
    var targets = [made, win.DOMMatrix && win.DOMMatrix.prototype];
    for (var i = 0; i < targets.length; ++i) {
      give(targets[i], 'setToRotationAroundPoint', rotate);
      if (typeof engine.setToIdentity === 'function') give(targets[i], 'setToIdentity', engine.setToIdentity);
    }
    var create = svg.createSVGMatrix;
    svg.createSVGMatrix = function createSVGMatrix() {
      var matrix = create.apply(this, arguments);
      give(matrix, 'setToRotationAroundPoint', rotate);
      return matrix;
    };
  }

  // Once the engine's script has run, before its window.onload starts the show.
  document.addEventListener('DOMContentLoaded', function () {
    try {
      addMatrixHelpers(window);
    } catch (e) {
      // an engine of another make: left as it is
    }
  });
})();
