// The renderer one by one: a tile row or sixteen pixels a step with SSE2,
// a pixel a step without it.
#include "video/renderer_common.h"

namespace kestra::render {

namespace {

// Eight per-pixel flags at a time, one byte each: "draw" masks have bit 7
// of a byte set where that pixel is painted.
constexpr uint64_t kBit7 = 0x8080808080808080ull;
constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;

inline uint64_t NonZeroPixels(TileRow row) { return (row + kLow7) & kBit7; }

// Writes entry palette * 16 + value (0-255) for the pixels whose draw bit is
// set; the others keep what lies below.
inline void Paint(ColourIndex* __restrict px, TileRow row, uint64_t draw, uint32_t palette) {
  const uint64_t entries = row | palette * 0x1010101010101010ull;
#if defined(KESTRA_RENDER_SSE2)
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

#if defined(KESTRA_RENDER_SSE2)
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
void LayScreens(const Layer& screen1, const Layer& screen2, const LineFlags& hidden,
                ColourIndex background, ColourIndex* entries, LineFlags& cover) {
  constexpr ClearTest t = ClearTestFor(F);
#if defined(KESTRA_RENDER_SSE2)
  // The line is built as low and high bytes: only the background has a high byte.
  const __m128i ones = _mm_set1_epi8(-1);
  const __m128i belowLow = _mm_set1_epi8(static_cast<char>(background & 0xFF));
  const __m128i belowHigh = _mm_set1_epi8(static_cast<char>(background >> 8));
  for (int i = 0; i < kLineBufferWidth; i += 16) {
    const __m128i e1 = _mm_load_si128(reinterpret_cast<const __m128i*>(screen1.entries + i));
    const __m128i e2 = _mm_load_si128(reinterpret_cast<const __m128i*>(screen2.entries + i));
    const __m128i clear1 = Clear(e1, t);
    __m128i clear2 = Clear(e2, t);
    if constexpr (Windowed) {
      clear2 = _mm_or_si128(clear2,
                            _mm_load_si128(reinterpret_cast<const __m128i*>(hidden.at + i)));
    }
    _mm_store_si128(reinterpret_cast<__m128i*>(cover.at + i), _mm_andnot_si128(clear2, ones));
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
    const bool p2 = (e2 & t.mask) != t.value && !(Windowed && hidden.at[i]);
    cover.at[i] = p2 ? 0xFF : 0;
    entries[i] = p2 ? e2 : p1 ? e1 : background;
  }
#endif
}

// One sprite entry crossing the line at its row dy (before any flip).
template <int F>
void DrawSprite(const LineWork& w, const uint8_t* e, uint32_t dy) {
  SpriteRow s;
  if (!ReadSpriteRow<F>(w.iram, e, dy, s)) return;
  if (s.zeroClear && s.pixels == 0) return;
  s.pixels = (s.attr & 0x4000) ? Mirror(s.pixels) : s.pixels;
  const uint64_t painted = s.zeroClear ? NonZeroPixels(s.pixels) : kBit7;
  Paint(w.px + s.x, s.pixels, painted & ~SpriteBlockedFlags(w, s), s.palette);
}

#if defined(KESTRA_RENDER_SSE2)
// Sixteen y bytes (bytes 2, 6, 10, ... of the entries) are gathered into one
// register and compared at once, without a branch per entry.
inline void FindSprites(const SpriteSnapshot& snapshot, int lineNumber, uint64_t hits[2]) {
  const uint8_t* entries = snapshot.entries;
  const int count = SnapshotCount(snapshot);
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
  const int count = SnapshotCount(snapshot);
  const uint8_t line = static_cast<uint8_t>(lineNumber);
  hits[0] = hits[1] = 0;
  for (int n = 0; n < count; ++n) {
    if (static_cast<uint8_t>(line - entries[4 * n + 2]) < 8) hits[n >> 6] |= 1ull << (n & 63);
  }
}
#endif

// The steps of a line, laid into one function per tile format.
struct OneByOne {
  static void FindSprites(const SpriteSnapshot& snapshot, int line, uint64_t hits[2]) {
    render::FindSprites(snapshot, line, hits);
  }
  template <int F>
  static void DrawScreen(const uint8_t* iram, int line, Layer& layer, uint32_t mapBase,
                         uint32_t scrollX, uint32_t scrollY) {
    render::DrawScreen<F>(iram, line, layer, mapBase, scrollX, scrollY);
  }
  template <int F, bool Windowed>
  static void Lay(const Layer& screen1, const Layer& screen2,
                                    const LineFlags& hidden, ColourIndex background,
                                    ColourIndex* entries, LineFlags& cover) {
    LayScreens<F, Windowed>(screen1, screen2, hidden, background, entries, cover);
  }
  // The sprites found on the line (the hit bits, used up), in drawing order.
  template <int F>
  static void DrawSprites(const LineWork& w, const SpriteSnapshot& snapshot,
                                            uint64_t hits[2]) {
    for (int n; (n = TakeLastHit(hits)) >= 0;) {
      const uint8_t* entry = snapshot.entries + 4 * n;
      DrawSprite<F>(w, entry, static_cast<uint8_t>(w.line - entry[2]));
    }
  }
};

// A host pixel value, low-order byte first.
template <int BytesPerPixel>
inline void StorePixel(uint8_t* dst, uint32_t v) {
  std::memcpy(dst, &v, BytesPerPixel);
}

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

}  // namespace

void ComposeLineOneByOne(const Machine& m, int line, ColourIndex background, IndexLine& out) {
  ComposeLineWith<OneByOne>(m, line, background, out);
}

void CopyLineOneByOne(const DisplayState& d, int line, const ColourIndex* entries,
                      const uint32_t* colours) {
  switch (d.format.bytesPerPixel) {
    case 2: CopyLine<2>(d, line, entries, colours); break;
    case 3: CopyLine<3>(d, line, entries, colours); break;
    default: CopyLine<4>(d, line, entries, colours); break;
  }
}

}  // namespace kestra::render
