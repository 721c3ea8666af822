#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "core/cartridge.h"
#include "system/loader.h"
#include "system/scheduler.h"
#include "host/sdl_audio.h"
#include "sound/sound.h"
#include "sound_fixture.h"

namespace kestra::test {
namespace {

TEST(SdlAudioBackEnd, OpensAndPlaysOnTheDevice) {
  TestMachine m(TestMachine::NoSound);
  SdlAudio audio;
  m->host.audio = &audio;
  ASSERT_EQ(OpenSound(*m), 0) << ::testing::PrintToString(m.messages.texts());
  for (uint32_t k = 0; k < 16; ++k) WaveHook(*m, k, k < 8 ? 0xFF : 0x00);
  WriteSoundPort(*m, 0x81, 0x07);
  WriteSoundPort(*m, 0x88, 0xFF);
  WriteSoundPort(*m, 0x90, 0x01);
  ASSERT_TRUE(audio.Status(0).playing);
  // The device's thread pulls the mix: the play position moves on its own.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (audio.Status(0).position == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_NE(audio.Status(0).position, 0u);
  EXPECT_GT(audio.FramesRendered(), 0u);
  CloseSound(*m);
  EXPECT_FALSE(audio.HasDevice());
  EXPECT_FALSE(audio.Status(0).exists);
  EXPECT_THAT(m.messages.texts(), ::testing::IsEmpty());
}

// SDL's disk driver writes what the device would play into a file, in real
// time: the soundcheck cartridge, run by the paced job loop as the program
// runs it, must come out with its tone.
TEST(SdlAudioBackEnd, CartridgeToneReachesTheDevice) {
  TempDir dir;
  const std::string raw = dir.file("device.raw");
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
  {
    TestMachine m(TestMachine::NoSound);
    SdlAudio audio;
    m->host.audio = &audio;
    ASSERT_EQ(OpenSound(*m), 0);
    ASSERT_EQ(LoadCartridge(*m, RomPath("soundcheck.ws")), 0);
    SetStereo(*m, kVoiceBuffer, 15, 15);
    PlayBuffer(*m, kVoiceBuffer);
    JobLoop loop(*m, [](const std::string&) {});
    const uint32_t end = m->host.ticks->Ticks() + 800;  // the tone lasts 75 frames
    loop.Run([&] { return m->host.ticks->Ticks() >= end; });
    UnloadCartridge(*m);
    CloseSound(*m);
  }
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  const std::vector<uint8_t> bytes = ReadFile(raw);
  std::vector<int16_t> out;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) out.push_back(int16_t(bytes[i] | bytes[i + 1] << 8));
  ASSERT_GE(out.size(), 2u * kOutputRate * 7 / 10);
  const std::vector<int16_t> tone(out.begin() + 2 * kOutputRate / 5, out.begin() + 2 * kOutputRate * 7 / 10);
  EXPECT_NEAR(CrossingsPerSecond(tone, 0), 375, 4);
  const double square = 4 / M_PI * (45.0 / 256 * 32768);
  EXPECT_NEAR(ToneAmplitude(tone, 0, 375), square, square * 0.05);
}

}  // namespace
}  // namespace kestra::test
