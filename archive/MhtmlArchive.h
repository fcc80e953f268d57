#pragma once
// A parsed single-file web archive (RFC 2557 MHTML: a multipart/related MIME message whose
// parts are named by Content-Location). The parser takes outside data, so it checks every
// length and refuses anything it cannot read completely; it has no Qt so it can be fuzzed.
//
// Threads: an object is used by one thread at a time; a parsed archive may be read from any
// thread as long as nobody parses into it at the same time.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class MhtmlArchive {
 public:
  struct Part {
    std::string contentType;      // the part's Content-Type value, e.g. "text/html; charset=utf-8"
    std::string contentLocation;  // the part's Content-Location value, as written
    std::string body;             // the decoded body
  };

  // Largest archive the parser accepts (bytes).
  static constexpr size_t kMaxArchiveBytes = size_t{1} << 30;

  // Parses `data`; true when it is a complete multipart MHTML message with at least one part
  // and every part's body could be decoded. On false the object holds no parts and error()
  // says why.
  bool parse(std::string_view data);

  // The part whose Content-Location equals `innerPath`, or, failing that, the one whose
  // Content-Location ends in "/" + `innerPath` (archives that name their parts with absolute
  // addresses). Null when there is none.
  const Part* find(std::string_view innerPath) const;

  const std::vector<Part>& parts() const { return parts_; }
  const std::string& error() const { return error_; }

  // The quoted-printable transfer decoder (base64 is Base64::Decode), exposed for tests.
  // False on a broken escape.
  static bool DecodeQuotedPrintable(std::string_view in, std::string& out);

 private:
  bool fail(const char* why);

  std::vector<Part> parts_;
  std::string error_;
};
