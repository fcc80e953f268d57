// Animations with a start value (`smil:from`): the engine takes the given start value as the
// start of the animation but interpolates from another field it leaves empty, so a number
// animated "from a to b" ran from 0 to b, and a pair (scale "from 2.5,2.5 to 1,1", as in
// curve up and breaks) ended the show with "Cannot read properties of null (reading
// 'length')". A start value of 0 was also taken as none. Here an animation that has a start
// value runs from it: to its end value, or by its step.
(function () {
  'use strict';

  function mend(Activity) {
    var proto = Activity && Activity.prototype;
    if (!proto || typeof proto.startAnimation !== 'function' || proto.startAnimation.kvFromTo) return;
    var start = proto.startAnimation;
    var started = function () {
      var result = start.apply(this, arguments);
      var from = this.aFrom;
      var hasFrom = from !== null && from !== undefined && from !== '';
      var hasTo = this.aTo !== null && this.aTo !== undefined && this.aTo !== '';
      var hasBy = this.aBy !== null && this.aBy !== undefined && this.aBy !== '';
      if (hasFrom && (hasTo || hasBy) && !this.isDisposed() && this.aAnimation) {
        this.aStartValue = from;
        this.aEndValue = hasTo ? this.aTo : this.add(from, this.aBy);
        this.aStartInterpolationValue = from;
        this.bDynamicStartValue = false;
      }
      return result;
    };
    started.kvFromTo = true;
    proto.startAnimation = started;
  }

  // Once the engine's script has run, before its window.onload starts the show.
  document.addEventListener('DOMContentLoaded', function () {
    try {
      mend(window.LinearFromToByActivity);
      mend(window.DiscreteFromToByActivity);
    } catch (e) {
      // an engine of another make: left as it is
    }
  });
})();
