#include "host/sdl_joystick.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "app/config.h"
#include "app/input.h"
#include "app/main_form.h"
#include "core/machine.h"
#include "system/console.h"
#include "sound/host_audio.h"
#include "support/test_support.h"

namespace kestra {
namespace {

// SDL's virtual joystick stands in for a real device: a plain joystick,
// which SDL has no game-controller mapping for.
struct SdlJoystickTest : ::testing::Test {
  void SetUp() override {
    ASSERT_TRUE(joystick.available()) << SDL_GetError();
    index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_UNKNOWN, 2, 12, 0);
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
  EXPECT_FALSE(joystick.IsGameController(index));
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

namespace kestra {
namespace {

// A virtual pad SDL reads as a game controller. Its SDL buttons are the
// controller's buttons in SDL's order (A, B, X, Y, Back, Guide, Start, LS,
// RS, LB, RB, D-pad up, down, left, right), with a hat when `hats` is 1.
int AttachPad(int buttons, int hats, uint32_t buttonMask = 0) {
  SDL_VirtualJoystickDesc desc{};
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
  desc.naxes = 6;
  desc.nbuttons = static_cast<Uint16>(buttons);
  desc.nhats = static_cast<Uint16>(hats);
  desc.button_mask = buttonMask;
  desc.name = "Kestra test pad";
  return SDL_JoystickAttachVirtualEx(&desc);
}

SDL_Joystick* Drive(int index) {
  SDL_Joystick* j = SDL_JoystickFromInstanceID(SDL_JoystickGetDeviceInstanceID(index));
  return j ? j : SDL_JoystickOpen(index);
}

void Release(SDL_Joystick* j, int buttons) {
  for (int b = 0; b < buttons; ++b) SDL_JoystickSetVirtualButton(j, b, 0);
  for (int a = 0; a < 6; ++a) SDL_JoystickSetVirtualAxis(j, a, 0);
  if (SDL_JoystickNumHats(j) > 0) SDL_JoystickSetVirtualHat(j, 0, SDL_HAT_CENTERED);
}

struct GameControllerTest : ::testing::Test {
  void SetUp() override {
    ASSERT_TRUE(joystick.available()) << SDL_GetError();
    if (SDL_NumJoysticks() != 0) GTEST_SKIP() << "a joystick is attached to this machine";
  }
  SdlJoystick joystick;
};

TEST_F(GameControllerTest, ButtonsInTheDocumentedOrderAndTheDpadAsTheStick) {
  const int index = AttachPad(15, 0);
  ASSERT_EQ(index, 0) << SDL_GetError();
  SDL_Joystick* j = Drive(index);
  ASSERT_NE(j, nullptr);
  EXPECT_TRUE(joystick.IsGameController(0));
  // button n of ours: the controller button SDL numbers so.
  const SDL_GameControllerButton order[11] = {
      SDL_CONTROLLER_BUTTON_A,     SDL_CONTROLLER_BUTTON_B,          SDL_CONTROLLER_BUTTON_X,
      SDL_CONTROLLER_BUTTON_Y,     SDL_CONTROLLER_BUTTON_LEFTSHOULDER,
      SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, SDL_CONTROLLER_BUTTON_BACK,
      SDL_CONTROLLER_BUTTON_GUIDE, SDL_CONTROLLER_BUTTON_START,      SDL_CONTROLLER_BUTTON_LEFTSTICK,
      SDL_CONTROLLER_BUTTON_RIGHTSTICK};
  JoystickPosition p;
  for (int n = 0; n < 11; ++n) {
    Release(j, 15);
    SDL_JoystickSetVirtualButton(j, order[n], 1);
    ASSERT_TRUE(joystick.ReadPosition(0, p));
    EXPECT_EQ(p.buttons, 1u << n) << "button " << n + 1;
    EXPECT_EQ(p.x, 32768u);
    EXPECT_EQ(p.y, 32768u);
  }
  Release(j, 15);
  SDL_JoystickSetVirtualButton(j, SDL_CONTROLLER_BUTTON_DPAD_LEFT, 1);
  SDL_JoystickSetVirtualButton(j, SDL_CONTROLLER_BUTTON_DPAD_DOWN, 1);
  ASSERT_TRUE(joystick.ReadPosition(0, p));
  EXPECT_EQ(p.x, 0u);
  EXPECT_EQ(p.y, 65535u);
  EXPECT_EQ(p.buttons, 0u);  // the D-pad is no button of ours
  Release(j, 15);
  SDL_JoystickSetVirtualAxis(j, SDL_CONTROLLER_AXIS_LEFTX, 32767);
  SDL_JoystickSetVirtualAxis(j, SDL_CONTROLLER_AXIS_LEFTY, -32768);
  SDL_JoystickSetVirtualAxis(j, SDL_CONTROLLER_AXIS_TRIGGERLEFT, 32767);
  ASSERT_TRUE(joystick.ReadPosition(0, p));
  EXPECT_EQ(p.x, 65535u);
  EXPECT_EQ(p.y, 0u);
  EXPECT_EQ(p.buttons, 0u);

  // Through the default lists: A is the console's B, Start is Start.
  std::array<std::string, kBindingListCount> text;
  for (int i = 0; i < kBindingKeyCount; ++i) {
    text[i] = kKeyboardDefaults[i];
    text[kBindingKeyCount + i] = kJoypadDefaults[i];
  }
  Input in(text);
  ASSERT_EQ(in.OpenJoystick(&joystick), 0);
  in.ApplyBindings(false);
  Release(j, 15);
  SDL_JoystickSetVirtualButton(j, SDL_CONTROLLER_BUTTON_A, 1);
  SDL_JoystickSetVirtualButton(j, SDL_CONTROLLER_BUTTON_DPAD_UP, 1);
  EXPECT_EQ(in.PollInput(), (1u << 11) | (1u << 4));
  in.ApplyBindings(true);
  Release(j, 15);
  SDL_JoystickSetVirtualButton(j, SDL_CONTROLLER_BUTTON_START, 1);
  EXPECT_EQ(in.PollInput(), 1u << 9);
  SDL_JoystickDetachVirtual(index);
}

TEST_F(GameControllerTest, AHatDrivesTheStick) {
  // A pad whose D-pad is a hat, known to SDL by a mapping as real pads are.
  SDL_VirtualJoystickDesc desc{};
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = SDL_JOYSTICK_TYPE_UNKNOWN;
  desc.naxes = 2;
  desc.nbuttons = 4;
  desc.nhats = 1;
  desc.name = "Kestra hat pad";
  const int index = SDL_JoystickAttachVirtualEx(&desc);
  ASSERT_EQ(index, 0) << SDL_GetError();
  char guid[33];
  SDL_JoystickGetGUIDString(SDL_JoystickGetDeviceGUID(index), guid, sizeof guid);
  std::fill(guid + 4, guid + 8, '0');  // a mapping's GUID leaves out the name's checksum
  ASSERT_GE(SDL_GameControllerAddMapping(
                (std::string(guid) + ",Kestra hat pad,a:b0,b:b1,x:b2,y:b3,dpup:h0.1,"
                                     "dpright:h0.2,dpdown:h0.4,dpleft:h0.8,leftx:a0,lefty:a1,")
                    .c_str()),
            0)
      << SDL_GetError();
  SDL_Joystick* j = Drive(index);
  ASSERT_NE(j, nullptr);
  ASSERT_TRUE(joystick.IsGameController(0));
  JoystickPosition p;
  SDL_JoystickSetVirtualHat(j, 0, SDL_HAT_RIGHTUP);
  ASSERT_TRUE(joystick.ReadPosition(0, p));
  EXPECT_EQ(p.x, 65535u);
  EXPECT_EQ(p.y, 0u);
  SDL_JoystickSetVirtualHat(j, 0, SDL_HAT_CENTERED);
  ASSERT_TRUE(joystick.ReadPosition(0, p));
  EXPECT_EQ(p.x, 32768u);
  EXPECT_EQ(p.y, 32768u);
  SDL_JoystickDetachVirtual(index);
}

}  // namespace
}  // namespace kestra

namespace kestra {

void EnsureApplication();  // window_test.cpp

namespace {

// What the running emulation polls, seen from the test's thread.
struct PollSpy final : InputSource {
  uint32_t PollInput() override {
    const uint32_t mask = inner->PollInput();
    last.store(mask);
    polls.fetch_add(1);
    return mask;
  }
  InputSource* inner = nullptr;
  std::atomic<uint32_t> last{0};
  std::atomic<int> polls{0};
};

TEST_F(GameControllerTest, PadsPluggedInAndPulledOutWhileTheGameRuns) {
  EnsureApplication();
  test::TempDir dir;
  test::CapturedMessages messages;
  OfflineAudio audio;
  auto m = CreateMachine();
  const std::string image = dir.file("hotplug.ws");
  test::WriteFile(image, test::MakeImage(1, {}));
  MainFormOptions options;
  options.configPath = dir.file("Kestra.INI");
  options.audio = &audio;
  options.messages = &messages;
  options.joystick = &joystick;  // no device yet
  TMainForm form(*m, options);
  PollSpy spy;
  spy.inner = m->host.input;
  m->host.input = &spy;
  form.OpenFile(image);
  ASSERT_TRUE(form.running());
  const int starts = form.emulationStarts();

  auto waitFor = [&](uint32_t mask) {
    QElapsedTimer timer;
    timer.start();
    while (spy.last.load() != mask) {
      if (timer.elapsed() > 5000) return false;
      QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
  };

  for (int round = 0; round < 2; ++round) {
    const int index = AttachPad(15, 0);
    ASSERT_EQ(index, 0) << SDL_GetError();
    SDL_Joystick* j = Drive(index);
    ASSERT_NE(j, nullptr);
    SDL_JoystickSetVirtualButton(j, SDL_CONTROLLER_BUTTON_A, 1);  // the console's B
    SDL_JoystickSetVirtualButton(j, SDL_CONTROLLER_BUTTON_DPAD_RIGHT, 1);  // X pad right
    EXPECT_TRUE(waitFor((1u << 11) | (1u << 5))) << "round " << round << ": " << spy.last;
    SDL_JoystickSetVirtualButton(j, SDL_CONTROLLER_BUTTON_DPAD_RIGHT, 0);
    EXPECT_TRUE(waitFor(1u << 11)) << round;
    // Pulled out with A held: nothing stays pressed.
    SDL_JoystickClose(j);
    SDL_JoystickDetachVirtual(index);
    EXPECT_TRUE(waitFor(0u)) << round;
    const int polls = spy.polls.load();
    QElapsedTimer timer;
    timer.start();
    while (spy.polls.load() < polls + 5 && timer.elapsed() < 2000) QThread::msleep(5);
    EXPECT_EQ(spy.last.load(), 0u);
  }
  EXPECT_TRUE(form.running());
  EXPECT_EQ(form.emulationStarts(), starts);  // never stopped for it
  form.close();
  m->host.input = spy.inner;
}

}  // namespace
}  // namespace kestra
