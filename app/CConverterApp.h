// The application object: runs the main dialog and ends with it. UI thread only.
#pragma once

class CConverterApp {
 public:
  // Shows the main dialog modally; returns once it is closed. The
  // QApplication must exist.
  int InitInstance();
};
