#include <gtest/gtest.h>

#include <array>

#include "core/machine.h"
#include "video/renderer.h"
#include "video_test_support.h"

namespace kestra {
namespace {

using test::VideoMachine;

constexpr uint8_t kPlanar2 = 0x00, kPacked2 = 0x20, kPlanar4 = 0x40, kPacked4 = 0x60;

// A scene built straight in internal RAM and the ports: every palette colour
// gets its own word (green = palette, blue = colour), every shade another.
class Scene : public ::testing::Test {
 protected:
  void SetUp() override {
    for (uint32_t n = 0; n < 256; ++n) SetColour(n, static_cast<uint16_t>(n));
    for (uint32_t s = 0; s < 8; ++s) SetColour(256 + s, static_cast<uint16_t>(0xF00 | s));
    m->io.MapBaseLow = 0x1000;
    m->io.MapBaseHigh = 0x1800;
  }

  void SetColour(uint32_t entry, uint16_t word) {
    WritePaletteByte(*m, 2 * entry, word & 0xFF);
    WritePaletteByte(*m, 2 * entry + 1, word >> 8);
  }
  uint32_t Colour(uint32_t palette, uint32_t value) {
    return m->colours.HostColours[palette * 16 + value];
  }
  uint32_t Shade(uint32_t s) { return m->colours.HostColours[256 + s]; }

  uint8_t& Port(uint32_t p) { return m->io.IoPorts[p]; }
  void MapEntry(uint32_t base, int col, int row, uint16_t entry) {
    m->mem.Iram[base + row * 64 + col * 2] = entry & 0xFF;
    m->mem.Iram[base + row * 64 + col * 2 + 1] = entry >> 8;
  }
  void FillMap(uint32_t base, uint16_t entry) {
    for (int r = 0; r < 32; ++r)
      for (int c = 0; c < 32; ++c) MapEntry(base, c, r, entry);
  }
  static uint16_t Entry(int tile, int palette, uint16_t flags = 0) {
    return static_cast<uint16_t>(tile | palette << 9 | flags);
  }
  // Row `row` of a tile in the current format's layout (2 or 4 bytes).
  void TileRowBytes(int tile, int row, std::initializer_list<uint8_t> bytes, bool bank1 = false) {
    const bool fourBit = Port(0x60) & 0x40;
    const uint32_t base = fourBit ? (bank1 ? 0x8000 : 0x4000) + 32 * tile : 0x2000 + 16 * tile;
    uint32_t at = base + row * static_cast<uint32_t>(bytes.size());
    for (uint8_t b : bytes) m->mem.Iram[at++] = b;
  }
  // A 2-bit planar tile whose every row holds the value `v` in all pixels.
  void SolidTile2(int tile, int v) {
    for (int r = 0; r < 8; ++r)
      TileRowBytes(tile, r, {uint8_t(v & 1 ? 0xFF : 0), uint8_t(v & 2 ? 0xFF : 0)});
  }
  void Sprite(int n, uint16_t attr, uint8_t y, uint8_t x) {
    uint8_t* e = m->sprites.entries + 4 * n;
    e[0] = attr & 0xFF;
    e[1] = attr >> 8;
    e[2] = y;
    e[3] = x;
    m->sprites.count = std::max(m->sprites.count, n + 1);
  }

  std::array<uint32_t, 224> Line(int line) {
    LineBuffer buffer;
    DrawLine(*m, line, buffer);
    std::array<uint32_t, 224> out;
    std::copy_n(buffer.pixels + kLineGuard, 224, out.begin());
    return out;
  }

  VideoMachine m;
};

TEST_F(Scene, BackgroundIsAShadeOrAPaletteColour) {
  Port(0x01) = 0x3D;
  EXPECT_EQ(Line(0)[0], Shade(5));
  EXPECT_EQ(Line(0)[223], Shade(5));
  for (uint8_t mode : {0x20, 0x40, 0x80}) {
    Port(0x60) = mode;
    EXPECT_EQ(Line(0)[100], Colour(3, 13)) << int(mode);
  }
}

TEST_F(Scene, ScrollXPicksTheFirstColumnAndStartsLeftOfTheScreen) {
  Port(0x00) = 0x01;
  SolidTile2(1, 1);
  for (int c = 0; c < 32; ++c)
    for (int r = 0; r < 32; ++r) MapEntry(0x1000, c, r, Entry(1, c & 15));
  for (int scrollX : {0, 5, 8, 250}) {
    Port(0x10) = static_cast<uint8_t>(scrollX);
    const auto line = Line(3);
    for (int x = 0; x < 224; ++x) {
      ASSERT_EQ(line[x], Colour(((x + scrollX) >> 3) & 15, 1))
          << "scroll " << scrollX << " x " << x;
    }
  }
  // Scroll 5: the first tile is drawn whole, its left five pixels in the guard.
  Port(0x10) = 5;
  LineBuffer buffer;
  DrawLine(*m, 3, buffer);
  EXPECT_EQ(buffer.pixels[kLineGuard - 5], Colour(0, 1));
  EXPECT_EQ(buffer.pixels[kLineGuard + 224 + 2], Colour(28 & 15, 1))
      << "the 29th tile reaches into the right guard";
  // Scroll 0: 28 tiles, nothing of them in the guards, which keep the background
  // (right after a line that filled them).
  Port(0x10) = 0;
  DrawLine(*m, 3, buffer);
  for (int g = 0; g < kLineGuard; ++g) {
    EXPECT_EQ(buffer.pixels[g], Shade(0)) << g;
    EXPECT_EQ(buffer.pixels[kLineGuard + 224 + g], Shade(0)) << g;
  }
}

TEST_F(Scene, ScrollYWrapsThroughTheMapEvery256Lines) {
  Port(0x00) = 0x01;
  Port(0x11) = 250;
  TileRowBytes(2, 4, {0xFF, 0xFF});  // only row 4 of tile 2 is value 3
  for (int c = 0; c < 32; ++c) {
    MapEntry(0x1000, c, 0, Entry(2, 1));
    MapEntry(0x1000, c, 31, Entry(3, 2));
  }
  EXPECT_EQ(Line(10)[0], Colour(1, 3)) << "(250 + 10) >> 3 & 31 = map row 0, tile row 4";
  EXPECT_EQ(Line(9)[0], Colour(1, 0));
  EXPECT_EQ(Line(5)[0], Colour(2, 0)) << "line 5 is map row 31";
}

TEST_F(Scene, ColourZeroIsTransparentByPaletteInTwoBitFormats) {
  Port(0x00) = 0x01;
  Port(0x01) = 0x04;
  TileRowBytes(1, 0, {0x55, 0x33});  // values 0, 1, 2, 3, 0, 1, 2, 3
  const uint32_t opaque[4] = {Colour(2, 0), Colour(2, 1), Colour(2, 2), Colour(2, 3)};
  FillMap(0x1000, Entry(1, 2));
  for (int x = 0; x < 8; ++x) EXPECT_EQ(Line(0)[x], opaque[x & 3]) << x;
  FillMap(0x1000, Entry(1, 6));
  const auto line = Line(0);
  EXPECT_EQ(line[0], Shade(4));
  EXPECT_EQ(line[4], Shade(4));
  EXPECT_EQ(line[1], Colour(6, 1));
  EXPECT_EQ(line[3], Colour(6, 3));
}

TEST_F(Scene, ColourZeroIsTransparentInEveryPaletteInFourBitFormats) {
  Port(0x00) = 0x01;
  Port(0x60) = kPacked4;
  Port(0x01) = 0x7E;
  TileRowBytes(1, 0, {0x01, 0x20, 0x00, 0xF0});
  FillMap(0x1000, Entry(1, 2));
  const auto line = Line(0);
  EXPECT_EQ(line[0], Colour(7, 14)) << "value 0 of palette 2 shows the background";
  EXPECT_EQ(line[1], Colour(2, 1));
  EXPECT_EQ(line[2], Colour(2, 2));
  EXPECT_EQ(line[6], Colour(2, 15));
  EXPECT_EQ(line[7], Colour(7, 14));
}

TEST_F(Scene, DecodesEachTileFormat) {
  struct Case {
    uint8_t format;
    std::initializer_list<uint8_t> bytes;
    std::array<int, 8> values;
  };
  const Case cases[] = {
      {kPlanar2, {0xB1, 0x63}, {1, 2, 3, 1, 0, 0, 2, 3}},
      {kPacked2, {0x1B, 0xE4}, {0, 1, 2, 3, 3, 2, 1, 0}},
      {kPlanar4, {0x55, 0x33, 0x0F, 0x0F}, {0, 1, 2, 3, 12, 13, 14, 15}},
      {kPacked4, {0x12, 0x34, 0x56, 0x78}, {1, 2, 3, 4, 5, 6, 7, 8}},
  };
  Port(0x00) = 0x01;
  Port(0x01) = 0x0F;
  FillMap(0x1000, Entry(1, 3));
  for (const Case& c : cases) {
    Port(0x60) = c.format;
    TileRowBytes(1, 0, c.bytes);
    const auto line = Line(0);
    for (int x = 0; x < 8; ++x) {
      const bool clear = c.values[x] == 0 && (c.format & 0x40);
      EXPECT_EQ(line[x + 16], clear ? Colour(0, 15) : Colour(3, c.values[x]))
          << "format " << int(c.format) << " pixel " << x;
    }
  }
}

TEST_F(Scene, MapEntryFlipsMirrorTheTile) {
  Port(0x00) = 0x01;
  Port(0x60) = kPacked4;
  for (int r = 0; r < 8; ++r) TileRowBytes(1, r, {uint8_t(0x10 | r), 0x23, 0x45, 0x67});
  MapEntry(0x1000, 0, 0, Entry(1, 1));
  MapEntry(0x1000, 1, 0, Entry(1, 1, 0x4000));
  MapEntry(0x1000, 2, 0, Entry(1, 1, 0x8000));
  MapEntry(0x1000, 3, 0, Entry(1, 1, 0xC000));
  const auto line = Line(2);  // tile row 2: values 1, 2, 2, 3, 4, 5, 6, 7
  EXPECT_EQ(line[0], Colour(1, 1));
  EXPECT_EQ(line[1], Colour(1, 2));
  EXPECT_EQ(line[8], Colour(1, 7)) << "horizontal flip";
  EXPECT_EQ(line[15], Colour(1, 1));
  EXPECT_EQ(line[17], Colour(1, 5)) << "vertical flip: row 5 (0x15)";
  EXPECT_EQ(line[24], Colour(1, 7)) << "both";
  EXPECT_EQ(line[31], Colour(1, 1));
  EXPECT_EQ(line[30], Colour(1, 5));
}

TEST_F(Scene, BankBitSelectsTheSecondPatternAreaInFourBitFormatsOnly) {
  Port(0x00) = 0x01;
  Port(0x60) = kPacked4;
  TileRowBytes(5, 0, {0x11, 0x11, 0x11, 0x11});
  TileRowBytes(5, 0, {0x22, 0x22, 0x22, 0x22}, true);
  MapEntry(0x1000, 0, 0, Entry(5, 1));
  MapEntry(0x1000, 1, 0, Entry(5, 1, 0x2000));
  EXPECT_EQ(Line(0)[0], Colour(1, 1));
  EXPECT_EQ(Line(0)[8], Colour(1, 2));

  Port(0x60) = kPlanar2;
  TileRowBytes(5, 0, {0xFF, 0x00});
  EXPECT_EQ(Line(0)[0], Colour(1, 1));
  EXPECT_EQ(Line(0)[8], Colour(1, 1)) << "the bank bit is ignored with 2 bits per pixel";
}

TEST_F(Scene, Screen2WindowModes) {
  Port(0x00) = 0x03;
  SolidTile2(1, 1);
  SolidTile2(2, 2);
  FillMap(0x1000, Entry(1, 1));
  FillMap(0x1800, Entry(2, 2));
  Port(0x08) = 8;
  Port(0x09) = 8;
  Port(0x0A) = 215;
  Port(0x0B) = 135;
  const uint32_t s1 = Colour(1, 1), s2 = Colour(2, 2);

  Port(0x00) = 0x23;  // inside only
  EXPECT_EQ(Line(7)[100], s1);
  EXPECT_EQ(Line(8)[7], s1);
  EXPECT_EQ(Line(8)[8], s2);
  EXPECT_EQ(Line(8)[215], s2);
  EXPECT_EQ(Line(8)[216], s1);
  EXPECT_EQ(Line(135)[100], s2);
  EXPECT_EQ(Line(136)[100], s1);

  Port(0x00) = 0x33;  // outside only
  EXPECT_EQ(Line(7)[100], s2);
  EXPECT_EQ(Line(8)[7], s2);
  EXPECT_EQ(Line(8)[8], s1);
  EXPECT_EQ(Line(8)[215], s1);
  EXPECT_EQ(Line(8)[216], s2);
  EXPECT_EQ(Line(136)[100], s2);

  Port(0x00) = 0x13;  // no window
  for (int line : {0, 8, 100, 143}) {
    for (int x : {0, 8, 100, 223}) EXPECT_EQ(Line(line)[x], s2);
  }

  Port(0x00) = 0x23;  // a left edge beyond the right marks nothing
  Port(0x08) = 100;
  Port(0x0A) = 50;
  EXPECT_EQ(Line(50)[75], s1);
}

TEST_F(Scene, Screen2HidesSpritesBehindItsOpaquePixels) {
  Port(0x00) = 0x06;
  SolidTile2(1, 0);
  SolidTile2(3, 3);
  // Screen 2: columns 0-1 palette 2 (value 0 opaque), columns 2-3 palette 6
  // (value 0 transparent), the rest palette 2 again.
  FillMap(0x1800, Entry(1, 2));
  for (int r = 0; r < 32; ++r) {
    MapEntry(0x1800, 2, r, Entry(1, 6));
    MapEntry(0x1800, 3, r, Entry(1, 6));
  }
  Sprite(0, Entry(3, 0), 20, 4);           // behind screen 2
  Sprite(1, Entry(3, 1), 20, 20);          // behind, over the transparent columns
  Sprite(2, Entry(3, 2, 0x2000), 20, 40);  // in front
  const auto line = Line(22);
  EXPECT_EQ(line[4], Colour(2, 0)) << "covered by screen 2's colour 0";
  EXPECT_EQ(line[20], Colour(9, 3));
  EXPECT_EQ(line[40], Colour(10, 3));

  // Outside screen 2's window nothing covers the sprite.
  Port(0x00) = 0x26;
  Port(0x08) = 100;
  Port(0x09) = 0;
  Port(0x0A) = 200;
  Port(0x0B) = 143;
  EXPECT_EQ(Line(22)[4], Colour(8, 3));
}

TEST_F(Scene, SpritesAtTheEdges) {
  Port(0x00) = 0x04;
  for (int r = 0; r < 8; ++r)
    TileRowBytes(4, r, {uint8_t(r & 1 ? 0xFF : 0), uint8_t(r & 2 ? 0xFF : 0)});
  Sprite(0, Entry(4, 0), 0xF9, 30);  // y -7: only its bottom row, on line 0
  Sprite(1, Entry(3, 0), 50, 0xF8);  // x 248: not drawn
  Sprite(2, Entry(3, 1), 50, 0xFF);  // x -1: seven pixels at 0-6
  SolidTile2(3, 3);
  const auto top = Line(0);
  EXPECT_EQ(top[30], Colour(8, 3)) << "row 7 of the tile";
  EXPECT_EQ(top[29], Shade(0));
  EXPECT_EQ(Line(1)[30], Shade(0));

  const auto line = Line(50);
  for (int x = 0; x < 7; ++x) EXPECT_EQ(line[x], Colour(9, 3)) << x;
  EXPECT_EQ(line[7], Shade(0));
  for (int x = 200; x < 224; ++x) EXPECT_EQ(line[x], Shade(0)) << x;

  Sprite(3, Entry(3, 0), 136, 223);  // the last line and column
  EXPECT_EQ(Line(143)[223], Colour(8, 3));
  EXPECT_EQ(Line(135)[223], Shade(0));
}

TEST_F(Scene, EarlierSpritesCoverLaterOnes) {
  Port(0x00) = 0x04;
  SolidTile2(3, 3);
  TileRowBytes(5, 0, {0xF0, 0xF0});  // left half 3, right half 0
  Sprite(0, Entry(5, 4), 0, 10);     // palette 12: value 0 transparent
  Sprite(1, Entry(3, 1), 0, 12);
  Sprite(2, Entry(3, 2), 0, 14);
  const auto line = Line(0);
  EXPECT_EQ(line[10], Colour(12, 3));
  EXPECT_EQ(line[13], Colour(12, 3));
  EXPECT_EQ(line[14], Colour(9, 3)) << "sprite 1 over sprite 2, seen through sprite 0";
  EXPECT_EQ(line[19], Colour(9, 3));
  EXPECT_EQ(line[20], Colour(10, 3));
  EXPECT_EQ(line[21], Colour(10, 3));
  EXPECT_EQ(line[22], Shade(0));

  m->sprites.count = 0;
  EXPECT_EQ(Line(0)[12], Shade(0)) << "an empty snapshot draws nothing";
}

TEST_F(Scene, SpriteFlipsAndFormats) {
  Port(0x00) = 0x04;
  Port(0x60) = kPlanar4;
  for (int r = 0; r < 8; ++r) TileRowBytes(6, r, {uint8_t(1 << r), 0, 0, 0x80});
  Sprite(0, Entry(6, 3), 10, 0);
  Sprite(1, Entry(6, 3, 0x4000), 10, 16);
  Sprite(2, Entry(6, 3, 0x8000), 10, 32);
  const auto line = Line(12);  // row 2: pixel 5 is 1, pixel 0 is 8
  EXPECT_EQ(line[0], Colour(11, 8));
  EXPECT_EQ(line[5], Colour(11, 1));
  EXPECT_EQ(line[1], Colour(0, 0)) << "value 0 shows the background with 4 bits per pixel";
  EXPECT_EQ(line[16 + 7], Colour(11, 8));
  EXPECT_EQ(line[16 + 2], Colour(11, 1));
  EXPECT_EQ(line[32], Colour(11, 8));
  EXPECT_EQ(line[32 + 2], Colour(11, 1)) << "vertical flip: row 5";
}

TEST_F(Scene, SpriteWindowChoosesTheSideByAttributeBit12) {
  Port(0x00) = 0x0C;
  Port(0x0C) = 20;
  Port(0x0D) = 0;
  Port(0x0E) = 27;
  Port(0x0F) = 10;
  SolidTile2(3, 3);
  Sprite(0, Entry(3, 0), 0, 16);          // inside only
  Sprite(1, Entry(3, 1, 0x1000), 8, 16);  // outside only
  const auto line = Line(5);
  EXPECT_EQ(line[19], Shade(0));
  EXPECT_EQ(line[20], Colour(8, 3));
  EXPECT_EQ(line[23], Colour(8, 3));
  const auto lower = Line(9);  // inside the window rows: sprite 1 shows only left of x 20
  EXPECT_EQ(lower[19], Colour(9, 3));
  EXPECT_EQ(lower[20], Shade(0));
  EXPECT_EQ(Line(11)[20], Colour(9, 3)) << "below the window everything is outside";

  Port(0x00) = 0x04;  // window off: both sides drawn everywhere
  EXPECT_EQ(Line(5)[16], Colour(8, 3));
}

class Copy : public Scene {};

TEST_F(Copy, HorizontalLinesGoToTheirRow) {
  Port(0x01) = 0x02;
  Port(0x00) = 0x04;
  SolidTile2(3, 3);
  Sprite(0, Entry(3, 0), 136, 216);
  for (int line = 0; line < 144; ++line) ASSERT_EQ(RenderLine(*m, line), 0);
  EXPECT_EQ(m.display.FramePixel(0, 0), Shade(2));
  EXPECT_EQ(m.display.FramePixel(223, 143), Colour(8, 3));
  EXPECT_EQ(m.display.FramePixel(215, 143), Shade(2));
}

TEST_F(Copy, VerticalLinesGoToColumnsTurnedLeft) {
  SetDisplayGeometry(*m, 1, 1);
  ASSERT_EQ(m.display.width(), 144);
  ASSERT_EQ(m.display.height(), 224);
  Port(0x00) = 0x04;
  SolidTile2(3, 3);
  Sprite(0, Entry(3, 0), 0, 0);
  Sprite(1, Entry(3, 1), 136, 216);
  for (int line = 0; line < 144; ++line) ASSERT_EQ(RenderLine(*m, line), 0);
  EXPECT_EQ(m.display.FramePixel(0, 223), Colour(8, 3)) << "LCD (0, 0)";
  EXPECT_EQ(m.display.FramePixel(143, 0), Colour(9, 3)) << "LCD (223, 143)";
  EXPECT_EQ(m.display.FramePixel(7, 216), Colour(8, 3)) << "LCD (7, 7)";
  EXPECT_EQ(m.display.FramePixel(8, 216), Shade(0));
}

TEST_F(Copy, WritesTwoAndThreeBytePixels) {
  for (const DisplayMode& mode : {test::kRgb565, test::kRgb24}) {
    VideoMachine other(mode);
    other->io.IoPorts[0x60] = 0x80;
    other->io.IoPorts[0x01] = 0x12;
    WritePaletteByte(*other, 0x24, 0x80);  // palette 1 colour 2 = 0x0F80
    WritePaletteByte(*other, 0x25, 0x0F);
    ASSERT_EQ(RenderLine(*other, 7), 0);
    const uint32_t expected = mode.bitsPerPixel == 16 ? 0xFC40 : 0xFF8800;
    EXPECT_EQ(other.display.FramePixel(0, 7), expected);
    EXPECT_EQ(other.display.FramePixel(223, 7), expected);
    EXPECT_EQ(other.display.FramePixel(0, 6), 0u);
  }
}

TEST(RenderWithoutOutput, ReturnsMinusOneAndTellsOnlyWhenVerbose) {
  test::TestMachine m;
  test::DetachDisplay(m, nullptr);
  EXPECT_EQ(RenderLine(*m, 0), -1);
  EXPECT_TRUE(m.messages.messages.empty());
  m->settings.Verbose = 1;
  EXPECT_EQ(RenderLine(*m, 0), -1);
  ASSERT_EQ(m.messages.texts(), std::vector<std::string>{"ｻｰﾌｪｰｽがありません"});
  EXPECT_EQ(m.messages.messages[0].caption, "WsDrawｴﾗｰ");
}

}  // namespace
}  // namespace kestra
