// The film's sound track: the deck's clips, started and stopped at filmed
// frames, placed on the film's time line and mixed (libavfilter's amix) into
// the samples the video writer asks for.
//
// Threads: addClip, play, stop and stopAll run on the UI thread (where the
// show reports what it plays); start and render run where the video writer
// calls them (AudioSource). A mutex keeps the two apart. The writer asks for
// sound only AudioSource::kLagSeconds behind the picture, so the show has
// reported a frame's starts and stops before that frame's sound is mixed (the mixer works a
// quarter second ahead of what it is asked for, which is still far behind the picture).
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "AudioSource.h"
#include "ClipPlayer.h"
#include "DecodedClip.h"

class SoundMixer : public AudioSource, public ClipPlayer {
 public:
  SoundMixer();
  ~SoundMixer() override;

  // UI thread, before the writer opens. Names a sound or video file whose
  // sound may be played; gives the clip's number. Decoded by start.
  int addClip(const std::string& path);
  // The same for a file held in memory; `name` names it in problems().
  int addClipBytes(const std::string& name, std::shared_ptr<const std::string> bytes);
  int clipCount() const;

  // UI thread (ClipPlayer).
  void play(int clip, int64_t frame, double volume, bool loop) override;
  void stop(int clip, int64_t frame) override;
  void stopAll(int64_t frame) override;

  // Writer's thread (in VideoWriter::open). Decodes every clip at the
  // writer's rate; a clip that cannot be read or decoded stays silent and
  // gets a sentence in problems().
  void start(int sampleRate, int frameRate) override;
  void render(int64_t first, int count, float* left, float* right) override;

  // After start: one plain-words sentence per clip that could not be decoded.
  std::vector<std::string> problems() const;

 private:
  struct Voice {
    int clip;
    int64_t begin;  // first sample
    int64_t end;    // one past the last sample
    float volume;
    bool loop;
  };
  struct Clip {
    std::string path;
    std::shared_ptr<const std::string> bytes;  // the file, when it is held in memory (path is its name)
    std::shared_ptr<const DecodedClip> sound;  // null until start, or when it could not be decoded
  };

  struct Playing {
    Voice voice;
    std::shared_ptr<const DecodedClip> sound;
  };

  int64_t sampleAt(int64_t frame) const;
  void renderBlock(int64_t first, int count, float* left, float* right);
  void mix(const std::vector<Playing>& voices, int64_t first, int count, float* left, float* right);

  mutable std::mutex mutex_;
  std::vector<Clip> clips_;
  std::vector<Voice> voices_;
  std::vector<std::string> problems_;
  int sampleRate_ = 48000, frameRate_ = 25;
  // The track is mixed a block at a time (a quarter second, one filter graph a block while
  // something plays), still far behind the picture; the writer's smaller requests are served
  // from it.
  std::vector<float> blockLeft_, blockRight_;
  int64_t blockStart_ = -1;
};
