// kestra-headless: its command line, its repeatable host services, and whole
// runs of the program on cartridges.
#include <gtest/gtest.h>



#include "options.h"
#include "runner.h"
#include "support/test_support.h"


namespace kestra {
namespace {

using headless::HeadlessOptions;
using headless::ParseOptions;

HeadlessOptions Parse(std::vector<std::string> args) {
  HeadlessOptions options;
  std::string error;
  EXPECT_TRUE(ParseOptions(args, options, error)) << error;
  return options;
}

std::string ParseError(std::vector<std::string> args) {
  HeadlessOptions options;
  std::string error;
  EXPECT_FALSE(ParseOptions(args, options, error));
  return error;
}

TEST(HeadlessOptions, DefaultsAndEveryOption) {
  const HeadlessOptions d = Parse({"game.ws"});
  EXPECT_EQ(d.image, "game.ws");
  EXPECT_EQ(d.frames, 300);
  EXPECT_EQ(d.frameSkip, 0);
  EXPECT_TRUE(d.keys.empty());
  EXPECT_FALSE(d.bench);
  EXPECT_FALSE(d.verbose);

  const HeadlessOptions o =
      Parse({"-n", "12", "--frameskip=3", "--dump-iram", "i.bin", "--dump-ports=p.bin", "--bench",
             "--verbose", "--keys", "30:0,0:0a0,10:FFF", "x.wsc"});
  EXPECT_EQ(o.image, "x.wsc");
  EXPECT_EQ(o.frames, 12);
  EXPECT_EQ(o.frameSkip, 3);
  EXPECT_EQ(o.dumpIram, "i.bin");
  EXPECT_EQ(o.dumpPorts, "p.bin");
  EXPECT_TRUE(o.bench);
  EXPECT_TRUE(o.verbose);
  ASSERT_EQ(o.keys.size(), 3u);  // sorted by frame
  EXPECT_EQ(o.keys[0].frame, 0);
  EXPECT_EQ(o.keys[0].mask, 0x0A0);
  EXPECT_EQ(o.keys[1].frame, 10);
  EXPECT_EQ(o.keys[1].mask, 0xFFF);
  EXPECT_EQ(o.keys[2].frame, 30);
  EXPECT_EQ(o.keys[2].mask, 0);
  EXPECT_EQ(Parse({"--frames", "0", "a"}).frames, 0);
}

TEST(HeadlessOptions, UsageErrors) {
  EXPECT_NE(ParseError({}).find("no image"), std::string::npos);
  EXPECT_NE(ParseError({"a.ws", "b.ws"}).find("more than one"), std::string::npos);
  EXPECT_NE(ParseError({"--screen", "a.ws"}).find("unknown option --screen"), std::string::npos);
  EXPECT_NE(ParseError({"a.ws", "-n"}).find("needs a value"), std::string::npos);
  EXPECT_NE(ParseError({"--bench=1", "a.ws"}).find("takes no value"), std::string::npos);
  for (const char* bad : {"-1", "x", "12x", "", "99999999999"}) {
    EXPECT_FALSE(ParseError({"-n", bad, "a.ws"}).empty()) << bad;
  }
  for (const char* bad : {"5", "-1", "1.5"}) {
    EXPECT_FALSE(ParseError({"--frameskip", bad, "a.ws"}).empty()) << bad;
  }
  for (const char* bad : {"", "10", "10:", ":5", "a:5", "1:10000", "1:1000", "1:F000", "1:5,", "1:5,,2:3", "1:g"}) {
    EXPECT_FALSE(ParseError({"--keys", bad, "a.ws"}).empty()) << bad;
  }
}

TEST(HeadlessOptions, UsageNamesEveryOption) {
  const std::string usage = headless::Usage();
  for (const char* name : {"--frames", "-n,", "--frameskip", "--keys", "--dump-iram",
                           "--dump-ports", "--bench", "--verbose"}) {
    EXPECT_NE(usage.find(name), std::string::npos) << name;
  }
}

TEST(HeadlessRunner, KeysFollowTheScript) {
  headless::ScriptedKeys keys({{0, 0x10}, {5, 0x30}, {5, 0x31}, {9, 0}});
  const struct {
    int frame;
    uint32_t held;
  } expected[] = {{0, 0x10}, {4, 0x10}, {5, 0x31}, {8, 0x31}, {9, 0}, {100, 0}};
  for (const auto& e : expected) {
    keys.SetFrame(e.frame);
    EXPECT_EQ(keys.PollInput(), e.held) << "frame " << e.frame;
  }
}

TEST(HeadlessRunner, EmulatedClockRunsFiveMillisecondsPer480Slices) {
  HeadlessOptions options;
  options.frameSkip = 2;
  headless::HeadlessRun run(options);
  const Machine& m = run.emulator().machine();
  EXPECT_EQ(m.host.ticks->Ticks(), 0u);
  run.RunFrames(3);
  EXPECT_EQ(run.emulator().slicesRun(), 3u * kSlicesPerFrame);
  EXPECT_EQ(m.host.ticks->Ticks(), 3u * kSlicesPerFrame * 5 / 480);  // 39.75 ms
  EXPECT_EQ(m.io.IoPorts[0x02], 0);                                  // whole frames
  EXPECT_EQ(m.settings.frameSkip(), 2);
}

TEST(HeadlessRunner, BenchLine) {
  EXPECT_EQ(headless::BenchLine(5000, 2.0), "frames=5000 seconds=2.000 fps=2500.0 speed=33.13");
}

TEST(HeadlessProgram, ExitStatus) {
  test::TempDir dir;
  EXPECT_EQ(test::RunHeadless({"--frames"}).status, 2);
  EXPECT_EQ(test::RunHeadless({"--nonsense", test::RomPath("hello.ws")}).status, 2);
  const test::ProgramRun missing = test::RunHeadless({dir.file("missing.ws")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("ﾌｧｲﾙが見つかりません"), std::string::npos) << missing.err;
  EXPECT_EQ(test::RunHeadless({"-n", "1", "--dump-iram", dir.file("no/such/dir"),
                              test::RomPath("hello.ws")})
                .status,
            1);
  EXPECT_EQ(test::RunHeadless({"-n", "1", test::RomPath("hello.ws")}).status, 0);
}

TEST(HeadlessProgram, DumpsAndSaveFileAfterTheRun) {
  test::TempDir dir;
  test::Footer f;
  f.saveTypeCode = 0x01;  // 8 KB SRAM
  const std::string image = dir.file("sram.ws");
  test::WriteFile(image, test::MakeImage(8, f));
  const test::ProgramRun run = test::RunHeadless(
      {"-n", "2", "--dump-iram", dir.file("iram.bin"), "--dump-ports", dir.file("ports.bin"),
            image});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(test::ReadFile(dir.file("iram.bin")).size(), 0x10000u);
  const auto ports = test::ReadFile(dir.file("ports.bin"));
  ASSERT_EQ(ports.size(), 0x100u);
  EXPECT_EQ(ports[0xA0], 0x02);
  EXPECT_EQ(ports[0x02], 0);  // two whole frames end on line 0
  EXPECT_EQ(test::ReadFile(dir.file("sram.sav")).size(), 8192u);
}

// The cartridge counts its interrupts in internal RAM (roms/machine/irqcount.asm).
TEST(HeadlessProgram, InterruptCountsOfOurCartridge) {
  test::TempDir dir;
  const test::ProgramRun run =
      test::RunHeadless({"-n", "100", "--dump-iram", dir.file("iram.bin"), test::RomPath("irqcount.ws")});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto iram = test::ReadFile(dir.file("iram.bin"));
  ASSERT_EQ(iram.size(), 0x10000u);
  auto word = [&iram](int at) { return iram[at] | iram[at + 1] << 8; };
  EXPECT_EQ(word(0x20A), 0x4B43);  // set up
  EXPECT_EQ(word(0x200), 100);     // VBlank, once a frame
  // The timers start in the first VBlank handler, at line 144 of frame 0:
  // 14 + 99 * 159 lines later, every third line.
  EXPECT_EQ(word(0x202), (14 + 99 * 159) / 3);
  EXPECT_EQ(word(0x204), 9);       // VBlank timer, every tenth of frames 1-99
  EXPECT_EQ(word(0x206), 100);     // line compare at line 80
  EXPECT_GE(word(0x208), 50);      // idled on HLT through the first 50 frames
}

}  // namespace
}  // namespace kestra
