#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "host/sdl_audio.h"
#include "sound/sound.h"
#include "support/test_support.h"

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

}  // namespace
}  // namespace kestra::test
