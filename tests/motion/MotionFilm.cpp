// Filming a deck with `kavreto convert` and judging the motion in its frames (see MotionSupport.h).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "AppTestSupport.h"
#include "MotionSupport.h"

namespace {

constexpr size_t kFrameBytes = static_cast<size_t>(MotionFilm::kWidth) * MotionFilm::kHeight * 3;

// Pixels whose colour differs by more than this in some channel count as changed: far above
// what the encoder's rounding does to a still picture.
constexpr int kPixelTolerance = 20;

int ChangedPixels(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  int changed = 0;
  for (size_t i = 0; i + 2 < a.size() && i + 2 < b.size(); i += 3) {
    const int d = std::max({std::abs(a[i] - b[i]), std::abs(a[i + 1] - b[i + 1]), std::abs(a[i + 2] - b[i + 2])});
    if (d > kPixelTolerance) ++changed;
  }
  return changed;
}

bool Same(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) { return ChangedPixels(a, b) <= 1; }

// The slide a still picture belongs to, by the colour of its corners (most of them agree).
int SlideOfPicture(const std::vector<uint8_t>& frame) {
  const int w = MotionFilm::kWidth, h = MotionFilm::kHeight;
  std::map<int, int> votes;
  // Inside the corners: a 4:3 slide in an 11:9 picture has bands above and below.
  for (const auto& [x0, y0] : {std::pair{2, 6}, std::pair{w - 5, 6}, std::pair{2, h - 9}, std::pair{w - 5, h - 9}}) {
    int sum[3] = {0, 0, 0};
    for (int y = y0; y < y0 + 3; ++y)
      for (int x = x0; x < x0 + 3; ++x)
        for (int c = 0; c < 3; ++c) sum[c] += frame[(static_cast<size_t>(y) * w + x) * 3 + c];
    ++votes[SlideOfColour(sum[0] / 9, sum[1] / 9, sum[2] / 9)];
  }
  for (const auto& [slide, count] : votes)
    if (slide >= 0 && count >= 2) return slide;
  return -1;
}

struct Still {
  size_t begin, end;  // frames [begin, end)
  int slide;
  const std::vector<uint8_t>* picture;
};

std::vector<Still> Stills(const MotionFilm& film) {
  std::vector<Still> stills;
  const size_t minimum = static_cast<size_t>(std::max(2, film.holdFrames - 1));
  const std::vector<std::vector<uint8_t>>& f = film.frames;
  for (size_t i = 0; i < f.size();) {
    size_t j = i + 1;
    while (j < f.size() && Same(f[i], f[j])) ++j;
    if (j - i >= minimum) {
      const std::vector<uint8_t>& middle = f[(i + j) / 2];
      const int slide = SlideOfPicture(middle);
      // Black later on is the show's black between two slides, not the opening slide again.
      if (slide > 0 || (slide == 0 && stills.empty())) stills.push_back({i, j, slide, &middle});
    }
    i = j;
  }
  if (std::getenv("KAVRETO_MOTION_DEBUG") != nullptr)
    for (const Still& still : stills) std::fprintf(stderr, "still %zu-%zu slide %d\n", still.begin, still.end, still.slide);
  return stills;
}

// Frames in [begin, end) that are neither `from` nor `to`.
int InBetween(const MotionFilm& film, size_t begin, size_t end, const std::vector<uint8_t>& from,
              const std::vector<uint8_t>& to) {
  int count = 0;
  for (size_t i = begin; i < end && i < film.frames.size(); ++i)
    if (ChangedPixels(film.frames[i], from) > 2 && ChangedPixels(film.frames[i], to) > 2) ++count;
  return count;
}

// The value of "key":"..." or "key":number in one JSON line ("" when absent).
std::string JsonField(const std::string& line, const std::string& key) {
  const std::string quoted = "\"" + key + "\":";
  size_t at = line.find(quoted);
  if (at == std::string::npos) return {};
  at += quoted.size();
  if (at < line.size() && line[at] == '"') {
    std::string value;
    for (size_t i = at + 1; i < line.size() && line[i] != '"'; ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) ++i;
      value.push_back(line[i]);
    }
    return value;
  }
  const size_t end = line.find_first_of(",}", at);
  return line.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

}  // namespace

bool DecodeFrames(const std::string& video, MotionFilm& film) {
  film.frames.clear();
  const std::string command = "ffmpeg -v error -nostdin -i '" + video + "' -vf scale=" + std::to_string(MotionFilm::kWidth) +
                              ":" + std::to_string(MotionFilm::kHeight) +
                              ":flags=area -f rawvideo -pix_fmt rgb24 - 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return false;
  std::vector<uint8_t> frame(kFrameBytes);
  while (std::fread(frame.data(), 1, frame.size(), pipe) == frame.size()) film.frames.push_back(frame);
  return ::pclose(pipe) == 0 && !film.frames.empty();
}

MotionFilm FilmDeck(const std::string& deck, const std::string& workDir, const FilmOptions& options) {
  MotionFilm film;
  film.holdFrames = static_cast<int>(std::lround(options.hold * options.fps));
  film.video = workDir + "/" + options.video;
  std::ostringstream hold;
  hold << options.hold;
  std::vector<std::string> args = {KavretoProgram(), "convert", deck, film.video, "--size", options.size,
                                   "--fps", std::to_string(options.fps), "--hold", hold.str(), "--progress", "json"};
  if (options.kbps > 0) {
    args.push_back("--kbps");
    args.push_back(std::to_string(options.kbps));
  }
  args.insert(args.end(), options.extraArgs.begin(), options.extraArgs.end());
  std::vector<std::string> env = {"XDG_CACHE_HOME=" + workDir + "/cache", "TMPDIR=" + workDir,
                                  "XDG_RUNTIME_DIR=" + workDir};
  env.insert(env.end(), options.env.begin(), options.env.end());
  ChildProcess kavreto(args, env);
  film.exitStatus = kavreto.wait(options.timeoutMs);
  film.stderrText = kavreto.stderrText();
  std::string state;
  std::istringstream lines(kavreto.stdoutText());
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] != '{') continue;
    state = JsonField(line, "state");
    if (!JsonField(line, "message").empty()) film.message = JsonField(line, "message");
  }
  film.ok = film.exitStatus == 0 && state == "done";
  if (!film.ok && film.message.empty())
    film.message = "exit " + std::to_string(film.exitStatus) + ": " +
                   film.stderrText.substr(film.stderrText.size() > 2000 ? film.stderrText.size() - 2000 : 0);
  if (FileExists(film.video) && !DecodeFrames(film.video, film) && film.ok) {
    film.ok = false;
    film.message = "the video could not be decoded";
  }
  return film;
}

std::vector<MotionPreset> PresetsNamed(const std::vector<MotionPreset>& all, const std::vector<std::string>& ids) {
  std::vector<MotionPreset> chosen;
  for (const std::string& id : ids)
    for (const MotionPreset& preset : all)
      if (preset.id == id) chosen.push_back(preset);
  return chosen;
}

std::set<std::string> GapList(const std::string& name) {
  std::set<std::string> ids;
  std::ifstream in(std::string(KAVRETO_SOURCE_DIR) + "/tests/motion/" + name);
  for (std::string line; std::getline(in, line);) {
    line = line.substr(0, line.find('#'));
    std::istringstream words(line);
    std::string id;
    if (words >> id) ids.insert(id);
  }
  return ids;
}

bool SameFrames(const MotionFilm& a, const MotionFilm& b, std::string* where) {
  if (a.frames.size() != b.frames.size()) {
    if (where) *where = std::to_string(a.frames.size()) + " frames against " + std::to_string(b.frames.size());
    return false;
  }
  for (size_t i = 0; i < a.frames.size(); ++i) {
    if (!Same(a.frames[i], b.frames[i])) {
      if (where) *where = "frame " + std::to_string(i);
      return false;
    }
  }
  return true;
}

std::vector<int> StillSlides(const MotionFilm& film) {
  std::vector<int> order;
  for (const Still& still : Stills(film))
    if (order.empty() || order.back() != still.slide) order.push_back(still.slide);
  return order;
}

std::vector<SlideVerdict> JudgeSlides(const MotionFilm& film, const std::vector<MotionPreset>& presets) {
  const std::vector<Still> stills = Stills(film);
  std::vector<SlideVerdict> verdicts(presets.size());
  for (size_t i = 0; i < presets.size(); ++i) {
    SlideVerdict& v = verdicts[i];
    v.slide = static_cast<int>(i) + 1;
    v.id = presets[i].id;
    // The slide's stills: the first run of stills of this slide.
    size_t first = stills.size(), last = stills.size();
    for (size_t s = 0; s < stills.size(); ++s) {
      if (stills[s].slide != v.slide) continue;
      if (first == stills.size()) first = s;
      last = s;
      if (s + 1 < stills.size() && stills[s + 1].slide != v.slide) break;
    }
    if (first == stills.size()) continue;
    v.seen = true;
    v.stills = static_cast<int>(last - first + 1);
    if (presets[i].kind == MotionPreset::Kind::kTransition) {
      if (first == 0) continue;  // the first slide comes in without a transition
      const Still& before = stills[first - 1];
      v.inBetween = InBetween(film, before.end, stills[first].begin, *before.picture, *stills[first].picture);
    } else {
      v.inBetween = InBetween(film, stills[first].end, stills[last].begin, *stills[first].picture, *stills[last].picture);
      v.endShown = !Same(*stills[first].picture, *stills[last].picture);
      for (size_t s = first + 1; s <= last; ++s)
        if (!Same(*stills[s - 1].picture, *stills[s].picture)) ++v.changes;
    }
    v.moved = v.inBetween >= 2 || v.changes >= 3;
  }
  return verdicts;
}

MotionSummary Summarise(const std::vector<SlideVerdict>& verdicts, const std::vector<MotionPreset>& presets) {
  MotionSummary summary;
  for (size_t i = 0; i < presets.size() && i < verdicts.size(); ++i) {
    const SlideVerdict& v = verdicts[i];
    if (!v.seen) ++summary.broken;
    if (presets[i].instant) {
      ++summary.instantTotal;
      if (v.seen && v.endShown) ++summary.instant;
    } else {
      ++summary.movingTotal;
      if (v.seen && v.moved) ++summary.moving;
    }
  }
  return summary;
}
