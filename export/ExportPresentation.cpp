#include "ExportPresentation.h"

#include <sys/stat.h>
#include <unistd.h>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/drawing/XDrawPage.hpp>
#include <com/sun/star/drawing/XDrawPages.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <fstream>
#include <osl/file.hxx>
#include <random>
#include <sstream>
#include <vector>

#include "MhtmlWriter.h"
#include "OfficeProcess.h"
#include "OfficeSession.h"
#include "ShowPage.h"
#include "TemporaryDirectory.h"

using namespace css;
using rtl::OUString;
using namespace std::chrono_literals;

namespace {

enum class Failure { None, Link, Office };

// A file URL for a local path (percent-encoded as the office expects); empty on failure.
OUString FileUrl(const std::string& path) {
  OUString url;
  if (osl::FileBase::getFileURLFromSystemPath(
          OUString(path.data(), static_cast<sal_Int32>(path.size()), RTL_TEXTENCODING_UTF8), url) !=
      osl::FileBase::E_None)
    return OUString();
  return url;
}

std::string AbsolutePath(const std::string& path) {
  if (!path.empty() && path.front() == '/') return path;
  char cwd[4096];
  if (::getcwd(cwd, sizeof cwd) == nullptr) return path;
  return std::string(cwd) + "/" + path;
}

// A pipe name no other process uses at the same time: process id plus 64 random bits.
std::string UniquePipeName() {
  std::random_device random;
  std::ostringstream name;
  name << "kavreto-" << ::getpid() << "-" << std::hex << random() << random();
  return name.str();
}

beans::PropertyValue Property(const char* name, const uno::Any& value) {
  beans::PropertyValue p;
  p.Name = OUString::createFromAscii(name);
  p.Value = value;
  return p;
}

uno::Sequence<beans::PropertyValue> Properties(const std::vector<beans::PropertyValue>& values) {
  return uno::Sequence<beans::PropertyValue>(values.data(), static_cast<sal_Int32>(values.size()));
}

bool ReadFile(const std::string& path, std::string& data) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  data = buffer.str();
  return static_cast<bool>(in) || in.eof();
}

// BASE: the archive's file name without its extension.
std::string ArchiveBaseName(const std::string& archivePath) {
  const auto slash = archivePath.find_last_of('/');
  std::string name = slash == std::string::npos ? archivePath : archivePath.substr(slash + 1);
  const auto dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

void CloseDocument(const uno::Reference<lang::XComponent>& document) {
  if (!document.is()) return;
  try {
    uno::Reference<util::XCloseable> closeable(document, uno::UNO_QUERY);
    if (closeable.is())
      closeable->close(true);
    else
      document->dispose();
  } catch (const uno::Exception&) {
    // Closing is best effort: the office is ended right after.
  }
}

// The indices of the slides a slide show shows (hidden ones left out); all of them when every
// slide is hidden, so that the show is not empty.
std::vector<int> ShownSlides(const uno::Reference<drawing::XDrawPages>& pages, int count) {
  std::vector<int> shown;
  for (int i = 0; i < count; ++i) {
    bool visible = true;
    uno::Reference<beans::XPropertySet> page(pages->getByIndex(i), uno::UNO_QUERY);
    if (page.is()) {
      try {
        page->getPropertyValue("Visible") >>= visible;
      } catch (const beans::UnknownPropertyException&) {
      }
    }
    if (visible) shown.push_back(i);
  }
  if (shown.empty())
    for (int i = 0; i < count; ++i) shown.push_back(i);
  return shown;
}

bool WriteArchive(const std::string& svgPath, const std::string& archivePath, const std::vector<int>& shown) {
  std::string svg;
  if (!ReadFile(svgPath, svg)) return false;
  svg = ShowPage::PrepareShow(svg);
  if (svg.empty()) return false;
  const std::string folder = ArchiveBaseName(archivePath) + ".files/";
  MhtmlWriter archive;
  archive.addPart({folder + "fullscreen.htm", "text/html; charset=utf-8", ShowPage::Html("show.svg", shown)});
  archive.addPart({folder + "show.svg", "image/svg+xml", std::move(svg)});
  std::string error;
  return archive.writeFile(archivePath, error);
}

}  // namespace

int ExportPresentation(const std::string& sourcePath, const std::string& archivePath, const ExportNotifier& notify) {
  return ExportPresentation(sourcePath, archivePath, notify, ExportOptions());
}

int ExportPresentation(const std::string& sourcePath, const std::string& archivePath, const ExportNotifier& notify,
                       const ExportOptions& options) {
  int result = 0;
  Failure failure = Failure::None;
  auto report = [&](Failure f) {
    if (!notify || f == Failure::None) return;
    try {
      notify(f == Failure::Link ? kOleExceptionMessage : kUnknownExceptionMessage);
    } catch (...) {
    }
  };

  // No office installed: nothing to say.
  if (::access((options.officeProgramDir + "/soffice.bin").c_str(), X_OK) != 0) return 0;

  // Refuse what cannot be a presentation before starting anything: a missing file, something
  // that is not a regular file, an empty file (the office would open it as a new, blank one).
  const std::string source = AbsolutePath(sourcePath);
  struct stat info {};
  if (::stat(source.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size == 0) {
    report(Failure::Office);
    return 0;
  }
  const OUString sourceUrl = FileUrl(source);
  if (sourceUrl.isEmpty()) {
    report(Failure::Office);
    return 0;
  }

  try {
    TemporaryDirectory work("kavreto-export-");
    if (!work.valid()) return 0;
    const std::string officeTemp = work.path() + "/tmp";
    if (::mkdir(officeTemp.c_str(), 0700) != 0) return 0;
    const std::string svgPath = work.path() + "/show.svg";
    const OUString svgUrl = FileUrl(svgPath);

    OfficeProcess::Settings settings;
    settings.programDir = options.officeProgramDir;
    settings.profileUrl = FileUrl(work.path() + "/profile").toUtf8().getStr();
    settings.pipeName = UniquePipeName();
    settings.tempDir = officeTemp;

    OfficeProcess office;
    {
      OfficeSession session;
      if (!session.open(office, settings, std::chrono::steady_clock::now() + options.startLimit,
                        options.officeStarted)) {
        // No office came up: as with no office at all, nothing to say.
        office.end(0ms);
        return 0;
      }
      if (options.officeConnected) options.officeConnected(office.pid());
      office.armWatchdog(options.workLimit);

      std::vector<int> shown;
      bool exported = false;
      uno::Reference<lang::XComponent> document;
      try {
        uno::Reference<frame::XComponentLoader> loader(session.desktop(), uno::UNO_QUERY_THROW);
        const uno::Sequence<beans::PropertyValue> loadProps = Properties({
            Property("Hidden", uno::Any(true)),
            Property("ReadOnly", uno::Any(true)),
            Property("MacroExecutionMode", uno::Any(document::MacroExecMode::NEVER_EXECUTE)),
            Property("UpdateDocMode", uno::Any(document::UpdateDocMode::NO_UPDATE)),
        });
        document = loader->loadComponentFromURL(sourceUrl, "_blank", 0, loadProps);
        uno::Reference<lang::XServiceInfo> info(document, uno::UNO_QUERY);
        uno::Reference<drawing::XDrawPagesSupplier> supplier(document, uno::UNO_QUERY);
        if (!info.is() || !supplier.is() || !info->supportsService("com.sun.star.presentation.PresentationDocument")) {
          failure = Failure::Office;  // not a presentation (or not opened at all)
        } else {
          const uno::Reference<drawing::XDrawPages> pages = supplier->getDrawPages();
          const int count = pages.is() ? pages->getCount() : 0;
          result = count;
          shown = ShownSlides(pages, count);
          uno::Reference<frame::XStorable> storable(document, uno::UNO_QUERY_THROW);
          storable->storeToURL(svgUrl, Properties({Property("FilterName", uno::Any(OUString("impress_svg_Export")))}));
          exported = true;
        }
      } catch (const lang::DisposedException&) {
        failure = Failure::Link;
      } catch (const uno::RuntimeException&) {
        // A dead bridge reports itself as a runtime error; one from a live office is its own.
        failure = office.waitForExit(500ms) ? Failure::Link : Failure::Office;
      } catch (const uno::Exception&) {
        failure = Failure::Office;
      }
      if (failure == Failure::None && office.hasExited()) failure = Failure::Link;

      CloseDocument(document);
      document.clear();
      session.terminateOffice();
      session.dispose();
      office.disarmWatchdog();

      if (failure == Failure::None && exported && !WriteArchive(svgPath, archivePath, shown)) failure = Failure::Office;
    }
    office.end(options.quitLimit);
  } catch (const uno::Exception&) {
    if (failure == Failure::None) failure = Failure::Link;
  } catch (const std::exception&) {
    if (failure == Failure::None) failure = Failure::Office;
  }
  report(failure);
  return result;
}
