// The office's preset lists read at run time, and the decks made from them (see MotionSupport.h).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "MotionSupport.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string WithoutComments(std::string text) {
  for (size_t at = text.find("<!--"); at != std::string::npos; at = text.find("<!--", at)) {
    const size_t end = text.find("-->", at);
    text.erase(at, end == std::string::npos ? std::string::npos : end + 3 - at);
  }
  return text;
}

std::string Attribute(const std::string& tag, const std::string& name) {
  const std::regex re("\\s" + name + "=\"([^\"]*)\"");
  std::smatch m;
  return std::regex_search(tag, m, re) ? m[1].str() : std::string();
}

// The element that starts at `begin` ('<'), with everything inside: up to its end tag.
std::string Element(const std::string& text, size_t begin) {
  int depth = 0;
  size_t at = begin;
  while (at < text.size()) {
    const size_t open = text.find('<', at);
    if (open == std::string::npos) break;
    const size_t close = text.find('>', open);
    if (close == std::string::npos) break;
    if (text[open + 1] == '/') --depth;
    else if (text[close - 1] != '/') ++depth;
    at = close + 1;
    if (depth == 0) return text.substr(begin, at - begin);
  }
  return text.substr(begin);
}

// Seconds of a SMIL clock value ("0.5", "2s", "indefinite" = 0).
double Seconds(const std::string& value) {
  if (value.empty()) return 0;
  char* end = nullptr;
  const double s = std::strtod(value.c_str(), &end);
  return end == value.c_str() ? 0 : s;
}

// True when the preset node changes nothing gradually: each animation lasts (almost) no time
// or only sets a value that it keeps, all of them at once, and nothing iterates over the text
// piece by piece.
bool Instant(const std::string& node) {
  const std::string head = node.substr(0, node.find('>'));
  if (node.rfind("<anim:iterate", 0) == 0 && Seconds(Attribute(head, "anim:iterate-interval")) > 0) return false;
  const std::regex leaf("<anim:(set|animate|animateColor|animateTransform|animateMotion|transitionFilter|animatePhysics)\\b[^>]*>");
  double firstBegin = -1;
  for (std::sregex_iterator it(node.begin(), node.end(), leaf), end; it != end; ++it) {
    const std::string tag = it->str();
    const bool set = (*it)[1].str() == "set";
    const double dur = Seconds(Attribute(tag, "smil:dur"));
    const double begin = Seconds(Attribute(tag, "smil:begin"));
    if (firstBegin < 0) firstBegin = begin;
    if (std::abs(begin - firstBegin) > 0.05) return false;  // one change after another
    if ((*it)[1].str() == "animatePhysics") return false;
    if (dur > 0.05 && (!set || Attribute(tag, "smil:fill") != "hold")) return false;  // a set that ends undoes itself
  }
  return true;
}

// The preset node in a document's terms: `pres:` attributes become `presentation:`, physics
// nodes move to the office's extension namespace, and every animation (or the iterate that
// holds them) gets the target placeholder.
std::string DocumentNode(std::string node) {
  node = std::regex_replace(node, std::regex("(\\s)pres:"), "$1presentation:");
  node = std::regex_replace(node, std::regex("<anim:animatePhysics"), "<loext:animatePhysics");
  node = std::regex_replace(node, std::regex("(\\s)anim:(bounciness|velocity-x|velocity-y|density)="), "$1loext:$2=");
  const bool iterate = node.rfind("<anim:iterate", 0) == 0;
  if (iterate) {
    const size_t end = node.find('>');
    node.insert(node[end - 1] == '/' ? end - 1 : end, " smil:targetElement=\"@TARGET@\"");
    return node;
  }
  const std::regex leaf("<((anim|loext):(set|animate|animateColor|animateTransform|animateMotion|transitionFilter|animatePhysics|command|audio))\\b");
  return std::regex_replace(node, leaf, "<$1 smil:targetElement=\"@TARGET@\"");
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else if (c == '"') out += "&quot;";
    else out.push_back(c);
  }
  return out;
}

std::string Hex(uint32_t rgb) {
  char text[8];
  std::snprintf(text, sizeof text, "#%06x", rgb & 0xffffff);
  return text;
}

constexpr int kLevels[] = {0, 40, 80, 120, 160, 200, 240};

// The palette: every mix of the seven levels but the nearly white ones (text and effects that
// end in white stand out against the rest) and
// the nearly black ones (fades and cuts through black stand still on black),
// ordered so that neighbouring slides differ in every channel: slide j takes mix j * 267
// (modulo 343), whose three base-7 digits each change with every step.
const std::vector<uint32_t>& Palette() {
  static const std::vector<uint32_t> palette = [] {
    std::vector<uint32_t> colours;
    for (int j = 0; j < 343; ++j) {
      const int i = j * 267 % 343;
      const int r = kLevels[i % 7];
      const int g = kLevels[i / 7 % 7];
      const int b = kLevels[i / 49];
      if (r >= 200 && g >= 200 && b >= 200) continue;
      if (r < 60 && g < 60 && b < 60) continue;  // transitions pass through black
      colours.push_back(static_cast<uint32_t>(r << 16 | g << 8 | b));
    }
    return colours;
  }();
  return palette;
}

// The box's fill: a saturated mid colour, so that changes of hue, saturation and lightness all
// show (white stays white under most of them). A slide whose background is near the first
// gets the second, which is far from it in two channels.
constexpr uint32_t kBoxColours[2] = {0xe07830, 0x3078e0};

std::string BoxStyle(uint32_t background) {
  const uint32_t box = kBoxColours[0];
  int far = 0;
  for (int shift : {16, 8, 0}) far = std::max(far, std::abs(static_cast<int>((background >> shift & 255) - (box >> shift & 255))));
  return far < 100 ? "grBoxOther" : "grBox";
}

}  // namespace

uint32_t SlideColour(int index) {
  const std::vector<uint32_t>& palette = Palette();
  return palette[static_cast<size_t>(index) % palette.size()];
}

int SlideOfColour(int r, int g, int b) {
  const std::vector<uint32_t>& palette = Palette();
  for (size_t i = 0; i < palette.size(); ++i) {
    const int dr = std::abs(r - static_cast<int>(palette[i] >> 16 & 255));
    const int dg = std::abs(g - static_cast<int>(palette[i] >> 8 & 255));
    const int db = std::abs(b - static_cast<int>(palette[i] & 255));
    if (dr < 16 && dg < 16 && db < 16) return static_cast<int>(i);
  }
  return -1;
}

std::string PresetDecks::ConfigDir() {
  std::vector<std::string> shares;
  if (const char* share = std::getenv("KAVRETO_OFFICE_SHARE")) shares.push_back(share);
  // Where the soffice program lives tells where its share/ folder is.
  if (FILE* pipe = ::popen("readlink -f \"$(command -v soffice)\" 2>/dev/null", "r")) {
    char line[4096];
    if (std::fgets(line, sizeof line, pipe) != nullptr) {
      std::string program(line);
      while (!program.empty() && (program.back() == '\n' || program.back() == '\r')) program.pop_back();
      if (!program.empty()) shares.push_back(fs::path(program).parent_path().parent_path() / "share");
    }
    ::pclose(pipe);
  }
  shares.push_back("/usr/lib/libreoffice/share");
  shares.push_back("/opt/libreoffice/share");
  for (const std::string& share : shares) {
    const fs::path dir = fs::path(share) / "config/soffice.cfg/simpress";
    std::error_code ec;
    if (fs::exists(dir / "transitions.xml", ec) && fs::exists(dir / "effects.xml", ec)) return dir.string();
  }
  return {};
}

std::vector<MotionPreset> PresetDecks::Transitions() {
  std::vector<MotionPreset> presets;
  const std::string dir = ConfigDir();
  if (dir.empty()) return presets;
  const std::string text = WithoutComments(ReadAll(dir + "/transitions.xml"));
  const std::regex entry("<anim:par\\s+pres:preset-id=\"([^\"]+)\"\\s*>[^<]*(<anim:transitionFilter\\b[^>]*>)");
  for (std::sregex_iterator it(text.begin(), text.end(), entry), end; it != end; ++it) {
    MotionPreset preset;
    preset.kind = MotionPreset::Kind::kTransition;
    preset.id = (*it)[1].str();
    preset.presetClass = "transition";
    preset.node = (*it)[2].str();
    if (Attribute(preset.node, "smil:type") == "random") continue;
    presets.push_back(preset);
  }
  return presets;
}

std::vector<MotionPreset> PresetDecks::Effects() {
  std::vector<MotionPreset> presets;
  const std::string dir = ConfigDir();
  if (dir.empty()) return presets;
  const std::string text = WithoutComments(ReadAll(dir + "/effects.xml"));
  std::map<std::string, int> seen;
  for (size_t at = text.find("pres:preset-id="); at != std::string::npos; at = text.find("pres:preset-id=", at + 1)) {
    const size_t begin = text.rfind('<', at);
    const std::string element = Element(text, begin);
    const std::string tag = element.substr(0, element.find('>') + 1);
    MotionPreset preset;
    preset.presetClass = Attribute(tag, "pres:preset-class");
    if (preset.presetClass == "media-call" || preset.presetClass.empty()) continue;
    // The random presets hold no animation: the office's editor puts a preset of its choice in
    // their place, so no document holds them.
    if (element.find("<anim:", 1) == std::string::npos) continue;
    preset.id = Attribute(tag, "pres:preset-id");
    const std::string subType = Attribute(tag, "pres:preset-sub-type");
    if (!subType.empty()) preset.id += ":" + subType;
    if (seen[preset.id]++ > 0) continue;
    preset.kind = MotionPreset::Kind::kEffect;
    preset.instant = Instant(element);
    preset.node = DocumentNode(element);
    presets.push_back(preset);
  }
  return presets;
}

std::string MakeDeck(const std::vector<MotionPreset>& presets, const std::string& path) {
  std::ostringstream styles, pages;
  // Slide 0 has no preset: the show starts with it, so that the first preset's transition is
  // played too.
  MotionPreset opening;
  opening.id = "start";
  opening.node.clear();
  std::vector<const MotionPreset*> slides = {&opening};
  for (const MotionPreset& preset : presets) slides.push_back(&preset);
  for (size_t i = 0; i < slides.size(); ++i) {
    const MotionPreset& preset = *slides[i];
    const std::string n = std::to_string(i);
    std::string transition;
    if (preset.kind == MotionPreset::Kind::kTransition && !preset.node.empty()) {
      // The transition's attributes go on the page style too, as the office writes them.
      const std::string node = preset.node;
      for (const char* name : {"smil:type", "smil:subtype", "smil:direction", "smil:fadeColor"}) {
        const std::string value = Attribute(node, name);
        if (!value.empty()) transition += std::string(" ") + name + "=\"" + value + "\"";
      }
      transition += " presentation:transition-speed=\"medium\"";
    }
    styles << "    <style:style style:name=\"dp" << n << "\" style:family=\"drawing-page\">\n"
           << "      <style:drawing-page-properties draw:background-size=\"full\" draw:fill=\"solid\" draw:fill-color=\""
           << Hex(SlideColour(static_cast<int>(i))) << "\" presentation:background-visible=\"true\""
           << " presentation:background-objects-visible=\"true\"" << transition << "/>\n"
           << "    </style:style>\n";
    const std::string id = "s" + n;
    pages << "      <draw:page draw:name=\"page" << i + 1 << "\" draw:style-name=\"dp" << n
          << "\" draw:master-page-name=\"Default\">\n"
          << "        <draw:custom-shape draw:id=\"" << id << "\" xml:id=\"" << id
          << "\" draw:style-name=\"" << BoxStyle(SlideColour(static_cast<int>(i))) << "\" svg:x=\"7.7cm\" svg:y=\"6.5cm\" svg:width=\"10cm\" svg:height=\"6cm\">\n"
          << "          <text:p text:style-name=\"pBox\">" << Escape(preset.id) << "</text:p>\n"
          << "          <draw:enhanced-geometry svg:viewBox=\"0 0 21600 21600\" draw:type=\"rectangle\""
          << " draw:enhanced-path=\"M 0 0 L 21600 0 21600 21600 0 21600 0 0 Z N\"/>\n"
          << "        </draw:custom-shape>\n";
    if (preset.kind == MotionPreset::Kind::kTransition && !preset.node.empty()) {
      std::string node = preset.node;
      const size_t end = node.rfind('/');
      const std::string withDur = node.substr(0, end) + " smil:dur=\"1s\"" + node.substr(end);
      pages << "        <anim:par presentation:node-type=\"timing-root\">\n          "
            << (Attribute(node, "smil:dur").empty() ? withDur : node) << "\n        </anim:par>\n";
    } else if (!preset.node.empty()) {
      std::string node = std::regex_replace(preset.node, std::regex("@TARGET@"), id);
      pages << "        <anim:par presentation:node-type=\"timing-root\">\n"
            << "          <anim:seq presentation:node-type=\"main-sequence\">\n"
            << "            <anim:par smil:begin=\"next\">\n"
            << "              <anim:par smil:begin=\"0s\">\n"
            << node << "\n"
            << "              </anim:par>\n"
            << "            </anim:par>\n"
            << "          </anim:seq>\n"
            << "        </anim:par>\n";
    }
    pages << "      </draw:page>\n";
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
    xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
    xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
    xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
    xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
    xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
    xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0"
    xmlns:smil="urn:oasis:names:tc:opendocument:xmlns:smil-compatible:1.0"
    xmlns:anim="urn:oasis:names:tc:opendocument:xmlns:animation:1.0"
    xmlns:loext="urn:org:documentfoundation:names:experimental:office:xmlns:loext:1.0"
    office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.presentation">
  <office:font-face-decls>
    <style:font-face style:name="DejaVu Sans" svg:font-family="'DejaVu Sans'" style:font-family-generic="swiss"/>
  </office:font-face-decls>
  <office:styles/>
  <office:automatic-styles>
    <style:page-layout style:name="PM1">
      <style:page-layout-properties fo:margin-top="0cm" fo:margin-bottom="0cm" fo:margin-left="0cm" fo:margin-right="0cm"
          fo:page-width="25.4cm" fo:page-height="19.05cm" style:print-orientation="landscape"/>
    </style:page-layout>
    <style:style style:name="dpMaster" style:family="drawing-page">
      <style:drawing-page-properties draw:background-size="full" draw:fill="solid" draw:fill-color="#ffffff"/>
    </style:style>
)" << styles.str()
      << R"(    <style:style style:name="grBox" style:family="graphic">
      <style:graphic-properties draw:stroke="solid" svg:stroke-color="#000000" svg:stroke-width="0.1cm" draw:fill="solid"
          draw:fill-color=")" << Hex(kBoxColours[0]) << R"(" draw:textarea-vertical-align="middle" draw:auto-grow-height="false"/>
    </style:style>
    <style:style style:name="grBoxOther" style:family="graphic" style:parent-style-name="grBox">
      <style:graphic-properties draw:fill-color=")" << Hex(kBoxColours[1]) << R"("/>
    </style:style>
    <style:style style:name="pBox" style:family="paragraph">
      <style:paragraph-properties fo:text-align="center"/>
      <style:text-properties fo:color="#000000" style:font-name="DejaVu Sans" fo:font-size="28pt" fo:font-weight="normal"/>
    </style:style>
  </office:automatic-styles>
  <office:master-styles>
    <style:master-page style:name="Default" style:page-layout-name="PM1" draw:style-name="dpMaster"/>
  </office:master-styles>
  <office:body>
    <office:presentation>
)" << pages.str()
      << R"(    </office:presentation>
  </office:body>
</office:document>
)";
  out.close();
  return out ? path : std::string();
}
