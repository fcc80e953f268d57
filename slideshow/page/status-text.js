// Gives `window.status` its old meaning back: injected at document creation into every
// frame, before any of the page's scripts, it turns each assignment to `window.status` into
// a console message that starts with the status marker; the player reads those messages as
// the browser's status-text changes. The original console.log is kept, so a page that
// replaces console.log does not silence its status texts.
(function () {
  'use strict';
  var log = console.log.bind(console);
  var text = '';
  try {
    Object.defineProperty(window, 'status', {
      configurable: true,
      enumerable: true,
      get: function () {
        return text;
      },
      set: function (value) {
        text = String(value);
        log('@kStatusMarker@' + text);
      }
    });
  } catch (e) {
    // a window that does not let it be redefined keeps its own status
  }
})();
