#pragma once
// Exports a presentation: a private headless LibreOffice opens it (hidden, read-only, macros
// never run), reports its slide count and writes its slide show, which this library packs
// into a single-file web archive (MHTML) at exactly `archivePath`, whatever its extension.
// The archive holds BASE.files/fullscreen.htm (BASE = the archive's file name without its
// extension; see ShowPage.h for the page's script interface) and BASE.files/show.svg.
//
// Every export starts its own office process with its own profile and pipe, and always ends
// it (asks it to quit, then kills it after a time limit); a call that hangs is ended the same
// way. Nothing is written next to the source; temporary files are removed.
//
// Result: the slide count (hidden slides included), or 0 when it was not read. Failures are
// reported through `notify` (a message box in the dialog, a line on standard error in the
// batch command):
//   kOleExceptionMessage      the link to the office failed (it died, the connection broke)
//   kUnknownExceptionMessage  the office refused the work (cannot open the file, not a
//                             presentation, empty file, archive cannot be written)
// A failure after the count was read still returns the count. When no office is installed
// or none starts, the result is 0 and nothing is reported. Never throws.
//
// Threads: called on the UI thread (blocks it while the office works); it may also be
// called from other threads, each call using its own office process.

#include <functional>
#include <string>

#include "ExportOptions.h"

using ExportNotifier = std::function<void(const std::string& message)>;

inline constexpr const char* kOleExceptionMessage = " OLE Exception take place ";
inline constexpr const char* kUnknownExceptionMessage = "Unknown Exception take place";

int ExportPresentation(const std::string& sourcePath, const std::string& archivePath, const ExportNotifier& notify);
int ExportPresentation(const std::string& sourcePath, const std::string& archivePath, const ExportNotifier& notify,
                       const ExportOptions& options);
