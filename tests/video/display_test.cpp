#include <gtest/gtest.h>

#include <cstring>

#include "core/machine.h"
#include "video/display.h"
#include "video/png.h"
#include "video/renderer.h"
#include "video_test_support.h"

namespace kestra {
namespace {

using test::ScriptedDisplay;
using test::VideoMachine;

TEST(Geometry, ClientAreaIsTheScaledImageAboveTheStatusBar) {
  const DisplayGeometry one = GeometryFor(1, 0);
  EXPECT_EQ(one.clientWidth, 224);
  EXPECT_EQ(one.clientHeight, 164);
  EXPECT_EQ(one.imageWidth, 224);
  EXPECT_EQ(one.imageHeight, 144);

  const DisplayGeometry two = GeometryFor(2, 0);
  EXPECT_EQ(two.clientWidth, 448);
  EXPECT_EQ(two.clientHeight, 308);
  EXPECT_EQ(two.imageHeight, 288);

  const DisplayGeometry threeUp = GeometryFor(3, 1);
  EXPECT_EQ(threeUp.clientWidth, 432);
  EXPECT_EQ(threeUp.clientHeight, 692);
  EXPECT_EQ(threeUp.imageHeight, 672);
  EXPECT_EQ(threeUp.frameWidth, 144);
  EXPECT_EQ(threeUp.frameHeight, 224);

  const DisplayGeometry twoUp = GeometryFor(2, 1);  // F1 at scale 2
  EXPECT_EQ(twoUp.clientWidth, 288);
  EXPECT_EQ(twoUp.clientHeight, 468);
}

TEST(OpenDisplay, TakesTheDesktopsDepthAndMasks) {
  VideoMachine rgb565(test::kRgb565);
  EXPECT_EQ(rgb565->display.format.bytesPerPixel, 2);
  EXPECT_EQ(rgb565->display.format.greenShift, 21);
  VideoMachine rgb24(test::kRgb24);
  EXPECT_EQ(rgb24->display.format.bytesPerPixel, 3);
  EXPECT_EQ(rgb24->display.FramePitch, 224 * 3);
  VideoMachine xrgb;
  EXPECT_EQ(xrgb->display.format.bytesPerPixel, 4);
  EXPECT_EQ(xrgb->display.format.redShift, 8);
  EXPECT_EQ(xrgb.display.width(), 224);
  EXPECT_EQ(xrgb.display.height(), 144);
  EXPECT_TRUE(xrgb.machine.messages.messages.empty());

  EXPECT_EQ(BytesPerPixelForDepth(15), 0);
  EXPECT_EQ(BytesPerPixelForDepth(17), 3);
  EXPECT_EQ(BytesPerPixelForDepth(25), 4);
  EXPECT_EQ(BytesPerPixelForDepth(33), 0);
}

TEST(OpenDisplay, AnEightBitDesktopLeavesNoOutput) {
  VideoMachine m(DisplayMode{8, 0, 0, 0});
  EXPECT_EQ(m->display.FrameBuffer, nullptr);
  ASSERT_EQ(m.machine.messages.texts(),
            std::vector<std::string>{"16ﾋﾞｯﾄ色以上32ﾋﾞｯﾄ色以下にして下さい"});
  EXPECT_EQ(m.machine.messages.messages[0].caption, "WsDrawｴﾗｰ");
  EXPECT_EQ(m.display.closes, 1);
  // The emulation runs on without a picture.
  EXPECT_EQ(RenderLine(*m, 0), -1);
  EXPECT_EQ(PresentFrame(*m), -1);
  EXPECT_EQ(m.machine.messages.messages.size(), 1u) << "per-frame failures need Verbose";
}

TEST(OpenDisplay, EveryFailingStepIsReportedAndClosesTheOutput) {
  const struct {
    ScriptedDisplay::Step step;
    const char* text;
  } cases[] = {
      {ScriptedDisplay::kOpen, "DDrawが作成できません"},
      {ScriptedDisplay::kMode, "ﾃﾞｨｽﾌﾟﾚｲﾓｰﾄﾞを取得できません"},
      {ScriptedDisplay::kPrimary, "ﾌﾟﾗｲﾏﾘｻｰﾌｪｰｽが作成できません"},
      {ScriptedDisplay::kFrameBuffer, "ﾒｲﾝ領域ﾊﾞｯｸｻｰﾌｪｰｽが作成できません"},
      {ScriptedDisplay::kSurfaceShape, "ﾃﾞｨｽﾌﾟﾚｲﾓｰﾄﾞを取得できません"},
  };
  for (const auto& c : cases) {
    test::TestMachine m;
    ScriptedDisplay display;
    display.fail = c.step;
    test::DetachDisplay(m, &display);
    EXPECT_EQ(OpenDisplay(*m), -1) << c.text;
    EXPECT_EQ(m.messages.texts(), std::vector<std::string>{c.text});
    EXPECT_EQ(m->display.FrameBuffer, nullptr);
    EXPECT_EQ(display.closes, c.step == ScriptedDisplay::kOpen ? 0 : 1) << c.text;

    display.fail = ScriptedDisplay::kNone;  // a later geometry change tries again
    SetDisplayGeometry(*m, 2, 0);
    EXPECT_NE(m->display.FrameBuffer, nullptr) << c.text;
    EXPECT_EQ(display.scale(), 2);
  }
  test::TestMachine none;
  test::DetachDisplay(none, nullptr);  // no platform display at all
  EXPECT_EQ(OpenDisplay(*none), -1);
  EXPECT_EQ(none.messages.texts(), std::vector<std::string>{"DDrawが作成できません"});
}

TEST(SetDisplayGeometry, RecreatesTheOutputOnlyForNewValues) {
  VideoMachine m;
  WritePaletteByte(*m, 0x30, 0x0F);
  ASSERT_EQ(m.display.opens, 1);
  EXPECT_EQ(SetDisplayGeometry(*m, 1, 0), 0);
  EXPECT_EQ(m.display.opens, 1);
  EXPECT_EQ(m.display.closes, 0);

  EXPECT_EQ(SetDisplayGeometry(*m, 3, 1), 0);
  EXPECT_EQ(m.display.opens, 2);
  EXPECT_EQ(m.display.closes, 1);
  EXPECT_EQ(m.display.width(), 144);
  EXPECT_EQ(m.display.height(), 224);
  EXPECT_EQ(m.display.scale(), 3);
  EXPECT_EQ(m->colours.HostColours[0x18], 0x0000FFu) << "colours survive the re-creation";
}

TEST(SetDisplayGeometry, BeforeTheWindowOpensTheOutputOnlyKeepsTheValues) {
  test::TestMachine m;
  ScriptedDisplay display;
  test::DetachDisplay(m, &display);
  SetDisplayGeometry(*m, 2, 0);
  EXPECT_EQ(display.opens, 0);
  EXPECT_EQ(m->display.DisplayScale, 2);
  ASSERT_EQ(OpenDisplay(*m), 0);
  EXPECT_EQ(display.scale(), 2);
  EXPECT_EQ(display.width(), 224);
}

TEST(OpenDisplay, AChangedDesktopFormatReconvertsTheColours) {
  VideoMachine m(test::kRgb565);
  WritePaletteByte(*m, 0, 0x80);
  WritePaletteByte(*m, 1, 0x0F);
  ASSERT_EQ(m->colours.HostColours[0], 0xFC40u);
  test::ScriptedDisplay deeper;
  CloseDisplay(*m);
  m->host.display = &deeper;
  ASSERT_EQ(OpenDisplay(*m), 0);
  EXPECT_EQ(m->colours.HostColours[0], 0xFF8800u);
}

TEST(PresentFrame, PublishesTheFinishedFrame) {
  VideoMachine m;
  m->io.IoPorts[0x60] = 0x80;
  m->io.IoPorts[0x01] = 0x01;
  WritePaletteByte(*m, 2, 0x34);
  for (int line = 0; line < 144; ++line) RenderLine(*m, line);
  EXPECT_EQ(m.display.PresentedPixel(5, 5), 0u);
  ASSERT_EQ(PresentFrame(*m), 0);
  EXPECT_EQ(m.display.presentedFrames(), 1);
  EXPECT_EQ(m.display.PresentedPixel(5, 5), 0x3344u);
  EXPECT_EQ(m.display.PresentedPixel(223, 143), 0x3344u);

  ClearOutput(*m);
  EXPECT_EQ(m.display.PresentedPixel(5, 5), 0u);
  EXPECT_EQ(m.display.FramePixel(5, 5), 0u);
}

TEST(PresentFrame, FailuresAreShownOnlyWithVerbose) {
  VideoMachine m;
  m.display.fail = ScriptedDisplay::kPresent;
  EXPECT_EQ(PresentFrame(*m), -1);
  EXPECT_TRUE(m.machine.messages.messages.empty());
  m->settings.Verbose = 1;
  EXPECT_EQ(PresentFrame(*m), -1);
  m.display.fail = ScriptedDisplay::kClearFrame;
  ClearOutput(*m);
  m.display.fail = ScriptedDisplay::kClearPrimary;
  ClearOutput(*m);
  CloseDisplay(*m);
  EXPECT_EQ(PresentFrame(*m), -1);
  EXPECT_EQ(m.machine.messages.texts(),
            (std::vector<std::string>{"ﾌﾟﾗｲﾏﾘｻｰﾌｪｰｽにﾋﾞﾙﾄできません", "ﾊﾞｯｸｻｰﾌｪｰｽにﾋﾞﾙﾄできません",
                                      "ﾌﾟﾗｲﾏﾘｻｰﾌｪｰｽにﾋﾞﾙﾄできません", "ﾊﾞｯｸｻｰﾌｪｰｽがありません"}));
  const int clears = m.display.frameClears;
  ClearOutput(*m);
  EXPECT_EQ(m.display.frameClears, clears) << "nothing to clear without an output";
}

TEST(Screenshot, WritesTheLastPresentedFrameAsPng) {
  VideoMachine m;
  m->io.IoPorts[0x60] = 0x80;
  m->io.IoPorts[0x00] = 0x04;
  WritePaletteByte(*m, 0x100 + 2, 0x8F);  // palette 8 colour 1: red 0, green 8, blue 15
  m->mem.Iram[0x2000 + 16] = 0xFF;        // tile 1 row 0: value 1
  m->sprites.entries[0] = 1;
  m->sprites.entries[2] = 143;
  m->sprites.entries[3] = 220;
  m->sprites.count = 1;
  for (int line = 0; line < 144; ++line) RenderLine(*m, line);
  PresentFrame(*m);
  m->mem.Iram[0x2000 + 16] = 0;
  for (int line = 0; line < 144; ++line) RenderLine(*m, line);  // drawn, not presented

  test::TempDir dir;
  ASSERT_TRUE(SaveScreenshot(m.display, dir.file("shot.png")));
  const test::PngImage png = test::ReadStoredPng(dir.file("shot.png"));
  ASSERT_EQ(png.width, 224);
  ASSERT_EQ(png.height, 144);
  const size_t at = (143 * 224 + 221) * 3;
  EXPECT_EQ(png.rgb[at], 0x00);
  EXPECT_EQ(png.rgb[at + 1], 0x88);
  EXPECT_EQ(png.rgb[at + 2], 0xFF);
  EXPECT_EQ(png.rgb[at - 3 * 2], 0x00) << "x 219: background";
  EXPECT_FALSE(SaveScreenshot(m.display, dir.file("missing/shot.png")));
}

TEST(Screenshot, ExpandsNarrowComponentsToFullBytes) {
  VideoMachine m(test::kRgb565);
  m->io.IoPorts[0x60] = 0x80;
  WritePaletteByte(*m, 0, 0xF0);  // green 15
  WritePaletteByte(*m, 1, 0x08);  // red 8
  RenderLine(*m, 0);
  PresentFrame(*m);
  const std::vector<uint8_t> rgb = m.display.PresentedRgb();
  EXPECT_EQ(rgb[0], 0x8C);  // 5 bits 10001, repeated downwards
  EXPECT_EQ(rgb[1], 0xFF);
  EXPECT_EQ(rgb[2], 0x00);
}

TEST(Png, ChecksumsAndStoredBlocks) {
  const uint8_t iend[] = {'I', 'E', 'N', 'D'};
  EXPECT_EQ(Crc32(iend, 4), 0xAE426082u);
  const std::string wiki = "Wikipedia";
  EXPECT_EQ(Adler32(reinterpret_cast<const uint8_t*>(wiki.data()), wiki.size()), 0x11E60398u);

  // 300 x 100 RGB: more than 64 KiB of rows.
  std::vector<uint8_t> rgb(300 * 100 * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 7 + i / 251);
  const std::vector<uint8_t> png = EncodePng(300, 100, rgb);
  const test::PngImage back = test::DecodeStoredPng(png);
  EXPECT_EQ(back.width, 300);
  EXPECT_EQ(back.height, 100);
  EXPECT_EQ(back.rgb, rgb);
  // The IDAT chunk's CRC covers its type and data.
  const size_t idat = 8 + 25;
  const uint32_t length =
      png[idat] << 24 | png[idat + 1] << 16 | png[idat + 2] << 8 | png[idat + 3];
  const uint8_t* crc = &png[idat + 8 + length];
  EXPECT_EQ(Crc32(&png[idat + 4], length + 4),
            static_cast<uint32_t>(crc[0] << 24 | crc[1] << 16 | crc[2] << 8 | crc[3]));
}

// Save-state thumbnails: rows with padding between them, the unused top
// byte ignored, the picture compressed.
TEST(Png, XrgbPicturesComeBackAsTheyWent) {
  constexpr int kW = 37, kH = 5, kPitch = kW * 4 + 12;
  std::vector<uint8_t> pixels(kPitch * kH, 0xEE);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const uint32_t v = 0xAB000000u | static_cast<uint32_t>(x * 0x0701F3 + y * 0x1F0305);
      std::memcpy(&pixels[y * kPitch + 4 * x], &v, 4);
    }
  }
  std::vector<uint8_t> png;
  ASSERT_TRUE(EncodePngXrgb(pixels.data(), kW, kH, kPitch, png));
  XrgbImage back;
  std::string error;
  ASSERT_TRUE(DecodePng(png.data(), png.size(), back, error)) << error;
  ASSERT_EQ(back.width, kW);
  ASSERT_EQ(back.height, kH);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      uint32_t v;
      std::memcpy(&v, &pixels[y * kPitch + 4 * x], 4);
      ASSERT_EQ(back.pixels[y * kW + x], v & 0xFFFFFF) << "x " << x << ", y " << y;
    }
  }

  const std::vector<uint8_t> flat(224 * 144 * 4, 0x40);
  ASSERT_TRUE(EncodePngXrgb(flat.data(), 224, 144, 224 * 4, png));
  EXPECT_LT(png.size(), 224u * 144 * 3 / 20) << "a flat picture compresses";

  EXPECT_FALSE(EncodePngXrgb(pixels.data(), kW, kH, kW * 4 - 1, png)) << "pitch too short";
  EXPECT_TRUE(png.empty());
  EXPECT_FALSE(EncodePngXrgb(pixels.data(), 0, kH, kPitch, png));
  EXPECT_TRUE(EncodePng(2, 2, std::vector<uint8_t>(11)).empty()) << "rgb of the wrong size";
}

TEST(Png, BrokenPicturesAreRefusedWithAMessage) {
  std::vector<uint8_t> rgb(64 * 64 * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 13 + i / 97);
  const std::vector<uint8_t> good = EncodePng(64, 64, rgb);
  ASSERT_FALSE(good.empty());

  std::vector<uint8_t> truncated(good.begin(), good.begin() + good.size() / 2);
  std::vector<uint8_t> badCrc = good;
  size_t idat = 8;
  while (idat + 8 < good.size() && std::memcmp(&good[idat + 4], "IDAT", 4) != 0) {
    idat += 12 + (good[idat] << 24 | good[idat + 1] << 16 | good[idat + 2] << 8 | good[idat + 3]);
  }
  ASSERT_LT(idat + 12, good.size());
  badCrc[idat + 8 + 3] ^= 0x55;  // inside the first IDAT's data
  const std::vector<uint8_t> notPng = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0};
  // A header claiming 100000 x 100000 pixels, with a matching CRC.
  std::vector<uint8_t> huge(good.begin(), good.begin() + 33);
  for (int k = 0; k < 2; ++k) {
    const uint32_t side = 100000;
    for (int b = 0; b < 4; ++b) huge[16 + 4 * k + b] = static_cast<uint8_t>(side >> (24 - 8 * b));
  }
  const uint32_t crc = Crc32(&huge[12], 17);
  for (int b = 0; b < 4; ++b) huge[29 + b] = static_cast<uint8_t>(crc >> (24 - 8 * b));
  huge.insert(huge.end(), good.begin() + 33, good.end());

  const struct {
    const char* what;
    std::vector<uint8_t> data;
  } cases[] = {{"empty", {}}, {"truncated", truncated}, {"bad IDAT CRC", badCrc},
               {"not a PNG", notPng}, {"too large", huge}};
  for (const auto& c : cases) {
    XrgbImage image;
    image.width = 7;
    std::string error;
    EXPECT_FALSE(DecodePng(c.data.data(), c.data.size(), image, error)) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
    EXPECT_EQ(image.width, 0) << c.what;
    EXPECT_TRUE(image.pixels.empty()) << c.what;
  }

  test::TempDir dir;
  XrgbImage image;
  std::string error;
  EXPECT_FALSE(ReadPngFile(dir.file("missing.png"), image, error));
  EXPECT_NE(error.find("missing.png"), std::string::npos) << error;
  EXPECT_FALSE(ReadPngFile(dir.path().string(), image, error)) << "a directory";
  ASSERT_TRUE(WritePngFile(dir.file("good.png"), 64, 64, rgb));
  ASSERT_TRUE(ReadPngFile(dir.file("good.png"), image, error)) << error;
  EXPECT_EQ(image.pixels[65], static_cast<uint32_t>(rgb[195] << 16 | rgb[196] << 8 | rgb[197]));
}

}  // namespace
}  // namespace kestra
