#include "DeckSounds.h"

#include <com/sun/star/animations/AnimationNodeType.hpp>
#include <com/sun/star/animations/XAnimationNode.hpp>
#include <com/sun/star/animations/XAnimationNodeSupplier.hpp>
#include <com/sun/star/animations/XAudio.hpp>
#include <com/sun/star/animations/XCommand.hpp>
#include <com/sun/star/awt/Point.hpp>
#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/beans/XPropertySetInfo.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/drawing/XDrawPage.hpp>
#include <com/sun/star/drawing/XDrawPages.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/presentation/EffectCommands.hpp>
#include <osl/file.hxx>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "SoundPlan.h"

#include "UnoValues.h"

using namespace css;
using rtl::OUString;

namespace {

constexpr size_t kLargestClip = 512u << 20;  // a clip larger than this is left out

std::string Utf8(const OUString& text) { return text.toUtf8().getStr(); }

std::string FileName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Whether `path` lies in `folder` or below it, both taken as they are on disk (links resolved).
bool Inside(const std::string& path, const std::string& folder) {
  std::error_code ec;
  const std::filesystem::path file = std::filesystem::weakly_canonical(path, ec);
  if (ec) return false;
  const std::filesystem::path root = std::filesystem::weakly_canonical(folder, ec);
  if (ec || root.empty()) return false;
  auto f = file.begin();
  for (auto r = root.begin(); r != root.end(); ++r, ++f) {
    if (r->empty()) continue;  // the trailing separator of a folder
    if (f == file.end() || *f != *r) return false;
  }
  return true;
}

std::string MimeFor(const std::string& name) {
  const size_t dot = name.rfind('.');
  std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == "wav") return "audio/wav";
  if (ext == "mp3") return "audio/mpeg";
  if (ext == "mp4" || ext == "m4v") return "video/mp4";
  if (ext == "m4a") return "audio/mp4";
  if (ext == "ogg" || ext == "oga") return "audio/ogg";
  if (ext == "avi") return "video/x-msvideo";
  if (ext == "wmv") return "video/x-ms-wmv";
  if (ext == "wma") return "audio/x-ms-wma";
  if (ext == "mov") return "video/quicktime";
  if (ext == "mpg" || ext == "mpeg") return "video/mpeg";
  return "application/octet-stream";
}

bool IsVideo(const std::string& mime) { return mime.rfind("video/", 0) == 0; }


class Finder {
 public:
  Finder(const std::string& sourcePath, const std::string& officeDirectory)
      : deckFolder_(std::filesystem::path(sourcePath).parent_path().string()), officeDirectory_(officeDirectory) {}

  void slide(int index, const uno::Reference<drawing::XDrawPage>& page) {
    slide_ = index;
    shapes_.clear();
    mediaShapes_ = 0;
    const size_t firstMedia = plan_.media.size(), firstNode = plan_.nodes.size();
    findMedia(uno::Reference<container::XIndexAccess>(page, uno::UNO_QUERY));
    transition(uno::Reference<beans::XPropertySet>(page, uno::UNO_QUERY));
    uno::Reference<animations::XAnimationNodeSupplier> supplier(page, uno::UNO_QUERY);
    ordinal_ = 0;
    if (supplier.is()) walk(supplier->getAnimationNode());
    // A media shape that none of its slide's nodes plays starts with the slide.
    for (size_t m = firstMedia; m < plan_.media.size(); ++m)
      for (size_t n = firstNode; n < plan_.nodes.size(); ++n)
        if (plan_.nodes[n].clip == plan_.media[m].clip && plan_.nodes[n].kind != SoundPlan::Kind::Stop &&
            plan_.nodes[n].kind != SoundPlan::Kind::Pause)
          plan_.media[m].started = true;
  }

  DeckSounds result() {
    DeckSounds out;
    if (plan_.clips.empty() && plan_.warnings.empty()) return out;
    out.table = plan_.Text();
    out.clips = std::move(parts_);
    return out;
  }

 private:
  struct MediaShape {
    uno::Reference<drawing::XShape> shape;
    int clip;
    double volume;
    bool loop;
  };

  // The clip of a file, read into the archive once however often the deck plays it;
  // -1 when it cannot be taken (which has been said).
  int clipOf(const std::string& url, const std::string& what, const std::string& shownName = "",
             const std::string& mimeType = "") {
    if (url.empty()) return -1;
    if (auto known = byUrl_.find(url); known != byUrl_.end()) return known->second;
    int clip = -1;
    OUString system;
    const OUString u = OUString::fromUtf8(rtl::OString(url.c_str()));
    std::string name = FileName(url);
    if (url.rfind("file:", 0) != 0 || osl::FileBase::getSystemPathFromFileURL(u, system) != osl::FileBase::E_None) {
      warn("The " + what + " '" + name + "' is not a file the presentation holds or links: it is left out.");
    } else {
      const std::string path = Utf8(system);
      name = FileName(path);
      if (!Inside(path, deckFolder_) && !Inside(path, officeDirectory_)) {
        warn("The " + what + " '" + name + "' is linked from outside the presentation's folder (" + path +
             "): it is left out.");
      } else {
        std::ifstream in(path, std::ios::binary);
        std::error_code ec;
        const auto size = std::filesystem::file_size(path, ec);
        if (!in || ec) {
          warn("The " + what + " '" + name + "' cannot be found or read (" + path + "): it is left out.");
        } else if (size > kLargestClip) {
          warn("The " + what + " '" + name + "' is larger than 512 MB: it is left out.");
        } else {
          std::ostringstream bytes;
          bytes << in.rdbuf();
          clip = static_cast<int>(plan_.clips.size());
          // An unpacked copy may have lost its name: the document's name of it says the kind.
          const std::string known = shownName.empty() ? name : shownName;
          const size_t dot = known.rfind('.');
          const std::string ext = dot == std::string::npos || known.size() - dot > 6 ? "" : known.substr(dot);
          const std::string part = "media/clip" + std::to_string(clip) + ext;
          const bool typed = mimeType.rfind("audio/", 0) == 0 || mimeType.rfind("video/", 0) == 0;
          const std::string mime = typed ? mimeType : MimeFor(known);
          plan_.clips.push_back({clip, IsVideo(mime), part});
          parts_.push_back({part, mime, bytes.str()});
        }
      }
    }
    byUrl_[url] = clip;
    return clip;
  }

  void warn(const std::string& text) { plan_.warnings.push_back(text); }

  void findMedia(const uno::Reference<container::XIndexAccess>& shapes) {
    if (!shapes.is()) return;
    for (sal_Int32 i = 0; i < shapes->getCount(); ++i) {
      uno::Reference<drawing::XShape> shape(shapes->getByIndex(i), uno::UNO_QUERY);
      uno::Reference<lang::XServiceInfo> info(shape, uno::UNO_QUERY);
      if (!shape.is() || !info.is()) continue;
      if (info->supportsService("com.sun.star.drawing.GroupShape")) {
        findMedia(uno::Reference<container::XIndexAccess>(shape, uno::UNO_QUERY));
        continue;
      }
      // A presentation's own media shapes and the drawing layer's.
      if (!info->supportsService("com.sun.star.presentation.MediaShape") &&
          !info->supportsService("com.sun.star.drawing.MediaShape"))
        continue;
      const int ordinal = mediaShapes_++;  // the page finds the shape by it
      uno::Reference<beans::XPropertySet> props(shape, uno::UNO_QUERY);
      const std::string mediaUrl = Utf8(UnoValues::Value<OUString>(props, "MediaURL", OUString()));
      const std::string tempUrl = Utf8(UnoValues::Value<OUString>(props, "PrivateTempFileURL", OUString()));
      // Embedded media: the office's unpacked copy stands for the package's entry.
      const bool embedded = mediaUrl.rfind("vnd.sun.star.Package:", 0) == 0;
      const std::string mime = Utf8(UnoValues::Value<OUString>(props, "MediaMimeType", OUString()));
      const int clip =
          clipOf(embedded && !tempUrl.empty() ? tempUrl : mediaUrl, "media clip", FileName(mediaUrl), mime);
      if (clip < 0) continue;
      const bool mute = UnoValues::Value<sal_Bool>(props, "Mute", false);
      const sal_Int16 decibels = UnoValues::Value<sal_Int16>(props, "VolumeDB", 0);
      const double volume = mute ? 0.0 : std::pow(10.0, decibels / 20.0);
      const bool loop = UnoValues::Value<sal_Bool>(props, "Loop", false);
      shapes_.push_back({shape, clip, volume, loop});
      const awt::Point at = shape->getPosition();
      const awt::Size size = shape->getSize();
      SoundPlan::Media media;
      media.slide = slide_;
      media.clip = clip;
      media.x = at.X;
      media.y = at.Y;
      media.width = size.Width;
      media.height = size.Height;
      media.shape = ordinal;
      media.volume = volume;
      media.loop = loop;
      plan_.media.push_back(media);
    }
  }

  const MediaShape* shapeOf(const uno::Any& target) const {
    uno::Reference<drawing::XShape> shape(target, uno::UNO_QUERY);
    if (!shape.is()) return nullptr;
    for (const MediaShape& m : shapes_)
      if (m.shape == shape) return &m;
    return nullptr;
  }

  void transition(const uno::Reference<beans::XPropertySet>& page) {
    if (!page.is()) return;
    try {
      uno::Reference<beans::XPropertySetInfo> info = page->getPropertySetInfo();
      if (!info.is() || !info->hasPropertyByName("Sound")) return;
      const uno::Any sound = page->getPropertyValue("Sound");
      // The office gives the sound's address, or true for "stop previous sound".
      bool stop = false;
      OUString url;
      SoundPlan::Transition t;
      t.slide = slide_;
      if (sound >>= stop) {
        if (!stop) return;
        t.stopPrevious = true;
      } else if (sound >>= url) {
        if (url.isEmpty()) return;
        t.clip = clipOf(Utf8(url), "transition sound");
        if (t.clip < 0) return;
        t.loop = UnoValues::Value<sal_Bool>(page, "LoopSound", false);
      } else {
        return;
      }
      plan_.transitions.push_back(t);
    } catch (const uno::Exception&) {
    }
  }

  // The slide's audio and command nodes in document order, as the show's engine meets them.
  void walk(const uno::Reference<animations::XAnimationNode>& node) {
    if (!node.is()) return;
    const sal_Int16 type = node->getType();
    if (type == animations::AnimationNodeType::AUDIO) {
      audio(uno::Reference<animations::XAudio>(node, uno::UNO_QUERY));
      ++ordinal_;
    } else if (type == animations::AnimationNodeType::COMMAND) {
      command(uno::Reference<animations::XCommand>(node, uno::UNO_QUERY));
      ++ordinal_;
    }
    uno::Reference<container::XEnumerationAccess> children(node, uno::UNO_QUERY);
    if (!children.is()) return;
    uno::Reference<container::XEnumeration> each = children->createEnumeration();
    while (each.is() && each->hasMoreElements())
      walk(uno::Reference<animations::XAnimationNode>(each->nextElement(), uno::UNO_QUERY));
  }

  void audio(const uno::Reference<animations::XAudio>& audio) {
    if (!audio.is()) return;
    SoundPlan::Node n;
    n.slide = slide_;
    n.ordinal = ordinal_;
    n.kind = SoundPlan::Kind::Audio;
    n.volume = audio->getVolume();
    const uno::Any source = audio->getSource();
    OUString url;
    if (const MediaShape* m = shapeOf(source)) {
      // The sound of a media shape (its own audio node)
      n.clip = m->clip;
      n.volume *= m->volume;
      n.loop = m->loop;
    } else if (source >>= url) {
      n.clip = clipOf(Utf8(url), "sound");
    }
    if (n.clip >= 0) plan_.nodes.push_back(n);
  }

  void command(const uno::Reference<animations::XCommand>& command) {
    if (!command.is()) return;
    const MediaShape* m = shapeOf(command->getTarget());
    if (!m) return;
    SoundPlan::Node n;
    n.slide = slide_;
    n.ordinal = ordinal_;
    n.clip = m->clip;
    n.volume = m->volume;
    n.loop = m->loop;
    switch (command->getCommand()) {
      case presentation::EffectCommands::PLAY:
        n.kind = SoundPlan::Kind::Play;
        break;
      case presentation::EffectCommands::STOP:
      case presentation::EffectCommands::STOPAUDIO:
        n.kind = SoundPlan::Kind::Stop;
        break;
      case presentation::EffectCommands::TOGGLEPAUSE:
        n.kind = SoundPlan::Kind::Pause;
        break;
      default:
        return;
    }
    plan_.nodes.push_back(n);
  }

  std::string deckFolder_, officeDirectory_;
  SoundPlan plan_;
  std::vector<DeckSounds::Part> parts_;
  std::map<std::string, int> byUrl_;
  std::vector<MediaShape> shapes_;
  int slide_ = 0;
  int ordinal_ = 0;
  int mediaShapes_ = 0;  // media shapes met on the slide so far
};

}  // namespace

DeckSounds FindDeckSounds(const uno::Reference<lang::XComponent>& document, const std::string& sourcePath,
                          const std::string& officeDirectory) {
  try {
    uno::Reference<drawing::XDrawPagesSupplier> supplier(document, uno::UNO_QUERY);
    if (!supplier.is()) return {};
    uno::Reference<drawing::XDrawPages> pages = supplier->getDrawPages();
    if (!pages.is()) return {};
    Finder finder(sourcePath, officeDirectory);
    for (sal_Int32 i = 0; i < pages->getCount(); ++i)
      finder.slide(i, uno::Reference<drawing::XDrawPage>(pages->getByIndex(i), uno::UNO_QUERY));
    return finder.result();
  } catch (const uno::Exception&) {
    return {};
  } catch (const std::exception&) {
    return {};
  }
}
