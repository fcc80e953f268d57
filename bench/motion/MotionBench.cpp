// bench_motion: films one deck of every transition preset and one of every effect preset of
// the installed office (see tests/motion/MotionSupport.h) and prints how many of them move:
//   motion transitions: N of M
//   motion 3D transitions: N of M      (the office's 3D set, from its registry)
//   motion effects: N of M moving, K of L instant shown, B broken
// `bench_motion --list` also prints one line per preset (id, class, verdict); `--only
// transitions|transitions-3d|effects` films one deck; `--presets ID,ID...` films only those
// presets of it (to look at a few); `--keep DIR` keeps the decks and videos in DIR; `--write DIR` only writes the decks into DIR
// (transitions.fodp, transitions-3d.fodp, effects.fodp), to look at or play by hand. Never fails a build: it measures.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "AppTestSupport.h"
#include "MotionSupport.h"

namespace {

std::string judge;  // --judge VIDEO: judge that film of the deck (with --only)
std::string keep;  // --keep DIR: film in DIR/<what>/ and leave the deck and video there
std::vector<std::string> chosen;  // --presets ID,ID...: only these

std::vector<MotionPreset> Chosen(std::vector<MotionPreset> presets) {
  return chosen.empty() ? presets : PresetsNamed(presets, chosen);
}

MotionSummary Film(const char* what, const std::vector<MotionPreset>& presets, bool list) {
  TempDir temp;
  std::string dir = temp.path();
  if (!keep.empty()) {
    dir = keep + "/" + what;
    std::system(("mkdir -p '" + dir + "'").c_str());
  }
  const std::string deck = MakeDeck(presets, dir + "/" + what + ".fodp");
  MotionFilm film;
  if (!judge.empty()) {
    film.ok = DecodeFrames(judge, film);  // judges a film made before instead
  } else {
    film = FilmDeck(deck, dir);
  }
  if (!film.ok) std::fprintf(stderr, "%s: the show did not end well: %s\n", what, film.message.c_str());
  const std::vector<SlideVerdict> verdicts = JudgeSlides(film, presets);
  if (list) {
    for (size_t i = 0; i < presets.size(); ++i) {
      const SlideVerdict& v = verdicts[i];
      const char* verdict = !v.seen ? "LOST" : presets[i].instant ? (v.endShown ? "shown" : "NOT-SHOWN")
                                                                  : (v.moved ? "moves" : "STILL");
      std::printf("%-10s %-48s %-11s %-9s stills=%d between=%d changes=%d\n", what, presets[i].id.c_str(),
                  presets[i].presetClass.c_str(), verdict, v.stills, v.inBetween, v.changes);
    }
  }
  return Summarise(verdicts, presets);
}

}  // namespace

int main(int argc, char** argv) {
  bool list = false;
  std::string only, write;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--list") == 0) list = true;
    else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) only = argv[++i];
    else if (std::strcmp(argv[i], "--write") == 0 && i + 1 < argc) write = argv[++i];
    // Absolute: the office's profile goes below it, and the office takes no relative path.
    else if (std::strcmp(argv[i], "--keep") == 0 && i + 1 < argc) keep = std::filesystem::absolute(argv[++i]).string();
    else if (std::strcmp(argv[i], "--judge") == 0 && i + 1 < argc) judge = argv[++i];
    else if (std::strcmp(argv[i], "--presets") == 0 && i + 1 < argc) {
      std::string ids = argv[++i];
      for (size_t at = 0; at <= ids.size();) {
        const size_t comma = std::min(ids.find(',', at), ids.size());
        if (comma > at) chosen.push_back(ids.substr(at, comma - at));
        at = comma + 1;
      }
    }
  }
  if (PresetDecks::ConfigDir().empty()) {
    std::fprintf(stderr, "bench_motion: the office's preset lists were not found\n");
    return 1;
  }
  if (!write.empty()) {
    const bool ok = !MakeDeck(PresetDecks::Transitions(), write + "/transitions.fodp").empty() &&
                    !MakeDeck(PresetDecks::Transitions3D(), write + "/transitions-3d.fodp").empty() &&
                    !MakeDeck(PresetDecks::Effects(), write + "/effects.fodp").empty();
    return ok ? 0 : 1;
  }
  if (only.empty() || only == "transitions") {
    const std::vector<MotionPreset> presets = Chosen(PresetDecks::Transitions());
    const MotionSummary s = Film("transitions", presets, list);
    std::printf("motion transitions: %d of %d\n", s.moving, s.movingTotal + s.instantTotal);
    std::fflush(stdout);
  }
  if (only.empty() || only == "transitions-3d") {
    const std::vector<MotionPreset> presets = Chosen(PresetDecks::Transitions3D());
    const MotionSummary s = Film("3d", presets, list);
    std::printf("motion 3D transitions: %d of %d\n", s.moving, s.movingTotal + s.instantTotal);
    std::fflush(stdout);
  }
  if (only.empty() || only == "effects") {
    const std::vector<MotionPreset> presets = Chosen(PresetDecks::Effects());
    const MotionSummary s = Film("effects", presets, list);
    std::printf("motion effects: %d of %d moving, %d of %d instant shown, %d broken\n", s.moving, s.movingTotal,
                s.instant, s.instantTotal, s.broken);
  }
  return 0;
}
