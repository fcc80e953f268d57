// GoogleTest main for tests that need a QApplication (widgets, Qt WebEngine).
//
// How to use it: add this file to the test executable's SOURCES, link kavreto_slideshow
// (for PrepareBrowserEnvironment), and write ordinary TEST()s; a QApplication exists while
// they run. The browser always runs off screen with software rendering (and without
// Chromium's sandbox when run as root, as CI does). To wait for events, use WaitUntil()
// from QtWait.h, never a fixed sleep. Its own main() takes precedence over GTest::gtest_main.
#include <gtest/gtest.h>

#include <QApplication>

#include "BrowserEnvironment.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  PrepareBrowserEnvironment(true);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
