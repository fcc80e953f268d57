#include "OfficeSlidePictures.h"

#include <sys/stat.h>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/XExporter.hpp>
#include <com/sun/star/document/XFilter.hpp>
#include <com/sun/star/drawing/XDrawPages.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <osl/file.hxx>

#include "ExportOptions.h"
#include "OfficeProcess.h"
#include "OfficeSession.h"
#include "TemporaryDirectory.h"
#include "UnoValues.h"

using namespace css;
using rtl::OUString;

namespace {

using UnoValues::FileUrl;
using UnoValues::Properties;
using UnoValues::Property;

}  // namespace

struct OfficeSlidePictures::Office {
  TemporaryDirectory work{"kavreto-pictures-"};
  OfficeProcess process;
  OfficeSession session;
};

OfficeSlidePictures::OfficeSlidePictures() = default;

OfficeSlidePictures::~OfficeSlidePictures() {
  if (!office_) return;
  office_->session.terminateOffice();
  office_->session.dispose();
  office_->process.end(std::chrono::seconds(10));
}

std::vector<OfficeSlidePictures::Slide> OfficeSlidePictures::render(const std::string& presentation,
                                                                    const std::string& directory, int width,
                                                                    int height, std::string& error) {
  std::vector<Slide> slides;
  if (!office_) {
    auto office = std::make_unique<Office>();
    OfficeProcess::Settings settings;
    settings.programDir = ExportOptions().officeProgramDir;
    settings.profileUrl = FileUrl(office->work.path() + "/profile").toUtf8().getStr();
    settings.pipeName = OfficeProcess::UniquePipeName();
    settings.tempDir = office->work.path() + "/tmp";
    ::mkdir(settings.tempDir.c_str(), 0700);
    if (!office->session.open(office->process, settings, std::chrono::steady_clock::now() + std::chrono::seconds(90),
                              {})) {
      error = "the office did not start";
      office->process.end(std::chrono::milliseconds(0));
      return slides;
    }
    office->process.disarmWatchdog();
    office_ = std::move(office);
  }
  office_->process.armWatchdog(std::chrono::milliseconds(300000));
  uno::Reference<lang::XComponent> document;
  try {
    uno::Reference<frame::XComponentLoader> loader(office_->session.desktop(), uno::UNO_QUERY_THROW);
    const uno::Sequence<beans::PropertyValue> load = Properties({
        Property("Hidden", uno::Any(true)), Property("ReadOnly", uno::Any(true)),
        Property("MacroExecutionMode", uno::Any(document::MacroExecMode::NEVER_EXECUTE))});
    document = loader->loadComponentFromURL(FileUrl(presentation), "_blank", 0, load);
    uno::Reference<drawing::XDrawPagesSupplier> supplier(document, uno::UNO_QUERY);
    if (!supplier.is()) throw uno::RuntimeException("not a presentation");
    const uno::Reference<drawing::XDrawPages> pages = supplier->getDrawPages();
    const uno::Reference<uno::XComponentContext>& context = office_->session.remoteContext();
    const uno::Sequence<beans::PropertyValue> size = Properties({Property("PixelWidth", uno::Any(sal_Int32(width))),
                                                  Property("PixelHeight", uno::Any(sal_Int32(height)))});
    for (sal_Int32 i = 0; i < pages->getCount(); ++i) {
      Slide slide;
      slide.png = directory + "/slide-" + std::to_string(i + 1) + ".png";
      uno::Reference<beans::XPropertySet> page(pages->getByIndex(i), uno::UNO_QUERY_THROW);
      page->getPropertyValue("Visible") >>= slide.shown;
      uno::Reference<document::XExporter> exporter(
          context->getServiceManager()->createInstanceWithContext("com.sun.star.drawing.GraphicExportFilter", context),
          uno::UNO_QUERY_THROW);
      exporter->setSourceDocument(uno::Reference<lang::XComponent>(page, uno::UNO_QUERY_THROW));
      uno::Reference<document::XFilter> filter(exporter, uno::UNO_QUERY_THROW);
      filter->filter(Properties({Property("URL", uno::Any(FileUrl(slide.png))), Property("MediaType", uno::Any(OUString("image/png"))),
                      Property("FilterData", uno::Any(size))}));
      slides.push_back(slide);
    }
  } catch (const uno::Exception& e) {
    error = e.Message.toUtf8().getStr();
    slides.clear();
  }
  if (document.is()) {
    try {
      uno::Reference<util::XCloseable>(document, uno::UNO_QUERY_THROW)->close(true);
    } catch (const uno::Exception&) {
    }
  }
  office_->process.disarmWatchdog();
  if (office_->process.hasExited()) {
    office_->session.dispose();
    office_.reset();
    if (error.empty()) error = "the office died";
    slides.clear();
  }
  return slides;
}
