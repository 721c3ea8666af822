// Save states and rewind: a state loaded into a fresh emulator runs on bit
// for bit as the machine it came from, and a refused one changes nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "emulator/emulator.h"
#include "emulator/snapshot.h"
#include "support/test_support.h"
#include "system/scheduler.h"

namespace kestra {
namespace {

struct Player {
  Emulator e;
  Player() {
    e.OpenSound();
    e.OpenDisplay();
  }
  void Load(const std::vector<uint8_t>& image) {
    ASSERT_EQ(e.LoadImage(image), 0);
    e.StartVoice();
  }
  // One frame: what it leaves behind, picture, memory, ports and sound.
  std::vector<uint8_t> Frame(uint16_t keys) {
    e.RunFrame(keys);
    std::vector<uint8_t> out;
    const auto put = [&out](const void* p, size_t n) {
      out.insert(out.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
    };
    const Emulator::Frame f = e.LastFrame();
    if (f.pixels) put(f.pixels, static_cast<size_t>(f.pitch) * f.height * 4);
    put(e.machine().mem.Iram, kPageSize);
    put(e.machine().io.IoPorts, kPortCount);
    int16_t sound[636 * 2];
    e.MixFrame(sound);
    put(sound, sizeof sound);
    return out;
  }
};

uint16_t KeysAt(int frame) { return static_cast<uint16_t>((frame / 17) % 5 == 1 ? 0x10 << (frame % 3) : 0); }

std::vector<uint8_t> Image(const std::string& name) { return test::ReadFile(test::RomPath(name)); }

// Saved at an odd slice, inside a frame and a line, then 300 frames on.
class StateRoundTrip : public ::testing::TestWithParam<std::string> {};

TEST_P(StateRoundTrip, NextFramesMatchAnUninterruptedRun) {
  const std::vector<uint8_t> image = Image(GetParam());
  Player a;
  a.Load(image);
  for (int f = 0; f < 37; ++f) a.Frame(KeysAt(f));
  a.e.RunSlices(613);  // mid-frame, mid-line: a string instruction or an interrupt may be pending
  const std::vector<uint8_t> state = a.e.SaveState();

  Player b;
  b.Load(image);
  std::string error;
  ASSERT_TRUE(b.e.LoadState(state, error)) << error;
  for (int f = 37; f < 337; ++f) {
    ASSERT_EQ(a.Frame(KeysAt(f)), b.Frame(KeysAt(f))) << GetParam() << " frame " << f;
  }
  const auto bytes = [](std::span<uint8_t> s) { return std::vector<uint8_t>(s.begin(), s.end()); };
  EXPECT_EQ(bytes(a.e.saveMemory()), bytes(b.e.saveMemory()));
}

INSTANTIATE_TEST_SUITE_P(Cartridges, StateRoundTrip,
                         ::testing::Values("bench.wsc", "eeprom.ws", "soundcheck.ws",
                                           "demo-vertical.wsc", "cpu_string.ws", "irq.ws",
                                           "timing.ws"));

// Runs slice by slice until `moment` holds, saves there, and compares the
// next 300 frames of the machine with a fresh one that loaded the state.
template <typename Moment>
void SaveWhenThenCompare(const std::string& cartridge, Moment moment) {
  const std::vector<uint8_t> image = Image(cartridge);
  Player a;
  a.Load(image);
  for (int f = 0; f < 5; ++f) a.Frame(0);
  for (int slices = 0; slices < 20 * kSlicesPerFrame && !moment(a.e.machine()); ++slices) {
    a.e.RunSlices(1);
  }
  ASSERT_TRUE(moment(a.e.machine())) << cartridge << ": the moment never came";
  const std::vector<uint8_t> state = a.e.SaveState();
  Player b;
  b.Load(image);
  std::string error;
  ASSERT_TRUE(b.e.LoadState(state, error)) << error;
  for (int f = 0; f < 300; ++f) ASSERT_EQ(a.Frame(KeysAt(f)), b.Frame(KeysAt(f))) << f;
}

// A repeated string instruction waiting for the next slice: IP on its prefix
// and CX counting what is left.
TEST(StateRoundTripAt, ARepeatSuspendedByTheSliceBudget) {
  SaveWhenThenCompare("bench.wsc", [](const Machine& m) {
    const uint8_t op = ReadMemory(m, m.cpu.regs.w[CS] * 16u + m.cpu.regs.w[IP]);
    return (op == 0xF2 || op == 0xF3) && m.cpu.regs.w[CX] != 0;
  });
}

// The HBlank timer running and a cause waiting to be entered.
TEST(StateRoundTripAt, ARunningHBlankTimerAndAPendingInterrupt) {
  SaveWhenThenCompare("irq.ws", [](const Machine& m) {
    return (m.io.IoPorts[kPortTimerControl] & 0x01) && m.io.IoPorts[kPortInterruptStatus] != 0;
  });
}

TEST(StateRaw, SizeStaysTheSameAndRawStatesRoundTrip) {
  const std::vector<uint8_t> image = Image("demo.wsc");
  Player a;
  a.Load(image);
  const size_t size = a.e.StateSize();
  std::vector<uint8_t> raw(size);
  for (int f = 0; f < 50; ++f) a.Frame(KeysAt(f));
  EXPECT_EQ(a.e.StateSize(), size);
  ASSERT_TRUE(a.e.SaveStateRaw(raw));
  const std::vector<uint8_t> next = a.Frame(0);
  std::string error;
  ASSERT_TRUE(a.e.LoadStateRaw(raw, error)) << error;
  EXPECT_EQ(a.Frame(0), next);
}

class StateRefusal : public ::testing::Test {
 protected:
  void SetUp() override {
    run.Load(Image("bench.wsc"));
    for (int f = 0; f < 20; ++f) run.Frame(0);
    good = run.e.SaveState();
    for (int f = 0; f < 5; ++f) run.Frame(0);
    before = Snapshot();
  }
  std::vector<uint8_t> Snapshot() {
    std::vector<uint8_t> raw(run.e.StateSize());
    run.e.SaveStateRaw(raw);
    return raw;
  }
  // Refused with a message containing `why`, and the machine as it was.
  void ExpectRefused(const std::vector<uint8_t>& file, const std::string& why) {
    std::string error;
    EXPECT_FALSE(run.e.LoadState(file, error));
    EXPECT_NE(error.find(why), std::string::npos) << error;
    EXPECT_EQ(Snapshot(), before);
  }
  Player run;
  std::vector<uint8_t> good, before;
};

// The CRC-32 at the end made right again after a change.
std::vector<uint8_t> Reseal(std::vector<uint8_t> file);

TEST_F(StateRefusal, TruncatedBadChecksumNotAStateAndNewerVersion) {
  ExpectRefused(std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2), "cut short");
  ExpectRefused(std::vector<uint8_t>(good.begin(), good.begin() + 10), "cut short");
  std::vector<uint8_t> flipped = good;
  flipped[flipped.size() / 2] ^= 0x40;
  ExpectRefused(flipped, "checksum");
  std::vector<uint8_t> other = good;
  other[0] = 'X';
  ExpectRefused(other, "not a Kestra state");
  std::vector<uint8_t> newer = good;
  newer[8] = kStateFormatVersion + 1;
  ExpectRefused(Reseal(newer), "newer");
}

TEST_F(StateRefusal, AnotherCartridgesState) {
  Player other;
  other.Load(Image("demo.wsc"));
  other.Frame(0);
  ExpectRefused(other.e.SaveState(), "another cartridge");
}

TEST_F(StateRefusal, FieldsOutOfRange) {
  // Raw states with one field broken: the line counter, the slice phase, the
  // voice ring position.
  std::vector<uint8_t> raw(run.e.StateSize());
  const auto refusedWith = [&](auto&& change, const char* why) {
    Player scratch;
    scratch.Load(Image("bench.wsc"));
    std::string error;
    change(scratch.e.machine());
    // Build a raw state from the changed machine and offer it to the fixture's.
    std::vector<uint8_t> bad(scratch.e.StateSize());
    ASSERT_TRUE(scratch.e.SaveStateRaw(bad));
    // The scratch run loaded the same cartridge, so only the field is wrong.
    EXPECT_FALSE(run.e.LoadStateRaw(bad, error));
    EXPECT_NE(error.find(why), std::string::npos) << error;
    EXPECT_EQ(Snapshot(), before);
  };
  refusedWith([](Machine& m) { m.io.IoPorts[kPortLine] = 200; }, "line counter");
  refusedWith([](Machine& m) { m.sched.SlicePhase = 9; }, "slice phase");
  refusedWith([](Machine& m) { m.sound.voice.VoiceFill = 5000; }, "voice ring");
  refusedWith([](Machine& m) { m.mem.SaveBankMapped = 7; }, "save bank");
  std::string error;
  EXPECT_FALSE(run.e.LoadStateRaw(std::vector<uint8_t>(raw.size() - 3), error));
  EXPECT_EQ(Snapshot(), before);
}

std::vector<uint8_t> Reseal(std::vector<uint8_t> file) {
  const size_t body = file.size() - 4;
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < body; ++i) {
    crc ^= file[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  crc ^= 0xFFFFFFFFu;
  for (int i = 0; i < 4; ++i) file[body + i] = static_cast<uint8_t>(crc >> (8 * i));
  return file;
}

TEST(Rewind, StepsBackFrameByFrameWithinItsMemoryCap) {
  Player a;
  a.Load(Image("bench.wsc"));
  a.e.SetRewind(size_t{48} << 10, 10);  // small: the oldest states must go
  std::vector<std::vector<uint8_t>> pictures;
  for (int f = 0; f < 1500; ++f) {
    a.e.RunFrame(KeysAt(f));
    const Emulator::Frame fr = a.e.LastFrame();
    pictures.emplace_back(reinterpret_cast<const uint8_t*>(fr.pixels),
                          reinterpret_cast<const uint8_t*>(fr.pixels) + fr.pitch * fr.height * 4);
    ASSERT_LE(a.e.rewindBytes(), size_t{48} << 10);
  }
  const size_t held = a.e.rewindFrames();
  ASSERT_GT(held, 20u);
  ASSERT_LT(held, 1499u);  // the cap dropped the oldest
  for (size_t back = 1; back <= held; ++back) {
    ASSERT_TRUE(a.e.RewindStep()) << back;
    const Emulator::Frame fr = a.e.LastFrame();
    ASSERT_EQ(std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(fr.pixels),
                                   reinterpret_cast<const uint8_t*>(fr.pixels) + fr.pitch * fr.height * 4),
              pictures[1499 - back])
        << back;
  }
  EXPECT_FALSE(a.e.RewindStep());
}

}  // namespace
}  // namespace kestra
