#include "video/renderer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define KESTRA_WIDE 1
#define KESTRA_TARGET_WIDE \
  __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512bitalg")))
// GCC 12's AVX-512 headers start some intrinsics from an undefined register
// and then warn that it is uninitialised: the wide code sits between these.
#if defined(__clang__)
#define KESTRA_WIDE_BEGIN _Pragma("GCC diagnostic push")
#else
#define KESTRA_WIDE_BEGIN                                  \
  _Pragma("GCC diagnostic push")                           \
  _Pragma("GCC diagnostic ignored \"-Wuninitialized\"")   \
  _Pragma("GCC diagnostic ignored \"-Wmaybe-uninitialized\"")
#endif
#define KESTRA_WIDE_END _Pragma("GCC diagnostic pop")
#define KESTRA_WIDE_INLINE KESTRA_TARGET_WIDE inline __attribute__((always_inline))
#endif

#include "core/machine.h"
#include "video/display.h"

namespace kestra {

namespace {

// A decoded tile row: pixel i (0 = leftmost) in byte i, value 0-15.
using TileRow = uint64_t;

enum TileFormat { Planar2 = 0, Packed2 = 1, Planar4 = 2, Packed4 = 3 };

constexpr uint64_t SpreadBits(unsigned b) {  // bit 7 - i -> bit 0 of byte i
  uint64_t r = 0;
  for (int i = 0; i < 8; ++i) r |= static_cast<uint64_t>((b >> (7 - i)) & 1) << (8 * i);
  return r;
}
constexpr uint64_t SplitPairs(unsigned b) {  // pixels 0-3, top bits first
  uint64_t r = 0;
  for (int i = 0; i < 4; ++i) r |= static_cast<uint64_t>((b >> (6 - 2 * i)) & 3) << (8 * i);
  return r;
}

template <uint64_t (*Split)(unsigned)>
constexpr std::array<uint64_t, 256> MakeTable() {
  std::array<uint64_t, 256> t{};
  for (unsigned b = 0; b < 256; ++b) t[b] = Split(b);
  return t;
}

constexpr auto kBits = MakeTable<SpreadBits>();
constexpr auto kPairs = MakeTable<SplitPairs>();
#if !defined(__SSE2__)  // SSE2 splits the nibbles without a table
constexpr uint64_t SplitNibbles(unsigned b) {  // pixels 0-1, high nibble first
  return (b >> 4) | static_cast<uint64_t>(b & 15) << 8;
}
constexpr auto kNibbles = MakeTable<SplitNibbles>();
#endif

template <int F>
TileRow DecodeRow(const uint8_t* b) {
  if constexpr (F == Planar2) {
    return kBits[b[0]] | kBits[b[1]] << 1;
  } else if constexpr (F == Packed2) {
    return kPairs[b[0]] | kPairs[b[1]] << 32;
  } else if constexpr (F == Planar4) {
    return kBits[b[0]] | kBits[b[1]] << 1 | kBits[b[2]] << 2 | kBits[b[3]] << 3;
  } else {
#if defined(__SSE2__)
    uint32_t bytes;
    std::memcpy(&bytes, b, 4);
    const __m128i v = _mm_cvtsi32_si128(static_cast<int>(bytes));
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i high = _mm_and_si128(_mm_srli_epi16(v, 4), nibble);
    const __m128i low = _mm_and_si128(v, nibble);
    return static_cast<TileRow>(_mm_cvtsi128_si64(_mm_unpacklo_epi8(high, low)));
#else
    return kNibbles[b[0]] | kNibbles[b[1]] << 16 | kNibbles[b[2]] << 32 | kNibbles[b[3]] << 48;
#endif
  }
}

// Iram offset of row `row` of the tile that a map entry or sprite attribute
// names (bits 0-8); its bit 13 picks the bank in the 4-bit formats only.
template <int F>
uint32_t RowAddress(uint32_t entry, uint32_t row) {
  if constexpr (F == Planar2 || F == Packed2) {
    return 0x2000 + ((entry & 0x1FF) << 4) + (row << 1);
  } else {
    return 0x4000 + ((entry & 0x2000) << 1) + ((entry & 0x1FF) << 5) + (row << 2);
  }
}

constexpr bool IsFourBit(int f) { return f == Planar4 || f == Packed4; }

// Pixel i of a row and flag i of a flag array are both byte i of a 64-bit word.
static_assert(std::endian::native == std::endian::little);

inline TileRow Mirror(TileRow row) { return __builtin_bswap64(row); }

// Eight per-pixel flags at a time, one byte each: "draw" masks have bit 7 of
// a byte set where that pixel is painted, flag arrays hold bytes 0 or 1.
constexpr uint64_t kBit7 = 0x8080808080808080ull;
constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;

inline uint64_t NonZeroPixels(TileRow row) { return (row + kLow7) & kBit7; }
inline uint64_t LoadFlags(const uint8_t* flags) {
  uint64_t v;
  std::memcpy(&v, flags, 8);
  return v;
}

// Lines are composed as HostColours entries (16 bits a pixel) and turned
// into host pixels once at the end: a layer's pixel then costs no colour
// lookup, and a tile row is blended in one go whatever the host format.
using ColourIndex = uint16_t;

// Writes entry palette * 16 + value (0-255) for the pixels whose draw bit is
// set; the others keep what lies below.
inline void Paint(ColourIndex* __restrict px, TileRow row, uint64_t draw, uint32_t palette) {
  const uint64_t entries = row | palette * 0x1010101010101010ull;
#if defined(__SSE2__)
  const __m128i colour =
      _mm_unpacklo_epi8(_mm_cvtsi64_si128(static_cast<long long>(entries)), _mm_setzero_si128());
  auto* out = reinterpret_cast<__m128i*>(px);
  __m128i mask = _mm_cvtsi64_si128(static_cast<long long>(draw));
  mask = _mm_srai_epi16(_mm_unpacklo_epi8(mask, mask), 15);
  _mm_storeu_si128(out, _mm_or_si128(_mm_and_si128(mask, colour),
                                     _mm_andnot_si128(mask, _mm_loadu_si128(out))));
#else
  for (int i = 0; i < 8; ++i) {
    if ((draw >> (8 * i + 7)) & 1) px[i] = static_cast<ColourIndex>((entries >> (8 * i)) & 0xFF);
  }
#endif
}

// Per-line flags indexed by screen x + 8, for x from -8 to 255.
constexpr int kFlagWidth = 8 + 256;

// Marks x from left to right (inclusive) with `inside`, the rest of 0-255 with
// `outside`, on lines top to bottom; the guard left of x = 0 is never hidden.
void BuildWindowMask(uint8_t* mask, int line, const uint8_t* edges, uint8_t inside,
                     uint8_t outside) {
  std::memset(mask, 0, 8);
  std::memset(mask + 8, outside, 256);
  const int left = edges[0], top = edges[1], right = edges[2], bottom = edges[3];
  if (top <= line && line <= bottom && left <= right) {
    std::memset(mask + 8 + left, inside, static_cast<size_t>(right - left + 1));
  }
}

// A screen's line before it is laid over what lies below: entry palette * 16
// + value (0-255) per pixel at [x + 8], guards included. Whether a pixel is
// painted follows from the entry itself (see ClearTest), so the tile walk
// only stores.
struct Layer {
  // Room past the line for whole vector stores of the wide tile walk.
  alignas(64) uint8_t entries[kLineBufferWidth + 32];
};

// Palette 4, value 0: clear in every tile format. Fills what no tile reaches.
constexpr uint8_t kClearEntry = 0x40;

// Value 0 is clear in the 4-bit formats, and in palettes 4-7 of the 2-bit
// ones (entry bit 6): an entry is clear when (entry & mask) == value.
struct ClearTest {
  uint8_t mask, value;
};
constexpr ClearTest ClearTestFor(int f) {
  return IsFourBit(f) ? ClearTest{0x0F, 0x00} : ClearTest{0x4F, 0x40};
}

// Where screen 2 is drawn after its window, which sprites without priority
// stay behind: a byte per x (0xFF at bytes[x + 8]) from LayScreens, a bit per
// x (bit x + 8) from LayScreensWide.
struct Screen2Cover {
  alignas(64) uint8_t bytes[kFlagWidth];
  uint64_t bits[5];  // the fifth stays 0: a sprite's eight bits may reach into it
};

struct LineWork {
  const uint8_t* iram;
  ColourIndex* px;  // screen x at px[x]
  uint8_t* mask;   // WindowMask at mask[x + 8] (one by one only)
  const uint8_t* spriteWindow;  // its four edge ports
  Screen2Cover* cover;
  int line;
};

// The tile walk of one screen: 28 or 29 tiles of the map row that the scroll
// puts on this line, each stored whole into the layer (guards included).
template <int F>
void DrawScreen(const uint8_t* iram, int line, Layer& layer, uint32_t mapBase, uint32_t scrollX,
                uint32_t scrollY) {
  const uint32_t y = scrollY + static_cast<uint32_t>(line);
  // The map row twice over, so the walk needs no wrap at column 31.
  alignas(16) uint8_t mapRow[128];
  std::memcpy(mapRow, iram + mapBase + ((y >> 3) & 31) * 64, 64);
  std::memcpy(mapRow + 64, mapRow, 64);
  const uint32_t r = y & 7;
  const uint32_t col = scrollX >> 3;
  const uint32_t tiles = ((scrollX + 231) >> 3) - col;
  // The walk covers x 0-223 and reaches into the guards as the scroll says.
  std::memset(layer.entries, kClearEntry, kLineGuard);
  std::memset(layer.entries + kLineGuard + kLcdWidth, kClearEntry, kLineGuard);
  // The row of tile 0 for each combination of entry bits 13-15 (bank, and
  // the vertical flip; the horizontal one does not move the row).
  const uint8_t* rowOfTile0[8];
  for (uint32_t k = 0; k < 8; ++k) {
    rowOfTile0[k] = iram + RowAddress<F>((k & 1) << 13, (k & 4) ? r ^ 7 : r);
  }
  constexpr uint32_t kTileBytes = IsFourBit(F) ? 32 : 16;
  uint8_t* out = layer.entries + kLineGuard - (scrollX & 7);
  const uint8_t* map = mapRow + 2 * col;
  for (uint32_t n = 0; n < tiles; ++n, map += 2, out += 8) {
    uint16_t entry;
    std::memcpy(&entry, map, 2);
    TileRow pixels = DecodeRow<F>(rowOfTile0[entry >> 13] + (entry & 0x1FF) * kTileBytes);
    pixels = (entry & 0x4000) ? Mirror(pixels) : pixels;
    pixels |= ((entry >> 5) & 0xF0) * 0x0101010101010101ull;  // palette (bits 9-12) * 16
    std::memcpy(out, &pixels, 8);
  }
}

#if defined(KESTRA_WIDE)
KESTRA_WIDE_BEGIN

// Bit of a tile row (its bytes as one little-endian word) that holds bit k of
// pixel p's value, before any flip.
constexpr int RowBit(int f, int p, int k) {
  switch (f) {
    case Planar2:
    case Planar4: return 8 * k + 7 - p;
    case Packed2: return 8 * (p / 4) + 6 - 2 * (p % 4) + k;
    default: return 8 * (p / 2) + 4 * (1 - p % 2) + k;
  }
}

template <int F>
struct RowBitTables {
  alignas(64) uint8_t select[4][64];  // [k]: byte 8t + p picks bit k of pixel p, tile t
  alignas(64) uint8_t mirrored[4][64];  // the same with the row mirrored
};
template <int F>
constexpr RowBitTables<F> MakeRowBitTables() {
  RowBitTables<F> t{};
  for (int k = 0; k < 4; ++k) {
    for (int i = 0; i < 64; ++i) {
      t.select[k][i] = static_cast<uint8_t>(RowBit(F, i % 8, k));
      t.mirrored[k][i] = static_cast<uint8_t>(RowBit(F, 7 - i % 8, k));
    }
  }
  return t;
}
template <int F>
inline constexpr RowBitTables<F> kRowBits = MakeRowBitTables<F>();

// The tile walk of DrawScreen, sixteen tiles a step: their rows are gathered
// at once; then for each eight (a row a word) the 64 pixel values are picked
// out with one byte-wise shift (packed formats) or one bit shuffle per value
// bit (planar), each tile's selection mirrored when its row is; the palette
// is added, and the 64 entries are stored at once. 32 tiles are walked; what
// lies past the 28 or 29 that reach the line is cleared again.
template <int F>
KESTRA_TARGET_WIDE void DrawScreenWide(const uint8_t* iram, int line, Layer& layer,
                                       uint32_t mapBase, uint32_t scrollX, uint32_t scrollY) {
  const uint32_t y = scrollY + static_cast<uint32_t>(line);
  // The map row's 32 words in one register; each step takes its sixteen
  // columns (wrapping at 31) by a word permute.
  const __m512i mapRow = _mm512_loadu_si512(iram + mapBase + ((y >> 3) & 31) * 64);
  const uint32_t r = y & 7;
  const uint32_t col = scrollX >> 3;
  const uint32_t tiles = ((scrollX + 231) >> 3) - col;
  const __m512i firstColumns = _mm512_add_epi16(
      _mm512_set1_epi16(static_cast<short>(col)),
      _mm512_setr_epi64(0x0003000200010000, 0x0007000600050004, 0x000B000A00090008,
                        0x000F000E000D000C, 0, 0, 0, 0));
  constexpr int kBits = IsFourBit(F) ? 4 : 2;
  constexpr int kRowBytes = IsFourBit(F) ? 4 : 2;
  const __m512i rowStraight = _mm512_set1_epi32(static_cast<int>(r) * kRowBytes);
  const __m512i rowFlipped = _mm512_set1_epi32(static_cast<int>(7 - r) * kRowBytes);
  const __m512i hFlip = _mm512_set1_epi64(0x4000);
  // Byte 0 of each word everywhere in it.
  const __m512i firstByte = _mm512_setr_epi64(0, 0x0808080808080808, 0, 0x0808080808080808,
                                              0, 0x0808080808080808, 0, 0x0808080808080808);
  __m512i select[kBits], mirror[kBits];
  for (int k = 0; k < kBits; ++k) {
    select[k] = _mm512_load_si512(kRowBits<F>.select[k]);
    mirror[k] = _mm512_load_si512(kRowBits<F>.mirrored[k]);
  }

  std::memset(layer.entries, kClearEntry, kLineGuard);
  uint8_t* out = layer.entries + kLineGuard - (scrollX & 7);
  for (uint32_t t = 0; t < 32; t += 16) {
    // Sixteen columns (wrapping at 31), their row addresses, one gather.
    const __m512i columns = _mm512_and_si512(
        _mm512_add_epi16(firstColumns, _mm512_set1_epi16(static_cast<short>(t))),
        _mm512_set1_epi16(31));
    const __m512i entries =
        _mm512_cvtepu16_epi32(_mm512_castsi512_si256(_mm512_permutexvar_epi16(columns, mapRow)));
    __m512i address;
    if constexpr (IsFourBit(F)) {
      const __m512i bank =
          _mm512_slli_epi32(_mm512_and_si512(entries, _mm512_set1_epi32(0x2000)), 1);
      address = _mm512_add_epi32(_mm512_set1_epi32(0x4000), bank);
      address = _mm512_add_epi32(
          address, _mm512_slli_epi32(_mm512_and_si512(entries, _mm512_set1_epi32(0x1FF)), 5));
    } else {
      address = _mm512_add_epi32(
          _mm512_set1_epi32(0x2000),
          _mm512_slli_epi32(_mm512_and_si512(entries, _mm512_set1_epi32(0x1FF)), 4));
    }
    const __mmask16 flippedRow = _mm512_test_epi32_mask(entries, _mm512_set1_epi32(0x8000));
    address =
        _mm512_add_epi32(address, _mm512_mask_blend_epi32(flippedRow, rowStraight, rowFlipped));
    const __m512i rows16 = _mm512_i32gather_epi32(address, iram, 1);
    // Then eight tiles a word each.
    for (int half = 0; half < 2; ++half) {
      const __m512i entry = _mm512_cvtepu32_epi64(half ? _mm512_extracti64x4_epi64(entries, 1)
                                                       : _mm512_castsi512_si256(entries));
      const __m512i rows = _mm512_cvtepu32_epi64(half ? _mm512_extracti64x4_epi64(rows16, 1)
                                                      : _mm512_castsi512_si256(rows16));
      const __mmask8 mirrored = _mm512_test_epi64_mask(entry, hFlip);
      __m512i values;
      if constexpr (F == Packed2 || F == Packed4) {
        // A pixel's bits lie together: one shift per byte takes them all.
        values = _mm512_and_si512(
            _mm512_multishift_epi64_epi8(_mm512_mask_blend_epi64(mirrored, select[0], mirror[0]),
                                         rows),
            _mm512_set1_epi8((1 << kBits) - 1));
      } else {
        values = _mm512_maskz_mov_epi8(
            _mm512_bitshuffle_epi64_mask(rows,
                                         _mm512_mask_blend_epi64(mirrored, select[0], mirror[0])),
            _mm512_set1_epi8(1));
        for (int k = 1; k < kBits; ++k) {
          const __m512i bit = _mm512_mask_blend_epi64(mirrored, select[k], mirror[k]);
          values = _mm512_mask_add_epi8(values, _mm512_bitshuffle_epi64_mask(rows, bit), values,
                                        _mm512_set1_epi8(static_cast<char>(1 << k)));
        }
      }
      // Palette (entry bits 9-12) * 16 into every byte of its tile's word.
      const __m512i palette =
          _mm512_and_si512(_mm512_srli_epi64(entry, 5), _mm512_set1_epi64(0xF0));
      values = _mm512_or_si512(values, _mm512_shuffle_epi8(palette, firstByte));
      _mm512_storeu_si512(out + 8 * (t + 8 * half), values);
    }
  }
  // Clear again past the last tile that reaches the line (16 bytes cover the guard).
  std::memset(out + 8 * tiles, kClearEntry, 16);
}
KESTRA_WIDE_END
#endif

void ClearLayer(Layer& layer) { std::memset(layer.entries, kClearEntry, sizeof layer.entries); }

#if defined(__SSE2__)
// 0xFF bytes where the entries are clear.
inline __m128i Clear(__m128i entries, ClearTest t) {
  return _mm_cmpeq_epi8(_mm_and_si128(entries, _mm_set1_epi8(static_cast<char>(t.mask))),
                        _mm_set1_epi8(static_cast<char>(t.value)));
}
// a where mask bytes are 0xFF, else b.
inline __m128i Select(__m128i mask, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}
#endif

// Background, screen 1 and screen 2 into the line of colour entries, 16
// pixels at a time; screen 2's painted pixels (after its window) become the
// cover that sprites without priority stay behind.
template <int F, bool Windowed>
void LayScreens(const Layer& screen1, const Layer& screen2, const uint8_t* mask,
                ColourIndex background, ColourIndex* entries, Screen2Cover& screen2Cover) {
  constexpr ClearTest t = ClearTestFor(F);
  uint8_t* cover = screen2Cover.bytes;
#if defined(__SSE2__)
  // The line is built as low and high bytes: only the background has a high byte.
  const __m128i zero = _mm_setzero_si128();
  const __m128i ones = _mm_set1_epi8(-1);
  const __m128i belowLow = _mm_set1_epi8(static_cast<char>(background & 0xFF));
  const __m128i belowHigh = _mm_set1_epi8(static_cast<char>(background >> 8));
  for (int i = 0; i < kLineBufferWidth; i += 16) {
    const __m128i e1 = _mm_load_si128(reinterpret_cast<const __m128i*>(screen1.entries + i));
    const __m128i e2 = _mm_load_si128(reinterpret_cast<const __m128i*>(screen2.entries + i));
    const __m128i clear1 = Clear(e1, t);
    __m128i clear2 = Clear(e2, t);
    if constexpr (Windowed) {  // hidden bytes are 1: 0 - 1 = 0xFF
      const __m128i hidden = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask + i));
      clear2 = _mm_or_si128(clear2, _mm_sub_epi8(zero, hidden));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cover + i), _mm_andnot_si128(clear2, ones));
    const __m128i bothClear = _mm_and_si128(clear1, clear2);
    const __m128i low = Select(bothClear, belowLow, Select(clear2, e1, e2));
    const __m128i high = _mm_and_si128(bothClear, belowHigh);
    auto* out = reinterpret_cast<__m128i*>(entries + i);
    _mm_store_si128(out, _mm_unpacklo_epi8(low, high));
    _mm_store_si128(out + 1, _mm_unpackhi_epi8(low, high));
  }
#else
  for (int i = 0; i < kLineBufferWidth; ++i) {
    const uint8_t e1 = screen1.entries[i], e2 = screen2.entries[i];
    const bool p1 = (e1 & t.mask) != t.value;
    const bool p2 = (e2 & t.mask) != t.value && !(Windowed && mask[i]);
    cover[i] = p2 ? 0xFF : 0;
    entries[i] = p2 ? e2 : p1 ? e1 : background;
  }
#endif
}

#if defined(KESTRA_WIDE)
KESTRA_WIDE_BEGIN
// LayScreens 64 pixels a step, over 256 (the buffers have the room).
template <int F, bool Windowed>
KESTRA_TARGET_WIDE void LayScreensWide(const Layer& screen1, const Layer& screen2,
                                       const uint8_t* mask, ColourIndex background,
                                       ColourIndex* entries, Screen2Cover& cover) {
  constexpr ClearTest t = ClearTestFor(F);
  const __m512i clearMask = _mm512_set1_epi8(static_cast<char>(t.mask));
  const __m512i clearValue = _mm512_set1_epi8(static_cast<char>(t.value));
  const __m512i below = _mm512_set1_epi16(static_cast<short>(background));
  for (int i = 0; i < 256; i += 64) {
    const __m512i e1 = _mm512_load_si512(screen1.entries + i);
    const __m512i e2 = _mm512_load_si512(screen2.entries + i);
    const __mmask64 clear1 = _mm512_cmpeq_epi8_mask(_mm512_and_si512(e1, clearMask), clearValue);
    __mmask64 clear2 = _mm512_cmpeq_epi8_mask(_mm512_and_si512(e2, clearMask), clearValue);
    if constexpr (Windowed) {  // hidden bytes are 1
      const __m512i hidden = _mm512_loadu_si512(mask + i);
      clear2 |= _mm512_test_epi8_mask(hidden, hidden);
    }
    cover.bits[i / 64] = ~clear2;
    const __mmask64 bothClear = clear1 & clear2;
    const __m512i top = _mm512_mask_blend_epi8(clear2, e2, e1);
    const __m512i low = _mm512_cvtepu8_epi16(_mm512_castsi512_si256(top));
    const __m512i high = _mm512_cvtepu8_epi16(_mm512_extracti64x4_epi64(top, 1));
    _mm512_storeu_si512(entries + i,
                        _mm512_mask_mov_epi16(low, static_cast<__mmask32>(bothClear), below));
    _mm512_storeu_si512(
        entries + i + 32,
        _mm512_mask_mov_epi16(high, static_cast<__mmask32>(bothClear >> 32), below));
  }
  cover.bits[4] = 0;
}
KESTRA_WIDE_END
#endif

// What a sprite entry crossing the line at its row dy puts on it, before any
// horizontal flip.
struct SpriteRow {
  int x;  // -7 ... 223
  uint32_t attr;
  TileRow pixels;
  uint32_t palette;  // 8-15
  bool zeroClear;    // value 0 is not painted
};
// False for an entry off the screen (x 224-0xF8).
template <int F>
inline bool ReadSpriteRow(const uint8_t* iram, const uint8_t* e, uint32_t dy, SpriteRow& s) {
  s.x = e[3];
  if (s.x >= 224) {
    if (s.x <= 0xF8) return false;
    s.x -= 256;  // 0xF9-0xFF: -7 ... -1
  }
  s.attr = e[0] | e[1] << 8;
  const uint32_t row = (s.attr & 0x8000) ? dy ^ 7 : dy;
  s.pixels = DecodeRow<F>(iram + RowAddress<F>(s.attr & ~0x2000u, row));  // bank 0 always
  s.palette = 8 + ((s.attr >> 9) & 7);
  s.zeroClear = IsFourBit(F) || (s.palette & 4);
  return true;
}

// One sprite entry crossing the line at its row dy (before any flip).
template <int F>
void DrawSprite(const LineWork& w, const uint8_t* e, uint32_t dy, bool windowed) {
  SpriteRow s;
  if (!ReadSpriteRow<F>(w.iram, e, dy, s)) return;
  if (s.zeroClear && s.pixels == 0) return;
  s.pixels = (s.attr & 0x4000) ? Mirror(s.pixels) : s.pixels;
  uint64_t draw = s.zeroClear ? NonZeroPixels(s.pixels) : kBit7;
  if (windowed) {
    // Drawn where the window flag (1 = outside) equals the side bit 12;
    // pixels left of x = 0 skip the test.
    const uint64_t side = (s.attr & 0x1000) ? 0x0101010101010101ull : 0;
    uint64_t wrongSide = ((LoadFlags(w.mask + 8 + s.x) ^ side) << 7);
    if (s.x < 0) wrongSide &= ~0ull << (8 * -s.x);
    draw &= ~wrongSide;
  }
  if (!(s.attr & 0x2000)) draw &= ~LoadFlags(w.cover->bytes + 8 + s.x);  // behind screen 2
  Paint(w.px + s.x, s.pixels, draw, s.palette);
}

#if defined(KESTRA_WIDE)
KESTRA_WIDE_BEGIN
// DrawSprite with the painted pixels as eight bits (bit p for x + p) and one
// masked store: the window from its edges, the cover from its bits.
template <int F>
KESTRA_WIDE_INLINE void DrawSpriteWide(const LineWork& w, const uint8_t* e, uint32_t dy,
                                       bool windowed) {
  SpriteRow s;
  if (!ReadSpriteRow<F>(w.iram, e, dy, s)) return;
  // The flips and the priority without branches: the sprites on a line mix
  // them at random.
  const uint64_t mirrored = 0 - static_cast<uint64_t>((s.attr >> 14) & 1);
  s.pixels = (Mirror(s.pixels) & mirrored) | (s.pixels & ~mirrored);
  const __m128i values = _mm_cvtsi64_si128(static_cast<long long>(s.pixels));
  uint32_t draw = s.zeroClear ? _mm_test_epi8_mask(values, values) : 0xFF;
  if (windowed) {
    // Drawn inside the window, or outside it with attribute bit 12; pixels
    // left of x = 0 skip the test.
    const uint8_t* edges = w.spriteWindow;
    const int left = edges[0], top = edges[1], right = edges[2], bottom = edges[3];
    uint32_t inside = 0;
    if (top <= w.line && w.line <= bottom && left <= right) {
      const int from = std::max(left - s.x, 0), to = std::min(right - s.x, 7);
      if (from <= to) inside = (0xFFu >> (7 - to)) & (0xFFu << from);
    }
    uint32_t wrongSide = (s.attr & 0x1000) ? inside : ~inside & 0xFF;
    if (s.x < 0) wrongSide &= 0xFFu << -s.x;
    draw &= ~wrongSide;
  }
  {  // behind screen 2 without priority: its eight cover bits from bit x + 8 on
    const int at = s.x + 8;
    const uint64_t* bits = w.cover->bits + (at >> 6);
    const int shift = at & 63;
    const uint32_t behind = (s.attr & 0x2000) ? 0u : 0xFFu;
    const uint32_t covered =
        static_cast<uint32_t>((bits[0] >> shift) | ((bits[1] << 1) << (63 - shift)));
    draw &= ~(covered & behind);
  }
  const uint64_t entries = s.pixels | s.palette * 0x1010101010101010ull;
  _mm_mask_storeu_epi16(w.px + s.x, static_cast<__mmask8>(draw),
                        _mm_cvtepu8_epi16(_mm_cvtsi64_si128(static_cast<long long>(entries))));
}
KESTRA_WIDE_END
#endif

// The snapshot entries on this line, one bit each (entry 64 * word + bit):
// line - y modulo 256 is a sprite's row, for y bytes 0xF9-0xFF (-7 ... -1) as
// for the others, and 8 or more when the sprite is off this line. Entries
// past the count hold old data and take no bit.
static_assert(kSpriteSnapshotEntries == 128, "two words of hit bits");
#if defined(__SSE2__)
// Sixteen y bytes (bytes 2, 6, 10, ... of the entries) are gathered into one
// register and compared at once, without a branch per entry.
inline void FindSprites(const SpriteSnapshot& snapshot, int lineNumber, uint64_t hits[2]) {
  const uint8_t* entries = snapshot.entries;
  const int count = std::min(snapshot.count, kSpriteSnapshotEntries);
  const uint8_t line = static_cast<uint8_t>(lineNumber);
  hits[0] = hits[1] = 0;
  const __m128i lines = _mm_set1_epi8(static_cast<char>(line));
  const __m128i seven = _mm_set1_epi8(7);
  const __m128i lowByte = _mm_set1_epi32(0xFF);
  auto yBytes = [&](const uint8_t* p) {
    return _mm_and_si128(_mm_srli_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), 16),
                         lowByte);
  };
  for (int block = 0; 16 * block < count; ++block) {
    const uint8_t* p = entries + 64 * block;
    const __m128i y = _mm_packus_epi16(_mm_packs_epi32(yBytes(p), yBytes(p + 16)),
                                       _mm_packs_epi32(yBytes(p + 32), yBytes(p + 48)));
    const __m128i dy = _mm_sub_epi8(lines, y);
    const __m128i onLine = _mm_cmpeq_epi8(_mm_min_epu8(dy, seven), dy);  // dy 0-7
    uint64_t bits = static_cast<unsigned>(_mm_movemask_epi8(onLine));
    const int valid = count - 16 * block;
    if (valid < 16) bits &= (1u << valid) - 1;
    hits[block >> 2] |= bits << (16 * (block & 3));
  }
}
#else
inline void FindSprites(const SpriteSnapshot& snapshot, int lineNumber, uint64_t hits[2]) {
  const uint8_t* entries = snapshot.entries;
  const int count = std::min(snapshot.count, kSpriteSnapshotEntries);
  const uint8_t line = static_cast<uint8_t>(lineNumber);
  hits[0] = hits[1] = 0;
  for (int n = 0; n < count; ++n) {
    if (static_cast<uint8_t>(line - entries[4 * n + 2]) < 8) hits[n >> 6] |= 1ull << (n & 63);
  }
}
#endif

// Takes the next sprite to draw out of the hit bits: the last entry first, so
// the first ends on top. The entry's number, or -1 when none is left.
inline int TakeLastHit(uint64_t hits[2]) {
  const int word = hits[1] ? 1 : 0;
  if (!hits[word]) return -1;
  const int bit = 63 - __builtin_clzll(hits[word]);
  hits[word] &= ~(1ull << bit);
  return 64 * word + bit;
}

#if defined(KESTRA_WIDE)
KESTRA_WIDE_BEGIN
// FindSprites 64 entries a step: the y bytes of 32 entries come out of their
// 128 bytes with one byte permute.
KESTRA_TARGET_WIDE void FindSpritesWide(const SpriteSnapshot& snapshot, int lineNumber,
                                        uint64_t hits[2]) {
  const uint8_t* entries = snapshot.entries;
  const int count = std::min(snapshot.count, kSpriteSnapshotEntries);
  const uint8_t line = static_cast<uint8_t>(lineNumber);
  alignas(64) static constexpr auto kYBytes = [] {
    std::array<uint8_t, 64> index{};
    for (int i = 0; i < 64; ++i) index[i] = static_cast<uint8_t>((4 * i + 2) & 127);
    return index;
  }();
  const __m512i yIndex = _mm512_load_si512(kYBytes.data());
  const __m512i lines = _mm512_set1_epi8(static_cast<char>(line));
  const __m512i seven = _mm512_set1_epi8(7);
  for (int word = 0; word < 2; ++word) {
    const int valid = count - 64 * word;
    if (valid <= 0) {
      hits[word] = 0;
      continue;
    }
    const uint8_t* p = entries + 256 * word;
    const __m512i low = _mm512_permutex2var_epi8(_mm512_loadu_si512(p), yIndex,
                                                 _mm512_loadu_si512(p + 64));
    const __m512i high = _mm512_permutex2var_epi8(_mm512_loadu_si512(p + 128), yIndex,
                                                  _mm512_loadu_si512(p + 192));
    const __m512i y = _mm512_inserti64x4(low, _mm512_castsi512_si256(high), 1);
    const uint64_t onLine = _mm512_cmple_epu8_mask(_mm512_sub_epi8(lines, y), seven);
    hits[word] = valid >= 64 ? onLine : onLine & ((1ull << valid) - 1);
  }
}

// DrawSprites with the wide sprite step, in a function of its own so that
// DrawSpriteWide inlines (code not built for the wide instructions cannot).
template <int F>
KESTRA_TARGET_WIDE void DrawSpritesWide(const LineWork& w, const SpriteSnapshot& snapshot,
                                        uint64_t hits[2], bool windowed) {
  for (int n; (n = TakeLastHit(hits)) >= 0;) {
    const uint8_t* entry = snapshot.entries + 4 * n;
    DrawSpriteWide<F>(w, entry, static_cast<uint8_t>(w.line - entry[2]), windowed);
  }
}
KESTRA_WIDE_END
#endif

// The sprites found on the line (the hit bits, used up), in drawing order.
template <int F>
void DrawSprites(const LineWork& w, const SpriteSnapshot& snapshot, uint64_t hits[2],
                 bool windowed) {
  for (int n; (n = TakeLastHit(hits)) >= 0;) {
    const uint8_t* entry = snapshot.entries + 4 * n;
    DrawSprite<F>(w, entry, static_cast<uint8_t>(w.line - entry[2]), windowed);
  }
}

// One line of colour entries; screen x at entries[x + 8], guards included.
struct IndexLine {
  alignas(16) ColourIndex entries[kLineBufferWidth + 16];  // room for wide steps
};

// The steps of a line, one by one or wide; chosen per line, so each
// ComposeLineAs calls its own directly.
template <int F, bool Wide>
struct LineSteps {
  static constexpr auto drawScreen = &DrawScreen<F>;
  static constexpr auto lay = &LayScreens<F, false>;
  static constexpr auto layWindowed = &LayScreens<F, true>;
  static constexpr auto findSprites = &FindSprites;
  static constexpr auto drawSprites = &DrawSprites<F>;
};
#if defined(KESTRA_WIDE)
template <int F>
struct LineSteps<F, true> {
  static constexpr auto drawScreen = &DrawScreenWide<F>;
  static constexpr auto lay = &LayScreensWide<F, false>;
  static constexpr auto layWindowed = &LayScreensWide<F, true>;
  static constexpr auto findSprites = &FindSpritesWide;
  static constexpr auto drawSprites = &DrawSpritesWide<F>;
};
#endif

template <int F, bool Wide>
void ComposeLineAs(const Machine& m, int line, ColourIndex background, IndexLine& out) {
  using Steps = LineSteps<F, Wide>;
  const uint8_t* ports = m.io.IoPorts;
  const uint8_t* iram = m.mem.Iram;
  alignas(64) uint8_t mask[kFlagWidth];
  Screen2Cover cover;
  Layer screen1, screen2;

  const uint8_t control = ports[0x00];
  // The sprites on the line are found first: the walk over them, whose end
  // no predictor knows, then starts from bits found long before.
  uint64_t hits[2] = {0, 0};
  if (control & 0x04) Steps::findSprites(m.sprites, line, hits);
  if (control & 0x01) {
    Steps::drawScreen(iram, line, screen1, m.io.MapBaseLow, ports[0x10], ports[0x11]);
  } else {
    ClearLayer(screen1);
  }
  if (control & 0x02) {
    Steps::drawScreen(iram, line, screen2, m.io.MapBaseHigh, ports[0x12], ports[0x13]);
  } else {
    ClearLayer(screen2);
  }
  switch ((control & 0x02) ? control & 0x30 : 0) {
    case 0x20:  // screen 2 shown only inside its window
      BuildWindowMask(mask, line, ports + 0x08, 0, 1);
      Steps::layWindowed(screen1, screen2, mask, background, out.entries, cover);
      break;
    case 0x30:  // shown only outside it
      BuildWindowMask(mask, line, ports + 0x08, 1, 0);
      Steps::layWindowed(screen1, screen2, mask, background, out.entries, cover);
      break;
    default:
      Steps::lay(screen1, screen2, mask, background, out.entries, cover);
      break;
  }

  if (control & 0x04) {
    const bool windowed = control & 0x08;
    // The wide sprites take their window from its edges.
    if (windowed && !Wide) BuildWindowMask(mask, line, ports + 0x0C, 0, 1);
    const LineWork w{iram, out.entries + kLineGuard, mask, ports + 0x0C, &cover, line};
    Steps::drawSprites(w, m.sprites, hits, windowed);
  }
}

template <bool Wide>
void ComposeLineAs(const Machine& m, int line, ColourIndex background, IndexLine& out) {
  switch ((m.io.IoPorts[0x60] >> 5) & 3) {
    case Planar2: ComposeLineAs<Planar2, Wide>(m, line, background, out); break;
    case Packed2: ComposeLineAs<Packed2, Wide>(m, line, background, out); break;
    case Planar4: ComposeLineAs<Planar4, Wide>(m, line, background, out); break;
    default: ComposeLineAs<Packed4, Wide>(m, line, background, out); break;
  }
}

// Background, screen 1, screen 2 and sprites as colour entries.
void ComposeLine(const Machine& m, int line, IndexLine& out) {
  const uint8_t ports60 = m.io.IoPorts[0x60];
  const uint8_t ports01 = m.io.IoPorts[0x01];
  // Any of port 0x60 bits 5-7: the background is palette colour port 0x01,
  // else one of the eight shades.
  const ColourIndex background = (ports60 & 0xE0) ? ports01 : kShadeColourBase + (ports01 & 7);
#if defined(KESTRA_WIDE)
  if (m.display.wideRendering) {
    ComposeLineAs<true>(m, line, background, out);
    return;
  }
#endif
  ComposeLineAs<false>(m, line, background, out);
}

// A host pixel value, low-order byte first.
template <int BytesPerPixel>
inline void StorePixel(uint8_t* dst, uint32_t v) {
  std::memcpy(dst, &v, BytesPerPixel);
}

// The 224 visible pixels into the FrameBuffer, converted on the way.
template <int BytesPerPixel>
void CopyLine(const DisplayState& d, int line, const ColourIndex* entries,
              const uint32_t* colours) {
  if (!d.DisplayVertical) {
    uint8_t* dst = d.FrameBuffer + static_cast<ptrdiff_t>(line) * d.FramePitch;
    // Eight at a time with fixed offsets: one pointer step per eight pixels.
    static_assert(kLcdWidth % 8 == 0);
    for (int x = 0; x < kLcdWidth; x += 8, entries += 8, dst += 8 * BytesPerPixel) {
#pragma GCC unroll 8
      for (int k = 0; k < 8; ++k) {
        StorePixel<BytesPerPixel>(dst + k * BytesPerPixel, colours[entries[k]]);
      }
    }
  } else {
    // Turned a quarter left: pixel x goes to row 223 - x of column `line`.
    uint8_t* dst = d.FrameBuffer + static_cast<ptrdiff_t>(kLcdWidth - 1) * d.FramePitch +
                   line * BytesPerPixel;
    for (int x = 0; x < kLcdWidth; ++x, dst -= d.FramePitch) {
      StorePixel<BytesPerPixel>(dst, colours[entries[x]]);
    }
  }
}

#if defined(KESTRA_WIDE)
KESTRA_WIDE_BEGIN
// The 224 visible pixels into a 32-bit FrameBuffer row, 64 at a time: each
// byte of the host pixel is looked up in its HostColourBytes table, two
// 128-byte halves in registers, and the four bytes are interleaved again.
// Entries of 256 and up (a shade as the background) take their colour whole.
KESTRA_TARGET_WIDE void CopyLineWide(const HostColourTables& p, const ColourIndex* entries,
                                     uint8_t* dst) {
  __m512i table[4][4];
  for (int b = 0; b < 4; ++b) {
    for (int q = 0; q < 4; ++q) table[b][q] = _mm512_load_si512(p.HostColourBytes[b] + 64 * q);
  }
  // Unpacking works within 128-bit lanes: byte 16L + 4j + i of the index
  // register takes pixel 16j + 4L + i, so that the four words unpacked last
  // hold pixels 0-15, 16-31, 32-47 and 48-63 in order. The indices pick the
  // low bytes of the 16-bit entries.
  alignas(64) static constexpr auto kOrder = [] {
    std::array<uint8_t, 64> order{};
    for (int lane = 0; lane < 4; ++lane) {
      for (int j = 0; j < 4; ++j) {
        for (int i = 0; i < 4; ++i) order[16 * lane + 4 * j + i] = 2 * (16 * j + 4 * lane + i);
      }
    }
    return order;
  }();
  const __m512i order = _mm512_load_si512(kOrder.data());
  const __m512i highByte = _mm512_set1_epi16(static_cast<short>(0xFF00));
  auto* out = reinterpret_cast<uint32_t*>(dst);
  static_assert(kLcdWidth == 3 * 64 + 32);
  for (int x = 0; x < kLcdWidth; x += 64) {
    const bool last = x + 64 > kLcdWidth;  // 32 pixels: the upper half reads nothing
    const __m512i e0 = _mm512_loadu_si512(entries + x);
    const __m512i e1 = last ? _mm512_setzero_si512() : _mm512_loadu_si512(entries + x + 32);
    const __m512i index = _mm512_permutex2var_epi8(e0, order, e1);
    const __mmask64 upper = _mm512_movepi8_mask(index);  // entries 128-255
    __m512i bytes[4];
    for (int b = 0; b < 4; ++b) {
      const __m512i below128 = _mm512_permutex2var_epi8(table[b][0], index, table[b][1]);
      const __m512i from128 = _mm512_permutex2var_epi8(table[b][2], index, table[b][3]);
      bytes[b] = _mm512_mask_blend_epi8(upper, below128, from128);
    }
    const __m512i lo01 = _mm512_unpacklo_epi8(bytes[0], bytes[1]);
    const __m512i hi01 = _mm512_unpackhi_epi8(bytes[0], bytes[1]);
    const __m512i lo23 = _mm512_unpacklo_epi8(bytes[2], bytes[3]);
    const __m512i hi23 = _mm512_unpackhi_epi8(bytes[2], bytes[3]);
    __m512i pixels[4] = {_mm512_unpacklo_epi16(lo01, lo23), _mm512_unpackhi_epi16(lo01, lo23),
                         _mm512_unpacklo_epi16(hi01, hi23), _mm512_unpackhi_epi16(hi01, hi23)};
    // Shade backgrounds, in pixel order: bit k of `shaded` is pixel x + k.
    const uint64_t shaded = static_cast<uint64_t>(_mm512_test_epi16_mask(e0, highByte)) |
                            static_cast<uint64_t>(_mm512_test_epi16_mask(e1, highByte)) << 32;
    const int words = last ? 2 : 4;
    for (int j = 0; j < words; ++j) {
      const auto mask = static_cast<__mmask16>(shaded >> (16 * j));
      if (mask) {
        // Only the background has a high byte: every shaded pixel is it.
        const ColourIndex background = entries[x + 16 * j + __builtin_ctz(mask)];
        const __m512i colour = _mm512_set1_epi32(static_cast<int>(p.HostColours[background]));
        pixels[j] = _mm512_mask_mov_epi32(pixels[j], mask, colour);
      }
      _mm512_storeu_si512(out + x + 16 * j, pixels[j]);
    }
  }
}
KESTRA_WIDE_END
#endif

}  // namespace

bool HostRendersWide() {
#if defined(KESTRA_WIDE)
  static const bool wide =
      __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi") &&
      __builtin_cpu_supports("avx512bitalg");
  return wide;
#else
  return false;
#endif
}

void DrawLine(const Machine& m, int line, LineBuffer& out) {
  IndexLine composed;
  ComposeLine(m, line, composed);
  const uint32_t* colours = m.colours.HostColours;
  for (int x = 0; x < kLineBufferWidth; ++x) out.pixels[x] = colours[composed.entries[x]];
}

int RenderLine(Machine& m, int line) {
  const DisplayState& d = m.display;
  if (!d.FrameBuffer) {
    if (m.settings.verbose()) ShowDrawError(m, kMsgNoSurface);
    return -1;
  }
  if (line < 0 || line >= kLcdHeight) return -1;
  IndexLine composed;
  ComposeLine(m, line, composed);
  const ColourIndex* entries = composed.entries + kLineGuard;
  const uint32_t* colours = m.colours.HostColours;
#if defined(KESTRA_WIDE)
  if (d.format.bytesPerPixel == 4 && !d.DisplayVertical && d.wideRendering) {
    CopyLineWide(m.colours, entries, d.FrameBuffer + static_cast<ptrdiff_t>(line) * d.FramePitch);
    return 0;
  }
#endif
  switch (d.format.bytesPerPixel) {
    case 2: CopyLine<2>(d, line, entries, colours); break;
    case 3: CopyLine<3>(d, line, entries, colours); break;
    default: CopyLine<4>(d, line, entries, colours); break;
  }
  return 0;
}

}  // namespace kestra
