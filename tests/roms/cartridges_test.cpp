// Our own cartridges through kestra-headless: the colour demo and its upright
// twin (pictures against references, the pads, the high score in the .sav
// file, the tune) and the benchmark cartridge (its VBlank count in save RAM,
// the same run every time). Each run works on a copy of the image in a
// temporary directory, so no .sav file is left beside the built images.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "video/png.h"

namespace kestra::test {
namespace {

namespace fs = std::filesystem;

constexpr int kSamplesPerFrame = 636;  // 48,000 / 75.47 at 16-bit stereo

// A cartridge image copied into its own directory.
struct Cartridge {
  explicit Cartridge(const std::string& name, const std::string& ext = ".wsc") : name(name), ext(ext) {
    fs::copy_file(RomPath(name + ext), image());
  }
  std::string image() const { return dir.file(name + ext); }
  std::string file(const std::string& what) const { return dir.file(what); }
  std::vector<uint8_t> Save() const { return ReadFile(dir.file(name + ".sav")); }

  int Run(const std::string& args) const { return test::RunHeadlessLine(args + " " + image()).status; }

  TempDir dir;
  std::string name;
  std::string ext;
};

uint16_t Word(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<uint16_t>(bytes.at(at) | bytes.at(at + 1) << 8);
}

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;
};

// Reads the PNGs that kestra-headless writes (and the references) through
// the program's own decoder. Anything unreadable comes back empty.
Picture ReadPicture(const std::string& path) {
  XrgbImage image;
  std::string error;
  if (!ReadPngFile(path, image, error)) return {};
  Picture picture;
  picture.width = image.width;
  picture.height = image.height;
  for (const uint32_t v : image.pixels) {
    picture.rgb.insert(picture.rgb.end(), {static_cast<uint8_t>(v >> 16),
                                           static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
  }
  return picture;
}

std::string Reference(const std::string& name) {
  return std::string(KESTRA_SOURCE_DIR) + "/tests/roms/pictures/" + name + ".png";
}

// Compares a screenshot with its reference, pixel for pixel. A picture that
// differs is kept in the build directory for a look.
void ExpectPicture(const std::string& shot, const std::string& name) {
  const Picture actual = ReadPicture(shot);
  const Picture expected = ReadPicture(Reference(name));
  ASSERT_FALSE(expected.rgb.empty()) << "unreadable reference " << Reference(name);
  ASSERT_FALSE(actual.rgb.empty()) << "unreadable screenshot " << shot;
  ASSERT_EQ(actual.width, expected.width) << name;
  ASSERT_EQ(actual.height, expected.height) << name;
  size_t differ = 0;
  size_t first = 0;
  for (size_t i = 0; i < actual.rgb.size(); i += 3) {
    if (!std::equal(&actual.rgb[i], &actual.rgb[i] + 3, &expected.rgb[i])) {
      if (differ++ == 0) first = i / 3;
    }
  }
  if (differ) {
    const std::string kept = std::string(KESTRA_BINARY_DIR) + "/" + name + "-actual.png";
    fs::copy_file(shot, kept, fs::copy_options::overwrite_existing);
    ADD_FAILURE() << name << ": " << differ << " pixels differ, the first at (" << first % actual.width
                  << ", " << first / actual.width << "); the picture is in " << kept;
  }
}

// The demo's variables in internal RAM (roms/include/demo/defs.inc).
constexpr size_t kState = 0x108;
constexpr size_t kPlayerX = 0x10A;
constexpr size_t kPlayerY = 0x10C;
constexpr size_t kPlayerFace = 0x10E;
constexpr size_t kPlays = 0x11C;
constexpr size_t kBestSecs = 0x11E;
constexpr size_t kMap2 = 0x2800;

constexpr int kTitleFrames = 220;  // painted, and "PRESS START" is on
const std::string kStart = "--keys 200:200,206:0";  // Start at frame 200

struct Layout {
  const char* name;
  int startX, startY;      // where the kestrel starts in the scene
  int faceAfterRun;        // facing after the pad run below
  size_t cellX2, cellX4;   // map addresses of two labels of the keys line
  char glyphX4;            // the arrow on the X4 label
  size_t titlePlaysDigit;  // map address of the last digit of PLAYS
};

// Horizontal: text rows run along the map rows. Upright: a text row is a map
// column, 27 - row, and the text runs down it.
const Layout kLayouts[] = {
    {"demo", 40, 56, 1, kMap2 + 16 * 64 + 4 * 2, kMap2 + 16 * 64 + 6 * 2, '<',
     kMap2 + 17 * 64 + 11 * 2},
    {"demo-vertical", 68, 64, 0, kMap2 + 4 * 64 + 2 * 2, kMap2 + 6 * 64 + 2 * 2, '_',
     kMap2 + 13 * 64 + 3 * 2},
};

void PrintTo(const Layout& layout, std::ostream* os) { *os << layout.name; }

class Demo : public ::testing::TestWithParam<Layout> {};

TEST_P(Demo, TitleAndSceneMatchTheirReferencePictures) {
  const Layout& layout = GetParam();
  {
    Cartridge cart(layout.name);
    ASSERT_EQ(cart.Run("-n " + std::to_string(kTitleFrames) + " --screenshot " + cart.file("title.png")), 0);
    ExpectPicture(cart.file("title.png"), std::string(layout.name) + "-title");
  }
  {
    Cartridge cart(layout.name);
    ASSERT_EQ(cart.Run("-n 360 " + kStart + " --screenshot " + cart.file("scene.png")), 0);
    ExpectPicture(cart.file("scene.png"), std::string(layout.name) + "-scene");
  }
}

// The X pad moves the kestrel a pixel a frame, the Y pad two; the keys line
// lights the held key. X2 for 60 frames, Y3 for 20, then X4 to the end.
TEST_P(Demo, PadsFlyTheKestrelAndTheKeysLineShowsThem) {
  const Layout& layout = GetParam();
  Cartridge cart(layout.name);
  ASSERT_EQ(cart.Run("-n 310 --keys 200:200,206:0,220:20,280:4,300:80 --dump-iram " + cart.file("iram")), 0);
  const std::vector<uint8_t> iram = ReadFile(cart.file("iram"));
  EXPECT_EQ(Word(iram, kState), 1);
  // The run ends before the last frame's keys are acted on: X4 moves 9.
  EXPECT_EQ(Word(iram, kPlayerX), layout.startX + 60 - 9);
  EXPECT_EQ(Word(iram, kPlayerY), layout.startY + 2 * 20);
  EXPECT_EQ(Word(iram, kPlayerFace), layout.faceAfterRun);
  EXPECT_EQ((Word(iram, layout.cellX4) >> 9) & 15, 5) << "X4 held: gold";
  EXPECT_EQ((Word(iram, layout.cellX2) >> 9) & 15, 7) << "X2 released: dim";
  EXPECT_EQ(Word(iram, layout.cellX4) & 0x1FF, 128 + layout.glyphX4) << "the label itself";
}

// The number of plays and the best time live in save RAM: the .sav file
// written at exit holds them, and the next run shows and counts on.
TEST_P(Demo, HighScoreGoesToTheSaveFileAndComesBack) {
  const Layout& layout = GetParam();
  Cartridge cart(layout.name);
  ASSERT_EQ(cart.Run("-n 360 " + kStart), 0);  // 154 frames of play: 2 s
  std::vector<uint8_t> save = cart.Save();
  ASSERT_EQ(save.size(), 8192u);
  EXPECT_EQ(Word(save, 0), 0x444B);  // "KD"
  EXPECT_EQ(Word(save, 2), 1);       // plays
  EXPECT_EQ(Word(save, 4), 2);       // best seconds
  EXPECT_EQ(Word(save, 6), 1 + 2 + 0x1234);

  ASSERT_EQ(cart.Run("-n " + std::to_string(kTitleFrames) + " --dump-iram " + cart.file("iram")), 0);
  std::vector<uint8_t> iram = ReadFile(cart.file("iram"));
  EXPECT_EQ(Word(iram, kPlays), 1);
  EXPECT_EQ(Word(iram, kBestSecs), 2);
  EXPECT_EQ(Word(iram, layout.titlePlaysDigit) & 0x1FF, '1') << "PLAYS 0001 on the title";

  ASSERT_EQ(cart.Run("-n 260 " + kStart), 0);  // a short play: the best stays
  save = cart.Save();
  EXPECT_EQ(Word(save, 2), 2);
  EXPECT_EQ(Word(save, 4), 2);
  EXPECT_EQ(Word(save, 6), 2 + 2 + 0x1234);
}

INSTANTIATE_TEST_SUITE_P(Cartridges, Demo, ::testing::ValuesIn(kLayouts),
                         [](const auto& info) {
                           return std::string(info.param.name) == "demo" ? "Horizontal" : "Upright";
                         });

std::vector<int16_t> Left(const std::vector<uint8_t>& wav, int first, int last) {
  std::vector<int16_t> out;
  for (size_t f = size_t(first) * kSamplesPerFrame; f < size_t(last) * kSamplesPerFrame; ++f) {
    const size_t at = 44 + 4 * f;
    out.push_back(static_cast<int16_t>(Word(wav, at)));
  }
  return out;
}

double Rms(const std::vector<int16_t>& s) {
  double sum = 0;
  for (int16_t v : s) sum += double(v) * v;
  return s.empty() ? 0 : std::sqrt(sum / s.size());
}

double Amplitude(const std::vector<int16_t>& s, double hz) {
  std::complex<double> acc;
  for (size_t i = 0; i < s.size(); ++i) acc += double(s[i]) * std::polar(1.0, -2 * M_PI * hz * i / 48000);
  return 2 * std::abs(acc) / s.size();
}

// The tune starts with the title: A4 over A2 first. Option stops it, A calls.
TEST(DemoSound, TuneOptionAndCallAreInTheWav) {
  Cartridge cart("demo");
  ASSERT_EQ(cart.Run("-n 200 --keys 130:100,131:0,150:400,151:0 --wav " + cart.file("out.wav")), 0);
  const std::vector<uint8_t> wav = ReadFile(cart.file("out.wav"));
  ASSERT_EQ(wav.size(), 44u + 200u * kSamplesPerFrame * 4);

  int first = 0;
  while (first < 200 && Rms(Left(wav, first, first + 1)) == 0) ++first;
  EXPECT_GE(first, 1) << "silent while the cartridge starts";
  ASSERT_LE(first, 30) << "the tune starts with the title";
  const std::vector<int16_t> note = Left(wav, first + 2, first + 16);
  EXPECT_GT(Amplitude(note, 440), 10 * Amplitude(note, 466)) << "melody A4";
  EXPECT_GT(Amplitude(note, 110), 10 * Amplitude(note, 220)) << "bass A2";
  for (int f = first + 5; f < 125; f += 5) EXPECT_GT(Rms(Left(wav, f, f + 5)), 1000) << "frame " << f;

  EXPECT_EQ(Rms(Left(wav, 135, 150)), 0) << "Option stops the tune";
  const std::vector<int16_t> call = Left(wav, 152, 172);
  EXPECT_GT(Rms(call), 1000) << "A: the call through the sound DMA";
  double chirp = 0;
  for (int hz = 1900; hz <= 2600; hz += 50) chirp += Amplitude(call, hz);
  EXPECT_GT(chirp, 10 * (Amplitude(call, 440) + Amplitude(call, 110)));
  EXPECT_EQ(Rms(Left(wav, 180, 200)), 0) << "the call has ended";
}

// The benchmark cartridge counts its VBlank interrupts in save RAM: one per
// frame, from the first frame on, and on top of what the .sav file held.
TEST(BenchCartridge, SaveRamCountsEveryVBlank) {
  Cartridge cart("bench");
  ASSERT_EQ(cart.Run("-n 300 --dump-iram " + cart.file("iram")), 0);
  std::vector<uint8_t> save = cart.Save();
  ASSERT_EQ(save.size(), 8192u);
  EXPECT_EQ(Word(save, 0) | Word(save, 2) << 16, 300u);
  const std::vector<uint8_t> iram = ReadFile(cart.file("iram"));
  EXPECT_EQ(Word(iram, 0x100), 300) << "this run's own count";
  EXPECT_GE(Word(iram, 0x102), 290) << "a round of work per frame";
  EXPECT_GT(Word(iram, 0x104), 0) << "waits for VBlank on HLT";

  ASSERT_EQ(cart.Run("-n 100"), 0);
  save = cart.Save();
  EXPECT_EQ(Word(save, 0) | Word(save, 2) << 16, 400u);
}

TEST(BenchCartridge, RunsTheSameWayEveryTime) {
  std::vector<uint8_t> iram[2], ports[2];
  for (int run = 0; run < 2; ++run) {
    Cartridge cart("bench");
    ASSERT_EQ(cart.Run("-n 150 --dump-iram " + cart.file("iram") + " --dump-ports " + cart.file("ports")), 0);
    iram[run] = ReadFile(cart.file("iram"));
    ports[run] = ReadFile(cart.file("ports"));
  }
  ASSERT_EQ(iram[0].size(), 65536u);
  EXPECT_TRUE(iram[0] == iram[1]);
  ASSERT_EQ(ports[0].size(), 256u);
  EXPECT_TRUE(ports[0] == ports[1]);
}

// Twelve banks under a footer for eight (roms/machine/oversized.asm): the
// start code calls into ROM bank 0xF5 through port 0xC2, a bank only the
// extra part of the file holds, and that code paints 8 x 8 checks from the
// tiles in bank 0xF4 at segment 0x4000. Loading just the declared banks
// leaves both empty.
TEST(OversizedCartridge, CodeInTheBanksBeyondTheFooterRuns) {
  Cartridge cart("oversized", ".ws");
  const std::vector<uint8_t> image = ReadFile(cart.image());
  ASSERT_EQ(image.size(), 12u * 65536);
  ASSERT_EQ(image[image.size() - 6], 1) << "the footer's ROM size code: 8 banks";

  ASSERT_EQ(cart.Run("-n 10 --dump-iram " + cart.file("iram") + " --screenshot " + cart.file("shot.png")), 0);
  const std::vector<uint8_t> iram = ReadFile(cart.file("iram"));
  ASSERT_EQ(iram.size(), 65536u);
  EXPECT_EQ(Word(iram, 0x100), 0x564F) << "the start code ran";
  EXPECT_EQ(Word(iram, 0x102), 0xB0F5) << "the far code's own bank";
  EXPECT_EQ(Word(iram, 0x104), 0xB0F4) << "bank 0xF4 at segment 0x4000";
  EXPECT_EQ(Word(iram, 0x106), 0x4B4F) << "painted and returned";
  EXPECT_EQ(Word(iram, 0x108), 0x2000) << "ran in segment 0x2000";

  const Picture shot = ReadPicture(cart.file("shot.png"));
  ASSERT_EQ(shot.width, 224);
  ASSERT_EQ(shot.height, 144);
  auto pixel = [&](int x, int y) {
    const uint8_t* p = &shot.rgb[3 * (static_cast<size_t>(y) * shot.width + x)];
    return p[0] << 16 | p[1] << 8 | p[2];
  };
  const int light = pixel(0, 0);
  const int dark = pixel(8, 0);
  EXPECT_GT(light & 0xFF, dark & 0xFF) << "a white cell, then a black one";
  size_t wrong = 0;
  for (int y = 0; y < shot.height; ++y) {
    for (int x = 0; x < shot.width; ++x) {
      if (pixel(x, y) != ((x / 8 + y / 8) % 2 ? dark : light)) ++wrong;
    }
  }
  EXPECT_EQ(wrong, 0u) << "pixels off the checkerboard";
}

}  // namespace
}  // namespace kestra::test
