// The office's 3D transitions, read from its registry at run time (see MotionSupport.h).
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "MotionSupport.h"

namespace fs = std::filesystem;

namespace {

// How the office stores each of its 3D transitions in a document: miscShapeWipe with a
// subtype per transition (newsflash is a zoom). "" marks a registry entry that is no
// transition to see (the plain cut).
const std::map<std::string, std::string>& StoredForms() {
  static const std::map<std::string, std::string> forms = {
      {"cut", ""},
      {"tile-flip", "miscShapeWipe across"},
      {"outside-cube", "miscShapeWipe cornersOut"},
      {"inside-cube", "miscShapeWipe cornersIn"},
      {"revolving-circles", "miscShapeWipe circle"},
      {"turning-helix", "miscShapeWipe fanOutHorizontal"},
      {"fall", "miscShapeWipe leftToRight"},
      {"turn-around", "miscShapeWipe topToBottom"},
      {"iris", "miscShapeWipe topRight"},
      {"turn-down", "miscShapeWipe topLeft"},
      {"rochade", "miscShapeWipe bottomLeft"},
      {"venetian3dv", "miscShapeWipe bottomRight"},
      {"venetian3dh", "miscShapeWipe topCenter"},
      {"static", "miscShapeWipe rightCenter"},
      {"finedissolve", "miscShapeWipe bottomCenter"},
      {"vortex", "miscShapeWipe vertical"},
      {"ripple", "miscShapeWipe horizontal"},
      {"glitter", "miscShapeWipe heart"},
      {"honeycomb", "miscShapeWipe isosceles"},
      {"zoom-rotate-in", "zoom rotateIn"},
  };
  return forms;
}

}  // namespace

std::vector<MotionPreset> PresetDecks::Transitions3D() {
  std::vector<MotionPreset> presets;
  const std::string dir = ConfigDir();  // share/config/soffice.cfg/simpress
  if (dir.empty()) return presets;
  std::ifstream in(fs::path(dir).parent_path().parent_path().parent_path() / "registry/impress.xcd", std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string text = buffer.str();
  const size_t begin = text.find("<node oor:name=\"Transitions\">");
  if (begin == std::string::npos) return presets;
  std::set<std::string> listed = {"random-transition"};
  for (const MotionPreset& preset : Transitions()) listed.insert(preset.id);
  // Each transition of the registry's list names the set it belongs to.
  const std::regex entry(R"re(<node oor:name="([^"]+)" oor:op="replace">\s*<prop oor:name="Set")re");
  const std::string list = text.substr(begin);
  for (std::sregex_iterator it(list.begin(), list.end(), entry), end; it != end; ++it) {
    const std::string id = (*it)[1].str();
    if (listed.count(id) > 0) continue;
    MotionPreset preset;
    preset.kind = MotionPreset::Kind::kTransition;
    preset.id = id;
    preset.presetClass = "transition";
    const auto form = StoredForms().find(id);
    if (form != StoredForms().end() && form->second.empty()) continue;
    if (form != StoredForms().end()) {
      const std::string& f = form->second;
      const size_t space = f.find(' ');
      preset.node = "<anim:transitionFilter smil:type=\"" + f.substr(0, space) + "\" smil:subtype=\"" + f.substr(space + 1) + "\"/>";
    }
    // A transition this list does not know gets no node: its slide comes in without motion and
    // the coverage test names it.
    presets.push_back(preset);
  }
  return presets;
}
