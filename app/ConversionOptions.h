// Settings of a conversion that the dialog's controls do not carry. The dialog
// always uses the defaults (the behaviour its form describes); the batch
// command sets them from its command line before Convert.
// Plain data; set and read on the UI thread only.
#pragma once

struct ConversionOptions {
  // Film at the capture timer's pace (as the dialog does) instead of running
  // the next tick as soon as the worker and the page are ready. Same frames.
  bool realtime = false;
  // How long a still picture stays before the show is stepped on: the advance
  // threshold is sameFrameCount >= round(holdSeconds * frameRate).
  double holdSeconds = 1.0;
  // Slides with an automatic timing of their own advance by it.
  bool useTimings = false;
  // Leave the deck's sounds out: the video gets no audio stream.
  bool mute = false;
};
