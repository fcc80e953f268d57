#include "SlideShape.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "MhtmlArchive.h"

bool SlideShape::FromSvg(std::string_view svg, double& width, double& height) {
  // The root element: the first "<svg" followed by white space or the tag's end.
  size_t start = 0;
  while ((start = svg.find("<svg", start)) != std::string_view::npos) {
    const char next = start + 4 < svg.size() ? svg[start + 4] : '\0';
    if (next == ' ' || next == '\t' || next == '\n' || next == '\r' || next == '>') break;
    start += 4;
  }
  if (start == std::string_view::npos) return false;
  const size_t end = svg.find('>', start);
  if (end == std::string_view::npos) return false;
  const std::string tag(svg.substr(start, end - start));
  size_t at = std::string::npos;
  for (size_t from = 0; (from = tag.find("viewBox", from)) != std::string::npos; from += 7) {
    const char before = tag[from - 1];
    if (before == ' ' || before == '\t' || before == '\n' || before == '\r') {
      at = from + 7;
      break;
    }
  }
  if (at == std::string::npos) return false;
  while (at < tag.size() && (tag[at] == ' ' || tag[at] == '=')) ++at;
  if (at >= tag.size() || (tag[at] != '"' && tag[at] != '\'')) return false;
  const char quote = tag[at];
  const size_t close = tag.find(quote, at + 1);
  if (close == std::string::npos) return false;
  std::string values = tag.substr(at + 1, close - at - 1);
  for (char& c : values) {
    if (c == ',') c = ' ';
  }
  // min-x min-y width height
  double numbers[4];
  const char* p = values.c_str();
  for (double& number : numbers) {
    char* next = nullptr;
    number = std::strtod(p, &next);
    if (next == p) return false;
    p = next;
  }
  if (!std::isfinite(numbers[2]) || !std::isfinite(numbers[3]) || numbers[2] <= 0 || numbers[3] <= 0) return false;
  width = numbers[2];
  height = numbers[3];
  return true;
}

bool SlideShape::FromArchive(const std::string& archivePath, double& width, double& height) {
  std::ifstream in(archivePath, std::ios::binary);
  if (!in.is_open()) return false;
  const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  MhtmlArchive archive;
  return archive.parse(data) && FromArchive(archive, width, height);
}

bool SlideShape::FromArchive(const MhtmlArchive& archive, double& width, double& height) {
  for (const MhtmlArchive::Part& part : archive.parts()) {
    if (part.contentType.rfind("image/svg+xml", 0) == 0 && FromSvg(part.body, width, height)) return true;
  }
  return false;
}
