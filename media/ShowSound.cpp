#include "ShowSound.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "MhtmlArchive.h"

bool ShowSound::Load(const std::string& archivePath) {
  std::ifstream in(archivePath, std::ios::binary);
  if (!in.is_open()) return false;
  const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  MhtmlArchive archive;
  if (!archive.parse(data)) return false;
  const MhtmlArchive::Part* table = nullptr;
  for (const MhtmlArchive::Part& part : archive.parts()) {
    const std::string& name = part.contentLocation;
    if (name.size() >= 17 && name.compare(name.size() - 17, 17, ".files/sounds.txt") == 0) table = &part;
  }
  if (!table) return false;
  plan_ = SoundPlan::Parse(table->body);
  const std::string folder = table->contentLocation.substr(0, table->contentLocation.size() - 10);
  for (const SoundPlan::Clip& clip : plan_.clips) {
    const MhtmlArchive::Part* part = archive.find(folder + clip.part);
    auto bytes = std::make_shared<const std::string>(part ? part->body : std::string());
    const size_t slash = clip.part.rfind('/');
    mixer_.addClipBytes(slash == std::string::npos ? clip.part : clip.part.substr(slash + 1), std::move(bytes));
  }
  return plan_.hasSound();
}

std::vector<std::string> ShowSound::warnings() const {
  std::vector<std::string> all = plan_.warnings;
  for (const std::string& p : mixer_.problems()) all.push_back(p + " It is left out of the film's sound.");
  return all;
}

void ShowSound::Report(const std::string& text) { pending_.push_back(text); }

int64_t ShowSound::FrameAt(double pageMs, double firstFrameMs, int frameRate) {
  const double frames = (pageMs - firstFrameMs) * frameRate / 1000.0;
  const double nearest = std::round(frames);
  const int64_t frame =
      std::fabs(frames - nearest) < 1e-3 ? static_cast<int64_t>(nearest) + 1 : static_cast<int64_t>(std::ceil(frames));
  return frame < 0 ? 0 : frame;
}

void ShowSound::Flush(double startMs, double firstFrameMs, int frameRate) {
  for (const std::string& text : pending_) {
    std::istringstream in(text);
    std::string kind, field;
    std::vector<double> numbers;
    std::getline(in, kind, ':');
    while (std::getline(in, field, ':')) numbers.push_back(std::atof(field.c_str()));
    if (kind == "slide" && numbers.size() == 2) {
      plan_.slideShown(mixer_, static_cast<int>(numbers[0]), FrameAt(startMs + numbers[1], firstFrameMs, frameRate));
    } else if (kind == "node" && numbers.size() == 3) {
      plan_.nodeStarted(mixer_, static_cast<int>(numbers[0]), static_cast<int>(numbers[1]),
                        FrameAt(startMs + numbers[2], firstFrameMs, frameRate));
    }
  }
  pending_.clear();
}
