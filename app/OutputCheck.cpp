#include "OutputCheck.h"

#include <QCoreApplication>
#include <QString>
#include <algorithm>
#include <cctype>
#include <vector>

#include "EncodePresets.h"
#include "VideoWriter.h"

namespace {

// The writer's own answer, where the writer can give one (VideoWriter::CheckSettings:
// the container's and codec's limits); empty otherwise.
template <typename Writer>
std::string WriterProblem(const std::string& fileName, const EncodeSettings& settings) {
  if constexpr (requires { Writer::CheckSettings(fileName, settings); }) {
    return Writer::CheckSettings(fileName, settings);
  } else {
    return {};
  }
}

}  // namespace

std::string OutputCheck::Problem(const std::string& fileName, const EncodeSettings& settings, bool sizeKnown) {
  const size_t slash = fileName.rfind('/');
  const size_t dot = fileName.rfind('.');
  std::string suffix = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                           ? std::string()
                           : fileName.substr(dot + 1);
  std::transform(suffix.begin(), suffix.end(), suffix.begin(), [](unsigned char c) { return std::tolower(c); });
  // The containers the dialog's save filter offers at these settings: .mpg and .mov
  // only at 352x288 and exactly 25 frames per second (MPEG-1 takes only the standard
  // frame rates in any case).
  std::vector<std::string> offered = {"flv", "swf", "wmv", "mp4"};
  if (sizeKnown && EncodePresets::OffersMpgAndMov(settings.width, settings.height, settings.frameRate)) {
    offered.insert(offered.end(), {"mpg", "mov"});
  }
  if (std::find(offered.begin(), offered.end(), suffix) != offered.end()) {
    return sizeKnown ? WriterProblem<VideoWriter>(fileName, settings) : std::string();
  }
  std::string list;
  for (const std::string& s : offered) list += (list.empty() ? "" : ", ") + s;
  // The dialog's language, as its other texts (the source text without an application).
  return QCoreApplication::translate("OutputCheck", "不支持的输出文件类型“.%1”：这个大小和帧率下可用 %2")
      .arg(QString::fromStdString(suffix), QString::fromStdString(list))
      .toStdString();
}
