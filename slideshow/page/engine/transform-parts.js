// Moves and scales that the film did not see: the engine writes a shape's transform through
// the SVG object model (transform.baseVal ... setMatrix), which changes the picture without a
// mutation of the document; the film takes a frame in which nothing mutated for a frame in
// which nothing changed and repeats the last picture, so fly in, zoom, stretchy and every
// other move or scale stood still in the film while they played on the wall clock. Here the
// transform is written as the element's attribute.
// The engine also moved a shape by translating its current matrix, which scales the move
// when the shape is scaled (zoom or curve up while moving). Here the transform is made from
// the element's parts (centre, rotation, skew, scale) whenever one changes, so a move is a
// move on the slide.
(function () {
  'use strict';

  function install(win) {
    var Element = win.AnimatedElement;
    if (typeof Element !== 'function' || Element.prototype.kvCompose) return;
    var proto = Element.prototype;
    var doc = win.document;
    var DEGREES = 180 / Math.PI;

    proto.updateTransformAttribute = function () {
      var m = this.aTMatrix;
      this.aActiveElement.setAttribute('transform', 'matrix(' + [m.a, m.b, m.c, m.d, m.e, m.f].join(' ') + ')');
    };
    // Skew (kvSkewX, kvSkewY: the tangents of the slants) is set by the skew fix.
    proto.kvCompose = function () {
      var m = doc.documentElement.createSVGMatrix().translate(this.nCenterX, this.nCenterY).rotate(this.nRotationAngle);
      if (this.kvSkewX) m = m.skewX(Math.atan(this.kvSkewX) * DEGREES);
      if (this.kvSkewY) m = m.skewY(Math.atan(this.kvSkewY) * DEGREES);
      this.aTMatrix = m.scaleNonUniform(this.nScaleFactorX, this.nScaleFactorY).translate(-this.nBaseCenterX, -this.nBaseCenterY);
      this.updateTransformAttribute();
    };
    proto.setX = function (x) {
      if (x === this.nCenterX) return;
      this.nCenterX = x;
      this.kvCompose();
    };
    proto.setY = function (y) {
      if (y === this.nCenterY) return;
      this.nCenterY = y;
      this.kvCompose();
    };
    proto.setPos = function (pos) {
      if (pos[0] === this.nCenterX && pos[1] === this.nCenterY) return;
      this.nCenterX = pos[0];
      this.nCenterY = pos[1];
      this.kvCompose();
    };
    proto.setRotationAngle = function (angle) {
      this.nRotationAngle = angle;
      this.kvCompose();
    };
    // The engine's own scaling makes its matrix without skew: made again from the parts.
    ['setWidth', 'setHeight', 'setSize'].forEach(function (name) {
      var scale = proto[name];
      proto[name] = function () {
        var result = scale.apply(this, arguments);
        if (this.kvSkewX || this.kvSkewY) this.kvCompose();
        return result;
      };
    });
  }

  // Once the engine's script has run, before its window.onload starts the show.
  document.addEventListener('DOMContentLoaded', function () {
    try {
      install(window);
    } catch (e) {
      // an engine of another make: left as it is
    }
  });
})();
