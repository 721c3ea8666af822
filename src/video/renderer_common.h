// What the renderer's two paths share: tile formats and their decoding, a
// screen's layer, the window and cover flags, a sprite's row, and the order in
// which a line is composed. renderer_scalar.cpp fills that order with steps
// taken a pixel or a tile row at a time, renderer_wide.cpp with AVX-512 steps;
// renderer.cpp picks one per line.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "core/machine.h"
#include "video/display.h"
#include "video/renderer.h"

// KESTRA_PORTABLE builds the plain code that hosts without x86 vector units
// take, so that it is compiled and tested here too.
#if defined(__SSE2__) && !defined(KESTRA_PORTABLE)
#include <emmintrin.h>
#define KESTRA_RENDER_SSE2 1
#endif

namespace kestra::render {

// Lines are composed as HostColours entries (16 bits a pixel) and turned
// into host pixels once at the end: a layer's pixel then costs no colour
// lookup, and a tile row is blended in one go whatever the host format.
using ColourIndex = uint16_t;

// One line of colour entries; screen x at entries[x + 8], guards included.
struct IndexLine {
  alignas(16) ColourIndex entries[kLineBufferWidth + 16];  // room for wide steps
};

// Background, screen 1, screen 2 and sprites as colour entries.
void ComposeLineOneByOne(const Machine& m, int line, ColourIndex background, IndexLine& out);
// The 224 visible entries into the FrameBuffer's line, in its pixel format
// and orientation.
void CopyLineOneByOne(const DisplayState& d, int line, const ColourIndex* entries,
                      const uint32_t* colours);
#if defined(KESTRA_RENDER_WIDE)
// The same for processors where HostRendersWide(); the copy for 32-bit
// horizontal FrameBuffers only.
void ComposeLineWide(const Machine& m, int line, ColourIndex background, IndexLine& out);
void CopyLineWide(const HostColourTables& p, const ColourIndex* entries, uint8_t* dst);
#endif

// Tables that split a tile row's bytes into pixels (one copy for all paths).
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

struct alignas(64) ByteTable {
  uint64_t at[256];
};
template <uint64_t (*Split)(unsigned)>
constexpr ByteTable MakeTable() {
  ByteTable t{};
  for (unsigned b = 0; b < 256; ++b) t.at[b] = Split(b);
  return t;
}

inline constexpr ByteTable kBits = MakeTable<SpreadBits>();
inline constexpr ByteTable kPairs = MakeTable<SplitPairs>();
#if !defined(KESTRA_RENDER_SSE2)  // SSE2 splits the nibbles without a table
constexpr uint64_t SplitNibbles(unsigned b) {  // pixels 0-1, high nibble first
  return (b >> 4) | static_cast<uint64_t>(b & 15) << 8;
}
inline constexpr ByteTable kNibbles = MakeTable<SplitNibbles>();
#endif

// Everything below is compiled into each file that includes it on its own
// (internal linkage): renderer_wide.cpp is built for instructions the other
// paths must never meet, so the linker must not be free to pick its copy of
// a function for them.
namespace {

// A decoded tile row: pixel i (0 = leftmost) in byte i, value 0-15.
using TileRow = uint64_t;

enum TileFormat { Planar2 = 0, Packed2 = 1, Planar4 = 2, Packed4 = 3 };

constexpr bool IsFourBit(int f) { return f == Planar4 || f == Packed4; }

template <int F>
inline TileRow DecodeRow(const uint8_t* b) {
  if constexpr (F == Planar2) {
    return kBits.at[b[0]] | kBits.at[b[1]] << 1;
  } else if constexpr (F == Packed2) {
    return kPairs.at[b[0]] | kPairs.at[b[1]] << 32;
  } else if constexpr (F == Planar4) {
    return kBits.at[b[0]] | kBits.at[b[1]] << 1 | kBits.at[b[2]] << 2 | kBits.at[b[3]] << 3;
  } else {
#if defined(KESTRA_RENDER_SSE2)
    uint32_t bytes;
    std::memcpy(&bytes, b, 4);
    const __m128i v = _mm_cvtsi32_si128(static_cast<int>(bytes));
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i high = _mm_and_si128(_mm_srli_epi16(v, 4), nibble);
    const __m128i low = _mm_and_si128(v, nibble);
    return static_cast<TileRow>(_mm_cvtsi128_si64(_mm_unpacklo_epi8(high, low)));
#else
    return kNibbles.at[b[0]] | kNibbles.at[b[1]] << 16 | kNibbles.at[b[2]] << 32 |
           kNibbles.at[b[3]] << 48;
#endif
  }
}

// Iram offset of row `row` of the tile that a map entry or sprite attribute
// names (bits 0-8); its bit 13 picks the bank in the 4-bit formats only.
template <int F>
inline uint32_t RowAddress(uint32_t entry, uint32_t row) {
  if constexpr (F == Planar2 || F == Packed2) {
    return 0x2000 + ((entry & 0x1FF) << 4) + (row << 1);
  } else {
    return 0x4000 + ((entry & 0x2000) << 1) + ((entry & 0x1FF) << 5) + (row << 2);
  }
}

// Pixel i of a row is byte i of a 64-bit word.
static_assert(std::endian::native == std::endian::little);

inline TileRow Mirror(TileRow row) { return __builtin_bswap64(row); }

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

inline void ClearLayer(Layer& layer) {
  std::memset(layer.entries, kClearEntry, sizeof layer.entries);
}

// Value 0 is clear in the 4-bit formats, and in palettes 4-7 of the 2-bit
// ones (entry bit 6): an entry is clear when (entry & mask) == value.
struct ClearTest {
  uint8_t mask, value;
};
constexpr ClearTest ClearTestFor(int f) {
  return IsFourBit(f) ? ClearTest{0x0F, 0x00} : ClearTest{0x4F, 0x40};
}

// A byte per screen x from -8 to 255 at [x + 8], 0xFF where set: where a
// window hides screen 2, where the sprite window's outside lies, and where
// screen 2 is drawn after its window (the cover that sprites without
// priority stay behind). Eight of them are one load for either path: a word
// of byte masks one by one, eight mask bits wide.
constexpr int kFlagWidth = 8 + 256;
struct LineFlags {
  alignas(64) uint8_t at[kFlagWidth];
};

inline uint64_t LoadFlags(const uint8_t* flags) {
  uint64_t v;
  std::memcpy(&v, flags, 8);
  return v;
}

// Sets the flags of x 0-255 inside the window that `edges` (its four ports:
// left, top, right, bottom, inclusive) gives on this line, or those outside
// it; the guard left of x = 0 is never set.
inline void BuildWindowFlags(LineFlags& out, int line, const uint8_t* edges, bool inside) {
  const int left = edges[0], top = edges[1], right = edges[2], bottom = edges[3];
  const uint8_t within = inside ? 0xFF : 0;
  std::memset(out.at, 0, kLineGuard);
  if (!(top <= line && line <= bottom && left <= right)) {
    std::memset(out.at + kLineGuard, ~within & 0xFF, 256);
    return;
  }
  // x - left modulo 256 is at most right - left just inside. A loop of fixed
  // length, which the compiler does sixteen or 64 bytes a step, where a
  // memset of the window's own length would start slowly.
  const uint8_t width = static_cast<uint8_t>(right - left);
  for (unsigned x = 0; x < 256; ++x) {
    const bool in = static_cast<uint8_t>(x - left) <= width;
    out.at[kLineGuard + x] = in ? within : static_cast<uint8_t>(~within);
  }
}

struct LineWork {
  const uint8_t* iram;
  ColourIndex* px;          // screen x at px[x]
  const LineFlags* outside;  // the sprite window's outside; null without the window
  const LineFlags* cover;
  int line;
};

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

// The flips of a sprite row without a branch: the sprites on a line mix them
// at random.
inline TileRow FlipSpriteRow(const SpriteRow& s) {
  const uint64_t mirrored = 0 - static_cast<uint64_t>((s.attr >> 14) & 1);
  return (Mirror(s.pixels) & mirrored) | (s.pixels & ~mirrored);
}

// Which of a sprite's eight pixels (byte p for x + p, 0xFF) may not be
// drawn: on the window's wrong side, or behind screen 2 without priority.
inline uint64_t SpriteBlockedFlags(const LineWork& w, const SpriteRow& s) {
  const uint64_t behind = (s.attr & 0x2000) ? 0 : ~0ull;
  uint64_t blocked = LoadFlags(w.cover->at + kLineGuard + s.x) & behind;
  if (w.outside) {
    // Drawn inside the window, or outside it with attribute bit 12; pixels
    // left of x = 0 skip the test.
    const uint64_t side = (s.attr & 0x1000) ? ~0ull : 0;
    uint64_t wrongSide = LoadFlags(w.outside->at + kLineGuard + s.x) ^ side;
    if (s.x < 0) wrongSide &= ~0ull << (8 * -s.x);
    blocked |= wrongSide;
  }
  return blocked;
}

// Takes the next sprite to draw out of the hit bits: the last entry first, so
// the first ends on top. The entry's number, or -1 when none is left.
inline int TakeLastHit(uint64_t hits[2]) {
  const int word = hits[1] ? 1 : 0;
  if (!hits[word]) return -1;
  const int bit = 63 - __builtin_clzll(hits[word]);
  hits[word] &= ~(1ull << bit);
  return 64 * word + bit;
}

// The snapshot entries on this line are found as one bit each (entry 64 *
// word + bit): line - y modulo 256 is a sprite's row, for y bytes 0xF9-0xFF
// (-7 ... -1) as for the others, and 8 or more when the sprite is off this
// line. Entries past the count hold old data and take no bit.
static_assert(kSpriteSnapshotEntries == 128, "two words of hit bits");

inline int SnapshotCount(const SpriteSnapshot& snapshot) {
  return snapshot.count < kSpriteSnapshotEntries ? snapshot.count : kSpriteSnapshotEntries;
}

// A line in the order every path takes, with a path's steps:
//   Steps::FindSprites(snapshot, line, hits)
//   Steps::DrawScreen<F>(iram, line, layer, mapBase, scrollX, scrollY)
//   Steps::Lay<F, Windowed>(screen1, screen2, hidden, background, entries, cover)
//   Steps::DrawSprites<F>(work, snapshot, hits)
template <class Steps, int F>
inline void ComposeLineWith(const Machine& m, int line, ColourIndex background, IndexLine& out) {
  const uint8_t* ports = m.io.IoPorts;
  const uint8_t* iram = m.mem.Iram;
  LineFlags window, cover;
  Layer screen1, screen2;

  const uint8_t control = ports[kPortDisplayControl];
  // The sprites on the line are found first: the walk over them, whose end
  // no predictor knows, then starts from bits found long before.
  uint64_t hits[2] = {0, 0};
  if (control & 0x04) Steps::FindSprites(m.sprites, line, hits);
  if (control & 0x01) {
    Steps::template DrawScreen<F>(iram, line, screen1, m.io.MapBaseLow, ports[kPortScreen1ScrollX], ports[kPortScreen1ScrollY]);
  } else {
    ClearLayer(screen1);
  }
  if (control & 0x02) {
    Steps::template DrawScreen<F>(iram, line, screen2, m.io.MapBaseHigh, ports[kPortScreen2ScrollX],
                                  ports[kPortScreen2ScrollY]);
  } else {
    ClearLayer(screen2);
  }
  switch ((control & 0x02) ? control & 0x30 : 0) {
    case 0x20:  // screen 2 shown only inside its window
      BuildWindowFlags(window, line, ports + 0x08, false);
      Steps::template Lay<F, true>(screen1, screen2, window, background, out.entries, cover);
      break;
    case 0x30:  // shown only outside it
      BuildWindowFlags(window, line, ports + 0x08, true);
      Steps::template Lay<F, true>(screen1, screen2, window, background, out.entries, cover);
      break;
    default:
      Steps::template Lay<F, false>(screen1, screen2, window, background, out.entries, cover);
      break;
  }

  if (hits[0] | hits[1]) {  // sprites shown, and some on this line
    const bool windowed = control & 0x08;
    if (windowed) BuildWindowFlags(window, line, ports + 0x0C, false);
    const LineWork w{iram, out.entries + kLineGuard, windowed ? &window : nullptr, &cover, line};
    Steps::template DrawSprites<F>(w, m.sprites, hits);
  }
}

template <class Steps>
inline void ComposeLineWith(const Machine& m, int line, ColourIndex background, IndexLine& out) {
  switch ((m.io.IoPorts[kPortVideoMode] >> 5) & 3) {
    case Planar2: ComposeLineWith<Steps, Planar2>(m, line, background, out); break;
    case Packed2: ComposeLineWith<Steps, Packed2>(m, line, background, out); break;
    case Planar4: ComposeLineWith<Steps, Planar4>(m, line, background, out); break;
    default: ComposeLineWith<Steps, Packed4>(m, line, background, out); break;
  }
}

}  // namespace
}  // namespace kestra::render
