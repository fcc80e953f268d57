// Wipes reversed by turning their shape half round (the snake wipes from the bottom right, for
// one): the engine's ClippingFunctor turns the shape with SVGMatrix.setToRotationAroundPoint,
// a method the engine's own script adds to SVGMatrix's prototype. In long shows the matrix at
// hand has been seen without it ("aMatrix.setToRotationAroundPoint is not a function"), and the
// show ended there. Here the half turn about the middle of the unit square is made from plain
// numbers instead; every other case is left to the engine.
(function () {
  'use strict';

  function install(win) {
    var Original = win.ClippingFunctor;
    if (typeof Original !== 'function' || Original.kvPatched || win.REVERSEMETHOD_ROTATE_180 === undefined) return;
    var Patched = function (aParametricPolyPolygon, aTransitionInfo, bIsDirectionForward, bIsModeIn) {
      var turned = !bIsDirectionForward && aTransitionInfo && aTransitionInfo.reverseMethod === win.REVERSEMETHOD_ROTATE_180;
      Original.call(this, aParametricPolyPolygon, aTransitionInfo, turned ? true : bIsDirectionForward, bIsModeIn);
      if (!turned) return;
      var half = win.document.documentElement.createSVGMatrix(); // (x, y) -> (1 - x, 1 - y)
      half.a = -1;
      half.b = 0;
      half.c = 0;
      half.d = -1;
      half.e = 1;
      half.f = 1;
      this.aStaticTransformation = half.multiply(this.aStaticTransformation);
    };
    Patched.prototype = Original.prototype;
    Patched.aBoundingPath = Original.aBoundingPath;
    Patched.kvPatched = true;
    win.ClippingFunctor = Patched;
  }

  window.addEventListener(
    'load',
    function (event) {
      if (event.target !== document) return; // an image or other part of the page loaded
      try {
        install(window);
      } catch (e) {
        // an engine of another make: left as it is
      }
    },
    true
  );
})();
