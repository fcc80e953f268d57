// GoogleTest main for tests that need a QApplication (widgets, Qt WebEngine).
//
// How to use it: add this file to the test executable's SOURCES, link kavreto_slideshow
// (for PrepareBrowserEnvironment), and write ordinary TEST()s; a QApplication exists while
// they run. The browser always runs off screen with software rendering (and without
// Chromium's sandbox when run as root, as CI does). To wait for events, use WaitUntil()
// from QtWait.h, never a fixed sleep. Its own main() takes precedence over GTest::gtest_main.
// With KAVRETO_TEST_DISPLAY=1 in the environment the tests use the display (e.g. under
// `xvfb-run -a`) instead of the off-screen platform.
#include <gtest/gtest.h>

#include <QApplication>

#include "BrowserEnvironment.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  PrepareBrowserEnvironment(qEnvironmentVariableIntValue("KAVRETO_TEST_DISPLAY") != 1);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
