// Motion test support (library kavreto_motion_support): decks made from the office's own
// preset lists, filmed with the built `kavreto convert`, and the frames read back to judge
// whether each preset moved.
//
//   #include "MotionSupport.h"
//   std::vector<MotionPreset> presets = PresetDecks::Transitions();   // or ::Effects()
//   TempDir dir;                                                       // AppTestSupport.h
//   std::string deck = MakeDeck(presets, dir.file("transitions.fodp"));
//   MotionFilm film = FilmDeck(deck, dir.path());                      // FilmOptions: size, fps...
//   ASSERT_TRUE(film.ok) << film.message;
//   std::vector<SlideVerdict> verdicts = JudgeSlides(film, presets);
//   for (const SlideVerdict& v : verdicts) EXPECT_TRUE(v.moved) << v.id;
//
// - PresetDecks reads transitions.xml and effects.xml of the installed office
//   (share/config/soffice.cfg/simpress/; KAVRETO_OFFICE_SHARE overrides where share/ is) at
//   run time, so a newer office's presets are covered too. Transitions(): every live
//   transition preset but the random one. Effects(): every entrance, emphasis, exit and
//   motion-path preset (one per preset id and sub-type); media calls are left out. Each says
//   from its own nodes whether it is instant (no animated value changes over a duration).
//   Presets of your own: fill a MotionPreset by hand (a transition's `node` is its
//   anim:transitionFilter element, e.g. smil:type="miscShapeWipe").
// - MakeDeck writes a flat ODF presentation (.fodp, which the batch command opens as it is)
//   with a plain opening slide (slide 0) and then one slide per preset, in order: preset i is
//   slide i + 1. Slide i has a background colour of its own that
//   encodes i (SlideColour); in the middle a coloured box (orange, or blue on
//   backgrounds near orange) with plain black text, the preset's name.
//   A transition preset is the slide's transition; an effect preset is the box's one on-click
//   effect (text targets get the box's text).
// - FilmDeck runs `kavreto convert` (default 176x144, 10 fps, --hold 0.5, high bit rate so that
//   colours survive) with --progress json and decodes the video with the ffmpeg program into
//   small RGB frames (MotionFilm::kWidth x kHeight).
// - JudgeSlides finds the still pictures of the film (at least about a hold long), tells each
//   one's slide by its background, and per slide says: seen (filmed at all, in order), moved
//   (pictures between the first and last still of the slide, or between the previous slide
//   and this one for transitions, that are neither of the two; or for effects, stills that
//   go back and forth between the start and the end picture), endShown (the last still
//   differs from the first: the effect left its end state).
//   SummariseTransitions / SummariseEffects give the counts the benchmark prints.
//
// Threads: any thread; the functions share no state. FilmDeck blocks until the conversion ends.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

struct MotionPreset {
  enum class Kind { kTransition, kEffect };
  Kind kind = Kind::kEffect;
  std::string id;           // preset id, ":" sub-type when the preset has one
  std::string presetClass;  // entrance, emphasis, exit, motion-path; "transition" for transitions
  // Transitions: the anim:transitionFilter element. Effects: the preset's node (anim:par or
  // anim:iterate) in the document's namespaces, with @TARGET@ where the shape's id goes.
  std::string node;
  bool instant = false;  // nothing changes gradually: the end state is all there is to see
};

class PresetDecks {
 public:
  // The simpress folder of the office's configuration; empty when not found.
  static std::string ConfigDir();
  static std::vector<MotionPreset> Transitions();
  static std::vector<MotionPreset> Effects();
  // The office's 3D transitions: the registry's transitions (share/registry/impress.xcd) that
  // transitions.xml does not list, each in the form the office stores it (miscShapeWipe with a
  // subtype each); one the test does not know has an empty node.
  static std::vector<MotionPreset> Transitions3D();
};

// The background colour of slide `index` (from 0), 0xRRGGBB; every slide of a deck of up to
// 327 slides has its own. None is near black, which the show also shows between slides (cut
// through black, behind 3D transitions).
uint32_t SlideColour(int index);
// The slide whose colour is nearest to (r, g, b), or -1 when none is near.
int SlideOfColour(int r, int g, int b);

// Writes the deck; returns `path`, or "" when it could not be written.
std::string MakeDeck(const std::vector<MotionPreset>& presets, const std::string& path);

struct FilmOptions {
  std::string size = "176x144";  // small: fast, and still more than the judged frames
  int fps = 10;
  double hold = 0.5;
  int kbps = 4000;                     // 0: the program's own default
  std::string video = "film.mp4";      // the video's name in the work folder
  std::vector<std::string> extraArgs;  // e.g. {"--realtime"}
  std::vector<std::string> env;        // "NAME=value", e.g. SOURCE_DATE_EPOCH
  int timeoutMs = 900000;
};

struct MotionFilm {
  static constexpr int kWidth = 88;
  static constexpr int kHeight = 72;
  bool ok = false;         // exit status 0 and the last JSON state "done"
  int exitStatus = -1;
  std::string message;     // why it failed (the JSON message, or stderr's end)
  std::string stderrText;
  int holdFrames = 5;      // the hold in frames
  std::string video;       // the video file
  std::vector<std::vector<uint8_t>> frames;  // kWidth x kHeight x 3, RGB
};

MotionFilm FilmDeck(const std::string& deck, const std::string& workDir, const FilmOptions& options = {});
// Decodes `video` into `film.frames`; false when ffmpeg failed.
bool DecodeFrames(const std::string& video, MotionFilm& film);
// The presets of `all` whose ids are listed, in the order of `ids` (missing ones left out).
std::vector<MotionPreset> PresetsNamed(const std::vector<MotionPreset>& all, const std::vector<std::string>& ids);
// The ids listed in tests/motion/<name> (one a line, # starts a comment): presets that do not
// play yet.
std::set<std::string> GapList(const std::string& name);

struct SlideVerdict {
  int slide = 0;  // in the deck, from 0 (the preset's index + 1)
  std::string id;
  bool seen = false;      // a still picture of this slide was filmed, after the slide before
  int stills = 0;         // still pictures of this slide
  int inBetween = 0;      // pictures that were neither the still before nor the one after
  int changes = 0;        // effects: stills of the slide that differ from the still before them
  // inBetween >= 2, or (effects) changes >= 3: a shape shown, hidden and shown again (a
  // flash), each of whose pictures is the start or the end, played over time all the same.
  bool moved = false;
  bool endShown = false;  // effects: the last still differs from the first
};

std::vector<SlideVerdict> JudgeSlides(const MotionFilm& film, const std::vector<MotionPreset>& presets);

// True when both films have the same frames, each the same picture (at most one pixel of the
// judged frames off, as the encoder's or the rasteriser's rounding leaves it now and then);
// otherwise `where` says which frame differs first.
bool SameFrames(const MotionFilm& a, const MotionFilm& b, std::string* where = nullptr);

// The order of the slides' stills as filmed (slide indices), for checking the order.
std::vector<int> StillSlides(const MotionFilm& film);

struct MotionSummary {
  int moving = 0, movingTotal = 0;    // transitions: moved; effects: non-instant ones that moved
  int instant = 0, instantTotal = 0;  // effects: instant ones whose end state was shown
  int broken = 0;                     // presets whose slide was never filmed
};
MotionSummary Summarise(const std::vector<SlideVerdict>& verdicts, const std::vector<MotionPreset>& presets);
