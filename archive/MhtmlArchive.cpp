#include "MhtmlArchive.h"

#include "Base64.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace {

struct Header {
  std::string name;   // lower case
  std::string value;  // unfolded, trimmed
};

char ToLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = ToLower(c);
  return out;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (IsBlank(s.front()) || s.front() == '\r' || s.front() == '\n')) s.remove_prefix(1);
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
  return s;
}

// Returns the line that starts at `pos` without its line break and moves `pos` past the break.
std::string_view NextLine(std::string_view text, size_t& pos) {
  size_t end = text.find('\n', pos);
  size_t next = end == std::string_view::npos ? text.size() : end + 1;
  if (end == std::string_view::npos) end = text.size();
  std::string_view line = text.substr(pos, end - pos);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  pos = next;
  return line;
}

// Reads a header block starting at `pos` up to and including the empty line that ends it.
// False when the text ends before that empty line or a line is not a header.
bool ReadHeaders(std::string_view text, size_t& pos, std::vector<Header>& headers) {
  headers.clear();
  while (pos < text.size()) {
    std::string_view line = NextLine(text, pos);
    if (line.empty()) return true;
    if (IsBlank(line.front())) {  // folded continuation of the previous header
      if (headers.empty()) return false;
      headers.back().value += ' ';
      headers.back().value += Trim(line);
      continue;
    }
    size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    std::string_view name = Trim(line.substr(0, colon));
    if (name.empty() || name.find_first_of(" \t") != std::string_view::npos) return false;
    headers.push_back({Lower(name), std::string(Trim(line.substr(colon + 1)))});
  }
  return false;
}

const std::string* FindHeader(const std::vector<Header>& headers, std::string_view lowerName) {
  for (const Header& h : headers)
    if (h.name == lowerName) return &h.value;
  return nullptr;
}

// The value of parameter `lowerName` in a structured header such as
// `multipart/related; type="text/html"; boundary="x"`. Empty when absent.
std::string HeaderParameter(std::string_view value, std::string_view lowerName) {
  size_t i = value.find(';');
  while (i != std::string_view::npos && i < value.size()) {
    ++i;
    while (i < value.size() && IsBlank(value[i])) ++i;
    size_t eq = i;
    while (eq < value.size() && value[eq] != '=' && value[eq] != ';') ++eq;
    if (eq >= value.size() || value[eq] == ';') {
      i = eq < value.size() ? eq : std::string_view::npos;
      continue;
    }
    std::string name = Lower(Trim(value.substr(i, eq - i)));
    size_t v = eq + 1;
    while (v < value.size() && IsBlank(value[v])) ++v;
    std::string param;
    size_t end = v;
    if (v < value.size() && value[v] == '"') {
      end = v + 1;
      while (end < value.size() && value[end] != '"') {
        if (value[end] == '\\' && end + 1 < value.size()) ++end;
        param += value[end];
        ++end;
      }
      if (end < value.size()) ++end;  // closing quote
      end = value.find(';', end);
    } else {
      end = value.find(';', v);
      param = std::string(Trim(value.substr(v, end == std::string_view::npos ? std::string_view::npos : end - v)));
    }
    if (name == lowerName) return param;
    i = end;
  }
  return {};
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string PercentDecoded(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

bool EndsWithSegment(std::string_view location, std::string_view inner) {
  return location.size() > inner.size() && location.substr(location.size() - inner.size()) == inner &&
         location[location.size() - inner.size() - 1] == '/';
}

// Where the delimiter line "--boundary" (or the closing "--boundary--") starts at or after
// `from`; it must begin a line. Sets `closing` and `after` (the position after its line).
size_t FindDelimiter(std::string_view text, std::string_view delimiter, size_t from, bool& closing, size_t& after) {
  size_t pos = from;
  while ((pos = text.find(delimiter, pos)) != std::string_view::npos) {
    if (pos == 0 || text[pos - 1] == '\n') {
      size_t p = pos + delimiter.size();
      closing = text.substr(p, 2) == "--";
      if (closing) p += 2;
      size_t q = p;
      while (q < text.size() && IsBlank(text[q])) ++q;
      if (q == text.size()) {
        after = q;
        return pos;
      }
      if (text[q] == '\n' || (text[q] == '\r' && (q + 1 == text.size() || text[q + 1] == '\n'))) {
        after = text[q] == '\r' ? std::min(q + 2, text.size()) : q + 1;
        return pos;
      }
    }
    pos += delimiter.size();
  }
  return std::string_view::npos;
}

}  // namespace

bool MhtmlArchive::fail(const char* why) {
  parts_.clear();
  error_ = why;
  return false;
}

bool MhtmlArchive::parse(std::string_view data) {
  parts_.clear();
  error_.clear();
  if (data.size() > kMaxArchiveBytes) return fail("archive too large");

  size_t pos = 0;
  std::vector<Header> headers;
  if (!ReadHeaders(data, pos, headers)) return fail("no message header");
  const std::string* type = FindHeader(headers, "content-type");
  if (type == nullptr || Lower(*type).rfind("multipart/", 0) != 0) return fail("not a multipart message");
  std::string boundary = HeaderParameter(*type, "boundary");
  if (boundary.empty() || boundary.size() > 200) return fail("no usable boundary");

  const std::string delimiter = "--" + boundary;
  bool closing = false;
  size_t after = 0;
  size_t at = FindDelimiter(data, delimiter, pos, closing, after);
  if (at == std::string_view::npos) return fail("no part delimiter");
  while (!closing) {
    size_t partStart = after;
    size_t next = FindDelimiter(data, delimiter, partStart, closing, after);
    if (next == std::string_view::npos) return fail("archive ends inside a part");
    // The line break before the delimiter belongs to the delimiter.
    size_t partEnd = next;
    if (partEnd > partStart && data[partEnd - 1] == '\n') --partEnd;
    if (partEnd > partStart && data[partEnd - 1] == '\r') --partEnd;
    std::string_view raw = data.substr(partStart, partEnd - partStart);

    size_t bodyPos = 0;
    std::vector<Header> partHeaders;
    if (!ReadHeaders(raw, bodyPos, partHeaders)) {
      // A part that is all header and no body (no empty line) is still malformed.
      return fail("malformed part header");
    }
    std::string_view encodedBody = raw.substr(bodyPos);
    Part part;
    if (const std::string* v = FindHeader(partHeaders, "content-type")) part.contentType = *v;
    if (const std::string* v = FindHeader(partHeaders, "content-location")) part.contentLocation = *v;
    std::string encoding;
    if (const std::string* v = FindHeader(partHeaders, "content-transfer-encoding")) encoding = Lower(Trim(*v));
    if (encoding == "base64") {
      if (!Base64::Decode(encodedBody, part.body)) return fail("bad base64 body");
    } else if (encoding == "quoted-printable") {
      if (!DecodeQuotedPrintable(encodedBody, part.body)) return fail("bad quoted-printable body");
    } else if (encoding.empty() || encoding == "7bit" || encoding == "8bit" || encoding == "binary") {
      part.body.assign(encodedBody);
    } else {
      return fail("unknown transfer encoding");
    }
    parts_.push_back(std::move(part));
  }
  if (parts_.empty()) return fail("archive has no part");
  return true;
}

const MhtmlArchive::Part* MhtmlArchive::find(std::string_view innerPath) const {
  if (innerPath.empty()) return nullptr;
  for (const Part& p : parts_)
    if (p.contentLocation == innerPath) return &p;
  for (const Part& p : parts_)
    if (EndsWithSegment(p.contentLocation, innerPath)) return &p;
  for (const Part& p : parts_) {
    std::string decoded = PercentDecoded(p.contentLocation);
    if (decoded == innerPath || EndsWithSegment(decoded, innerPath)) return &p;
  }
  return nullptr;
}

bool MhtmlArchive::DecodeQuotedPrintable(std::string_view in, std::string& out) {
  out.clear();
  out.reserve(in.size());
  size_t pos = 0;
  while (pos < in.size()) {
    size_t lineStart = pos;
    std::string_view line = NextLine(in, pos);
    // The hard line break as written ("\r\n" or "\n"); empty on the last line.
    std::string_view lineBreak = in.substr(lineStart + line.size(), pos - lineStart - line.size());
    // Transport may add blanks at line ends; they are not part of the data.
    while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
    bool soft = false;
    for (size_t i = 0; i < line.size(); ++i) {
      char c = line[i];
      if (c != '=') {
        out += c;
        continue;
      }
      if (i + 1 == line.size()) {
        soft = true;
        break;
      }
      if (i + 2 >= line.size()) return false;
      int hi = HexValue(line[i + 1]);
      int lo = HexValue(line[i + 2]);
      if (hi < 0 || lo < 0) return false;
      out += static_cast<char>(hi * 16 + lo);
      i += 2;
    }
    if (!soft) out += lineBreak;
  }
  return true;
}
