#pragma once
// Which page of the exported show a place in its SVG text belongs to. The export writes the
// slides as groups of class "Slide" in the document's page order (after a dummy one the
// engine uses), and the master pages as groups of class "Master_Slide". Shapes that the
// office names are found in the show by their box; the box alone is not enough, since the
// same placeholder stands at the same place on many slides.
//
// Threads: an object is used by one thread at a time.

#include <string>
#include <vector>

class ShowPages {
 public:
  static constexpr int kMaster = -1;  // on a master page
  static constexpr int kNone = -2;    // before any page
  static constexpr int kAny = -3;     // a shape named without its page: found on any

  // Whether a shape named on page `wanted` may be the one found on page `found`.
  static bool Matches(int wanted, int found) { return wanted == kAny || wanted == found; }

  explicit ShowPages(const std::string& svg);

  // The slide's index (from 0, in the document's order, hidden slides counted) of the place
  // `offset` of the SVG text, kMaster on a master page, kNone before the first page.
  int pageAt(size_t offset) const;

 private:
  struct Start {
    size_t offset;
    int page;
  };
  std::vector<Start> starts_;  // in the text's order
};
