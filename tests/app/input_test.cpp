#include "app/input.h"

#include <gtest/gtest.h>

#include <map>

namespace kestra {
namespace {

constexpr int kVkUp = 38, kVkReturn = 13, kVkControl = 17, kVkF1 = 0x70;

std::array<std::string, kBindingListCount> DefaultBindings() {
  std::array<std::string, kBindingListCount> text;
  for (int i = 0; i < kBindingKeyCount; ++i) {
    text[i] = kKeyboardDefaults[i];
    text[kBindingKeyCount + i] = kJoypadDefaults[i];
  }
  return text;
}

// Mask held while exactly one key is down.
uint32_t Held(Input& in, int code) {
  in.KeyDown(code);
  const uint32_t mask = in.PollInput();
  in.KeyUp(code);
  return mask;
}

// A joystick whose devices answer as the test sets them.
struct FakeJoystick final : JoystickDevice {
  int DeviceCount() override { return count; }
  bool ReadCaps(int id, JoystickCaps& c) override {
    if (!devices.count(id)) return false;
    c = caps;
    return true;
  }
  bool ReadPosition(int id, JoystickPosition& p) override {
    ++reads;
    if (!devices.count(id) || failReads) return false;
    p = devices[id];
    return true;
  }
  int count = 16;
  std::map<int, JoystickPosition> devices;
  JoystickCaps caps{0, 65535, 0, 65535};
  bool failReads = false;
  int reads = 0;
};

constexpr uint32_t kCentre = 32768;

TEST(Input, HorizontalAndVerticalDefaults) {
  const auto text = DefaultBindings();
  Input in(text);
  in.ApplyBindings(false);
  EXPECT_EQ(Held(in, kVkUp), 1u << 4);
  EXPECT_EQ(Held(in, 'W'), 1u << 0);
  EXPECT_EQ(Held(in, kVkReturn), 1u << 9);
  EXPECT_EQ(Held(in, kVkControl), 1u << 8);
  EXPECT_EQ(Held(in, 'X'), 1u << 10);
  EXPECT_EQ(Held(in, 'Z'), 1u << 11);
  EXPECT_EQ(Held(in, 'A'), 1u << 3);
  EXPECT_EQ(Held(in, kVkF1), 0u);

  in.ApplyBindings(true);
  EXPECT_EQ(Held(in, kVkUp), 1u << 5);
  EXPECT_EQ(Held(in, 'W'), 1u << 1);
  EXPECT_EQ(Held(in, 'A'), 1u << 0);
  EXPECT_EQ(Held(in, 'S'), 1u << 3);
  // Codes are taken modulo 256.
  EXPECT_EQ(Held(in, 0x100 + 'X'), 1u << 10);
}

TEST(Input, ReleasingOneOfTwoKeysClearsTheConsoleKey) {
  auto text = DefaultBindings();
  text[10] = "X,SPACE,Q";
  Input in(text);
  in.ApplyBindings(false);
  EXPECT_EQ(Held(in, ' '), 1u << 10);
  in.KeyDown('X');
  in.KeyDown('Q');
  in.KeyDown('Q');  // auto-repeat
  EXPECT_EQ(in.PollInput(), 1u << 10);
  in.KeyUp('Q');
  EXPECT_EQ(in.PollInput(), 0u);
}

TEST(Input, UnknownAndEmptyNamesBindNothing) {
  std::array<std::string, kBindingListCount> text{};
  text[8] = std::string("F1,ESC,a,Space,:");
  text[10] = std::string("x");
  text[11] = std::string("X,,Z");
  Input in(text);
  in.ApplyBindings(false);
  EXPECT_EQ(Held(in, 'X'), 1u << 11);
  EXPECT_EQ(Held(in, 'Z'), 1u << 11);
  EXPECT_EQ(Held(in, ':'), 0u);
  EXPECT_EQ(Held(in, 186), 1u << 8);
  uint32_t any = 0;
  for (uint32_t b : in.KeyBindings) any |= b;
  EXPECT_EQ(any, (1u << 11) | (1u << 8));
  EXPECT_EQ(LookUpKeyName("\\"), 220);
  EXPECT_EQ(LookUpKeyName("^"), 222);
  EXPECT_EQ(LookUpJoyName("11"), 15);
  EXPECT_EQ(LookUpJoyName("12"), -1);
}

TEST(Input, OneKeyNamedInTwoListsHoldsBoth) {
  std::array<std::string, kBindingListCount> text;
  text[9] = "SPACE";
  text[10] = "SPACE,X";
  Input in(text);
  in.ApplyBindings(false);
  EXPECT_EQ(Held(in, ' '), (1u << 9) | (1u << 10));
}

TEST(Input, NoJoystickPollsTheKeyboard) {
  const auto text = DefaultBindings();
  Input in(text);
  EXPECT_EQ(in.OpenJoystick(nullptr), -1);
  FakeJoystick none;
  none.count = 0;
  EXPECT_EQ(in.OpenJoystick(&none), -1);
  FakeJoystick silent;  // devices supported, none answers
  EXPECT_EQ(in.OpenJoystick(&silent), -1);
  in.ApplyBindings(false);
  in.KeyDown('W');
  EXPECT_EQ(in.PollInput(), 1u);
  EXPECT_EQ(silent.reads, 2);  // ids 0 and 1 tried once each, not polled
}

TEST(Input, OpenJoystickTakesDeviceOneWhenZeroIsSilentAndClearsTheKeyboard) {
  const auto text = DefaultBindings();
  Input in(text);
  in.ApplyBindings(false);
  in.KeyDown('W');
  FakeJoystick joy;
  joy.devices[1] = {kCentre, kCentre, 0};
  joy.caps = {100, 1000, 10, 40};
  EXPECT_EQ(in.OpenJoystick(&joy), 0);
  EXPECT_EQ(in.keyboardMask(), 0u);
  EXPECT_TRUE(in.joystick().present);
  EXPECT_EQ(in.joystick().deviceId, 1);
  EXPECT_EQ(in.joystick().left, 400u);
  EXPECT_EQ(in.joystick().right, 700u);
  EXPECT_EQ(in.joystick().up, 20u);
  EXPECT_EQ(in.joystick().down, 30u);
}

TEST(Input, StickThirdsAndThresholdEquality) {
  const auto text = DefaultBindings();
  Input in(text);
  FakeJoystick joy;
  joy.devices[0] = {kCentre, kCentre, 0};
  ASSERT_EQ(in.OpenJoystick(&joy), 0);
  EXPECT_EQ(in.joystick().left, 21845u);
  EXPECT_EQ(in.joystick().right, 43690u);
  in.ApplyBindings(false);  // X pad on the stick
  auto at = [&](uint32_t x, uint32_t y) {
    joy.devices[0] = {x, y, 0};
    return in.PollInput();
  };
  EXPECT_EQ(at(kCentre, kCentre), 0u);
  EXPECT_EQ(at(21845, kCentre), 1u << 7);
  EXPECT_EQ(at(21846, kCentre), 0u);
  EXPECT_EQ(at(43690, kCentre), 1u << 5);
  EXPECT_EQ(at(43689, kCentre), 0u);
  EXPECT_EQ(at(kCentre, 0), 1u << 4);
  EXPECT_EQ(at(kCentre, 65535), 1u << 6);
  EXPECT_EQ(at(0, 65535), (1u << 7) | (1u << 6));
}

TEST(Input, ButtonsFiveAndNineBothHoldStartAndKeyboardCombines) {
  const auto text = DefaultBindings();
  Input in(text);
  FakeJoystick joy;
  joy.devices[0] = {kCentre, kCentre, 0};
  ASSERT_EQ(in.OpenJoystick(&joy), 0);
  in.ApplyBindings(false);
  auto buttons = [&](uint32_t pressed) {
    joy.devices[0] = {kCentre, kCentre, pressed};
    return in.PollInput();
  };
  EXPECT_EQ(buttons(1u << 4), 1u << 9);   // button 5
  EXPECT_EQ(buttons(1u << 8), 1u << 9);   // button 9
  EXPECT_EQ(buttons(1u << 0), 1u << 11);  // button 1: B
  EXPECT_EQ(buttons(1u << 11), 0u);       // button 12 does not exist for us
  in.KeyDown('W');
  EXPECT_EQ(buttons(1u << 1), (1u << 10) | 1u);
  joy.failReads = true;
  EXPECT_EQ(in.PollInput(), 1u);  // a failed read leaves the keyboard

  // Vertical: the stick drives the Y pad, buttons 1, 2, 4, 5 the X pad.
  joy.failReads = false;
  in.KeyUp('W');
  in.ApplyBindings(true);
  EXPECT_EQ(buttons(0b11011), 0xF0u);
  joy.devices[0] = {0, kCentre, 0};
  EXPECT_EQ(in.PollInput(), 1u << 0);
}

TEST(Input, JoystickBindingsWaitForAJoystick) {
  const auto text = DefaultBindings();
  Input in(text);
  in.ApplyBindings(false);  // no joystick yet: the joystick table stays empty
  for (uint32_t b : in.JoyBindings) EXPECT_EQ(b, 0u);
  FakeJoystick joy;
  joy.devices[0] = {kCentre, kCentre, 1u << 4};
  ASSERT_EQ(in.OpenJoystick(&joy), 0);
  EXPECT_EQ(in.PollInput(), 0u);
  in.ApplyBindings(false);
  EXPECT_EQ(in.PollInput(), 1u << 9);
}

}  // namespace
}  // namespace kestra
