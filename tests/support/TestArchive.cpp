#include "TestArchive.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

std::string EncodeBase64(const std::string& data) {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t line = 0;
  for (size_t i = 0; i < data.size(); i += 3) {
    uint32_t n = uint32_t(uint8_t(data[i])) << 16;
    if (i + 1 < data.size()) n |= uint32_t(uint8_t(data[i + 1])) << 8;
    if (i + 2 < data.size()) n |= uint32_t(uint8_t(data[i + 2]));
    out += alphabet[(n >> 18) & 63];
    out += alphabet[(n >> 12) & 63];
    out += i + 1 < data.size() ? alphabet[(n >> 6) & 63] : '=';
    out += i + 2 < data.size() ? alphabet[n & 63] : '=';
    if ((line += 4) >= 76) {
      out += "\r\n";
      line = 0;
    }
  }
  return out;
}

std::string EncodeQuotedPrintable(const std::string& data) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  size_t line = 0;
  for (size_t i = 0; i < data.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(data[i]);
    if (c == '\n') {
      out += "\r\n";
      line = 0;
      continue;
    }
    std::string piece;
    if ((c >= 33 && c <= 126 && c != '=') || (c == ' ' && i + 1 < data.size() && data[i + 1] != '\n')) {
      piece = std::string(1, char(c));
    } else {
      piece = {'=', hex[c >> 4], hex[c & 15]};
    }
    if (line + piece.size() > 75) {
      out += "=\r\n";
      line = 0;
    }
    out += piece;
    line += piece.size();
  }
  return out;
}

std::string MakeMhtml(const std::vector<TestPart>& parts, const std::string& boundary) {
  std::string m =
      "From: <Saved by KAVRETO tests>\r\nSubject: show\r\nMIME-Version: 1.0\r\n"
      "Content-Type: multipart/related;\r\n\ttype=\"text/html\";\r\n\tboundary=\"" +
      boundary + "\"\r\n\r\nThis is a multi-part message in MIME format.\r\n\r\n";
  for (const TestPart& p : parts) {
    m += "--" + boundary + "\r\n";
    m += "Content-Type: " + p.type + "\r\n";
    m += std::string("Content-Transfer-Encoding: ") + (p.base64 ? "base64" : "quoted-printable") + "\r\n";
    m += "Content-Location: " + p.location + "\r\n\r\n";
    m += p.base64 ? EncodeBase64(p.body) : EncodeQuotedPrintable(p.body);
    m += "\r\n";
  }
  m += "--" + boundary + "--\r\n";
  return m;
}

bool WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), std::streamsize(data.size()));
  return bool(out);
}

namespace {

const char kShowPage[] = R"HTML(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Show</title>
<style>html,body{margin:0;padding:0;width:100%;height:100%;overflow:hidden;background:#000}
iframe{position:absolute;left:0;top:0;width:100%;height:100%;border:0}</style>
<script>
var gCurSld = 1;
var gSldCount = 3;
function HasNextSld() { return gCurSld < gSldCount; }
function GoToNextSld() {
  if (!HasNextSld()) return;
  gCurSld = gCurSld + 1;
  PPTSld.location.replace('slide' + gCurSld + '.htm');
}
</script></head>
<body><iframe name="PPTSld" src="slide1.htm"></iframe></body></html>
)HTML";

// Each slide announces itself with its address once loaded; `target` is the window whose
// status it sets ("top" or "window", the slide's own frame).
std::string SlidePage(const std::string& colour, const std::string& extra, const std::string& target) {
  return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><style>html,body{margin:0;padding:0;width:100%;"
         "height:100%;overflow:hidden;background:" +
         colour + "}.box{position:absolute;top:0;width:25%;height:25%;visibility:hidden}</style></head><body>" + extra +
         "<script>window.addEventListener('load', function () { " + target +
         ".status = location.href; });</script>"
         "</body></html>";
}

const char kAnimatedSlide[] = R"HTML(
<div class="box" id="b1" style="left:0;background:#ffff00"></div>
<div class="box" id="b2" style="left:37.5%;background:#ff00ff"></div>
<div class="box" id="b3" style="left:75%;background:#00ffff"></div>
<script>
var step = 0;
var g_animMainSequence = {
  get cangonext() { return step < 3; },
  next: function () { step = step + 1; document.getElementById('b' + step).style.visibility = 'visible'; }
};
</script>
)HTML";

}  // namespace

std::string WritePageArchive(const std::string& dir, const std::string& base, const std::string& html,
                             const std::vector<TestPart>& extra) {
  std::vector<TestPart> parts{{base + ".files/fullscreen.htm", "text/html; charset=utf-8", html, false}};
  for (TestPart p : extra) {
    p.location = base + ".files/" + p.location;
    parts.push_back(p);
  }
  const std::string path = dir + "/" + base + ".tmp";
  return WriteFile(path, MakeMhtml(parts)) ? path : std::string();
}

std::string WriteShowArchive(const std::string& dir, const std::string& base) {
  // The show page quoted-printable, the slides base64: both encodings on every run.
  return WritePageArchive(
      dir, base, kShowPage,
      {{"slide1.htm", "text/html; charset=utf-8", SlidePage("#ff0000", "", "top"), true},
       {"slide2.htm", "text/html; charset=utf-8", SlidePage("#00ff00", kAnimatedSlide, "top"), true},
       {"slide3.htm", "text/html; charset=utf-8", SlidePage("#0000ff", "", "window"), true}});
}
