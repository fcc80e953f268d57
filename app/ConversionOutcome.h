// How the latest conversion of the main dialog ended. Set by StopConversion
// (and by a Convert that fails before filming); read on the UI thread by the
// batch command, the tests and the dialog's own message.
#pragma once

enum class ConversionOutcome {
  None,              // no conversion has run yet, or one is running
  ReachedEnd,        // the show reached its last shown slide: "完成!"
  Stopped,           // Stop, closing the dialog, a signal or a time limit
  StartFailed,       // nothing was filmed: export, work file, surface or writer failed
  ShowIncomplete,    // the show could not be played, or ended before its last shown slide
  RendererFailed,    // the browser's renderer died or stopped answering
  OutputIncomplete,  // the video file could not be written completely
};
