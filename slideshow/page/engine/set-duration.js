// Sets that last: the engine ends an `anim:set` node the moment it has set its value, however
// long its duration, and a node without a fill of its own takes its parent's fill (hold, in
// every preset). The office's show keeps a set node active for its duration and, as SMIL has
// it, gives a node without a fill the automatic one (a node with a duration is removed at its
// end). So "flash once" showed its shape and kept it, and the show went on at once, where the
// office shows the shape for a second and hides it again. Here a set node with a finite
// duration ends after that duration, and one without a fill of its own is removed then.
(function () {
  'use strict';

  function install(win) {
    var SetNode = win.AnimationSetNode;
    var proto = SetNode && SetNode.prototype;
    if (!proto || typeof proto.createActivity !== 'function' || typeof proto.parseElement !== 'function' ||
        typeof win.makeEvent !== 'function' || typeof win.makeDelay !== 'function' || proto.createActivity.kvSetDuration)
      return;
    var smil = win.NSS && win.NSS.smil;

    // The duration in seconds when it is a finite number above nothing, else 0.
    function lasting(node) {
      var duration = node.getDuration && node.getDuration();
      if (!duration || typeof duration.isValue !== 'function' || !duration.isValue()) return 0;
      var value = duration.getValue();
      return isFinite(value) && value > 0 ? value : 0;
    }

    var parse = proto.parseElement;
    proto.parseElement = function () {
      var ok = parse.apply(this, arguments);
      var element = this.aElement;
      if (ok && smil && element && !element.getAttributeNS(smil, 'fill') && lasting(this) > 0 &&
          typeof win.getTransitionTable === 'function') {
        this.eFillMode = win.FILL_MODE_REMOVE;
        this.aStateTransTable = win.getTransitionTable(this.getRestartMode(), this.getFillMode());
      }
      return ok;
    };

    var create = proto.createActivity;
    var created = function () {
      var activity = create.apply(this, arguments);
      var node = this;
      var seconds = lasting(node);
      if (!activity || seconds <= 0) return activity;
      // The set's end schedules the node's end after its duration (at once while the show
      // skips effects).
      var later = win.makeEvent(function () {
        if (node.getContext().bIsSkipping) node.deactivate();
        else node.getContext().aTimerEventQueue.addEvent(win.makeDelay(function () { node.deactivate(); }, seconds));
      });
      activity.aEndEvent = later;
      var activate = activity.activate;
      activity.activate = function () {
        var result = activate.apply(this, arguments);
        this.aEndEvent = later;
        return result;
      };
      return activity;
    };
    created.kvSetDuration = true;
    proto.createActivity = created;
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
