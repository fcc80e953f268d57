#include "FontFallbacks.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace {

std::string Trimmed(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

// A family name without the quotes a list may put around it (&apos; or &quot; in an attribute).
std::string Unquoted(std::string name) {
  for (const char* quote : {"&apos;", "&quot;", "'"}) {
    const std::string q = quote;
    if (name.size() >= 2 * q.size() && name.starts_with(q) && name.ends_with(q))
      return name.substr(q.size(), name.size() - 2 * q.size());
  }
  return name;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

bool Generic(const std::string& name) {
  static const char* const kGeneric[] = {"serif",     "sans-serif", "monospace", "cursive",   "fantasy",
                                         "system-ui", "math",       "emoji",     "fangsong", "ui-serif",
                                         "ui-sans-serif", "ui-monospace", "ui-rounded"};
  const std::string lower = Lower(name);
  return std::any_of(std::begin(kGeneric), std::end(kGeneric), [&](const char* g) { return lower == g; });
}

// The attribute's value with the stand-in of its first family put after it; unchanged when
// that family is installed, generic or the show's own.
std::string WithStandIn(const std::string& value, const FontFallbacks::StandIn& standIn) {
  std::vector<std::string> families;
  size_t start = 0;
  for (size_t comma; (comma = value.find(',', start)) != std::string::npos; start = comma + 1)
    families.push_back(Trimmed(value.substr(start, comma - start)));
  families.push_back(Trimmed(value.substr(start)));
  const std::string first = Unquoted(families.front());
  if (first.empty() || Generic(first) || first.ends_with(" embedded")) return value;
  const std::string stand = standIn(first);
  if (stand.empty() || Lower(stand) == Lower(first)) return value;
  for (const std::string& family : families)
    if (Lower(Unquoted(family)) == Lower(stand)) return value;  // listed already
  families.insert(families.begin() + 1, stand);
  std::string out;
  for (const std::string& family : families) out += (out.empty() ? "" : ", ") + family;
  return out;
}

}  // namespace

std::string FontFallbacks::Apply(const std::string& svg, const StandIn& standIn) {
  static const std::string kAttribute = "font-family=\"";
  std::string out;
  out.reserve(svg.size() + svg.size() / 64);
  size_t copied = 0;
  for (size_t at = svg.find(kAttribute); at != std::string::npos; at = svg.find(kAttribute, at)) {
    // An attribute, not the end of a longer name (svg:font-family=, data-font-family=).
    const bool own = at > 0 && std::isspace(static_cast<unsigned char>(svg[at - 1]));
    const size_t begin = at + kAttribute.size();
    const size_t end = svg.find('"', begin);
    if (end == std::string::npos) break;
    at = end + 1;
    if (!own || end == begin) continue;
    const std::string value = svg.substr(begin, end - begin);
    const std::string mended = WithStandIn(value, standIn);
    if (mended == value) continue;
    out.append(svg, copied, begin - copied);
    out += mended;
    copied = end;
  }
  if (copied == 0) return svg;
  out.append(svg, copied, std::string::npos);
  return out;
}
