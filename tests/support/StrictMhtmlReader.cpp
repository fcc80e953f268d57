#include "StrictMhtmlReader.h"

#include <algorithm>

namespace {

bool DecodeBase64Strict(const std::string& in, std::string& out) {
  auto value = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  };
  std::string clean;
  for (char c : in)
    if (c != '\r' && c != '\n') clean.push_back(c);
  if (clean.size() % 4 != 0) return false;
  out.clear();
  for (size_t i = 0; i < clean.size(); i += 4) {
    int v[4];
    int pad = 0;
    for (int k = 0; k < 4; ++k) {
      if (clean[i + k] == '=') {
        if (i + 4 != clean.size() || k < 2) return false;
        v[k] = 0;
        ++pad;
      } else {
        if (pad > 0) return false;
        v[k] = value(clean[i + k]);
        if (v[k] < 0) return false;
      }
    }
    const unsigned n = (v[0] << 18) | (v[1] << 12) | (v[2] << 6) | v[3];
    out.push_back(static_cast<char>((n >> 16) & 255));
    if (pad < 2) out.push_back(static_cast<char>((n >> 8) & 255));
    if (pad < 1) out.push_back(static_cast<char>(n & 255));
  }
  return true;
}

// Header block up to the blank line at `pos`; names lower-cased. Returns the body start.
size_t ReadHeaders(const std::string& text, size_t pos, std::vector<std::pair<std::string, std::string>>& headers) {
  for (;;) {
    const size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) return std::string::npos;
    if (end == pos) return end + 2;
    const std::string line = text.substr(pos, end - pos);
    const size_t colon = line.find(':');
    if (colon == std::string::npos) return std::string::npos;
    std::string name = line.substr(0, colon);
    std::transform(name.begin(), name.end(), name.begin(), ::tolower);
    std::string value = line.substr(colon + 1);
    value.erase(0, value.find_first_not_of(' '));
    headers.emplace_back(name, value);
    pos = end + 2;
  }
}

std::string Header(const std::vector<std::pair<std::string, std::string>>& headers, const std::string& name) {
  for (const auto& [n, v] : headers)
    if (n == name) return v;
  return {};
}

}  // namespace

bool ReadMhtml(const std::string& text, std::vector<MhtmlPartRead>& parts, std::string& error) {
  parts.clear();
  std::vector<std::pair<std::string, std::string>> top;
  size_t pos = ReadHeaders(text, 0, top);
  if (pos == std::string::npos) return error = "no header block", false;
  if (Header(top, "mime-version") != "1.0") return error = "no MIME-Version 1.0", false;
  const std::string type = Header(top, "content-type");
  if (type.rfind("multipart/related;", 0) != 0) return error = "not multipart/related: " + type, false;
  const size_t b = type.find("boundary=\"");
  if (b == std::string::npos) return error = "no boundary", false;
  const std::string boundary = type.substr(b + 10, type.find('"', b + 10) - (b + 10));
  const std::string delimiter = "\r\n--" + boundary;
  pos = text.find("--" + boundary + "\r\n", pos);
  if (pos == std::string::npos) return error = "no first part", false;
  pos += boundary.size() + 4;
  for (;;) {
    std::vector<std::pair<std::string, std::string>> headers;
    const size_t body = ReadHeaders(text, pos, headers);
    if (body == std::string::npos) return error = "bad part headers", false;
    const size_t end = text.find(delimiter, body);
    if (end == std::string::npos) return error = "part not closed", false;
    MhtmlPartRead part;
    part.location = Header(headers, "content-location");
    part.type = Header(headers, "content-type");
    if (part.location.empty() || part.type.empty()) return error = "part without location or type", false;
    if (Header(headers, "content-transfer-encoding") != "base64") return error = "part not base64", false;
    if (!DecodeBase64Strict(text.substr(body, end - body), part.body))
      return error = "bad base64 in " + part.location, false;
    parts.push_back(std::move(part));
    pos = end + delimiter.size();
    if (text.compare(pos, 2, "--") == 0) return true;
    if (text.compare(pos, 2, "\r\n") != 0) return error = "bad delimiter line", false;
    pos += 2;
  }
}
