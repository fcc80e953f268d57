#include "InstalledFonts.h"

#include <fontconfig/fontconfig.h>

#include <map>
#include <memory>
#include <mutex>
#include <strings.h>

namespace {

struct PatternFree {
  void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
using Pattern = std::unique_ptr<FcPattern, PatternFree>;

std::string Lookup(const std::string& family) {
  Pattern wanted(FcPatternCreate());
  if (!wanted) return {};
  FcPatternAddString(wanted.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcConfigSubstitute(nullptr, wanted.get(), FcMatchPattern);
  FcDefaultSubstitute(wanted.get());
  FcResult result = FcResultNoMatch;
  Pattern match(FcFontMatch(nullptr, wanted.get(), &result));
  if (!match) return {};
  // A font may bear several family names (localised ones among them): any of them counts.
  FcChar8* name = nullptr;
  std::string first;
  for (int i = 0; FcPatternGetString(match.get(), FC_FAMILY, i, &name) == FcResultMatch; ++i) {
    const char* text = reinterpret_cast<const char*>(name);
    if (strcasecmp(text, family.c_str()) == 0) return {};
    if (i == 0) first = text;
  }
  return first;
}

}  // namespace

std::string InstalledFonts::StandIn(const std::string& family) {
  static std::mutex mutex;
  static std::map<std::string, std::string> known;
  std::lock_guard<std::mutex> lock(mutex);
  const auto found = known.find(family);
  if (found != known.end()) return found->second;
  if (FcInit() == FcFalse) return {};
  return known[family] = Lookup(family);
}
