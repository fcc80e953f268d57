#include "RgbToYuv420.h"

#include <atomic>
#include <cstring>
#include <iterator>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KAVRETO_HAVE_X86 1
#endif

int32_t yFromRed[256];
int32_t yFromGreen[256];
int32_t yFromBlue[256];
int32_t uFromRed[256];
int32_t uFromGreen[256];
int32_t chromaHalf[256];
int32_t vFromGreen[256];
int32_t vFromBlue[256];

namespace {

// 16.16 fixed-point coefficients, each the real coefficient x 65536 rounded.
constexpr int32_t kYR = 19595, kYG = 38470, kYB = 7471;
constexpr int32_t kUR = -11059, kUG = -21709, kHalf = 32768;
constexpr int32_t kVG = -27439, kVB = -5329;

// True once the tables hold their products (the vector path computes the same
// products directly and is only taken then; before the first rebuild the
// tables are all zero and only the table walk gives their result).
bool g_tablesBuilt = false;

void BuildTables() {
  int32_t yr = 0, yg = 0, yb = 0, ur = 0, ug = 0, half = 0, vg = 0, vb = 0;
  for (int i = 0; i < 256; ++i) {
    yFromRed[i] = yr;
    yFromGreen[i] = yg;
    yFromBlue[i] = yb;
    uFromRed[i] = ur;
    uFromGreen[i] = ug;
    chromaHalf[i] = half;
    vFromGreen[i] = vg;
    vFromBlue[i] = vb;
    yr += kYR;
    yg += kYG;
    yb += kYB;
    ur += kUR;
    ug += kUG;
    half += kHalf;
    vg += kVG;
    vb += kVB;
  }
  g_tablesBuilt = true;
}

void RebuildIfMarked() {
  if (yFromRed[0] == 255) BuildTables();
}

inline uint8_t ClampLuma(int32_t y) { return static_cast<uint8_t>(y < 0 ? 0 : (y > 255 ? 255 : y)); }

// One pixel: stores its luma and adds its own chroma (floored, +128) to the sums.
inline void ConvertPixel(const uint8_t* bgr, uint8_t* y, int32_t& uSum, int32_t& vSum) {
  const int b = bgr[0], g = bgr[1], r = bgr[2];
  *y = ClampLuma((yFromRed[r] + yFromGreen[g] + yFromBlue[b]) >> 16);
  uSum += ((uFromRed[r] + uFromGreen[g] + chromaHalf[b]) >> 16) + 128;
  vSum += ((chromaHalf[r] + vFromGreen[g] + vFromBlue[b]) >> 16) + 128;
}

// Blocks [firstBlock, blockCount) of one row pair: top and bottom are the
// picture rows 2j and 2j + 1 of the frame, yTop/yBottom their luma rows,
// u and v the chroma row j.
void ConvertBlocks(const uint8_t* top, const uint8_t* bottom, uint8_t* yTop, uint8_t* yBottom, uint8_t* u, uint8_t* v,
                   int32_t firstBlock, int32_t blockCount) {
  for (int32_t k = firstBlock; k < blockCount; ++k) {
    const int32_t x = 2 * k;
    int32_t uSum = 0, vSum = 0;
    ConvertPixel(top + x * 3, yTop + x, uSum, vSum);                  // top left
    ConvertPixel(top + (x + 1) * 3, yTop + x + 1, uSum, vSum);        // top right
    ConvertPixel(bottom + (x + 1) * 3, yBottom + x + 1, uSum, vSum);  // bottom right
    ConvertPixel(bottom + x * 3, yBottom + x, uSum, vSum);            // bottom left
    u[k] = static_cast<uint8_t>(uSum / 4);
    v[k] = static_cast<uint8_t>(vSum / 4);
  }
}

using RowPairKernel = int32_t (*)(const uint8_t* top, const uint8_t* bottom, uint8_t* yTop, uint8_t* yBottom,
                                  uint8_t* u, uint8_t* v, int32_t blockCount);

// Walks the row pairs top to bottom. `kernel` (may be null) converts a prefix
// of each row pair's blocks and returns how many; the table walk does the rest.
void ConvertFrame(const uint8_t* frame, uint8_t* yPlane, uint8_t* uPlane, uint8_t* vPlane, int32_t width,
                  int32_t height, RowPairKernel kernel) {
  if (height <= 0 || width <= 0) return;
  // Whole 2 x 2 blocks only; an odd last row or column is left alone.
  const int32_t pairs = height / 2;
  const int32_t blocks = width / 2;
  const int32_t chromaStride = width / 2;
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  // The top picture row is the last row in memory.
  const uint8_t* top = frame + static_cast<size_t>(height - 1) * rowBytes;
  for (int32_t j = 0; j < pairs; ++j) {
    const uint8_t* bottom = top - rowBytes;
    uint8_t* yTop = yPlane + static_cast<size_t>(2 * j) * width;
    uint8_t* yBottom = yTop + width;
    uint8_t* u = uPlane + static_cast<size_t>(j) * chromaStride;
    uint8_t* v = vPlane + static_cast<size_t>(j) * chromaStride;
    const int32_t done = kernel ? kernel(top, bottom, yTop, yBottom, u, v, blocks) : 0;
    ConvertBlocks(top, bottom, yTop, yBottom, u, v, done, blocks);
    top -= 2 * rowBytes;
  }
}

#ifdef KAVRETO_HAVE_X86

// The vector path computes, for 16 pixels of each of two rows at a time, the
// same integer sums as the tables, with 16-bit coefficient pairs (pmaddwd):
//   Y x 65536 = 19595 R + 19235 G + 19235 G + 7471 B
//   U sum     = -11059 R - 21709 G - 32768 B + 65536 B
//   V sum     = -32768 R + 65536 R - 27439 G - 5329 B
// Each pixel's sums are shifted (floor) on their own, the four chroma values
// of a block added and shifted by 2 (floor(sum / 4) + 128 equals the mean of
// four values each offset by 128), so the result equals the table walk.

__attribute__((target("avx2"))) inline __m256i Pair16(int32_t low, int32_t high) {
  return _mm256_set1_epi32(
      static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint16_t>(high)) << 16) | static_cast<uint16_t>(low)));
}

// Loads 8 pixels: those starting at p (low lane, at byte 0 of the lane) and
// those starting at q + 4 (high lane, at byte 4). Reads only p..p+15, q..q+15.
__attribute__((target("avx2"))) inline __m256i LoadPixels(const uint8_t* p, const uint8_t* q) {
  const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
  return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}

struct Sums {
  __m256i y, u, v;  // per pixel: luma, and chroma floored but without the +128
};

struct Sums128 {
  __m128i y, u, v;
};

__attribute__((target("avx2"))) inline Sums ConvertEight(__m256i pixels) {
  // (R, G) and (B, G) pairs of 16-bit values, one pair a pixel.
  const __m256i rgShuffle = _mm256_setr_epi8(2, -1, 1, -1, 5, -1, 4, -1, 8, -1, 7, -1, 11, -1, 10, -1,  //
                                             6, -1, 5, -1, 9, -1, 8, -1, 12, -1, 11, -1, 15, -1, 14, -1);
  const __m256i bgShuffle = _mm256_setr_epi8(0, -1, 1, -1, 3, -1, 4, -1, 6, -1, 7, -1, 9, -1, 10, -1,  //
                                             4, -1, 5, -1, 7, -1, 8, -1, 10, -1, 11, -1, 13, -1, 14, -1);
  const __m256i rg = _mm256_shuffle_epi8(pixels, rgShuffle);
  const __m256i bg = _mm256_shuffle_epi8(pixels, bgShuffle);
  Sums s;
  s.y = _mm256_srai_epi32(
      _mm256_add_epi32(_mm256_madd_epi16(rg, Pair16(kYR, kYG / 2)), _mm256_madd_epi16(bg, Pair16(kYB, kYG / 2))), 16);
  s.u = _mm256_srai_epi32(_mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(rg, Pair16(kUR, kUG)),
                                                            _mm256_madd_epi16(bg, Pair16(-kHalf, 0))),
                                           _mm256_slli_epi32(bg, 16)),
                          16);
  s.v = _mm256_srai_epi32(_mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(rg, Pair16(-kHalf, kVG)),
                                                            _mm256_madd_epi16(bg, Pair16(kVB, 0))),
                                           _mm256_slli_epi32(rg, 16)),
                          16);
  return s;
}

static_assert(kYG % 2 == 0, "green luma coefficient is split into two equal halves");

__attribute__((target("avx2"))) int32_t RowPairAvx2(const uint8_t* top, const uint8_t* bottom, uint8_t* yTop,
                                                    uint8_t* yBottom, uint8_t* u, uint8_t* v, int32_t blockCount) {
  if (blockCount < 8) return 0;  // 16 pixels, 8 blocks a chunk
  const __m256i offset = _mm256_set1_epi16(128);
  const __m256i chromaOrder = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  // A row whose blocks are not a whole number of chunks ends with a chunk
  // that overlaps the one before: its blocks are computed twice, to the same
  // values, and the whole row stays on this path.
  for (int32_t k = 0; k < blockCount; k += 8) {
    if (k > blockCount - 8) k = blockCount - 8;
    const uint8_t* t = top + k * 6;
    const uint8_t* b = bottom + k * 6;
    // "a" holds pixels 0-3 and 8-11 of the chunk, "b" pixels 4-7 and 12-15,
    // so that packing and pairwise adds come out in column order.
    const Sums ta = ConvertEight(LoadPixels(t, t + 20));
    const Sums tb = ConvertEight(LoadPixels(t + 12, t + 32));
    const Sums ba = ConvertEight(LoadPixels(b, b + 20));
    const Sums bb = ConvertEight(LoadPixels(b + 12, b + 32));

    const __m256i yWordsTop = _mm256_packs_epi32(ta.y, tb.y);
    const __m256i yWordsBottom = _mm256_packs_epi32(ba.y, bb.y);
    const __m256i yBytes =
        _mm256_permute4x64_epi64(_mm256_packus_epi16(yWordsTop, yWordsBottom), _MM_SHUFFLE(3, 1, 2, 0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(yTop + k * 2), _mm256_castsi256_si128(yBytes));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(yBottom + k * 2), _mm256_extracti128_si256(yBytes, 1));

    const __m256i uBlocks =
        _mm256_srai_epi32(_mm256_hadd_epi32(_mm256_add_epi32(ta.u, ba.u), _mm256_add_epi32(tb.u, bb.u)), 2);
    const __m256i vBlocks =
        _mm256_srai_epi32(_mm256_hadd_epi32(_mm256_add_epi32(ta.v, ba.v), _mm256_add_epi32(tb.v, bb.v)), 2);
    const __m256i uvWords = _mm256_add_epi16(_mm256_packs_epi32(uBlocks, vBlocks), offset);
    const __m256i uvBytes = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(uvWords, uvWords), chromaOrder);
    const __m128i uv = _mm256_castsi256_si128(uvBytes);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(u + k), uv);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(v + k), _mm_unpackhi_epi64(uv, uv));
  }
  return blockCount;
}

// The same arithmetic four pixels to a register, for processors without AVX2.
__attribute__((target("ssse3"))) inline Sums128 ConvertFour(__m128i pixels, __m128i rgShuffle, __m128i bgShuffle) {
  const __m128i rg = _mm_shuffle_epi8(pixels, rgShuffle);
  const __m128i bg = _mm_shuffle_epi8(pixels, bgShuffle);
  auto pair = [](int32_t low, int32_t high) {
    return _mm_set1_epi32(
        static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint16_t>(high)) << 16) | static_cast<uint16_t>(low)));
  };
  Sums128 s;
  s.y =
      _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(rg, pair(kYR, kYG / 2)), _mm_madd_epi16(bg, pair(kYB, kYG / 2))), 16);
  s.u = _mm_srai_epi32(
      _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(rg, pair(kUR, kUG)), _mm_madd_epi16(bg, pair(-kHalf, 0))),
                    _mm_slli_epi32(bg, 16)),
      16);
  s.v = _mm_srai_epi32(
      _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(rg, pair(-kHalf, kVG)), _mm_madd_epi16(bg, pair(kVB, 0))),
                    _mm_slli_epi32(rg, 16)),
      16);
  return s;
}

__attribute__((target("ssse3"))) int32_t RowPairSsse3(const uint8_t* top, const uint8_t* bottom, uint8_t* yTop,
                                                      uint8_t* yBottom, uint8_t* u, uint8_t* v, int32_t blockCount) {
  if (blockCount < 4) return 0;  // 8 pixels, 4 blocks a chunk
  // Pixels 0-3 of a chunk are loaded from its start (at byte 0), pixels 4-7
  // from 8 bytes on (at byte 4), so no load reaches past the chunk's 24 bytes.
  const __m128i rgAt0 = _mm_setr_epi8(2, -1, 1, -1, 5, -1, 4, -1, 8, -1, 7, -1, 11, -1, 10, -1);
  const __m128i bgAt0 = _mm_setr_epi8(0, -1, 1, -1, 3, -1, 4, -1, 6, -1, 7, -1, 9, -1, 10, -1);
  const __m128i rgAt4 = _mm_setr_epi8(6, -1, 5, -1, 9, -1, 8, -1, 12, -1, 11, -1, 15, -1, 14, -1);
  const __m128i bgAt4 = _mm_setr_epi8(4, -1, 5, -1, 7, -1, 8, -1, 10, -1, 11, -1, 13, -1, 14, -1);
  const __m128i offset = _mm_set1_epi16(128);
  // The last chunk of a row may overlap the one before, as in the AVX2 path.
  for (int32_t k = 0; k < blockCount; k += 4) {
    if (k > blockCount - 4) k = blockCount - 4;
    const uint8_t* t = top + k * 6;
    const uint8_t* b = bottom + k * 6;
    auto load = [](const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    const Sums128 ta = ConvertFour(load(t), rgAt0, bgAt0);
    const Sums128 tb = ConvertFour(load(t + 8), rgAt4, bgAt4);
    const Sums128 ba = ConvertFour(load(b), rgAt0, bgAt0);
    const Sums128 bb = ConvertFour(load(b + 8), rgAt4, bgAt4);

    const __m128i yBytes = _mm_packus_epi16(_mm_packs_epi32(ta.y, tb.y), _mm_packs_epi32(ba.y, bb.y));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(yTop + k * 2), yBytes);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(yBottom + k * 2), _mm_unpackhi_epi64(yBytes, yBytes));

    const __m128i uBlocks = _mm_srai_epi32(_mm_hadd_epi32(_mm_add_epi32(ta.u, ba.u), _mm_add_epi32(tb.u, bb.u)), 2);
    const __m128i vBlocks = _mm_srai_epi32(_mm_hadd_epi32(_mm_add_epi32(ta.v, ba.v), _mm_add_epi32(tb.v, bb.v)), 2);
    const __m128i uvWords = _mm_add_epi16(_mm_packs_epi32(uBlocks, vBlocks), offset);
    const __m128i uvBytes = _mm_packus_epi16(uvWords, uvWords);
    const int32_t uWord = _mm_cvtsi128_si32(uvBytes), vWord = _mm_cvtsi128_si32(_mm_srli_si128(uvBytes, 4));
    std::memcpy(u + k, &uWord, 4);
    std::memcpy(v + k, &vWord, 4);
  }
  return blockCount;
}

bool HasAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

bool HasSsse3() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("ssse3");
}

#endif

bool Always() { return true; }

struct Path {
  const char* name;
  RowPairKernel kernel;
  bool (*supported)();
};

// Fastest first.
const Path kPaths[] = {
#ifdef KAVRETO_HAVE_X86
    {"avx2", RowPairAvx2, HasAvx2},
    {"ssse3", RowPairSsse3, HasSsse3},
#endif
    {"scalar", nullptr, Always},
};

const Path* FastestPath() {
  for (const Path& path : kPaths)
    if (path.supported()) return &path;
  return &kPaths[std::size(kPaths) - 1];
}

std::atomic<const Path*> g_path{nullptr};

const Path* CurrentPath() {
  const Path* path = g_path.load(std::memory_order_acquire);
  if (!path) {
    path = FastestPath();
    g_path.store(path, std::memory_order_release);
  }
  return path;
}

}  // namespace

void RgbToYuv420Reference(const uint8_t* frame, uint8_t* yPlane, uint8_t* uPlane, uint8_t* vPlane, int32_t width,
                          int32_t height) {
  RebuildIfMarked();
  ConvertFrame(frame, yPlane, uPlane, vPlane, width, height, nullptr);
}

void RgbToYuv420(const uint8_t* frame, uint8_t* yPlane, uint8_t* uPlane, uint8_t* vPlane, int32_t width,
                 int32_t height) {
  RebuildIfMarked();
  ConvertFrame(frame, yPlane, uPlane, vPlane, width, height, g_tablesBuilt ? CurrentPath()->kernel : nullptr);
}

const char* RgbToYuv420PathName() { return CurrentPath()->name; }

bool RgbToYuv420UsePath(const char* name) {
  for (const Path& path : kPaths) {
    if (std::strcmp(path.name, name) == 0 && path.supported()) {
      g_path.store(&path, std::memory_order_release);
      return true;
    }
  }
  return false;
}
