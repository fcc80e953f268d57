#include "TransparencyMasks.h"

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <vector>

namespace {

struct Grey {
  size_t begin, end;  // the "rgb(...)" text in the mask
  int value;
};

// The greys written in `mask`; false when it holds another colour or a picture.
bool Greys(const std::string& mask, std::vector<Grey>& greys) {
  if (mask.find("<image") != std::string::npos) return false;
  static const std::regex kColour(R"(rgb\(\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+)\s*\))");
  for (auto it = std::sregex_iterator(mask.begin(), mask.end(), kColour); it != std::sregex_iterator(); ++it) {
    const int r = std::atoi((*it)[1].str().c_str()), g = std::atoi((*it)[2].str().c_str()),
              b = std::atoi((*it)[3].str().c_str());
    if (r != g || g != b || r > 255) return false;
    greys.push_back({static_cast<size_t>(it->position()), static_cast<size_t>(it->position() + it->length()), r});
  }
  return !greys.empty();
}

}  // namespace

std::string TransparencyMasks::Apply(const std::string& svg) {
  std::string out;
  size_t copied = 0;
  for (size_t at = svg.find("<mask"); at != std::string::npos; at = svg.find("<mask", at + 1)) {
    const size_t end = svg.find("</mask>", at);
    if (end == std::string::npos) break;
    const std::string mask = svg.substr(at, end - at);
    std::vector<Grey> greys;
    if (!Greys(mask, greys)) continue;
    const auto [lo, hi] = std::minmax_element(greys.begin(), greys.end(),
                                              [](const Grey& a, const Grey& b) { return a.value < b.value; });
    const int shift = 255 - lo->value - hi->value;
    if (lo->value == hi->value || shift == 0) continue;
    out.append(svg, copied, at - copied);
    size_t done = 0;
    for (const Grey& g : greys) {
      const int v = std::clamp(g.value + shift, 0, 255);
      out.append(mask, done, g.begin - done);
      out += "rgb(" + std::to_string(v) + "," + std::to_string(v) + "," + std::to_string(v) + ")";
      done = g.end;
    }
    out.append(mask, done, std::string::npos);
    copied = end;
    at = end;
  }
  if (copied == 0) return svg;
  out.append(svg, copied, std::string::npos);
  return out;
}
