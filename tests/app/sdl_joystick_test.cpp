#include "host/sdl_joystick.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include "app/config.h"

namespace kestra {
namespace {

// SDL's virtual joystick stands in for a real device.
struct SdlJoystickTest : ::testing::Test {
  void SetUp() override {
    ASSERT_TRUE(joystick.available()) << SDL_GetError();
    index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 12, 0);
    ASSERT_GE(index, 0) << SDL_GetError();
    for (int i = 0; i < kBindingKeyCount; ++i) {
      text[i] = kKeyboardDefaults[i];
      text[kBindingKeyCount + i] = kJoypadDefaults[i];
    }
  }
  void TearDown() override {
    if (index >= 0) SDL_JoystickDetachVirtual(index);
  }
  void Set(int16_t x, int16_t y, std::initializer_list<int> pressed = {}) {
    SDL_Joystick* j = SDL_JoystickFromInstanceID(SDL_JoystickGetDeviceInstanceID(index));
    if (!j) j = SDL_JoystickOpen(index);  // opened here only to drive it
    ASSERT_NE(j, nullptr);
    SDL_JoystickSetVirtualAxis(j, 0, x);
    SDL_JoystickSetVirtualAxis(j, 1, y);
    for (int b = 0; b < 12; ++b) SDL_JoystickSetVirtualButton(j, b, 0);
    for (int b : pressed) SDL_JoystickSetVirtualButton(j, b, 1);
  }

  SdlJoystick joystick;
  int index = -1;
  std::array<std::string, kBindingListCount> text;
};

TEST_F(SdlJoystickTest, ReportsRangeAndPosition) {
  EXPECT_GE(joystick.DeviceCount(), 1);
  JoystickCaps caps;
  ASSERT_TRUE(joystick.ReadCaps(index, caps));
  EXPECT_EQ(caps.xMin, 0u);
  EXPECT_EQ(caps.xMax, 65535u);
  Set(-32768, 32767, {0, 10, 11});
  JoystickPosition p;
  ASSERT_TRUE(joystick.ReadPosition(index, p));
  EXPECT_EQ(p.x, 0u);
  EXPECT_EQ(p.y, 65535u);
  EXPECT_EQ(p.buttons, (1u << 0) | (1u << 10));  // SDL button 11 is beyond button 11
  JoystickCaps none;
  EXPECT_FALSE(joystick.ReadCaps(index + 1, none));
}

TEST_F(SdlJoystickTest, DrivesPollInput) {
  ASSERT_EQ(index, 0) << "another joystick is attached to this machine";
  Input in(text);
  ASSERT_EQ(in.OpenJoystick(&joystick), 0);
  EXPECT_EQ(in.joystick().deviceId, 0);
  in.ApplyBindings(false);
  Set(0, -32768);
  EXPECT_EQ(in.PollInput(), 1u << 4);  // stick up: X pad up
  Set(-32768, 0, {4});
  EXPECT_EQ(in.PollInput(), (1u << 7) | (1u << 9));  // left, and button 5: Start
  Set(32767, 32767, {8});
  EXPECT_EQ(in.PollInput(), (1u << 5) | (1u << 6) | (1u << 9));
  Set(0, 0, {});
  in.KeyDown('W');
  EXPECT_EQ(in.PollInput(), 1u << 0);
}

}  // namespace
}  // namespace kestra
