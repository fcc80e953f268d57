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
// Threads: the main thread, before any other Qt object exists.
void PrepareBrowserEnvironment(bool offscreen);
