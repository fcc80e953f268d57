#include "ProgressJson.h"

#include <cmath>
#include <cstdio>

namespace {

// Length of the valid UTF-8 sequence at text[at], or 0 when there is none.
size_t Utf8Length(const std::string& text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length = 0;
  uint32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07u;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0u) != 0x80u) return 0;
    code = (code << 6) | (byte(at + i) & 0x3Fu);
  }
  // No overlong forms, no surrogates, nothing beyond U+10FFFF.
  if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
      (code >= 0xD800 && code <= 0xDFFF)) {
    return 0;
  }
  return length;
}

std::string Number(double value) {
  if (!std::isfinite(value)) return "0";
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

}  // namespace

std::string ProgressJson::Quote(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x20 || c == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
      ++i;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
    } else if (const size_t length = Utf8Length(text, i); length > 0) {
      out.append(text, i, length);
      i += length;
    } else {
      out += "\xEF\xBF\xBD";  // U+FFFD
      ++i;
    }
  }
  return out + "\"";
}

std::string ProgressJson::Line(const Record& r) {
  std::string line = "{\"file\":" + Quote(r.file) + ",\"output\":" + Quote(r.output) + ",\"state\":" + Quote(r.state) +
                     ",\"slide\":" + std::to_string(r.slide) + ",\"slides\":" + std::to_string(r.slides) +
                     ",\"frames\":" + std::to_string(r.frames) + ",\"video_seconds\":" + Number(r.videoSeconds) +
                     ",\"elapsed_seconds\":" + Number(r.elapsedSeconds);
  if (!r.message.empty()) line += ",\"message\":" + Quote(r.message);
  return line + "}";
}
