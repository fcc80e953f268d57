#include "LimitedRange.h"

#include <array>
#include <cstddef>

namespace {

using Table = std::array<uint8_t, 256>;

// 16 + round(i x span / 255), in integers.
constexpr Table MakeTable(int span) {
  Table table{};
  for (int i = 0; i < 256; ++i) table[i] = static_cast<uint8_t>(16 + (i * span + 127) / 255);
  return table;
}

constexpr Table kLuma = MakeTable(219);
constexpr Table kChroma = MakeTable(224);

static_assert(kLuma[0] == 16 && kLuma[255] == 235);
static_assert(kChroma[0] == 16 && kChroma[128] == 128 && kChroma[255] == 240);

void MapPlane(const Table& table, uint8_t* plane, int32_t width, int32_t height, int32_t lineSize) {
  if (width <= 0 || height <= 0) return;
  for (int32_t row = 0; row < height; ++row) {
    uint8_t* p = plane + static_cast<std::ptrdiff_t>(row) * lineSize;
    for (int32_t x = 0; x < width; ++x) p[x] = table[p[x]];
  }
}

}  // namespace

uint8_t LimitedRange::Luma(uint8_t fullRange) { return kLuma[fullRange]; }

uint8_t LimitedRange::Chroma(uint8_t fullRange) { return kChroma[fullRange]; }

void LimitedRange::MapLuma(uint8_t* plane, int32_t width, int32_t height, int32_t lineSize) {
  MapPlane(kLuma, plane, width, height, lineSize);
}

void LimitedRange::MapChroma(uint8_t* plane, int32_t width, int32_t height, int32_t lineSize) {
  MapPlane(kChroma, plane, width, height, lineSize);
}
