#include "SoundPlan.h"

#include <algorithm>
#include <sstream>

#include "ClipPlayer.h"

namespace {

const char* KindName(SoundPlan::Kind kind) {
  switch (kind) {
    case SoundPlan::Kind::Audio:
      return "audio";
    case SoundPlan::Kind::Play:
      return "play";
    case SoundPlan::Kind::Stop:
      return "stop";
    case SoundPlan::Kind::Pause:
      return "pause";
  }
  return "audio";
}

bool KindFrom(const std::string& name, SoundPlan::Kind& kind) {
  for (SoundPlan::Kind k : {SoundPlan::Kind::Audio, SoundPlan::Kind::Play, SoundPlan::Kind::Stop, SoundPlan::Kind::Pause})
    if (name == KindName(k)) {
      kind = k;
      return true;
    }
  return false;
}

}  // namespace

SoundPlan SoundPlan::Parse(const std::string& text) {
  SoundPlan plan;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream in(line);
    std::string what;
    in >> what;
    if (what == "warning") {
      std::string rest;
      std::getline(in, rest);
      if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
      plan.warnings.push_back(rest);
    } else if (what == "clip") {
      Clip c;
      int video = 0;
      if (in >> c.number >> video >> c.part && c.number == static_cast<int>(plan.clips.size())) {
        c.video = video != 0;
        plan.clips.push_back(c);
      }
    } else if (what == "transition") {
      Transition t;
      int loop = 0, stop = 0;
      if (in >> t.slide >> t.clip >> loop >> stop && t.slide >= 0) {
        t.loop = loop != 0;
        t.stopPrevious = stop != 0;
        plan.transitions.push_back(t);
      }
    } else if (what == "node") {
      Node n;
      std::string kind;
      int loop = 0;
      if (in >> n.slide >> n.ordinal >> kind >> n.clip >> n.volume >> loop && KindFrom(kind, n.kind)) {
        n.loop = loop != 0;
        n.volume = std::clamp(n.volume, 0.0, 4.0);
        plan.nodes.push_back(n);
      }
    } else if (what == "media") {
      Media m;
      int loop = 0, started = 0;
      if (in >> m.slide >> m.clip >> m.x >> m.y >> m.width >> m.height >> m.shape >> m.volume >> loop >> started) {
        m.volume = std::clamp(m.volume, 0.0, 4.0);
        m.loop = loop != 0;
        m.started = started != 0;
        plan.media.push_back(m);
      }
    }
  }
  // Entries that name a clip the table does not hold play nothing.
  const int count = static_cast<int>(plan.clips.size());
  for (Transition& t : plan.transitions)
    if (t.clip >= count) t.clip = -1;
  std::erase_if(plan.nodes, [&](const Node& n) { return n.clip < 0 || n.clip >= count; });
  std::erase_if(plan.media, [&](const Media& m) { return m.clip < 0 || m.clip >= count; });
  return plan;
}

std::string SoundPlan::Text() const {
  std::ostringstream out;
  for (const Clip& c : clips) out << "clip " << c.number << ' ' << (c.video ? 1 : 0) << ' ' << c.part << '\n';
  for (const Transition& t : transitions)
    out << "transition " << t.slide << ' ' << t.clip << ' ' << (t.loop ? 1 : 0) << ' ' << (t.stopPrevious ? 1 : 0)
        << '\n';
  for (const Node& n : nodes)
    out << "node " << n.slide << ' ' << n.ordinal << ' ' << KindName(n.kind) << ' ' << n.clip << ' ' << n.volume << ' '
        << (n.loop ? 1 : 0) << '\n';
  for (const Media& m : media)
    out << "media " << m.slide << ' ' << m.clip << ' ' << m.x << ' ' << m.y << ' ' << m.width << ' ' << m.height
        << ' ' << m.shape << ' ' << m.volume << ' ' << (m.loop ? 1 : 0) << ' ' << (m.started ? 1 : 0) << '\n';
  for (const std::string& w : warnings) {
    std::string line = w;
    std::replace(line.begin(), line.end(), '\n', ' ');
    out << "warning " << line << '\n';
  }
  return out.str();
}

void SoundPlan::startClip(ClipPlayer& player, int clip, int64_t frame, double volume, bool loop) {
  // A transition sound that loops plays until the next sound starts.
  if (loopingTransition_ >= 0) {
    player.stop(loopingTransition_, frame);
    loopingTransition_ = -1;
  }
  player.play(clip, frame, volume, loop);
}

void SoundPlan::slideShown(ClipPlayer& player, int slide, int64_t frame) {
  if (slide == slide_) return;
  for (int clip : slideClips_) player.stop(clip, frame);
  slideClips_.clear();
  slide_ = slide;
  for (const Transition& t : transitions) {
    if (t.slide != slide) continue;
    if (t.stopPrevious) {
      player.stopAll(frame);
      loopingTransition_ = -1;
    }
    if (t.clip >= 0) {
      startClip(player, t.clip, frame, 1.0, t.loop);
      if (t.loop) loopingTransition_ = t.clip;
    }
  }
  for (const Media& m : media) {
    if (m.slide != slide || m.started) continue;
    startClip(player, m.clip, frame, m.volume, m.loop);
    slideClips_.push_back(m.clip);
  }
}

void SoundPlan::nodeStarted(ClipPlayer& player, int slide, int ordinal, int64_t frame) {
  for (const Node& n : nodes) {
    if (n.slide != slide || n.ordinal != ordinal) continue;
    if (n.kind == Kind::Audio || n.kind == Kind::Play) {
      startClip(player, n.clip, frame, n.volume, n.loop);
      if (slide == slide_) slideClips_.push_back(n.clip);
    } else {
      // A pause is taken as a stop: the film has no way back into the clip.
      player.stop(n.clip, frame);
    }
  }
}
