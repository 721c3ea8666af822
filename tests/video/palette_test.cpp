#include <gtest/gtest.h>

#include "core/machine.h"
#include "video/palette.h"
#include "video_test_support.h"

namespace kestra {
namespace {

using test::VideoMachine;

TEST(ColourConversion, MaskShiftsCountTheZeroBitsAboveTheMask) {
  EXPECT_EQ(MaskShift(0xF800), 16);
  EXPECT_EQ(MaskShift(0x07E0), 21);
  EXPECT_EQ(MaskShift(0x001F), 27);
  EXPECT_EQ(MaskShift(0xFF0000), 8);
  EXPECT_EQ(MaskShift(0xFF000000), 0);
  EXPECT_EQ(MaskShift(0), 32);
}

TEST(ColourConversion, KeepsTheTopBitsOfEachComponentThatFitItsMask) {
  const PixelFormat rgb565 = MakePixelFormat(2, 0xF800, 0x07E0, 0x001F);
  EXPECT_EQ(ConvertColour(rgb565, 0x0F80), 0xFC40u);
  EXPECT_EQ(ConvertColour(rgb565, 0x0FFF), 0xFFFFu);
  EXPECT_EQ(ConvertColour(rgb565, 0x00F0), 0x07E0u);
  EXPECT_EQ(ConvertColour(rgb565, 0x0000), 0u);
  EXPECT_EQ(ConvertColour(rgb565, 0x000F), 0x001Fu);
  EXPECT_EQ(ConvertColour(rgb565, 0x0888), 0x8C51u);
  EXPECT_EQ(ConvertColour(rgb565, 0xF000), 0u) << "bits 12-15 are not a colour";

  const PixelFormat rgb555 = MakePixelFormat(2, 0x7C00, 0x03E0, 0x001F);
  EXPECT_EQ(ConvertColour(rgb555, 0x0F80), 0x7E20u);
  EXPECT_EQ(ConvertColour(rgb555, 0x0FFF), 0x7FFFu);

  const PixelFormat rgb24 = MakePixelFormat(3, 0xFF0000, 0x00FF00, 0x0000FF);
  EXPECT_EQ(ConvertColour(rgb24, 0x0F80), 0xFF8800u);
  EXPECT_EQ(ConvertColour(rgb24, 0x0123), 0x112233u);

  const PixelFormat bgr32 = MakePixelFormat(4, 0x0000FF, 0x00FF00, 0xFF0000);
  EXPECT_EQ(ConvertColour(bgr32, 0x0F80), 0x0088FFu);

  const PixelFormat noBlue = MakePixelFormat(2, 0xF800, 0x07E0, 0);
  EXPECT_EQ(ConvertColour(noBlue, 0x0FFF), 0xFFE0u) << "an empty mask contributes nothing";
}

TEST(PaletteBytes, ReconvertTheWholeWordOfTheByteWritten) {
  VideoMachine m(test::kRgb565);
  WritePaletteByte(*m, 0x22, 0x80);
  WritePaletteByte(*m, 0x23, 0x0F);
  EXPECT_EQ(m->colours.HostColours[0x11], 0xFC40u);
  WritePaletteByte(*m, 0x22, 0xFF);  // the low byte again, with the high byte kept
  EXPECT_EQ(m->colours.HostColours[0x11], 0xFFFFu);
  WritePaletteByte(*m, 0x20F, 0x0F);  // shade 7, high byte
  EXPECT_EQ(m->palette.PaletteWords[0x20F], 0x0F);
  EXPECT_EQ(m->colours.HostColours[263], 0xF800u);
}

TEST(PaletteBytes, ColourRamByteGoesThroughInternalRamInEveryMode) {
  VideoMachine m(kXrgb32);
  m->io.IoPorts[0x60] = 0x80;
  WriteMemory(*m, 0xFE00, 0x5A);
  EXPECT_EQ(m->colours.HostColours[0], 0x0055AAu);
  WriteMemory(*m, 0xFE01, 0x0F);  // red 15, green and blue from the byte at 0xFE00
  EXPECT_EQ(m->colours.HostColours[0], 0xFF55AAu);
  EXPECT_EQ(m->palette.PaletteWords[1], 0x0F);

  m->io.IoPorts[0x60] = 0x00;  // monochrome: the colour RAM still changes the colour at once
  WriteMemory(*m, 0xFFFE, 0x21);
  WriteMemory(*m, 0xFFFF, 0x03);
  EXPECT_EQ(m->colours.HostColours[255], 0x332211u);
}

TEST(PaletteBytes, AreLostWithoutAFrameBuffer) {
  test::TestMachine m;
  test::DetachDisplay(m, nullptr);
  WritePaletteByte(*m, 0x10, 0x34);
  EXPECT_EQ(m->palette.PaletteWords[0x10], 0);
  EXPECT_TRUE(m.messages.messages.empty()) << "silent unless Verbose";

  m->settings.Verbose = 1;
  WritePaletteByte(*m, 0x10, 0x34);
  EXPECT_EQ(m->palette.PaletteWords[0x10], 0);
  ASSERT_EQ(m.messages.messages.size(), 1u);
  EXPECT_EQ(m.messages.messages[0].caption, "WsDrawｴﾗｰ");
  EXPECT_EQ(m.messages.messages[0].text, "ｻｰﾌｪｰｽがありません");
  EXPECT_EQ(m.messages.messages[0].icon, MessageIcon::Warning);
}

// Writes a port the way the port file does: side effect first, then the store.
void WriteDisplayPort(Machine& m, uint32_t port, uint8_t value) {
  if (port >= 0x1C && port <= 0x1F) WriteShadePort(m, port, value);
  if (port >= 0x20 && port <= 0x3F) WriteMonoPalettePort(m, port, value);
  m.io.IoPorts[port] = value;
}

TEST(ShadePorts, PickTwoLevelsAndReapplyEveryPalettePort) {
  VideoMachine m(test::kRgb565);
  WriteDisplayPort(*m, 0x20, 0x10);  // palette 0: colour 0 shade 0, colour 1 shade 1
  WriteDisplayPort(*m, 0x3F, 0x01);  // palette 15: colour 2 shade 1, colour 3 shade 0
  // Shades are still level 0 of an all-zero pool; now define them.
  WriteShadePort(*m, 0x1C, 0x70);
  EXPECT_EQ(m->palette.ShadePool[0], 0xFF);
  EXPECT_EQ(m->palette.ShadePool[1], 0x88);
  EXPECT_EQ(m->colours.HostColours[256], 0xFFFFu);
  EXPECT_EQ(m->colours.HostColours[257], 0x8C51u);
  EXPECT_EQ(m->palette.PaletteWords[0x202], 0x88);
  EXPECT_EQ(m->palette.PaletteWords[0x203], 0x88);
  // Both palettes followed the new shades.
  EXPECT_EQ(m->colours.HostColours[0], 0xFFFFu);
  EXPECT_EQ(m->colours.HostColours[1], 0x8C51u);
  EXPECT_EQ(m->colours.HostColours[15 * 16 + 2], 0x8C51u);
  EXPECT_EQ(m->colours.HostColours[15 * 16 + 3], 0xFFFFu);
  EXPECT_EQ(m->palette.PaletteWords[0x1E5], 0x88);

  WriteShadePort(*m, 0x1F, 0xF0);  // shades 6 and 7
  EXPECT_EQ(m->palette.ShadePool[6], 0xFF);
  EXPECT_EQ(m->palette.ShadePool[7], 0x00);
  EXPECT_EQ(m->colours.HostColours[263], 0u);
}

TEST(MonochromePalettePorts, SetTwoColoursFromTheShadePool) {
  VideoMachine m(kXrgb32);
  WriteDisplayPort(*m, 0x1C, 0x10);  // shades 0, 1: levels 0, 1
  WriteDisplayPort(*m, 0x1D, 0x32);  // shades 2, 3: levels 2, 3
  WriteDisplayPort(*m, 0x1E, 0x54);
  WriteDisplayPort(*m, 0x1F, 0x76);
  const uint32_t* c = m->colours.HostColours;

  WriteDisplayPort(*m, 0x25, 0x21);  // odd port: palette 2 colours 2 and 3
  EXPECT_EQ(c[2 * 16 + 2], c[256 + 1]);
  EXPECT_EQ(c[2 * 16 + 3], c[256 + 2]);
  EXPECT_EQ(c[2 * 16 + 2], 0xEEEEEEu);

  WriteDisplayPort(*m, 0x20, 0x5F);  // bit 3 of each nibble ignored
  EXPECT_EQ(c[0], c[256 + 7]);
  EXPECT_EQ(c[1], c[256 + 5]);
  EXPECT_EQ(c[0], 0x888888u);
}

TEST(MonochromePalettePorts, DoNothingInColourMode) {
  VideoMachine m(kXrgb32);
  m->io.IoPorts[0x60] = 0x80;
  uint32_t before[kHostColourCount];
  std::copy(std::begin(m->colours.HostColours), std::end(m->colours.HostColours), before);
  WriteDisplayPort(*m, 0x1C, 0x7F);
  WriteDisplayPort(*m, 0x21, 0x77);
  EXPECT_TRUE(std::equal(std::begin(before), std::end(before), m->colours.HostColours));
  EXPECT_EQ(m->palette.ShadePool[0], 0);
  EXPECT_EQ(m->io.IoPorts[0x21], 0x77) << "the port itself is stored";
}

TEST(MonochromePalettePorts, TheResetValuesBuildTheInitialGreys) {
  VideoMachine m(kXrgb32);
  const uint8_t shadePorts[4] = {0x99, 0xFD, 0xB7, 0xDF};
  for (int j = 0; j < 4; ++j) WriteDisplayPort(*m, 0x1C + j, shadePorts[j]);
  const uint8_t pool[8] = {0x66, 0x66, 0x22, 0x00, 0x88, 0x44, 0x00, 0x22};
  EXPECT_TRUE(std::equal(pool, pool + 8, m->palette.ShadePool));
  WriteDisplayPort(*m, 0x20, 0x30);  // palette 0: shade 0, shade 3
  EXPECT_EQ(m->colours.HostColours[0], 0x666666u);
  EXPECT_EQ(m->colours.HostColours[1], 0x000000u);
}

}  // namespace
}  // namespace kestra
