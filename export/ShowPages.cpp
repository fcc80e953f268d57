#include "ShowPages.h"

#include <algorithm>

ShowPages::ShowPages(const std::string& svg) {
  static const std::string kSlide = " class=\"Slide\"";
  static const std::string kMasterPage = " class=\"Master_Slide\"";
  static const std::string kDummy = "id=\"dummy-";
  int slide = 0;
  for (size_t at = svg.find("<g "); at != std::string::npos; at = svg.find("<g ", at + 1)) {
    const size_t end = svg.find('>', at);
    if (end == std::string::npos) break;
    const std::string_view tag(svg.data() + at, end - at);
    const bool dummy = tag.find(kDummy) != std::string_view::npos;
    if (tag.find(kSlide) != std::string_view::npos) {
      if (!dummy) starts_.push_back({at, slide++});
    } else if (tag.find(kMasterPage) != std::string_view::npos) {
      starts_.push_back({at, dummy ? kNone : kMaster});
    }
  }
}

int ShowPages::pageAt(size_t offset) const {
  auto after = std::upper_bound(starts_.begin(), starts_.end(), offset,
                                [](size_t o, const Start& s) { return o < s.offset; });
  return after == starts_.begin() ? kNone : std::prev(after)->page;
}
