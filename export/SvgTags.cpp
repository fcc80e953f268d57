#include "SvgTags.h"

#include <cstdlib>

namespace SvgTags {

namespace {
constexpr long kRounding = 2;
}  // namespace

long Attribute(const std::string& svg, size_t begin, size_t end, const std::string& name) {
  const size_t at = svg.find(" " + name + "=\"", begin);
  if (at == std::string::npos || at >= end) return -1;
  return std::atol(svg.c_str() + at + name.size() + 3);
}

bool Near(long a, long b) { return std::labs(a - b) <= kRounding; }

std::string Insert(const std::string& svg, const std::vector<std::pair<size_t, std::string>>& insertions) {
  size_t added = 0;
  for (const auto& insertion : insertions) added += insertion.second.size();
  std::string out;
  out.reserve(svg.size() + added);
  size_t copied = 0;
  for (const auto& [at, text] : insertions) {
    out.append(svg, copied, at - copied);
    out += text;
    copied = at;
  }
  out.append(svg, copied, std::string::npos);
  return out;
}

}  // namespace SvgTags
