// Motion paths: the engine has no node for `anim:animateMotion` (it logs "not implemented"
// and gives no node), and an effect with a child it cannot make loses all its children, so
// every motion path preset, and effects such as "curve up" that move along a path while they
// scale, stood still. Here the node moves the shape's centre along the path: the path's
// coordinates are fractions of the slide's width and height, added to the centre the shape
// has when the motion starts (so paths that follow one another add up).
(function () {
  'use strict';

  var SVG = 'http://www.w3.org/2000/svg';
  // How each path command's numbers scale: x by the slide's width, y by its height, n not.
  var ROLES = { M: 'xy', L: 'xy', T: 'xy', H: 'x', V: 'y', C: 'xyxyxy', S: 'xyxy', Q: 'xyxy', A: 'xynnnxy', Z: '' };

  // The path `d` with its coordinates scaled to the slide; '' when it has nothing to follow.
  function scalePath(d, width, height) {
    var tokens = String(d || '').match(/[A-Za-z]|[-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?/g) || [];
    var out = [];
    var roles = '';
    var at = 0;
    var drawn = false;
    for (var i = 0; i < tokens.length; ++i) {
      var token = tokens[i];
      if (/[A-Za-z]/.test(token)) {
        var upper = token.toUpperCase();
        if (!(upper in ROLES)) break; // an end mark of another make ("E"): the path ends here
        roles = ROLES[upper];
        at = 0;
        out.push(token);
        if (upper !== 'M' && upper !== 'Z') drawn = true;
        continue;
      }
      if (!roles) continue; // a number without a command that takes it
      var role = roles.charAt(at % roles.length);
      var value = parseFloat(token);
      out.push(String(role === 'x' ? value * width : role === 'y' ? value * height : value));
      ++at;
    }
    return drawn ? out.join(' ') : '';
  }

  function install(win) {
    var Base = win.AnimationBaseNode3;
    var createNode = win.createAnimationNode;
    if (typeof Base !== 'function' || typeof createNode !== 'function' || typeof win.SimpleActivity !== 'function' ||
        typeof win.extend !== 'function' || win.createAnimationNode.kvMotionPath) return;
    var doc = win.document;
    var smil = win.NSS && win.NSS.smil;
    if (!smil) return;

    var measure = null; // a path in the document's defs, where lengths can be measured
    function measurePath(d) {
      if (!measure) {
        var defs = doc.createElementNS(SVG, 'defs');
        measure = doc.createElementNS(SVG, 'path');
        defs.appendChild(measure);
        doc.documentElement.appendChild(defs);
      }
      measure.setAttribute('d', d);
      var length = measure.getTotalLength();
      var points = [];
      // Sampled once, when the effect is made ready, so that each frame reads a table: the
      // browser measures a length from the path's start, and measuring every path of a long
      // deck at once, finely, held the renderer for half a minute.
      var count = 240;
      for (var i = 0; i <= count; ++i) {
        var p = measure.getPointAtLength((length * i) / count);
        points.push([p.x, p.y]);
      }
      return points;
    }

    function PathAnimation(points) {
      this.aPoints = points;
      this.aElement = null;
      this.aOrigin = null;
    }
    PathAnimation.prototype.start = function (element) {
      this.aElement = element;
      this.aOrigin = element.getPos();
      element.notifyAnimationStart();
    };
    PathAnimation.prototype.end = function () {
      if (this.aElement) this.aElement.notifyAnimationEnd();
    };
    PathAnimation.prototype.perform = function (t) {
      var element = this.aElement;
      if (!element) return;
      var points = this.aPoints;
      var last = points.length - 1;
      var at = Math.max(0, Math.min(1, Number(t) || 0)) * last;
      var i = Math.min(last - 1, Math.floor(at));
      var f = at - i;
      var x = points[i][0] + (points[i + 1][0] - points[i][0]) * f;
      var y = points[i][1] + (points[i + 1][1] - points[i][1]) * f;
      element.setPos([this.aOrigin[0] + x, this.aOrigin[1] + y]);
    };
    PathAnimation.prototype.getUnderlyingValue = function () {
      return 0.0;
    };

    function PathMotionNode(element, parent, context) {
      PathMotionNode.superclass.constructor.call(this, element, parent, context);
      this.sClassName = 'PathMotionNode';
      this.sPath = '';
      this.aPoints = null;
    }
    win.extend(PathMotionNode, Base);
    PathMotionNode.prototype.parseElement = function () {
      var element = this.aElement;
      // The engine's base node asks for an attribute name, which a motion has none of.
      if (!element.getAttributeNS(smil, 'attributeName')) element.setAttributeNS(smil, 'smil:attributeName', 'motion');
      var ok = PathMotionNode.superclass.parseElement.call(this);
      var d = element.getAttribute('path') || element.getAttribute('svg:path') || element.getAttributeNS(SVG, 'path');
      this.sPath = scalePath(d, this.aNodeContext.aSlideWidth, this.aNodeContext.aSlideHeight);
      return ok;
    };
    PathMotionNode.prototype.createActivity = function () {
      var params = this.fillActivityParams();
      if (!this.aPoints && this.sPath) this.aPoints = measurePath(this.sPath);
      // A path with nothing to follow keeps the shape where it is for the motion's time.
      var points = this.aPoints && this.aPoints.length >= 2 ? this.aPoints : [[0, 0], [0, 0]];
      return new win.SimpleActivity(params, new PathAnimation(points), win.FORWARD);
    };

    var motionType = win.ANIMATION_NODE_ANIMATEMOTION;
    var wrapped = function (element, parent, context) {
      if (element && win.getAnimationElementType(element) === motionType) {
        return new PathMotionNode(element, parent, context);
      }
      return createNode.apply(this, arguments);
    };
    wrapped.kvMotionPath = true;
    win.createAnimationNode = wrapped;
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
