#include "SoundTrack.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace soundtrack {
namespace {

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string Run(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  ::pclose(pipe);
  return out;
}

std::string Trim(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == ',' || s.back() == ' ')) s.pop_back();
  return s;
}

}  // namespace

std::string StreamTypes(const std::string& path) {
  std::string out = Run("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 " + Quote(path));
  for (char& c : out)
    if (c == '\n') c = ',';
  return Trim(out);
}

std::string AudioCodec(const std::string& path) {
  return Trim(Run("ffprobe -v error -select_streams a:0 -show_entries stream=codec_name -of csv=p=0 " + Quote(path)));
}

// When a player shows the first decoded picture or plays the first decoded
// sample (after whatever the decoder drops), in seconds on the file's clock.
double FirstDecodedTime(const std::string& path, bool audio) {
  const std::string out =
      Run("ffmpeg -nostdin -v info -i " + Quote(path) + (audio ? " -map 0:a:0 -af ashowinfo -frames:a 1" :
                                                                 " -map 0:v:0 -vf showinfo -frames:v 1") +
          " -f null - 2>&1");
  const size_t at = out.find("pts_time:");
  return at == std::string::npos ? 0 : std::atof(out.c_str() + at + 9);
}

Sound Decode(const std::string& path, int rate) {
  Sound sound;
  sound.rate = rate;
  sound.offset = FirstDecodedTime(path, true) - FirstDecodedTime(path, false);
  char errors[] = "/tmp/kavreto-sound-errors-XXXXXX";
  const int fd = ::mkstemp(errors);
  if (fd >= 0) ::close(fd);
  const std::string raw = Run("ffmpeg -nostdin -v error -i " + Quote(path) + " -map 0:a:0 -ac 1 -ar " +
                              std::to_string(rate) + " -f f32le - 2>" + Quote(errors));
  sound.samples.resize(raw.size() / sizeof(float));
  std::memcpy(sound.samples.data(), raw.data(), sound.samples.size() * sizeof(float));
  std::ifstream in(errors);
  std::stringstream text;
  text << in.rdbuf();
  sound.errors = text.str();
  ::unlink(errors);
  return sound;
}

std::vector<Burst> Bursts(const Sound& sound, double threshold) {
  std::vector<Burst> bursts;
  const size_t window = static_cast<size_t>(sound.rate / 200);
  for (size_t at = 0; at + window <= sound.samples.size(); at += window) {
    double sum = 0;
    for (size_t i = at; i < at + window; ++i) sum += double(sound.samples[i]) * sound.samples[i];
    if (std::sqrt(sum / window) < threshold) continue;
    const double start = double(at) / sound.rate, end = double(at + window) / sound.rate;
    if (!bursts.empty() && start - bursts.back().end < 0.03)
      bursts.back().end = end;
    else
      bursts.push_back({start, end});
  }
  // The 5 ms windows place an edge to within a window; the first loud sample
  // of a burst says it better.
  for (Burst& b : bursts) {
    size_t i = static_cast<size_t>(b.start * sound.rate);
    const size_t stop = std::min(sound.samples.size(), i + window);
    while (i < stop && std::fabs(sound.samples[i]) < threshold) ++i;
    b.start = double(i) / sound.rate;
  }
  for (Burst& b : bursts) {
    b.start += sound.offset;
    b.end += sound.offset;
  }
  return bursts;
}

double Frequency(const Sound& sound, double start, double end) {
  start = std::max(0.0, start - sound.offset);
  end = std::max(0.0, end - sound.offset);
  const size_t from = static_cast<size_t>(start * sound.rate), to = static_cast<size_t>(end * sound.rate);
  int crossings = 0;
  for (size_t i = from + 1; i < to && i < sound.samples.size(); ++i)
    if ((sound.samples[i - 1] < 0) != (sound.samples[i] < 0)) ++crossings;
  return end > start ? crossings / 2.0 / (end - start) : 0;
}

}  // namespace soundtrack
