// An independent, strict reading of an MHTML archive, for checking what the archive library
// writes against something it did not write itself.
#pragma once

#include <string>
#include <vector>

// A strict reading of an MHTML archive as RFC 2557 describes it: MIME-Version, a
// multipart/related Content-Type with its boundary, parts separated by the boundary and closed
// by the final delimiter, each with Content-Location, Content-Type and a base64 body (the
// only encoding the writer uses). False, with `error` set, on anything else.
struct MhtmlPartRead {
  std::string location;
  std::string type;
  std::string body;
};
bool ReadMhtml(const std::string& text, std::vector<MhtmlPartRead>& parts, std::string& error);
