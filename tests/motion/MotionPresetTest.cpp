// Every preset of the office's installed lists filmed in one deck per list: no slide lost, in
// order, the show never broken; each transition and each gradual effect shows pictures between
// its start and its end, each instant effect shows its end state. Presets the show cannot play
// yet are listed in transition-gaps.txt and effect-gaps.txt (one id a line); a listed preset
// that plays fails the test too, so that the lists only shrink.
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "MotionSupport.h"

namespace {

std::vector<int> AllSlides(size_t presets) {
  std::vector<int> slides;
  for (size_t i = 0; i <= presets; ++i) slides.push_back(static_cast<int>(i));
  return slides;
}

// Every slide's still pictures, one slide after the other: no slide lost, none twice.
void ExpectAllSlidesInOrder(const MotionFilm& film, size_t presets) {
  const std::vector<int> filmed = StillSlides(film);
  const std::vector<int> all = AllSlides(presets);
  for (size_t i = 0; i < all.size(); ++i) {
    ASSERT_LT(i, filmed.size()) << "the film ends before slide " << i;
    ASSERT_EQ(filmed[i], all[i]) << "slide " << all[i] << " lost, repeated or out of order";
  }
  EXPECT_EQ(filmed.size(), all.size()) << "slides after the last one";
}

void ExpectPlayed(const MotionFilm& film, const std::vector<MotionPreset>& presets, const std::string& gapList) {
  EXPECT_TRUE(film.ok) << film.message;
  ExpectAllSlidesInOrder(film, presets.size());
  const std::set<std::string> gaps = GapList(gapList);
  const std::vector<SlideVerdict> verdicts = JudgeSlides(film, presets);
  for (size_t i = 0; i < presets.size(); ++i) {
    const SlideVerdict& v = verdicts[i];
    const bool plays = v.seen && (presets[i].instant ? v.endShown : v.moved);
    if (gaps.count(presets[i].id) > 0) {
      EXPECT_FALSE(plays) << presets[i].id << " plays now: take it off " << gapList;
    } else {
      EXPECT_TRUE(plays) << presets[i].id << (!v.seen ? ": slide not filmed" : presets[i].instant ? ": end state not shown" : ": no motion")
                         << " (slide " << v.slide << ", " << v.stills << " stills, " << v.inBetween
                         << " pictures in between)";
    }
  }
}

// Filmed twice, the second time with SOURCE_DATE_EPOCH: the same frames (nothing on these
// slides shows the date), every slide in order.
TEST(MotionPresets, EveryTransitionMovesAndTwoFilmsOfThemAreTheSame) {
  const std::vector<MotionPreset> presets = PresetDecks::Transitions();
  ASSERT_GT(presets.size(), 10u) << "the office's transition list was not found or not read";
  TempDir dir;
  const std::string deck = MakeDeck(presets, dir.file("transitions.fodp"));
  ASSERT_FALSE(deck.empty());
  FilmOptions options;
  const MotionFilm first = FilmDeck(deck, dir.path(), options);
  ExpectPlayed(first, presets, "transition-gaps.txt");
  options.video = "again.mp4";
  options.env = {"SOURCE_DATE_EPOCH=1700000000"};
  const MotionFilm second = FilmDeck(deck, dir.path(), options);
  EXPECT_TRUE(second.ok) << second.message;
  std::string where;
  EXPECT_TRUE(SameFrames(first, second, &where)) << where;
}

// The 3D transitions of the office's registry, which transitions.xml does not list: drawn by
// the browser's compositor in perspective, filmed twice (the second time with
// SOURCE_DATE_EPOCH and larger, where edges are finer) to the same frames.
TEST(MotionPresets, Every3DTransitionMovesAndTwoFilmsOfThemAreTheSame) {
  const std::vector<MotionPreset> presets = PresetDecks::Transitions3D();
  ASSERT_GT(presets.size(), 10u) << "the office's registry of transitions was not found or not read";
  TempDir dir;
  const std::string deck = MakeDeck(presets, dir.file("transitions-3d.fodp"));
  ASSERT_FALSE(deck.empty());
  FilmOptions options;
  options.size = "640x480";
  const MotionFilm first = FilmDeck(deck, dir.path(), options);
  ExpectPlayed(first, presets, "transition-gaps.txt");
  options.video = "again.mp4";
  options.env = {"SOURCE_DATE_EPOCH=1700000000"};
  const MotionFilm second = FilmDeck(deck, dir.path(), options);
  EXPECT_TRUE(second.ok) << second.message;
  std::string where;
  EXPECT_TRUE(SameFrames(first, second, &where)) << where;
}

TEST(MotionPresets, EveryEffectMovesOrShowsItsEnd) {
  const std::vector<MotionPreset> presets = PresetDecks::Effects();
  ASSERT_GT(presets.size(), 10u) << "the office's effect list was not found or not read";
  TempDir dir;
  const std::string deck = MakeDeck(presets, dir.file("effects.fodp"));
  ASSERT_FALSE(deck.empty());
  ExpectPlayed(FilmDeck(deck, dir.path()), presets, "effect-gaps.txt");
}

// An effect the engine throws on (an attribute it does not know) does not end the show: its
// slide comes in all the same and the slides after it are filmed, in order.
TEST(MotionPresets, AnEffectTheEngineThrowsOnLeavesItsSlideInTheFilm) {
  std::vector<MotionPreset> presets = PresetsNamed(PresetDecks::Effects(), {"ooo-entrance-fade-in"});
  ASSERT_EQ(presets.size(), 1u);
  MotionPreset broken;
  broken.id = "unknown-attribute";
  broken.presetClass = "emphasis";
  broken.node =
      "<anim:par smil:begin=\"0\" smil:fill=\"hold\" presentation:node-type=\"on-click\" "
      "presentation:preset-class=\"emphasis\" presentation:preset-id=\"unknown-attribute\">"
      "<anim:animate smil:targetElement=\"@TARGET@\" smil:dur=\"1\" smil:fill=\"hold\" "
      "smil:attributeName=\"kavreto-no-such-attribute\" smil:values=\"0;1\" smil:keyTimes=\"0;1\"/></anim:par>";
  presets = {presets[0], broken, presets[0], broken, presets[0]};
  TempDir dir;
  const std::string deck = MakeDeck(presets, dir.file("broken.fodp"));
  ASSERT_FALSE(deck.empty());
  const MotionFilm film = FilmDeck(deck, dir.path());
  EXPECT_TRUE(film.ok) << film.message;
  ExpectAllSlidesInOrder(film, presets.size());
  const std::vector<SlideVerdict> verdicts = JudgeSlides(film, presets);
  for (size_t i : {0u, 2u, 4u}) EXPECT_TRUE(verdicts[i].moved) << "slide " << verdicts[i].slide;
}

}  // namespace
