// Every preset of the office's installed lists filmed in one deck per list: no slide lost, in
// order, the show never broken; each transition and each gradual effect shows pictures between
// its start and its end, each instant effect shows its end state. Presets the show cannot play
// yet are listed in transition-gaps.txt and effect-gaps.txt (one id a line); a listed preset
// that plays fails the test too, so that the lists only shrink.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "AppTestSupport.h"
#include "MotionSupport.h"

namespace {

std::set<std::string> Gaps(const std::string& name) {
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

std::vector<int> AllSlides(size_t presets) {
  std::vector<int> slides;
  for (size_t i = 0; i <= presets; ++i) slides.push_back(static_cast<int>(i));
  return slides;
}

void Check(const std::vector<MotionPreset>& presets, const std::string& gapList, const std::string& deckName) {
  ASSERT_GT(presets.size(), 10u) << "the office's preset list was not found or not read";
  TempDir dir;
  const std::string deck = MakeDeck(presets, dir.file(deckName));
  ASSERT_FALSE(deck.empty());
  const MotionFilm film = FilmDeck(deck, dir.path());
  EXPECT_TRUE(film.ok) << film.message;
  EXPECT_EQ(StillSlides(film), AllSlides(presets.size())) << "slides lost, repeated or out of order";
  const std::set<std::string> gaps = Gaps(gapList);
  const std::vector<SlideVerdict> verdicts = JudgeSlides(film, presets);
  for (size_t i = 0; i < presets.size(); ++i) {
    const SlideVerdict& v = verdicts[i];
    const bool plays = v.seen && (presets[i].instant ? v.endShown : v.moved);
    if (gaps.count(presets[i].id) > 0) {
      EXPECT_FALSE(plays) << presets[i].id << " plays now: take it off " << gapList;
    } else {
      EXPECT_TRUE(v.seen) << presets[i].id << ": slide " << v.slide << " not filmed";
      EXPECT_TRUE(plays) << presets[i].id << (presets[i].instant ? ": end state not shown" : ": no motion")
                         << " (slide " << v.slide << ", " << v.stills << " stills, " << v.inBetween
                         << " pictures in between)";
    }
  }
}

TEST(MotionPresets, EveryTransitionMoves) {
  Check(PresetDecks::Transitions(), "transition-gaps.txt", "transitions.fodp");
}

// The 3D transitions of the office's registry, which transitions.xml does not list.
TEST(MotionPresets, Every3DTransitionMoves) {
  Check(PresetDecks::Transitions3D(), "transition-gaps.txt", "transitions-3d.fodp");
}

TEST(MotionPresets, EveryEffectMovesOrShowsItsEnd) {
  Check(PresetDecks::Effects(), "effect-gaps.txt", "effects.fodp");
}

}  // namespace
