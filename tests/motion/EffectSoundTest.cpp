// An effect with a sound (as PowerPoint decks have them) plays its motion: the show's engine
// makes no node for anim:audio, and an effect with a child it cannot make used to lose all its
// children, so the shape never came in.
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "MotionSupport.h"

TEST(EffectSound, FadeInWithASoundMovesAndEndsShown) {
  MotionPreset fade;
  fade.id = "fade-in-with-sound";
  fade.presetClass = "entrance";
  fade.node =
      "<anim:par smil:begin=\"0s\" smil:fill=\"hold\" presentation:node-type=\"on-click\""
      " presentation:preset-class=\"entrance\" presentation:preset-id=\"ooo-entrance-fade-in\">"
      "<anim:set smil:begin=\"0s\" smil:dur=\"0.001s\" smil:fill=\"hold\" smil:targetElement=\"@TARGET@\""
      " smil:attributeName=\"visibility\" smil:to=\"visible\"/>"
      "<anim:transitionFilter smil:dur=\"1s\" smil:targetElement=\"@TARGET@\" smil:type=\"fade\" smil:subtype=\"crossfade\"/>"
      "<anim:audio smil:begin=\"0s\" anim:audio-level=\"1\"/>"
      "</anim:par>";
  TempDir dir;
  const std::string deck = MakeDeck({fade}, dir.file("sound.fodp"));
  ASSERT_FALSE(deck.empty());
  const MotionFilm film = FilmDeck(deck, dir.path());
  ASSERT_TRUE(film.ok) << film.message;
  const std::vector<SlideVerdict> verdicts = JudgeSlides(film, {fade});
  ASSERT_EQ(verdicts.size(), 1u);
  EXPECT_TRUE(verdicts[0].seen);
  EXPECT_TRUE(verdicts[0].moved) << verdicts[0].inBetween << " pictures in between";
  EXPECT_TRUE(verdicts[0].endShown);
}
