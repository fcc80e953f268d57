// Base64 (RFC 4648 alphabet) as MHTML archives carry it: the writer's encoder breaks lines at
// 76 characters with CRLF; the reader's decoder skips white space and refuses anything else
// that is not part of the alphabet or its padding.
//
// Threads: any thread; no state.
#pragma once

#include <string>
#include <string_view>

class Base64 {
 public:
  // Base64 with lines of 76 characters, each ending in CRLF; empty input gives empty output.
  static std::string EncodeLines(std::string_view data);
  // Decodes `in` into `out`. False on a character outside the alphabet, padding inside the
  // data, incomplete padding or a lone trailing character; missing padding is tolerated.
  static bool Decode(std::string_view in, std::string& out);
};
