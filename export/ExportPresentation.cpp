#include "ExportPresentation.h"

#include "OfficeExporter.h"
#include "OfficeLeftovers.h"
#include "OfficeProfileTemplate.h"

std::string PlainWords(ExportProblem problem) {
  switch (problem) {
    case ExportProblem::None:
      return {};
    case ExportProblem::Encrypted:
      return "The presentation is encrypted (password-protected).";
    case ExportProblem::Damaged:
      return "The presentation is damaged or truncated.";
    case ExportProblem::NotAPresentation:
      return "The file is not a presentation, or is empty.";
    case ExportProblem::UnsupportedFormat:
      return "The file is in a format the office cannot open.";
    case ExportProblem::Unreadable:
      return "The file cannot be read (it is missing, or permission is denied).";
    case ExportProblem::OfficeFailed:
      return "The office (LibreOffice) failed, or could not be started.";
    case ExportProblem::WriteFailed:
      return "The exported slide show could not be written.";
  }
  return {};
}

int ExportPresentation(const std::string& sourcePath, const std::string& archivePath, const ExportNotifier& notify) {
  return ExportPresentation(sourcePath, archivePath, notify, ExportOptions(), nullptr);
}

int ExportPresentation(const std::string& sourcePath, const std::string& archivePath, const ExportNotifier& notify,
                       const ExportOptions& options) {
  return ExportPresentation(sourcePath, archivePath, notify, options, nullptr);
}

int ExportPresentation(const std::string& sourcePath, const std::string& archivePath, const ExportNotifier& notify,
                       const ExportOptions& options, ExportReport* report) {
  try {
    OfficeExporter exporter(options);
    const int count = exporter.exportPresentation(sourcePath, archivePath, notify, report);
    exporter.close();
    return count;
  } catch (...) {
    // Nothing above throws on purpose; an allocation failure is all that is left.
    if (report != nullptr) *report = {ExportProblem::OfficeFailed, "out of memory"};
    return 0;
  }
}

void RemoveStaleOfficeLeftovers(const ExportOptions& options) {
  try {
    OfficeLeftovers::RemoveStale(OfficeProfileTemplate::CacheDirectory(options.cacheDir));
  } catch (...) {
    // Cleaning up is best effort: what is left now is tried again next time.
  }
}
