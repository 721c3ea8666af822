// DrawLine against a deliberately plain model of the line rules: every screen
// x is decided on its own, layer by layer, with no tables and no bit tricks,
// over thousands of random scenes. The renderer is optimised hard; this is
// what keeps it honest.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "core/machine.h"
#include "system/console.h"
#include "core/ports.h"
#include "video/renderer.h"

namespace kestra {
namespace {

constexpr int kWidth = 224;
using Line = std::array<uint32_t, kWidth>;

// ---------------------------------------------------------------------------
// The model

// Value 0-15 of pixel `px` (0 = leftmost, before any flip) of row `row` of a
// tile; `bank` counts in the 4-bit formats only.
int PatternPixel(const uint8_t* iram, uint8_t mode, int tile, int bank, int row, int px) {
  const bool fourBit = mode & 0x40;
  const bool packed = mode & 0x20;
  if (!fourBit) {
    const uint8_t* b = iram + 0x2000 + 16 * tile + 2 * row;
    if (packed) {
      const int byte = px < 4 ? b[0] : b[1];
      return (byte >> (6 - 2 * (px % 4))) % 4;
    }
    return (b[0] >> (7 - px)) % 2 + 2 * ((b[1] >> (7 - px)) % 2);
  }
  const uint8_t* b = iram + (bank ? 0x8000 : 0x4000) + 32 * tile + 4 * row;
  if (packed) {
    const int byte = b[px / 2];
    return px % 2 == 0 ? byte / 16 : byte % 16;
  }
  int value = 0;
  for (int plane = 0; plane < 4; ++plane) value += ((b[plane] >> (7 - px)) % 2) << plane;
  return value;
}

bool IsTransparent(uint8_t mode, int palette, int value) {
  return value == 0 && ((mode & 0x40) || (palette & 4));
}

// x inside the rectangle of the window whose four edge ports start at `edges`.
bool InWindow(const uint8_t* edges, int line, int x) {
  return edges[1] <= line && line <= edges[3] && edges[0] <= x && x <= edges[2];
}

int SignedCoordinate(uint8_t byte) { return byte >= 0xF9 ? byte - 256 : byte; }

// How often each rule decided a pixel: proof that the scenes reach it.
struct Tally {
  enum Event {
    kSolidZero,      // value 0 drawn in colour 0 of its palette
    kClearZero2Bit,  // value 0 of palettes 4-7 / 12-15 in a 2-bit format: not drawn
    kClearZero4Bit,  // value 0 of palettes 0-3 / 8-11 in a 4-bit format: not drawn
    kBank1,          // a screen pixel from the second pattern area
    kScreenFlipH,
    kScreenFlipV,
    kScreen2Hidden,  // an opaque screen-2 pixel kept out by its window
    kScreen2OverScreen1,
    kSpriteBehind,       // a sprite pixel hidden by screen 2
    kSpriteInFront,      // a sprite pixel drawn over screen 2
    kSpriteInsideOnly,   // side bit clear, skipped outside the sprite window
    kSpriteOutsideOnly,  // side bit set, skipped inside it
    kSpriteOverSprite,   // an earlier entry painted over a later one
    kSpriteLeftWrap,     // x byte 0xF9-0xFF
    kSpriteTopWrap,      // y byte 0xF9-0xFF
    kSpriteFlipH,
    kSpriteFlipV,
    kSpriteBankBitSet,  // attribute bit 13 set in a 4-bit format (still bank 0)
    kCount
  };
  static constexpr const char* kNames[kCount] = {
      "solid zero",         "clear zero (2-bit)", "clear zero (4-bit)", "bank 1",
      "screen flip h",      "screen flip v",      "screen 2 hidden",    "screen 2 over screen 1",
      "sprite behind",      "sprite in front",    "sprite inside only", "sprite outside only",
      "sprite over sprite", "sprite left wrap",   "sprite top wrap",    "sprite flip h",
      "sprite flip v",      "sprite bank bit"};
  long counts[kCount] = {};
  void Count(Event e) { ++counts[e]; }
  // A value 0 left out: by the palette in a 2-bit format, by the format alone
  // in a 4-bit one.
  void CountClear(uint8_t mode, int palette) {
    if (!(mode & 0x40)) Count(kClearZero2Bit);
    if ((mode & 0x40) && !(palette & 4)) Count(kClearZero4Bit);
  }
};

struct ScreenPixel {
  bool opaque;
  int entry;  // HostColours index
};

// The pixel that a screen puts at screen x. The first tile starts at
// -(scroll x & 7) with map column scroll x >> 3, so screen x shows map pixel
// scroll x + x; the map repeats every 256 pixels both ways.
ScreenPixel DecideScreen(const Machine& m, int line, int x, uint32_t mapBase, int scrollX,
                         int scrollY, Tally& tally) {
  const uint8_t mode = m.io.IoPorts[0x60];
  const int mapX = scrollX + x, mapY = scrollY + line;
  const uint8_t* cell = m.mem.Iram + mapBase + 64 * ((mapY / 8) % 32) + 2 * ((mapX / 8) % 32);
  const int entry = cell[0] + 256 * cell[1];
  const int tile = entry % 512, palette = (entry >> 9) % 16, bank = (entry >> 13) % 2;
  const bool flipH = entry & 0x4000, flipV = entry & 0x8000;
  const int row = flipV ? 7 - mapY % 8 : mapY % 8;
  const int col = flipH ? 7 - mapX % 8 : mapX % 8;
  const int value = PatternPixel(m.mem.Iram, mode, tile, bank, row, col);
  const bool opaque = !IsTransparent(mode, palette, value);
  if (!opaque) {
    tally.CountClear(mode, palette);
  } else {
    if (value == 0) tally.Count(Tally::kSolidZero);
    if (bank && (mode & 0x40)) tally.Count(Tally::kBank1);
    if (flipH) tally.Count(Tally::kScreenFlipH);
    if (flipV) tally.Count(Tally::kScreenFlipV);
  }
  return {opaque, 16 * palette + value};
}

Line ModelLine(const Machine& m, int line, Tally& tally) {
  const uint8_t* ports = m.io.IoPorts;
  const uint8_t control = ports[0x00], mode = ports[0x60];
  const int background = (mode & 0xE0) ? ports[0x01] : 256 + ports[0x01] % 8;

  // The snapshot entries that cross this line, in drawing order (last first).
  std::vector<int> sprites;
  for (int n = m.sprites.count - 1; n >= 0; --n) {
    const uint8_t* e = m.sprites.entries + 4 * n;
    const int y = SignedCoordinate(e[2]);
    if (y <= line && line < y + 8 && SignedCoordinate(e[3]) < kWidth) sprites.push_back(n);
  }

  Line out;
  for (int x = 0; x < kWidth; ++x) {
    int entry = background;

    if (control & 0x01) {
      const ScreenPixel p =
          DecideScreen(m, line, x, m.io.MapBaseLow, ports[0x10], ports[0x11], tally);
      if (p.opaque) entry = p.entry;
    }

    bool screen2Opaque = false;
    if (control & 0x02) {
      const ScreenPixel p =
          DecideScreen(m, line, x, m.io.MapBaseHigh, ports[0x12], ports[0x13], tally);
      const bool inside = InWindow(ports + 0x08, line, x);
      bool hidden = false;
      if ((control & 0x30) == 0x20) hidden = !inside;
      if ((control & 0x30) == 0x30) hidden = inside;
      if (p.opaque && hidden) tally.Count(Tally::kScreen2Hidden);
      if (p.opaque && !hidden) {
        if (control & 0x01) tally.Count(Tally::kScreen2OverScreen1);
        entry = p.entry;
        screen2Opaque = true;
      }
    }

    if (control & 0x04) {
      bool spriteDrawn = false;
      for (int n : sprites) {
        const uint8_t* e = m.sprites.entries + 4 * n;
        const int attr = e[0] + 256 * e[1];
        const int sx = SignedCoordinate(e[3]), sy = SignedCoordinate(e[2]);
        if (x < sx || x >= sx + 8) continue;
        const bool flipH = attr & 0x4000, flipV = attr & 0x8000;
        const int row = flipV ? 7 - (line - sy) : line - sy;
        const int col = flipH ? 7 - (x - sx) : x - sx;
        const int value = PatternPixel(m.mem.Iram, mode, attr % 512, 0, row, col);
        const int palette = 8 + (attr >> 9) % 8;
        if (control & 0x08) {
          const bool inside = InWindow(ports + 0x0C, line, x);
          if ((attr & 0x1000) && inside) {
            tally.Count(Tally::kSpriteOutsideOnly);
            continue;
          }
          if (!(attr & 0x1000) && !inside) {
            tally.Count(Tally::kSpriteInsideOnly);
            continue;
          }
        }
        if (IsTransparent(mode, palette, value)) {
          tally.CountClear(mode, palette);
          continue;
        }
        if (screen2Opaque && !(attr & 0x2000)) {
          tally.Count(Tally::kSpriteBehind);
          continue;
        }
        if (screen2Opaque) tally.Count(Tally::kSpriteInFront);
        if (spriteDrawn) tally.Count(Tally::kSpriteOverSprite);
        if (value == 0) tally.Count(Tally::kSolidZero);
        if (e[3] >= 0xF9) tally.Count(Tally::kSpriteLeftWrap);
        if (e[2] >= 0xF9) tally.Count(Tally::kSpriteTopWrap);
        if (flipH) tally.Count(Tally::kSpriteFlipH);
        if (flipV) tally.Count(Tally::kSpriteFlipV);
        if ((attr & 0x2000) && (mode & 0x40)) tally.Count(Tally::kSpriteBankBitSet);
        entry = 16 * palette + value;
        spriteDrawn = true;
      }
    }
    out[x] = m.colours.HostColours[entry];
  }
  return out;
}

// ---------------------------------------------------------------------------
// Random scenes

// splitmix64: the same numbers on every platform and library.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }
  bool OneIn(int n) { return Below(n) == 0; }
  uint8_t Byte() { return static_cast<uint8_t>(Next()); }

 private:
  uint64_t state_;
};

constexpr uint64_t kBaseSeed = 0x4B657374726130ull;

struct Scene {
  int index;
  std::array<int, 4> lines;
};

// One edge pair of a window: mostly ordered values in range, sometimes any
// bytes, sometimes the wrong way round (which marks nothing).
void RandomEdges(Random& r, uint8_t& low, uint8_t& high, int limit, int near) {
  if (r.OneIn(4)) {
    low = r.Byte();
    high = r.Byte();
    return;
  }
  int a, b;
  if (near >= 0 && r.OneIn(2)) {  // an edge on or next to a drawn line
    a = near - r.Below(2) * r.Below(20);
    b = near + r.Below(2) * r.Below(20);
  } else {
    a = r.Below(limit);
    b = r.Below(limit);
    if (a > b) std::swap(a, b);
  }
  if (r.OneIn(8)) std::swap(a, b);
  low = static_cast<uint8_t>(a);
  high = static_cast<uint8_t>(b);
}

// Fills the machine with scene `index`. The low five bits of the index pick
// the tile format, screen 2's window mode and the sprite window, so every
// combination comes up every 32 scenes.
Scene BuildScene(Machine& m, int index) {
  Random r(kBaseSeed + static_cast<uint64_t>(index));
  Scene scene{index, {}};
  for (int& line : scene.lines) line = r.OneIn(8) ? (r.OneIn(2) ? 0 : 143) : r.Below(144);

  // Iram: random words; the pattern areas often sparse (bytes ANDed, whole
  // rows clear) so that transparency matters.
  uint8_t* iram = m.mem.Iram;
  for (int a = 0; a < 0x10000; a += 8) {
    const uint64_t v = r.Next();
    std::memcpy(iram + a, &v, 8);
  }
  const int sparseness = r.Below(3);
  const int clearRows = r.Below(3);
  for (int a = 0x2000; a < 0xC000; a += 8) {
    uint64_t v = r.Next();
    for (int k = 0; k < sparseness; ++k) v &= r.Next();
    if (r.Below(4) < clearRows) v = 0;
    std::memcpy(iram + a, &v, 8);
  }

  uint8_t* ports = m.io.IoPorts;
  const int combo = index % 32;
  const int format = combo % 4, windowMode = (combo / 4) % 4, spriteWindow = combo / 16;
  const int enables = r.OneIn(8) ? r.Below(8) : 7;
  ports[0x00] =
      static_cast<uint8_t>((r.Byte() & 0xC0) | windowMode << 4 | spriteWindow << 3 | enables);
  ports[0x01] = r.Byte();
  ports[0x60] = static_cast<uint8_t>((r.Byte() & 0x9F) | format << 5);
  WritePort(m, 0x07, r.Byte());
  // The maps themselves stay fully random, wherever they lie.
  for (uint32_t base : {m.io.MapBaseLow, m.io.MapBaseHigh}) {
    for (uint32_t a = base; a < base + 0x800; a += 8) {
      const uint64_t v = r.Next();
      std::memcpy(iram + a, &v, 8);
    }
  }
  const int nearLine = scene.lines[r.Below(4)];
  RandomEdges(r, ports[0x08], ports[0x0A], kWidth, -1);
  RandomEdges(r, ports[0x09], ports[0x0B], 144, nearLine);
  RandomEdges(r, ports[0x0C], ports[0x0E], kWidth, -1);
  RandomEdges(r, ports[0x0D], ports[0x0F], 144, nearLine);
  for (int p = 0x10; p <= 0x13; ++p) ports[p] = r.OneIn(8) ? 0 : r.Byte();

  // Sprites: mostly on one of the drawn lines, often at the edges.
  SpriteSnapshot& s = m.sprites;
  const int counts[] = {0, 1, 128, r.Below(129), r.Below(129)};
  s.count = counts[r.Below(5)];
  for (int n = 0; n < kSpriteSnapshotEntries; ++n) {
    uint8_t* e = s.entries + 4 * n;
    e[0] = r.Byte();
    e[1] = r.Byte();
    const int y = r.Below(8);
    if (y < 5) {
      e[2] = static_cast<uint8_t>(scene.lines[r.Below(4)] - r.Below(8));
    } else if (y == 5) {
      e[2] = static_cast<uint8_t>(0xF8 + r.Below(16));  // 0xF8-0xFF, 0x00-0x07
    } else {
      e[2] = r.Byte();
    }
    const int x = r.Below(8);
    if (x < 2) {
      e[3] = static_cast<uint8_t>(0xF8 + r.Below(16));
    } else if (x == 2) {
      e[3] = static_cast<uint8_t>(kWidth - 8 + r.Below(16));
    } else {
      e[3] = r.Byte();
    }
  }

  // Every HostColours entry a different value, so a pixel names its entry.
  for (int n = 0; n < kHostColourCount; ++n) {
    StoreHostColour(m.colours, n, static_cast<uint32_t>(r.Next() & ~0x1FFull) | n);
  }
  return scene;
}

std::string EntryName(const Machine& m, uint32_t pixel) {
  std::ostringstream s;
  s << "0x" << std::hex << pixel << std::dec;
  for (int n = 0; n < kHostColourCount; ++n) {
    if (m.colours.HostColours[n] != pixel) continue;
    if (n >= 256) {
      s << " (shade " << n - 256 << ")";
    } else {
      s << " (palette " << n / 16 << " colour " << n % 16 << ")";
    }
  }
  return s.str();
}

std::string Describe(const Machine& m, const Scene& scene, int line, int x, uint32_t model,
                     uint32_t drawn) {
  const uint8_t* p = m.io.IoPorts;
  std::ostringstream s;
  s << "scene " << scene.index << " (seed 0x" << std::hex << kBaseSeed + scene.index << std::dec
    << "), line " << line << ", x " << x << ": model " << EntryName(m, model) << ", DrawLine "
    << EntryName(m, drawn) << std::hex << "\n  ports 00=" << int(p[0x00]) << " 01=" << int(p[0x01])
    << " 07=" << int(p[0x07]) << " 60=" << int(p[0x60]) << " scroll " << int(p[0x10]) << ","
    << int(p[0x11]) << " / " << int(p[0x12]) << "," << int(p[0x13]) << std::dec
    << "\n  screen 2 window " << int(p[0x08]) << "," << int(p[0x09]) << "-" << int(p[0x0A]) << ","
    << int(p[0x0B]) << ", sprite window " << int(p[0x0C]) << "," << int(p[0x0D]) << "-"
    << int(p[0x0E]) << "," << int(p[0x0F]) << ", sprites " << m.sprites.count;
  return s.str();
}

// Draws the scene's lines both ways; the first difference, or "".
std::string CompareScene(const Machine& m, const Scene& scene, Tally& tally) {
  for (int line : scene.lines) {
    const Line model = ModelLine(m, line, tally);
    LineBuffer drawn;
    DrawLine(m, line, drawn);
    // Only the visible pixels: the guards' content is of no account.
    for (int x = 0; x < kWidth; ++x) {
      if (model[x] != drawn.pixels[kLineGuard + x]) {
        return Describe(m, scene, line, x, model[x], drawn.pixels[kLineGuard + x]);
      }
    }
  }
  return "";
}

TEST(RendererModel, DrawLineMatchesThePlainModelOnRandomScenes) {
  // 100 rounds of the 32 format and window combinations, by the wide path
  // where the processor has it and one by one. A scene depends on its number
  // alone: to look at a failing one, start the loop there.
  constexpr int kScenes = 3200;
  std::unique_ptr<Machine> m = CreateMachine();
  std::vector<bool> ways = {false};
  if (HostRendersWide()) ways.push_back(true);
  for (const bool wide : ways) {
    m->display.wideRendering = wide;
    Tally tally;
    for (int index = 0; index < kScenes; ++index) {
      const Scene scene = BuildScene(*m, index);
      const std::string difference = CompareScene(*m, scene, tally);
      if (!difference.empty()) {
        FAIL() << (wide ? "wide walk: " : "one by one: ") << difference;
      }
    }
    for (int e = 0; e < Tally::kCount; ++e) {
      EXPECT_GT(tally.counts[e], 0) << "no scene reached: " << Tally::kNames[e];
    }
  }
}

// RenderLine's conversion into a 32-bit FrameBuffer (64 pixels at a time
// where the processor allows, else one by one) gives what DrawLine gives.
TEST(RendererModel, RenderLineConvertsEveryEntryAsDrawLineDoes) {
  std::unique_ptr<Machine> m = CreateMachine();
  std::vector<uint32_t> frame(kWidth * 144);
  DisplayState& d = m->display;
  d.FrameBuffer = reinterpret_cast<uint8_t*>(frame.data());
  d.FramePitch = kWidth * 4;
  d.format.bytesPerPixel = 4;
  std::vector<bool> ways = {false};
  if (HostRendersWide()) ways.push_back(true);
  int entries128Up = 0, shades = 0;  // pixels of the two special cases seen
  for (int index = 0; index < 800; ++index) {
    const Scene scene = BuildScene(*m, index);
    for (int line : scene.lines) {
      LineBuffer drawn;
      DrawLine(*m, line, drawn);
      for (const bool wide : ways) {
        d.wideRendering = wide;
        ASSERT_EQ(RenderLine(*m, line), 0);
        for (int x = 0; x < kWidth; ++x) {
          const uint32_t pixel = frame[line * kWidth + x];
          ASSERT_EQ(pixel, drawn.pixels[kLineGuard + x])
              << (wide ? "wide" : "one by one") << " conversion, " << EntryName(*m, pixel)
              << " for " << EntryName(*m, drawn.pixels[kLineGuard + x]) << ", scene " << index
              << ", line " << line << ", x " << x;
          const uint32_t entry = pixel & 0x1FF;  // each entry's value ends in its number
          entries128Up += entry >= 128 && entry < 256;
          shades += entry >= 256;
        }
      }
    }
  }
  EXPECT_GT(entries128Up, 1000);
  EXPECT_GT(shades, 1000);
  d.FrameBuffer = nullptr;
}

}  // namespace
}  // namespace kestra
