#include "SymbolText.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "Utf8.h"

namespace {

// What the families' codes 0x20-0xFF stand for in Unicode; 0: nothing Unicode has.
constexpr char32_t kSymbol[224] = {
    // 0x20
    0x0020, 0x0021, 0x2200, 0x0023, 0x2203, 0x0025, 0x0026, 0x220B, 0x0028, 0x0029, 0x2217, 0x002B, 0x002C,
    0x2212, 0x002E, 0x002F,
    // 0x30
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037, 0x0038, 0x0039, 0x003A, 0x003B, 0x003C,
    0x003D, 0x003E, 0x003F,
    // 0x40: capital Greek
    0x2245, 0x0391, 0x0392, 0x03A7, 0x0394, 0x0395, 0x03A6, 0x0393, 0x0397, 0x0399, 0x03D1, 0x039A, 0x039B,
    0x039C, 0x039D, 0x039F,
    // 0x50
    0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5, 0x03C2, 0x03A9, 0x039E, 0x03A8, 0x0396, 0x005B, 0x2234,
    0x005D, 0x22A5, 0x005F,
    // 0x60: small Greek
    0x203E, 0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3, 0x03B7, 0x03B9, 0x03D5, 0x03BA, 0x03BB,
    0x03BC, 0x03BD, 0x03BF,
    // 0x70
    0x03C0, 0x03B8, 0x03C1, 0x03C3, 0x03C4, 0x03C5, 0x03D6, 0x03C9, 0x03BE, 0x03C8, 0x03B6, 0x007B, 0x007C,
    0x007D, 0x223C, 0,
    // 0x80-0x9F: unused
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 0xA0
    0x20AC, 0x03D2, 0x2032, 0x2264, 0x2044, 0x221E, 0x0192, 0x2663, 0x2666, 0x2665, 0x2660, 0x2194, 0x2190,
    0x2191, 0x2192, 0x2193,
    // 0xB0
    0x00B0, 0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022, 0x00F7, 0x2260, 0x2261, 0x2248, 0x2026,
    0x23D0, 0x23AF, 0x21B5,
    // 0xC0
    0x2135, 0x2111, 0x211C, 0x2118, 0x2297, 0x2295, 0x2205, 0x2229, 0x222A, 0x2283, 0x2287, 0x2284, 0x2282,
    0x2286, 0x2208, 0x2209,
    // 0xD0
    0x2220, 0x2207, 0x00AE, 0x00A9, 0x2122, 0x220F, 0x221A, 0x22C5, 0x00AC, 0x2227, 0x2228, 0x21D4, 0x21D0,
    0x21D1, 0x21D2, 0x21D3,
    // 0xE0
    0x25CA, 0x2329, 0x00AE, 0x00A9, 0x2122, 0x2211, 0x239B, 0x239C, 0x239D, 0x23A1, 0x23A2, 0x23A3, 0x23A7,
    0x23A8, 0x23A9, 0x23AA,
    // 0xF0
    0, 0x232A, 0x222B, 0x2320, 0x23AE, 0x2321, 0x239E, 0x239F, 0x23A0, 0x23A4, 0x23A5, 0x23A6, 0x23AB,
    0x23AC, 0x23AD, 0,
};

constexpr char32_t kWingdings[224] = {
    // 0x20: writing, mail, office
    0x0020, 0x270F, 0x2702, 0x2701, 0x1F453, 0x1F514, 0x1F4D6, 0, 0x260E, 0x2706, 0x2709, 0, 0x1F4EA,
    0x1F4EB, 0x1F4EC, 0x1F4ED,
    // 0x30: folders and computers
    0x1F4C1, 0x1F4C2, 0x1F4C4, 0, 0, 0, 0x231B, 0x2328, 0, 0, 0x1F4BB, 0, 0x1F4BE, 0, 0x2707, 0x270D,
    // 0x40: hands and faces
    0, 0x270C, 0x1F44C, 0x1F44D, 0x1F44E, 0x261C, 0x261E, 0x261D, 0x261F, 0x270B, 0x263A, 0x1F610, 0x2639,
    0x1F4A3, 0x2620, 0x2690,
    // 0x50: flags, weather, crosses and signs
    0x1F6A9, 0x2708, 0x263C, 0x1F4A7, 0x2744, 0x271D, 0x271E, 0, 0x2720, 0x2721, 0x262A, 0x262F, 0x0950,
    0x2638, 0x2648, 0x2649,
    // 0x60: the zodiac, bullets
    0x264A, 0x264B, 0x264C, 0x264D, 0x264E, 0x264F, 0x2650, 0x2651, 0x2652, 0x2653, 0x0026, 0x0026, 0x25CF,
    0x274D, 0x25A0, 0x25A1,
    // 0x70
    0x25A1, 0x2751, 0x2752, 0x2B27, 0x29EB, 0x25C6, 0x2756, 0x2B25, 0x2327, 0x2353, 0x2318, 0x2740, 0x273F,
    0x275D, 0x275E, 0,
    // 0x80: circled digits
    0x24EA, 0x2460, 0x2461, 0x2462, 0x2463, 0x2464, 0x2465, 0x2466, 0x2467, 0x2468, 0x2469, 0x24FF, 0x2776,
    0x2777, 0x2778, 0x2779,
    // 0x90: leaves, dots
    0x277A, 0x277B, 0x277C, 0x277D, 0x277E, 0x277F, 0, 0, 0, 0, 0, 0, 0, 0, 0x00B7, 0x2022,
    // 0xA0: squares, circles and stars
    0x25AA, 0x25CB, 0x2B55, 0x25CB, 0x25C9, 0x25CE, 0, 0x25AA, 0x25FB, 0, 0x2726, 0x2605, 0x2736, 0x2734,
    0x2739, 0x2735,
    // 0xB0: clock faces
    0, 0x2316, 0x27E1, 0x2311, 0, 0x272A, 0x2730, 0x1F550, 0x1F551, 0x1F552, 0x1F553, 0x1F554, 0x1F555,
    0x1F556, 0x1F557, 0x1F558,
    // 0xC0: clock faces, bent arrows, leaves
    0x1F559, 0x1F55A, 0x1F55B, 0x21B2, 0x21B3, 0x21B0, 0x21B1, 0x2B11, 0x2B0F, 0x2B10, 0x2B0E, 0, 0, 0, 0, 0,
    // 0xD0: leaves, erase keys, arrowheads
    0, 0, 0, 0, 0, 0x232B, 0x2326, 0x25C4, 0x27A2, 0x25B2, 0x25BC, 0, 0x27B2, 0, 0, 0x2190,
    // 0xE0: wide-headed arrows, heavy ones
    0x2192, 0x2191, 0x2193, 0x2196, 0x2197, 0x2199, 0x2198, 0x2B05, 0x2794, 0x2B06, 0x2B07, 0x2B09, 0x2B08,
    0x2B0B, 0x2B0A, 0x21E6,
    // 0xF0: white arrows, boxes, ticks and crosses
    0x21E8, 0x21E7, 0x21E9, 0x2B04, 0x21F3, 0x2B00, 0x2B01, 0x2B03, 0x2B02, 0x25AD, 0x25AB, 0x2717, 0x2713,
    0x2612, 0x2611, 0,
};

// The fonts the recoded symbols are drawn in: the office's own symbol font, then a broad one.
constexpr char kSymbolFamilies[] = "OpenSymbol, DejaVu Sans";

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// The first family of a font-family value, unquoted and in lower case.
std::string FirstFamily(const std::string& value) {
  std::string first = value.substr(0, value.find(','));
  const size_t begin = first.find_first_not_of(" \t'\"");
  const size_t end = first.find_last_not_of(" \t'\"");
  return begin == std::string::npos ? std::string() : Lower(first.substr(begin, end - begin + 1));
}

const char32_t* Table(const std::string& lowerFamily) {
  if (lowerFamily == "symbol") return kSymbol;
  if (lowerFamily == "wingdings") return kWingdings;
  return nullptr;
}


// Text between tags, recoded with `table`: whole UTF-8 sequences are decoded, entities and
// anything malformed are copied as they stand.
void Recode(const std::string& text, const char32_t* table, std::string& out) {
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead == '&') {
      const size_t end = text.find(';', i);
      const size_t stop = end == std::string::npos ? text.size() : end + 1;
      out.append(text, i, stop - i);
      i = stop;
      continue;
    }
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    char32_t code = 0;
    bool valid = length > 0 && i + length <= text.size();
    if (valid) {
      code = length == 1 ? lead : lead & (0x7F >> length);
      for (size_t k = 1; k < length; ++k) {
        const unsigned char c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xC0) != 0x80) valid = false;
        code = code << 6 | (c & 0x3F);
      }
    }
    if (!valid) {
      out += text[i++];
      continue;
    }
    const char32_t font = code >= 0xF020 && code <= 0xF0FF ? code - 0xF000 : code;
    const char32_t mapped = font >= 0x20 && font <= 0xFF ? table[font - 0x20] : 0;
    if (mapped != 0) {
      Utf8::Append(out, mapped);
    } else {
      out.append(text, i, length);
    }
    i += length;
  }
}

// The value of attribute `name` in `tag`, with its place; npos when absent.
size_t AttributeValue(const std::string& tag, const std::string& name, size_t& end) {
  for (size_t at = tag.find(name + "=\""); at != std::string::npos; at = tag.find(name + "=\"", at + 1)) {
    if (at == 0 || !std::isspace(static_cast<unsigned char>(tag[at - 1]))) continue;
    const size_t begin = at + name.size() + 2;
    end = tag.find('"', begin);
    if (end == std::string::npos) return std::string::npos;
    return begin;
  }
  return std::string::npos;
}

}  // namespace

char32_t SymbolText::Unicode(const std::string& family, char32_t code) {
  const char32_t* table = Table(FirstFamily(family));
  if (table == nullptr) return 0;
  if (code >= 0xF020 && code <= 0xF0FF) code -= 0xF000;
  return code >= 0x20 && code <= 0xFF ? table[code - 0x20] : 0;
}

std::string SymbolText::Apply(const std::string& svg) {
  std::string out;
  size_t copied = 0;
  for (size_t start = svg.find("<text"); start != std::string::npos; start = svg.find("<text", start)) {
    const char after = start + 5 < svg.size() ? svg[start + 5] : '\0';
    if (after != '>' && !std::isspace(static_cast<unsigned char>(after))) {
      start += 5;
      continue;
    }
    const size_t close = svg.find("</text>", start);
    if (close == std::string::npos) break;
    // Walk the element's tags; each open element has the table of the family it draws in.
    std::vector<const char32_t*> tables{nullptr};
    std::string element;
    bool changed = false;
    size_t at = start;
    while (at < close) {
      if (svg[at] != '<') {
        const size_t next = std::min(svg.find('<', at), close);
        const std::string text = svg.substr(at, next - at);
        if (tables.back() != nullptr) {
          const size_t before = element.size();
          Recode(text, tables.back(), element);
          changed = changed || element.compare(before, std::string::npos, text) != 0;
        } else {
          element += text;
        }
        at = next;
        continue;
      }
      const size_t tagEnd = svg.find('>', at);
      if (tagEnd == std::string::npos || tagEnd > close) break;
      std::string tag = svg.substr(at, tagEnd + 1 - at);
      at = tagEnd + 1;
      if (tag.starts_with("</")) {
        if (tables.size() > 1) tables.pop_back();
      } else if (!tag.starts_with("<!") && !tag.starts_with("<?")) {
        const char32_t* table = tables.back();
        size_t valueEnd = 0;
        const size_t value = AttributeValue(tag, "font-family", valueEnd);
        if (value != std::string::npos) {
          table = Table(FirstFamily(tag.substr(value, valueEnd - value)));
          if (table != nullptr) {
            tag.replace(value, valueEnd - value, kSymbolFamilies);
            changed = true;
          }
        }
        if (!tag.ends_with("/>")) tables.push_back(table);
      }
      element += tag;
    }
    if (at < close) {  // a tag cut off: the element stays as it is
      start = close;
      continue;
    }
    if (changed) {
      out.append(svg, copied, start - copied);
      out += element;
      copied = close;
    }
    start = close;
  }
  if (copied == 0) return svg;
  out.append(svg, copied, std::string::npos);
  return out;
}
