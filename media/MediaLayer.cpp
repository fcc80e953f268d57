#include "MediaLayer.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {
constexpr int64_t kForever = std::numeric_limits<int64_t>::max();
}

void MediaLayer::addClip(int clip, std::unique_ptr<ClipFrames> frames) {
  std::lock_guard lock(mutex_);
  clips_[clip] = std::move(frames);
}

bool MediaLayer::hasClip(int clip) const {
  std::lock_guard lock(mutex_);
  return clips_.count(clip) != 0;
}

void MediaLayer::setFrameRate(int frameRate) {
  std::lock_guard lock(mutex_);
  frameRate_ = std::max(1, frameRate);
}

void MediaLayer::play(int clip, int64_t frame, bool loop, std::vector<Place> places) {
  std::lock_guard lock(mutex_);
  auto known = clips_.find(clip);
  if (known == clips_.end()) return;
  frame = std::max<int64_t>(0, frame);
  for (Voice& v : voices_)
    if (v.clip == clip && v.end > frame) v.end = std::max(v.begin, frame);
  const int64_t length = known->second ? known->second->lengthInFrames(frameRate_) : 0;
  voices_.push_back({clip, frame, kForever, loop, length, std::move(places)});
}

void MediaLayer::stop(int clip, int64_t frame) {
  std::lock_guard lock(mutex_);
  frame = std::max<int64_t>(0, frame);
  for (Voice& v : voices_)
    if ((clip < 0 || v.clip == clip) && v.end > frame) v.end = std::max(v.begin, frame);
}

bool MediaLayer::holds(int64_t frame) const {
  std::lock_guard lock(mutex_);
  for (const Voice& v : voices_)
    if (!v.loop && v.length > 0 && v.begin <= frame && frame < std::min(v.end, v.begin + v.length)) return true;
  return false;
}

const uint8_t* MediaLayer::compose(int64_t frame, const uint8_t* picture, int width, int height) {
  std::lock_guard lock(mutex_);
  // Voices that ended before this frame are done with: frames come in order.
  std::erase_if(voices_, [&](const Voice& v) { return v.end <= frame; });
  bool copied = false;
  for (const Voice& v : voices_) {
    if (v.begin > frame || v.places.empty()) continue;
    const std::shared_ptr<ClipFrames>& clip = clips_[v.clip];
    if (!clip || !clip->hasPicture()) continue;
    for (const Place& p : v.places) {
      // The part of the place inside the picture.
      const int left = std::max({0, p.x, p.visibleLeft}), top = std::max({0, p.y, p.visibleTop});
      const int right = std::min({width, p.x + p.width, p.visibleRight});
      const int bottom = std::min({height, p.y + p.height, p.visibleBottom});
      if (p.width <= 0 || p.height <= 0 || left >= right || top >= bottom) continue;
      const uint8_t* shown = clip->picture(frame - v.begin, frameRate_, v.loop, p.width, p.height);
      if (!shown) continue;
      if (!copied) {
        composed_.assign(picture, picture + static_cast<size_t>(width) * height * 3);
        copied = true;
      }
      const size_t run = static_cast<size_t>(right - left) * 3;
      for (int y = top; y < bottom; ++y) {
        const uint8_t* from = shown + (static_cast<size_t>(y - p.y) * p.width + (left - p.x)) * 3;
        uint8_t* to = composed_.data() + (static_cast<size_t>(height - 1 - y) * width + left) * 3;
        std::memcpy(to, from, run);
      }
    }
  }
  return copied ? composed_.data() : picture;
}
