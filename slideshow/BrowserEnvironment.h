#pragma once
// Process settings the off-screen browser needs. Call once, before the QApplication exists.
//
// Sets QT_QPA_PLATFORM=offscreen when `offscreen` is true or when there is no display
// (neither DISPLAY nor WAYLAND_DISPLAY), QT_QUICK_BACKEND=software (the view is grabbed
// from the software renderer on every platform), adds --disable-gpu to
// QTWEBENGINE_CHROMIUM_FLAGS (and --no-sandbox when running as root, where Chromium's
// sandbox refuses to start), and registers the `mhtml` URL scheme that single-file web
// archives are served under.
//
// With `unpacedFrames` it also adds --disable-frame-rate-limit: the browser then draws a
// frame as soon as one is asked for instead of at the display's 60 Hz. Only for shows filmed
// on the film clock, where a frame's content is fixed by the clock and not by when it is
// drawn (the same pictures, in about half the time); a show played in real time would only
// burn processor time drawing frames nobody takes.
//
// Threads: the main thread, before any other Qt object exists.
void PrepareBrowserEnvironment(bool offscreen, bool unpacedFrames = false);
