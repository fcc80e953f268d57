#pragma once
// Writes a single-file web archive: an RFC 2557 MHTML message (multipart/related) whose parts
// are named by Content-Location and carry base64 bodies. The first part added is the root.
//
// The file appears at its final name only when it is complete: it is written under a unique
// temporary name in the same directory and renamed over the target, so a failure never leaves
// a partial archive (and a reader never sees one).
//
// Threads: any thread; one object is used by one thread at a time.

#include <string>
#include <vector>

class MhtmlWriter {
 public:
  struct Part {
    std::string contentLocation;  // e.g. "nn1a.files/fullscreen.htm"
    std::string contentType;      // e.g. "text/html; charset=utf-8"
    std::string body;             // raw bytes
  };

  void addPart(Part part);
  const std::vector<Part>& parts() const { return parts_; }

  // The whole message as text.
  std::string serialize() const;

  // Writes serialize() to `path`: into the file itself when it exists (so that a lock held on it stays
  // valid), else under a temporary name in the same directory, then renamed. On failure returns false,
  // leaves no new file behind and puts the reason into `error`.
  bool writeFile(const std::string& path, std::string& error) const;

 private:
  std::string boundary() const;

  std::vector<Part> parts_;
};
