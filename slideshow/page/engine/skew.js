// Skew: the engine has no "skewX" or "skewY" in its attribute map, so an effect that skews
// (breaks, ...) ended the show with "Cannot read properties of undefined (reading 'type')".
// Here skew is one more part of the shape's transform (see transform-parts.js, which makes
// the transform from its parts): a value v slants the shape by atan(v), and the skew is kept
// in the states the engine saves before an effect and puts back after it.
(function () {
  'use strict';

  function install(win) {
    var map = win.aAttributeMap;
    var Element = win.AnimatedElement;
    if (!map || map.skewX || typeof Element !== 'function' || !map.rotate) return;
    var proto = Element.prototype;

    function compose(element) {
      if (typeof element.kvCompose === 'function') element.kvCompose();
    }
    proto.kvGetSkewX = function () {
      return this.kvSkewX || 0;
    };
    proto.kvSetSkewX = function (value) {
      this.kvSkewX = Number(value) || 0;
      compose(this);
    };
    proto.kvGetSkewY = function () {
      return this.kvSkewY || 0;
    };
    proto.kvSetSkewY = function (value) {
      this.kvSkewY = Number(value) || 0;
      compose(this);
    };

    var save = proto.saveState;
    proto.saveState = function (id) {
      var result = save.apply(this, arguments);
      var state = this.aStateSet && this.aStateSet[id];
      if (state) {
        state.kvSkewX = this.kvSkewX || 0;
        state.kvSkewY = this.kvSkewY || 0;
      }
      return result;
    };
    var restore = proto.restoreState;
    proto.restoreState = function (id) {
      var result = restore.apply(this, arguments);
      var state = this.aStateSet && this.aStateSet[id];
      if (result && state) {
        this.kvSkewX = state.kvSkewX || 0;
        this.kvSkewY = state.kvSkewY || 0;
      }
      return result;
    };

    map.skewX = { type: map.rotate.type, get: 'kvGetSkewX', set: 'kvSetSkewX' };
    map.skewY = { type: map.rotate.type, get: 'kvGetSkewY', set: 'kvSetSkewY' };
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
