#include "OfficeExporter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/task/ErrorCodeIOException.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <osl/file.hxx>
#include <rtl/ref.hxx>
#include <sstream>
#include <vector>

#include "DeckSounds.h"
#include "FontFallbacks.h"
#include "InstalledFonts.h"
#include "DateFields.h"
#include "JustifiedTextReader.h"
#include "MhtmlWriter.h"
#include "OfficeInteraction.h"
#include "OfficeLeftovers.h"
#include "OfficeProcess.h"
#include "OfficeProfileTemplate.h"
#include "OfficeSession.h"
#include "PhysicsEffects.h"
#include "PresentationEncryption.h"
#include "ShowPage.h"
#include "SymbolText.h"
#include "TransparencyMasks.h"
#include "TableBulletReader.h"
#include "TemporaryDirectory.h"
#include "PictureFrameReader.h"
#include "ShapeGlowReader.h"
#include "TextShadowReader.h"
#include "UnoValues.h"

using namespace css;
using rtl::OUString;
using namespace std::chrono_literals;

namespace {

using UnoValues::FileUrl;
using UnoValues::Properties;
using UnoValues::Property;

enum class Failure { None, Link, Office };

std::string Utf8(const OUString& text) { return text.toUtf8().getStr(); }

std::string AbsolutePath(const std::string& path) {
  if (!path.empty() && path.front() == '/') return path;
  char cwd[4096];
  if (::getcwd(cwd, sizeof cwd) == nullptr) return path;
  return std::string(cwd) + "/" + path;
}

bool ReadFile(const std::string& path, std::string& data) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  data = buffer.str();
  return static_cast<bool>(in) || in.eof();
}

// BASE: the archive's file name up to its last full stop, as the slide-show window reads it
// (so ".tmp" gives an empty base); the whole name when it has no full stop.
std::string ArchiveBaseName(const std::string& archivePath) {
  const auto slash = archivePath.find_last_of('/');
  std::string name = slash == std::string::npos ? archivePath : archivePath.substr(slash + 1);
  const auto dot = name.find_last_of('.');
  if (dot != std::string::npos) name.resize(dot);
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
    // Closing is best effort: a document the office cannot close goes with the office.
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

bool WriteArchive(const std::string& svgPath, const std::string& archivePath, const std::vector<int>& shown,
                  const std::vector<TextShadows::Box>& textShadows, const std::vector<PictureFrames::Frame>& frames,
                  const std::vector<ShapeGlows::Effect>& glows, const std::vector<JustifiedText::Shape>& justified,
                  const std::vector<TableBullets::Table>& tables, DeckSounds& sounds, std::string& error) {
  std::string svg;
  if (!ReadFile(svgPath, svg)) {
    error = "the office wrote no slide show (" + svgPath + ")";
    return false;
  }
  // What the export drops or misplaces, put back (see each class).
  svg = TableBullets::Apply(
      JustifiedText::Apply(
          ShapeGlows::Apply(PictureFrames::Apply(TextShadows::Apply(svg, textShadows), frames), glows), justified),
      tables);
  svg = ShowPage::PrepareShow(
      TransparencyMasks::Apply(FontFallbacks::Apply(SymbolText::Apply(svg), InstalledFonts::StandIn)));
  if (svg.empty()) {
    error = "the office's SVG export holds no slide show";
    return false;
  }
  const std::string folder = ArchiveBaseName(archivePath) + ".files/";
  MhtmlWriter archive;
  archive.addPart({folder + "fullscreen.htm", "text/html; charset=utf-8", ShowPage::Html("show.svg", shown)});
  archive.addPart({folder + "show.svg", "image/svg+xml", std::move(svg)});
  // The deck's sounds: their table and the clips themselves (see DeckSounds.h).
  if (!sounds.table.empty()) archive.addPart({folder + "sounds.txt", "text/plain; charset=utf-8", sounds.table});
  for (DeckSounds::Part& clip : sounds.clips)
    archive.addPart({folder + clip.name, clip.mimeType, std::move(clip.bytes)});
  return archive.writeFile(archivePath, error);
}

// The kind of document the office made of a file that is no presentation.
std::string DocumentKind(const uno::Reference<lang::XServiceInfo>& info) {
  static const char* const kKinds[] = {
      "com.sun.star.text.TextDocument",          "com.sun.star.sheet.SpreadsheetDocument",
      "com.sun.star.drawing.DrawingDocument",    "com.sun.star.formula.FormulaProperties",
      "com.sun.star.sdb.OfficeDatabaseDocument", "com.sun.star.chart2.ChartDocument",
  };
  for (const char* kind : kKinds)
    if (info->supportsService(OUString::createFromAscii(kind))) return kind;
  return Utf8(info->getImplementationName());
}

// Whether the file begins as the containers presentations are kept in do: an OLE compound
// file (PowerPoint 97 to 2003) or a ZIP package (PowerPoint 2007 and later, OpenDocument).
// Of a file the office found no filter for, that tells a broken presentation from a file of
// another kind.
bool HasPresentationContainerSignature(const std::string& path) {
  static const unsigned char kOle[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  static const unsigned char kZip[] = {'P', 'K', 3, 4};
  unsigned char head[8] = {};
  std::ifstream in(path, std::ios::binary);
  in.read(reinterpret_cast<char*>(head), sizeof head);
  const auto got = in.gcount();
  return (got >= 8 && std::memcmp(head, kOle, 8) == 0) || (got >= 4 && std::memcmp(head, kZip, 4) == 0);
}

std::string EndOfOffice(OfficeProcess& process) {
  if (!process.hasExited()) return "the connection to the office broke";
  const int code = process.exitCode();
  if (code > 128) return "the office process was ended by signal " + std::to_string(code - 128);
  return "the office process exited with status " + std::to_string(code);
}

}  // namespace

struct OfficeExporter::Office {
  TemporaryDirectory work{OfficeLeftovers::kWorkPrefix};
  OfficeProcess process;
  OfficeSession session;
  rtl::Reference<OfficeInteraction> interaction = new OfficeInteraction;
  int exports = 0;
};

OfficeExporter::OfficeExporter(ExportOptions options) : options_(std::move(options)) {}

OfficeExporter::~OfficeExporter() { close(); }

bool OfficeExporter::startOffice(ExportReport& report) {
  // What exports of dead processes left behind goes first (the app also asks for it).
  RemoveStaleOfficeLeftovers(options_);
  const std::string templateDir =
      OfficeProfileTemplate::Ensure(options_, std::chrono::steady_clock::now() + options_.startLimit);

  auto office = std::make_unique<Office>();
  if (!office->work.valid()) {
    report = {ExportProblem::OfficeFailed,
              "cannot make a work directory in " + TemporaryDirectory::SystemPath() + ": " + std::strerror(errno)};
    return false;
  }
  const std::string officeTemp = office->work.path() + "/tmp";
  const std::string profile = office->work.path() + "/profile";
  if (::mkdir(officeTemp.c_str(), 0700) != 0) {
    report = {ExportProblem::OfficeFailed, "cannot make " + officeTemp + ": " + std::strerror(errno)};
    return false;
  }
  // Without a template (or when the copy fails) the office makes the profile itself.
  if (!templateDir.empty() && !OfficeProfileTemplate::CopyTo(templateDir, profile)) {
    std::error_code ec;
    std::filesystem::remove_all(profile, ec);
  }

  OfficeProcess::Settings settings;
  settings.programDir = options_.officeProgramDir;
  settings.profileUrl = Utf8(FileUrl(profile));
  settings.pipeName = OfficeProcess::UniquePipeName();
  settings.tempDir = officeTemp;
  OfficeLeftovers::RecordPipeFiles(office->work.path(), settings);

  if (!office->session.open(office->process, settings, std::chrono::steady_clock::now() + options_.startLimit,
                            options_.officeStarted)) {
    const bool exited = office->process.hasExited();
    office->process.end(0ms);
    report = {ExportProblem::OfficeFailed,
              exited
                  ? "the office did not start: " + EndOfOffice(office->process)
                  : "the office did not accept a connection within " +
                        std::to_string(std::chrono::duration_cast<std::chrono::seconds>(options_.startLimit).count()) +
                        " s"};
    return false;
  }
  office->process.disarmWatchdog();
  if (options_.officeConnected) options_.officeConnected(office->process.pid());
  office_ = std::move(office);
  return true;
}

bool OfficeExporter::start() {
  const std::string program = options_.officeProgramDir + "/soffice.bin";
  if (::access(program.c_str(), X_OK) != 0) return false;
  try {
    if (office_ && office_->process.hasExited()) dropOffice();
    if (office_) return true;
    ExportReport ignored;
    return startOffice(ignored);
  } catch (...) {
    dropOffice();
    return false;
  }
}

void OfficeExporter::dropOffice() {
  if (!office_) return;
  office_->session.dispose();
  office_->process.end(0ms);
  office_.reset();
}

void OfficeExporter::close() {
  if (!office_) return;
  // Quitting is a call to the office too: it gets the quit limit, then the office is killed.
  office_->process.armWatchdog(options_.quitLimit);
  office_->session.terminateOffice();
  office_->session.dispose();
  office_->process.end(options_.quitLimit);
  office_.reset();
}

int OfficeExporter::exportPresentation(const std::string& sourcePath, const std::string& archivePath,
                                       const ExportNotifier& notify, ExportReport* report) {
  ExportReport local;
  ExportReport& what = report != nullptr ? *report : local;
  what = {};
  int result = 0;
  Failure failure = Failure::None;
  auto fail = [&](Failure f, ExportProblem problem, std::string detail) {
    if (failure != Failure::None) return;
    failure = f;
    what = {problem, std::move(detail)};
  };
  auto tell = [&] {
    if (!notify || failure == Failure::None) return;
    try {
      notify(failure == Failure::Link ? kOleExceptionMessage : kUnknownExceptionMessage);
    } catch (...) {
    }
  };

  // No office installed: nothing to say.
  const std::string program = options_.officeProgramDir + "/soffice.bin";
  if (::access(program.c_str(), X_OK) != 0) {
    what = {ExportProblem::OfficeFailed, "no office program at " + program};
    return 0;
  }

  // Refuse what cannot be a presentation before starting anything: a missing file, something
  // that is not a regular file, an empty file (the office would open it as a new, blank one),
  // a file this process may not read.
  const std::string source = AbsolutePath(sourcePath);
  struct stat info {};
  if (::stat(source.c_str(), &info) != 0) {
    fail(Failure::Office, ExportProblem::Unreadable, source + ": " + std::strerror(errno));
  } else if (!S_ISREG(info.st_mode)) {
    fail(Failure::Office, ExportProblem::Unreadable, source + ": not a regular file");
  } else if (info.st_size == 0) {
    fail(Failure::Office, ExportProblem::NotAPresentation, source + ": the file is empty");
  } else if (const int fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC); fd < 0) {
    fail(Failure::Office, ExportProblem::Unreadable, source + ": " + std::strerror(errno));
  } else {
    ::close(fd);
  }
  // An encrypted deck is told by its own structure: the office does not always recognise one
  // (a .ppt without its encrypted summary stream it calls a wrong version).
  if (failure == Failure::None) {
    const PresentationEncryption::Finding encryption = PresentationEncryption::InspectFile(source);
    if (encryption.encrypted()) fail(Failure::Office, ExportProblem::Encrypted, source + ": " + encryption.how);
  }
  const OUString sourceUrl = failure == Failure::None ? FileUrl(source) : OUString();
  if (failure == Failure::None && sourceUrl.isEmpty())
    fail(Failure::Office, ExportProblem::Unreadable, source + ": cannot be named as a file URL");
  if (failure != Failure::None) {
    tell();
    return 0;
  }

  try {
    if (office_ && office_->process.hasExited()) dropOffice();  // died since the last file
    // No office came up: as with no office at all, nothing to say.
    if (!office_ && !startOffice(what)) return 0;
    Office& office = *office_;
    const std::string svgPath = office.work.path() + "/show-" + std::to_string(++office.exports) + ".svg";
    office.interaction->clear();

    const auto workStart = std::chrono::steady_clock::now();
    office.process.armWatchdog(options_.workLimit);
    std::vector<int> shown;
    std::vector<TextShadows::Box> textShadows;  // what the export drops, put back afterwards
    std::vector<PictureFrames::Frame> pictureFrames;
    std::vector<ShapeGlows::Effect> glows;
    std::vector<JustifiedText::Shape> justified;
    std::vector<TableBullets::Table> tables;
    DeckSounds sounds;
    bool exported = false;
    uno::Reference<lang::XComponent> document;
    try {
      uno::Reference<frame::XComponentLoader> loader(office.session.desktop(), uno::UNO_QUERY_THROW);
      const uno::Sequence<beans::PropertyValue> loadProps = Properties({
          Property("Hidden", uno::Any(true)),
          Property("ReadOnly", uno::Any(true)),
          Property("MacroExecutionMode", uno::Any(document::MacroExecMode::NEVER_EXECUTE)),
          Property("UpdateDocMode", uno::Any(document::UpdateDocMode::NO_UPDATE)),
          Property("InteractionHandler", uno::Any(uno::Reference<task::XInteractionHandler>(office.interaction.get()))),
      });
      try {
        document = loader->loadComponentFromURL(sourceUrl, "_blank", 0, loadProps);
      } catch (const lang::IllegalArgumentException& e) {
        // Raised for content the office finds no way to load (its type detection failed).
        if (e.ArgumentPosition != 1) throw;
        fail(Failure::Office, ExportProblem::UnsupportedFormat, Utf8(e.Message));
      } catch (const io::IOException& e) {
        fail(Failure::Office,
             office.interaction->problem() != ExportProblem::None ? office.interaction->problem()
                                                                  : ExportProblem::Damaged,
             office.interaction->detail().empty() ? Utf8(e.Message) : office.interaction->detail());
      }
      uno::Reference<lang::XServiceInfo> info(document, uno::UNO_QUERY);
      uno::Reference<drawing::XDrawPagesSupplier> supplier(document, uno::UNO_QUERY);
      if (failure != Failure::None) {
        // reported above
      } else if (!info.is()) {
        // Not opened at all: the office's requests say why (when it asked anything).
        ExportProblem asked = office.interaction->problem();
        std::string detail = office.interaction->detail();
        if (asked == ExportProblem::NotAPresentation && office.interaction->foundNoFilter() &&
            HasPresentationContainerSignature(source)) {
          asked = ExportProblem::Damaged;
          detail += " (yet it begins as an OLE compound file or ZIP package: a broken document)";
        }
        fail(Failure::Office, asked != ExportProblem::None ? asked : ExportProblem::Damaged,
             detail.empty() ? "the office could not load the file and gave no reason" : detail);
      } else if (!supplier.is() || !info->supportsService("com.sun.star.presentation.PresentationDocument")) {
        fail(Failure::Office, ExportProblem::NotAPresentation, "the office opened it as " + DocumentKind(info));
      } else {
        const uno::Reference<drawing::XDrawPages> pages = supplier->getDrawPages();
        const int count = pages.is() ? pages->getCount() : 0;
        result = count;
        shown = ShownSlides(pages, count);
        sounds = FindDeckSounds(document, source, office.work.path());
        PhysicsEffects::Replace(document, office.session.remoteContext());
        DateFields::Replace(document, DateFields::ConversionStartMs());
        uno::Reference<frame::XStorable> storable(document, uno::UNO_QUERY_THROW);
        try {
          storable->storeToURL(FileUrl(svgPath),
                               Properties({Property("FilterName", uno::Any(OUString("impress_svg_Export")))}));
          exported = true;
          textShadows = TextShadowReader::Read(document);
          pictureFrames = PictureFrameReader::Read(document);
          glows = ShapeGlowReader::Read(document);
          justified = JustifiedTextReader::Read(document);
          tables = TableBulletReader::Read(document);
        } catch (const io::IOException& e) {
          fail(Failure::Office, ExportProblem::WriteFailed, "the office could not write the show: " + Utf8(e.Message));
        }
      }
    } catch (const lang::DisposedException& e) {
      fail(Failure::Link, ExportProblem::OfficeFailed, Utf8(e.Message));
    } catch (const uno::RuntimeException& e) {
      // A dead bridge reports itself as a runtime error; one from a live office is its own.
      const bool dead = office.process.waitForExit(500ms);
      fail(dead ? Failure::Link : Failure::Office, ExportProblem::OfficeFailed, Utf8(e.Message));
    } catch (const uno::Exception& e) {
      fail(Failure::Office, ExportProblem::OfficeFailed, Utf8(e.Message));
    }

    CloseDocument(document);
    document.clear();
    office.process.disarmWatchdog();
    if (office.process.hasExited()) {
      // The link is gone: say what ended it.
      std::string detail = EndOfOffice(office.process);
      if (std::chrono::steady_clock::now() - workStart >= options_.workLimit)
        detail = "the office did not finish within " +
                 std::to_string(std::chrono::duration_cast<std::chrono::seconds>(options_.workLimit).count()) +
                 " s and was stopped";
      if (failure == Failure::None)
        fail(Failure::Link, ExportProblem::OfficeFailed, detail);
      else if (failure == Failure::Link)
        what.detail = detail + (what.detail.empty() ? "" : " (" + what.detail + ")");
      dropOffice();
    } else if (failure == Failure::Link) {
      dropOffice();
    }

    std::string error;
    if (failure == Failure::None && exported &&
        !WriteArchive(svgPath, archivePath, shown, textShadows, pictureFrames, glows, justified, tables, sounds, error))
      fail(Failure::Office, ExportProblem::WriteFailed, error);
    ::unlink(svgPath.c_str());
  } catch (const uno::Exception& e) {
    fail(Failure::Link, ExportProblem::OfficeFailed, Utf8(e.Message));
    dropOffice();
  } catch (const std::exception& e) {
    fail(Failure::Office, ExportProblem::OfficeFailed, e.what());
  }
  tell();
  return result;
}
