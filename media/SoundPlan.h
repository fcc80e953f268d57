// What the deck plays, and when the show plays it: the exporter's table of the
// deck's sounds and clips (written into the show archive as text), and the
// rules that turn the show's reports (a slide is brought in, an audio or media
// command node of a slide starts) into starts and stops of the mixer's clips.
//
// The table's text, one entry a line, fields separated by single spaces:
//   clip <n> <video 0|1> <archive part name>
//   transition <slide> <clip> <loop 0|1> <stopPrevious 0|1>   (clip -1: none)
//   node <slide> <ordinal> <kind> <clip> <volume> <loop 0|1>
//     kind: audio (a sound of an effect), play, stop, pause (media commands)
//   media <slide> <clip> <x> <y> <width> <height> <shape> <volume> <loop 0|1> <started 0|1>
//     a media shape: its place (1/100 mm), its place among the slide's media shapes in
//     document order, and whether a command or audio node of its slide starts it (else it
//     starts with its slide, as the office's show plays it)
//   warning <text to the end of the line>
// Slides are the engine's indices (from 0, hidden slides included); a node's
// ordinal is its place among the slide's audio and command nodes in document
// order. Lines that cannot be read are skipped.
//
// Threads: a plain value; Parse and Text any thread. The event calls run on
// the UI thread, which is where the player takes them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ClipPlayer;

class SoundPlan {
 public:
  struct Clip {
    int number = -1;
    bool video = false;
    std::string part;
  };
  struct Transition {
    int slide = 0, clip = -1;
    bool loop = false, stopPrevious = false;
  };
  enum class Kind { Audio, Play, Stop, Pause };
  struct Node {
    int slide = 0, ordinal = 0;
    Kind kind = Kind::Audio;
    int clip = -1;
    double volume = 1;
    bool loop = false;
  };
  struct Media {
    int slide = 0, clip = -1;
    int x = 0, y = 0, width = 0, height = 0;
    int shape = 0;  // among the slide's media shapes, in document order
    double volume = 1;
    bool loop = false;
    bool started = false;  // a node of its slide starts it; else it starts with the slide
  };

  std::vector<Clip> clips;
  std::vector<Transition> transitions;
  std::vector<Node> nodes;
  std::vector<Media> media;
  std::vector<std::string> warnings;

  static SoundPlan Parse(const std::string& text);
  std::string Text() const;
  // True when something in the deck can sound.
  bool hasSound() const { return !clips.empty() && (!transitions.empty() || !nodes.empty() || !media.empty()); }

  // The show brought in `slide` at filmed frame `frame`: the clips of the
  // slide it left stop, the new slide's transition sound starts (a
  // "stop previous sound" transition first silences everything), and so do
  // its media shapes that no node starts.
  void slideShown(ClipPlayer& player, int slide, int64_t frame);
  // Node `ordinal` of `slide` started at `frame`.
  void nodeStarted(ClipPlayer& player, int slide, int ordinal, int64_t frame);

 private:
  void startClip(ClipPlayer& player, int clip, int64_t frame, double volume, bool loop);

  int slide_ = -1;
  std::vector<int> slideClips_;  // clips started on the current slide by its nodes
  int loopingTransition_ = -1;   // a transition sound that loops until the next sound
};
