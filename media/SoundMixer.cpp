#include "SoundMixer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}

namespace {

struct GraphDeleter {
  void operator()(AVFilterGraph* g) const { avfilter_graph_free(&g); }
};
struct FrameDeleter {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};

constexpr int64_t kForever = std::numeric_limits<int64_t>::max();

}  // namespace

SoundMixer::SoundMixer() = default;
SoundMixer::~SoundMixer() = default;

int SoundMixer::addClip(const std::string& path) {
  std::lock_guard lock(mutex_);
  clips_.push_back({path, nullptr, nullptr});
  return static_cast<int>(clips_.size()) - 1;
}

int SoundMixer::addClipBytes(const std::string& name, std::shared_ptr<const std::string> bytes) {
  std::lock_guard lock(mutex_);
  clips_.push_back({name, std::move(bytes), nullptr});
  return static_cast<int>(clips_.size()) - 1;
}

int SoundMixer::clipCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(clips_.size());
}

int64_t SoundMixer::sampleAt(int64_t frame) const { return frame * sampleRate_ / frameRate_; }

void SoundMixer::play(int clip, int64_t frame, double volume, bool loop) {
  std::lock_guard lock(mutex_);
  if (clip < 0 || clip >= static_cast<int>(clips_.size())) return;
  const int64_t begin = sampleAt(std::max<int64_t>(0, frame));
  for (Voice& v : voices_)
    if (v.clip == clip && v.end > begin) v.end = std::max(v.begin, begin);
  voices_.push_back({clip, begin, kForever, static_cast<float>(std::clamp(volume, 0.0, 4.0)), loop});
}

void SoundMixer::stop(int clip, int64_t frame) {
  std::lock_guard lock(mutex_);
  const int64_t at = sampleAt(std::max<int64_t>(0, frame));
  for (Voice& v : voices_)
    if ((clip < 0 || v.clip == clip) && v.end > at) v.end = std::max(v.begin, at);
}

void SoundMixer::stopAll(int64_t frame) { stop(-1, frame); }

std::vector<std::string> SoundMixer::problems() const {
  std::lock_guard lock(mutex_);
  return problems_;
}

void SoundMixer::start(int sampleRate, int frameRate) {
  std::lock_guard lock(mutex_);
  sampleRate_ = sampleRate;
  frameRate_ = std::max(1, frameRate);
  problems_.clear();
  for (Clip& clip : clips_) {
    std::string problem;
    clip.sound = clip.bytes ? DecodedClip::DecodeBytes(clip.path, *clip.bytes, sampleRate, &problem)
                            : DecodedClip::Decode(clip.path, sampleRate, &problem);
    if (!clip.sound) problems_.push_back(problem);
  }
}

void SoundMixer::render(int64_t first, int count, float* left, float* right) {
  const int block = std::max(count, sampleRate_ / 4);
  for (int done = 0; done < count;) {
    const int64_t at = first + done;
    if (blockStart_ < 0 || at < blockStart_ || at >= blockStart_ + static_cast<int64_t>(blockLeft_.size())) {
      blockLeft_.resize(block);
      blockRight_.resize(block);
      renderBlock(at, block, blockLeft_.data(), blockRight_.data());
      blockStart_ = at;
    }
    const int offset = static_cast<int>(at - blockStart_);
    const int n = std::min(count - done, static_cast<int>(blockLeft_.size()) - offset);
    std::copy_n(blockLeft_.data() + offset, n, left + done);
    std::copy_n(blockRight_.data() + offset, n, right + done);
    done += n;
  }
}

void SoundMixer::renderBlock(int64_t first, int count, float* left, float* right) {
  std::fill(left, left + count, 0.0f);
  std::fill(right, right + count, 0.0f);
  std::vector<Playing> playing;
  {
    std::lock_guard lock(mutex_);
    for (const Voice& v : voices_) {
      const Clip& clip = clips_[v.clip];
      if (!clip.sound || clip.sound->length() == 0) continue;
      const int64_t end = v.loop ? v.end : std::min(v.end, v.begin + clip.sound->length());
      if (v.begin < first + count && end > first) playing.push_back({{v.clip, v.begin, end, v.volume, v.loop}, clip.sound});
    }
    // Voices wholly before this stretch are done with: the writer asks in order.
    std::erase_if(voices_, [&](const Voice& v) {
      const Clip& clip = clips_[v.clip];
      const int64_t length = clip.sound ? clip.sound->length() : 0;
      const int64_t end = v.loop ? v.end : std::min(v.end, v.begin + length);
      return clip.sound && end <= first;
    });
  }
  if (!playing.empty()) mix(playing, first, count, left, right);
}

// One filter graph for this stretch: a source per voice, holding the voice's
// samples where they fall in it and silence elsewhere, weighted and summed by
// amix (no normalisation: a sound keeps its loudness when another joins it).
void SoundMixer::mix(const std::vector<Playing>& voices, int64_t first, int count, float* left, float* right) {
  std::unique_ptr<AVFilterGraph, GraphDeleter> graph(avfilter_graph_alloc());
  if (!graph) return;
  char layout[64] = "stereo";
  const AVFilter* abuffer = avfilter_get_by_name("abuffer");
  const AVFilter* amix = avfilter_get_by_name("amix");
  const AVFilter* sink = avfilter_get_by_name("abuffersink");
  std::string weights;
  for (const Playing& p : voices) {
    char w[32];
    std::snprintf(w, sizeof w, "%s%.6f", weights.empty() ? "" : " ", p.voice.volume);
    weights += w;
  }
  char args[256];
  std::snprintf(args, sizeof args, "inputs=%zu:normalize=0:duration=longest:weights=%s", voices.size(),
                weights.c_str());
  AVFilterContext* mixer = nullptr;
  AVFilterContext* output = nullptr;
  if (avfilter_graph_create_filter(&mixer, amix, "mix", args, nullptr, graph.get()) < 0) return;
  if (avfilter_graph_create_filter(&output, sink, "out", nullptr, nullptr, graph.get()) < 0) return;
  if (avfilter_link(mixer, 0, output, 0) < 0) return;
  std::vector<AVFilterContext*> inputs;
  for (size_t i = 0; i < voices.size(); ++i) {
    std::snprintf(args, sizeof args, "time_base=1/%d:sample_rate=%d:sample_fmt=fltp:channel_layout=%s", sampleRate_,
                  sampleRate_, layout);
    AVFilterContext* in = nullptr;
    const std::string name = "in" + std::to_string(i);
    if (avfilter_graph_create_filter(&in, abuffer, name.c_str(), args, nullptr, graph.get()) < 0) return;
    if (avfilter_link(in, 0, mixer, static_cast<unsigned>(i)) < 0) return;
    inputs.push_back(in);
  }
  if (avfilter_graph_config(graph.get(), nullptr) < 0) return;

  for (size_t i = 0; i < voices.size(); ++i) {
    const Voice& v = voices[i].voice;
    const DecodedClip& clip = *voices[i].sound;
    std::unique_ptr<AVFrame, FrameDeleter> frame(av_frame_alloc());
    if (!frame) return;
    frame->format = AV_SAMPLE_FMT_FLTP;
    frame->sample_rate = sampleRate_;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    av_channel_layout_copy(&frame->ch_layout, &stereo);
    frame->nb_samples = count;
    frame->pts = first;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return;
    auto* l = reinterpret_cast<float*>(frame->data[0]);
    auto* r = reinterpret_cast<float*>(frame->data[1]);
    std::fill(l, l + count, 0.0f);
    std::fill(r, r + count, 0.0f);
    const int64_t from = std::max(first, v.begin), to = std::min(first + count, v.end);
    for (int64_t s = from; s < to;) {
      int64_t at = s - v.begin;
      if (v.loop) at %= clip.length();
      const int64_t run = std::min(to - s, clip.length() - at);
      std::memcpy(l + (s - first), clip.left() + at, sizeof(float) * run);
      std::memcpy(r + (s - first), clip.right() + at, sizeof(float) * run);
      s += run;
    }
    if (av_buffersrc_add_frame_flags(inputs[i], frame.get(), 0) < 0) return;
    if (av_buffersrc_add_frame_flags(inputs[i], nullptr, 0) < 0) return;
  }
  std::unique_ptr<AVFrame, FrameDeleter> mixed(av_frame_alloc());
  if (!mixed) return;
  int done = 0;
  while (done < count && av_buffersink_get_frame(output, mixed.get()) >= 0) {
    const int n = std::min(mixed->nb_samples, count - done);
    std::memcpy(left + done, mixed->data[0], sizeof(float) * n);
    std::memcpy(right + done, mixed->data[1], sizeof(float) * n);
    done += n;
    av_frame_unref(mixed.get());
  }
}
