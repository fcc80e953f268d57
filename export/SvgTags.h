#pragma once
// Small readers and writers of the exported show's SVG text, shared by the classes that put
// back what the export drops (TextShadows, PictureFrames, ShapeGlows, JustifiedText,
// TableBullets). They work on the text as the export writes it, not on a parsed document.
//
// Threads: pure functions, any thread.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace SvgTags {

// The value of attribute `name` in the tag that spans [begin, end) of `svg`, as a whole
// number; -1 when absent.
long Attribute(const std::string& svg, size_t begin, size_t end, const std::string& name);

// Whether two positions or sizes (1/100 mm) are the same but for the export's rounding,
// which may move them by a unit or two.
bool Near(long a, long b);

// `svg` with each text put in at its offset; the offsets ascend.
std::string Insert(const std::string& svg, const std::vector<std::pair<size_t, std::string>>& insertions);

}  // namespace SvgTags
