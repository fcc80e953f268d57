// Matrix methods: the engine adds setToIdentity and setToRotationAroundPoint to
// SVGMatrix.prototype and calls them on the matrices that createSVGMatrix() gives. In a long
// show the call failed now and then with "aMatrix.setToRotationAroundPoint is not a function"
// (shape wipes played backwards, such as diagonal squares), which ended the show: the matrix
// given was not of that prototype. Here the methods are also on the prototype of the matrices
// that createSVGMatrix() gives and on DOMMatrix's, so every matrix has them.
(function () {
  'use strict';

  function install(win) {
    var svgMatrix = win.SVGMatrix && win.SVGMatrix.prototype;
    if (!svgMatrix || typeof svgMatrix.setToRotationAroundPoint !== 'function') return;
    var targets = [];
    try {
      targets.push(Object.getPrototypeOf(win.document.documentElement.createSVGMatrix()));
    } catch (e) {
      // a document without SVG matrices
    }
    if (win.DOMMatrix) targets.push(win.DOMMatrix.prototype);
    ['setToIdentity', 'setToRotationAroundPoint'].forEach(function (name) {
      for (var i = 0; i < targets.length; ++i) {
        if (targets[i] && typeof targets[i][name] !== 'function' && typeof svgMatrix[name] === 'function') {
          targets[i][name] = svgMatrix[name];
        }
      }
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
