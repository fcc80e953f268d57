#include "Base64.h"

#include <cstdint>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

std::string Base64::EncodeLines(std::string_view data) {
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4 + (data.size() / 57 + 1) * 2);
  size_t lineLength = 0;
  auto put = [&](char c) {
    out.push_back(c);
    if (++lineLength == 76) {
      out += "\r\n";
      lineLength = 0;
    }
  };
  size_t i = 0;
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
  for (; i + 3 <= data.size(); i += 3) {
    const unsigned v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    put(kAlphabet[(v >> 18) & 63]);
    put(kAlphabet[(v >> 12) & 63]);
    put(kAlphabet[(v >> 6) & 63]);
    put(kAlphabet[v & 63]);
  }
  const size_t rest = data.size() - i;
  if (rest > 0) {
    unsigned v = bytes[i] << 16;
    if (rest == 2) v |= bytes[i + 1] << 8;
    put(kAlphabet[(v >> 18) & 63]);
    put(kAlphabet[(v >> 12) & 63]);
    put(rest == 2 ? kAlphabet[(v >> 6) & 63] : '=');
    put('=');
  }
  if (lineLength != 0) out += "\r\n";
  return out;
}

bool Base64::Decode(std::string_view in, std::string& out) {
  out.clear();
  out.reserve(in.size() / 4 * 3);
  uint32_t acc = 0;
  int bits = 0;
  int quantum = 0;  // characters in the current group of four
  int padding = 0;
  for (char c : in) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    int v;
    if (c >= 'A' && c <= 'Z')
      v = c - 'A';
    else if (c >= 'a' && c <= 'z')
      v = c - 'a' + 26;
    else if (c >= '0' && c <= '9')
      v = c - '0' + 52;
    else if (c == '+')
      v = 62;
    else if (c == '/')
      v = 63;
    else if (c == '=') {
      // Padding may only finish a group that already holds two or three characters.
      if (quantum < 2 && padding == 0) return false;
      ++padding;
      ++quantum;
      if (quantum == 4) {
        if (padding > 2) return false;
        quantum = 0;
      }
      continue;
    } else {
      return false;
    }
    if (padding > 0) return false;  // data after padding
    acc = (acc << 6) | static_cast<uint32_t>(v);
    bits += 6;
    quantum = (quantum + 1) % 4;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((acc >> bits) & 0xFF);
    }
  }
  if (padding > 0 && quantum != 0) return false;   // incomplete padding
  if (padding == 0 && quantum == 1) return false;  // a lone character carries no byte
  return true;
}

