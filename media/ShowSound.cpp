#include "ShowSound.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "MhtmlArchive.h"

bool ShowSound::Load(const MhtmlArchive& archive) {
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
    const std::string name = slash == std::string::npos ? clip.part : clip.part.substr(slash + 1);
    mixer_.addClipBytes(name, bytes);
    // A media shape's clip: its pictures (a video) or at least its length (a sound).
    const bool shown = std::any_of(plan_.media.begin(), plan_.media.end(),
                                   [&](const SoundPlan::Media& m) { return m.clip == clip.number; });
    if (!shown) continue;
    std::string problem;
    std::unique_ptr<ClipFrames> frames = ClipFrames::Open(name, bytes, &problem);
    if (!frames && clip.video) pictureProblems_.push_back(problem + " Its pictures are left out of the film.");
    pictures_.addClip(clip.number, std::move(frames));
  }
  return plan_.hasSound();
}

std::vector<std::string> ShowSound::warnings() const {
  std::vector<std::string> all = plan_.warnings;
  all.insert(all.end(), pictureProblems_.begin(), pictureProblems_.end());
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

void ShowSound::play(int clip, int64_t frame, double volume, bool loop) {
  mixer_.play(clip, frame, volume, loop);
  if (!pictures_.hasClip(clip)) return;
  std::vector<MediaLayer::Place> places;
  for (const SoundPlan::Media& m : plan_.media) {
    if (m.slide != slide_ || m.clip != clip) continue;
    if (auto at = places_.find({m.slide, m.shape}); at != places_.end()) places.push_back(at->second);
  }
  pictures_.play(clip, frame, loop, std::move(places));
}

void ShowSound::stop(int clip, int64_t frame) {
  mixer_.stop(clip, frame);
  pictures_.stop(clip, frame);
}

void ShowSound::stopAll(int64_t frame) {
  mixer_.stopAll(frame);
  pictures_.stop(-1, frame);
}

void ShowSound::Flush(double startMs, double firstFrameMs, int frameRate) {
  if (!pending_.empty()) pictures_.setFrameRate(frameRate);
  for (const std::string& text : pending_) {
    std::istringstream in(text);
    std::string kind, field;
    std::vector<double> numbers;
    std::getline(in, kind, ':');
    while (std::getline(in, field, ':')) numbers.push_back(std::atof(field.c_str()));
    if (kind == "slide" && numbers.size() == 2) {
      slide_ = static_cast<int>(numbers[0]);
      plan_.slideShown(*this, slide_, FrameAt(startMs + numbers[1], firstFrameMs, frameRate));
    } else if (kind == "node" && numbers.size() == 3) {
      plan_.nodeStarted(*this, static_cast<int>(numbers[0]), static_cast<int>(numbers[1]),
                        FrameAt(startMs + numbers[2], firstFrameMs, frameRate));
    } else if (kind == "media" && numbers.size() == 11) {
      // The edges rounded to whole pixels.
      auto edge = [&](size_t i) { return static_cast<int>(std::lround(numbers[i])); };
      auto far = [&](size_t i) { return static_cast<int>(std::lround(numbers[i] + numbers[i + 2])); };
      MediaLayer::Place place;
      place.x = edge(2);
      place.y = edge(3);
      place.width = far(2) - place.x;
      place.height = far(3) - place.y;
      place.visibleLeft = edge(6);
      place.visibleTop = edge(7);
      place.visibleRight = far(6);
      place.visibleBottom = far(7);
      places_[{static_cast<int>(numbers[0]), static_cast<int>(numbers[1])}] = place;
    }
  }
  pending_.clear();
}
