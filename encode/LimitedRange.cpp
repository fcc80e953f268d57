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

// Eight look-ups are read before any of their bytes is stored, so that the
// stores need not be ordered against the next loads (the plane is bytes and
// could, for all the compiler knows, overlap the table).
void MapRow(const uint8_t* __restrict table, uint8_t* __restrict row, int32_t width) {
  int32_t x = 0;
  for (; x + 8 <= width; x += 8) {
    const uint8_t a = table[row[x]], b = table[row[x + 1]], c = table[row[x + 2]], d = table[row[x + 3]];
    const uint8_t e = table[row[x + 4]], f = table[row[x + 5]], g = table[row[x + 6]], h = table[row[x + 7]];
    row[x] = a;
    row[x + 1] = b;
    row[x + 2] = c;
    row[x + 3] = d;
    row[x + 4] = e;
    row[x + 5] = f;
    row[x + 6] = g;
    row[x + 7] = h;
  }
  for (; x < width; ++x) row[x] = table[row[x]];
}

void MapPlane(const Table& table, uint8_t* plane, int32_t width, int32_t height, int32_t lineSize) {
  if (width <= 0 || height <= 0) return;
  // Rows without a gap between them are one long row.
  if (lineSize == width) {
    width *= height;
    height = 1;
  }
  for (int32_t row = 0; row < height; ++row)
    MapRow(table.data(), plane + static_cast<std::ptrdiff_t>(row) * lineSize, width);
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
