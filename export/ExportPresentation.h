#pragma once
// Exports a presentation: a private headless LibreOffice opens it (hidden, read-only, macros
// never run), reports its slide count and writes its slide show, which this library packs
// into a single-file web archive (MHTML) at exactly `archivePath`, whatever its extension.
// The archive holds BASE.files/fullscreen.htm (BASE = the archive's file name without its
// extension, empty for a name such as ".tmp" that starts with its only full stop; see
// ShowPage.h for the page's script interface) and BASE.files/show.svg.
//
// Every call starts its own office process with its own profile and pipe, and always ends it
// (asks it to quit, then kills it after a time limit); a call that hangs is ended the same
// way. The office also ends when the calling process dies. To export several files through
// one office, use OfficeExporter (the one path both go through). Nothing is written next to
// the source; temporary files are removed.
//
// Result: the slide count (hidden slides included), or 0 when it was not read. Failures are
// reported through `notify` (a message box in the dialog, a line on standard error in the
// batch command):
//   kOleExceptionMessage      the link to the office failed (it died, the connection broke)
//   kUnknownExceptionMessage  the office refused the work (cannot open the file, not a
//                             presentation, empty file, archive cannot be written)
// and, when `report` is given, in detail there: what kind of problem it was and the office's
// own words (see ExportReport). A failure after the count was read still returns the count.
// When no office is installed or none starts, the result is 0 and nothing is notified (the
// report says OfficeFailed). Never throws.
//
// Threads: called on the UI thread (blocks it while the office works); it may also be
// called from other threads, each call using its own office process.

#include <functional>
#include <string>

#include "ExportOptions.h"

using ExportNotifier = std::function<void(const std::string& message)>;

inline constexpr const char* kOleExceptionMessage = " OLE Exception take place ";
inline constexpr const char* kUnknownExceptionMessage = "Unknown Exception take place";

// What kept an export from being done, as the office told it.
enum class ExportProblem {
  None,
  Encrypted,          // the office asked for a password (none is given)
  Damaged,            // the office found the file broken or cut short
  NotAPresentation,   // empty, or opened as some other kind of document
  UnsupportedFormat,  // the office recognised no format it can open
  Unreadable,         // missing, not a regular file, or not readable (permissions)
  OfficeFailed,       // no office, it did not start, it died or hung
  WriteFailed,        // the show or the archive could not be written
};

struct ExportReport {
  ExportProblem problem = ExportProblem::None;
  std::string detail;  // detail: the office's own words (or the system's, for a file it could not read)
};

// One English line for the batch command, e.g. "The presentation is encrypted
// (password-protected)."; empty for None. Threads: any.
std::string PlainWords(ExportProblem problem);

int ExportPresentation(const std::string& sourcePath, const std::string& archivePath, const ExportNotifier& notify);
int ExportPresentation(const std::string& sourcePath, const std::string& archivePath, const ExportNotifier& notify,
                       const ExportOptions& options);
int ExportPresentation(const std::string& sourcePath, const std::string& archivePath, const ExportNotifier& notify,
                       const ExportOptions& options, ExportReport* report);

// Removes what exports of processes that died (killed, crashed) left behind: their work
// directories with private office profiles, half-made profile templates, pipe files. Those of
// exports still running, in this process or any other, are never touched. Says nothing; the
// app calls it at the start of each conversion. `options` names the cache directory (the
// user's cache by default). Threads: any.
void RemoveStaleOfficeLeftovers(const ExportOptions& options = {});
