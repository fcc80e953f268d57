#pragma once
// The archives that the slide-show browser may read, and the lookup of one part from the
// decoded path of an `mhtml:` address ("file://" + archive path + "!" + inner path).
// Only archives named through allow() are ever opened; nothing outside them is served.
// No Qt, so the lookup can be tested without a browser.
//
// Threads: UI thread only (the scheme handler and LoadShow both run there).

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "MhtmlArchive.h"

class ArchiveRegistry {
 public:
  enum class Status {
    Served,      // the part was found
    NotAllowed,  // the address names no archive opened for a show
    NotFound,    // the archive has no such part, or the inner path leaves the archive
    Unreadable,  // the archive file is missing or is not a readable MHTML archive
  };
  struct Result {
    Status status = Status::NotFound;
    std::string contentType;
    std::string body;
    std::string error;  // for Unreadable: why the archive could not be read, in plain words
  };

  // Lets the browser read parts of the archive at `archivePath` (the path exactly as the
  // show address carries it). An empty path is ignored.
  void allow(const std::string& archivePath);

  // Looks up the part that `addressPath` names. The archive is read and parsed on first use
  // and read again when its size or modification time has changed.
  Result resolve(std::string_view addressPath);

  // Normalises an inner path: drops "." segments and resolves ".." segments; empty when the
  // path is empty or climbs above the archive's root.
  static std::string NormaliseInnerPath(std::string_view inner);

 private:
  struct Cached {
    int64_t size = -1;
    int64_t modified = 0;
    std::shared_ptr<const MhtmlArchive> archive;  // null when the file did not parse
    std::string error;                            // the parser's reason when it did not
  };
  bool isAllowed(const std::string& archivePath) const;
  // The parsed archive, or null with `error` set.
  std::shared_ptr<const MhtmlArchive> load(const std::string& archivePath, std::string& error);

  std::vector<std::string> allowed_;
  std::map<std::string, Cached> cache_;
};
