// The renderer's wide path, for processors with AVX-512 F, BW, VL, VBMI and
// BITALG: sixteen tiles, 64 layer pixels and a sprite row at a time. This
// file alone is built for those instructions (see CMakeLists.txt); nothing in
// it runs unless HostRendersWide().
#include <immintrin.h>

#include "video/renderer_common.h"

namespace kestra::render {

namespace {

// 64 byte indices for a byte permute.
struct ByteIndex {
  uint8_t at[64];
};

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
void DrawScreenWide(const uint8_t* iram, int line, Layer& layer, uint32_t mapBase,
                    uint32_t scrollX, uint32_t scrollY) {
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
  constexpr int kValueBits = IsFourBit(F) ? 4 : 2;
  constexpr int kRowBytes = IsFourBit(F) ? 4 : 2;
  const __m512i rowStraight = _mm512_set1_epi32(static_cast<int>(r) * kRowBytes);
  const __m512i rowFlipped = _mm512_set1_epi32(static_cast<int>(7 - r) * kRowBytes);
  const __m512i hFlip = _mm512_set1_epi64(0x4000);
  // Byte 0 of each word everywhere in it.
  const __m512i firstByte = _mm512_setr_epi64(0, 0x0808080808080808, 0, 0x0808080808080808,
                                              0, 0x0808080808080808, 0, 0x0808080808080808);
  __m512i select[kValueBits], mirror[kValueBits];
  for (int k = 0; k < kValueBits; ++k) {
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
            _mm512_set1_epi8((1 << kValueBits) - 1));
      } else {
        values = _mm512_maskz_mov_epi8(
            _mm512_bitshuffle_epi64_mask(rows,
                                         _mm512_mask_blend_epi64(mirrored, select[0], mirror[0])),
            _mm512_set1_epi8(1));
        for (int k = 1; k < kValueBits; ++k) {
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

// LayScreens 64 pixels a step, over 256 (the buffers have the room).
template <int F, bool Windowed>
void LayScreensWide(const Layer& screen1, const Layer& screen2, const LineFlags& hidden,
                    ColourIndex background, ColourIndex* entries, LineFlags& cover) {
  constexpr ClearTest t = ClearTestFor(F);
  const __m512i clearMask = _mm512_set1_epi8(static_cast<char>(t.mask));
  const __m512i clearValue = _mm512_set1_epi8(static_cast<char>(t.value));
  const __m512i below = _mm512_set1_epi16(static_cast<short>(background));
  for (int i = 0; i < 256; i += 64) {
    const __m512i e1 = _mm512_load_si512(screen1.entries + i);
    const __m512i e2 = _mm512_load_si512(screen2.entries + i);
    const __mmask64 clear1 = _mm512_cmpeq_epi8_mask(_mm512_and_si512(e1, clearMask), clearValue);
    __mmask64 clear2 = _mm512_cmpeq_epi8_mask(_mm512_and_si512(e2, clearMask), clearValue);
    if constexpr (Windowed) clear2 |= _mm512_movepi8_mask(_mm512_load_si512(hidden.at + i));
    _mm512_store_si512(cover.at + i, _mm512_movm_epi8(~clear2));
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
}

// A sprite's eight pixels with one masked store.
template <int F>
inline void DrawSpriteWide(const LineWork& w, const uint8_t* e, uint32_t dy) {
  SpriteRow s;
  if (!ReadSpriteRow<F>(w.iram, e, dy, s)) return;
  s.pixels = FlipSpriteRow(s);
  const __m128i values = _mm_cvtsi64_si128(static_cast<long long>(s.pixels));
  const uint32_t painted = s.zeroClear ? _mm_test_epi8_mask(values, values) : 0xFF;
  const uint32_t blocked =
      _mm_movepi8_mask(_mm_cvtsi64_si128(static_cast<long long>(SpriteBlockedFlags(w, s))));
  const uint32_t draw = painted & ~blocked;
  const uint64_t entries = s.pixels | s.palette * 0x1010101010101010ull;
  _mm_mask_storeu_epi16(w.px + s.x, static_cast<__mmask8>(draw),
                        _mm_cvtepu8_epi16(_mm_cvtsi64_si128(static_cast<long long>(entries))));
}

// FindSprites 64 entries a step: the y bytes of 32 entries come out of their
// 128 bytes with one byte permute.
void FindSpritesWide(const SpriteSnapshot& snapshot, int lineNumber, uint64_t hits[2]) {
  const uint8_t* entries = snapshot.entries;
  const int count = SnapshotCount(snapshot);
  const uint8_t line = static_cast<uint8_t>(lineNumber);
  alignas(64) static constexpr ByteIndex kYBytes = [] {
    ByteIndex index{};
    for (int i = 0; i < 64; ++i) index.at[i] = static_cast<uint8_t>((4 * i + 2) & 127);
    return index;
  }();
  const __m512i yIndex = _mm512_load_si512(kYBytes.at);
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

// The steps of a line. The bigger ones stay functions of their own: laid
// into one function with the rest of the line they ran slower.
struct Wide {
  [[gnu::noinline]] static void FindSprites(const SpriteSnapshot& snapshot, int line,
                                            uint64_t hits[2]) {
    FindSpritesWide(snapshot, line, hits);
  }
  template <int F>
  static void DrawScreen(const uint8_t* iram, int line, Layer& layer, uint32_t mapBase,
                         uint32_t scrollX, uint32_t scrollY) {
    DrawScreenWide<F>(iram, line, layer, mapBase, scrollX, scrollY);
  }
  template <int F, bool Windowed>
  [[gnu::noinline]] static void Lay(const Layer& screen1, const Layer& screen2,
                                    const LineFlags& hidden, ColourIndex background,
                                    ColourIndex* entries, LineFlags& cover) {
    LayScreensWide<F, Windowed>(screen1, screen2, hidden, background, entries, cover);
  }
  // The sprites found on the line (the hit bits, used up), in drawing order.
  template <int F>
  [[gnu::noinline]] static void DrawSprites(const LineWork& w, const SpriteSnapshot& snapshot,
                                            uint64_t hits[2]) {
    for (int n; (n = TakeLastHit(hits)) >= 0;) {
      const uint8_t* entry = snapshot.entries + 4 * n;
      DrawSpriteWide<F>(w, entry, static_cast<uint8_t>(w.line - entry[2]));
    }
  }
};

}  // namespace

void ComposeLineWide(const Machine& m, int line, ColourIndex background, IndexLine& out) {
  ComposeLineWith<Wide>(m, line, background, out);
}

// The 224 visible pixels into a 32-bit FrameBuffer row, 64 at a time: each
// byte of the host pixel is looked up in its HostColourBytes table, two
// 128-byte halves in registers, and the four bytes are interleaved again.
// Entries of 256 and up (a shade as the background) take their colour whole.
void CopyLineWide(const HostColourTables& p, const ColourIndex* entries, uint8_t* dst) {
  __m512i table[4][4];
  for (int b = 0; b < 4; ++b) {
    for (int q = 0; q < 4; ++q) table[b][q] = _mm512_load_si512(p.HostColourBytes[b] + 64 * q);
  }
  // Unpacking works within 128-bit lanes: byte 16L + 4j + i of the index
  // register takes pixel 16j + 4L + i, so that the four words unpacked last
  // hold pixels 0-15, 16-31, 32-47 and 48-63 in order. The indices pick the
  // low bytes of the 16-bit entries.
  alignas(64) static constexpr ByteIndex kOrder = [] {
    ByteIndex order{};
    for (int lane = 0; lane < 4; ++lane) {
      for (int j = 0; j < 4; ++j) {
        for (int i = 0; i < 4; ++i) order.at[16 * lane + 4 * j + i] = 2 * (16 * j + 4 * lane + i);
      }
    }
    return order;
  }();
  const __m512i order = _mm512_load_si512(kOrder.at);
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

}  // namespace kestra::render
