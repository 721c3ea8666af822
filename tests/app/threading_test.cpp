// The emulation thread against the UI thread, driven through the window's
// real commands: hundreds of stops and starts, menu switches flipped while
// the machine runs, warnings raised while a stop waits. Built once more
// under ThreadSanitizer by `make test-sanitize`.
#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <filesystem>
#include <thread>
#include <gtest/gtest.h>

#include "app/ini.h"
#include "app/main_form.h"
#include "app/qt_messages.h"
#include "core/machine.h"
#include "system/console.h"
#include "core/ports.h"
#include "sound/sound.h"
#include "sound/host_audio.h"
#include "support/test_support.h"

namespace kestra {

void EnsureApplication();  // window_test.cpp

namespace {

struct ThreadingTest : ::testing::Test {
  ThreadingTest() { EnsureApplication(); }
  ~ThreadingTest() override { form.reset(); }

  void Create(MessageService* service = nullptr) {
    MainFormOptions options;
    options.configPath = dir.file("Kestra.INI");
    options.audio = &audio;
    options.messages = service ? service : &messages;
    options.openDialog = [](const std::string&) { return std::optional<std::string>(); };
    form = std::make_unique<TMainForm>(*m, options);
  }

  // A one-bank image whose code at 0xF000:0000 is `code`.
  std::string ImageWithCode(const std::string& name, const std::vector<uint8_t>& code) {
    std::vector<uint8_t> image = test::MakeImage(1, {});
    std::copy(code.begin(), code.end(), image.begin());
    uint16_t sum = 0;
    for (size_t i = 0; i + 2 < image.size(); ++i) sum = static_cast<uint16_t>(sum + image[i]);
    image[image.size() - 2] = sum & 0xFF;
    image[image.size() - 1] = sum >> 8;
    test::WriteFile(dir.file(name), image);
    return dir.file(name);
  }

  // One of the three commands that stop the thread and start a new one.
  void Restart(int i) {
    switch (i % 3) {
      case 0: form->OpenFile(cartridge); break;
      case 1: form->ScaleBy[i % 2]->trigger(); break;
      default: form->FormKeyDown(kVkF1); break;
    }
  }

  void SetVerbose() {
    test::WriteFile(dir.file("Kestra.INI"), {});
    IniFile ini(dir.file("Kestra.INI"));
    ini.WriteString("CONFIG", "Verbose", "1");
    ini.Flush();
  }

  test::TempDir dir;
  test::CapturedMessages messages;
  OfflineAudio audio;
  std::unique_ptr<Machine> m = CreateMachine();
  std::unique_ptr<TMainForm> form;
  std::string cartridge;
};

// The demo (sprites, raster effects, sound DMA, save RAM) started and
// stopped 500 times through Open, the size menu and F1.
TEST_F(ThreadingTest, FiveHundredStopsAndStartsThroughTheCommands) {
  cartridge = dir.file("demo.wsc");
  std::filesystem::copy_file(test::RomPath("demo.wsc"), cartridge);
  Create();
  form->OpenFile(cartridge);
  ASSERT_TRUE(form->running());
  for (int i = 0; i < 500; ++i) {
    const int before = form->emulationStarts();
    Restart(i);
    ASSERT_TRUE(form->running()) << i;
    ASSERT_EQ(form->emulationStarts(), before + 1) << i;
    if (i % 25 == 0) QApplication::processEvents();
  }
  EXPECT_TRUE(form->close());
  EXPECT_FALSE(form->running());
  EXPECT_TRUE(messages.messages.empty()) << messages.messages.front().text;
  EXPECT_EQ(test::ReadFile(dir.file("demo.sav")).size(), 8192u);  // 8 KB SRAM
}

// The menu's switches and frame skip change under a running machine that
// itself turns every channel on and off as fast as it can.
TEST_F(ThreadingTest, SwitchesAndFrameSkipFlipWhileTheMachineRuns) {
  Create();
  // l: mov al, 0xFF; out 0x90, al; mov al, 0x0F; out 0x90, al; xor al, al;
  // out 0x90, al; jmp l
  form->OpenFile(ImageWithCode(
      "channels.ws", {0xB0, 0xFF, 0xE6, 0x90, 0xB0, 0x0F, 0xE6, 0x90, 0x30, 0xC0, 0xE6, 0x90,
                      0xEB, 0xF2}));
  ASSERT_TRUE(form->running());
  const int starts = form->emulationStarts();
  QElapsedTimer timer;
  timer.start();
  int flips = 0;
  while (timer.elapsed() < 1500) {
    form->SoundItems[flips % SoundSwitchCount]->trigger();
    form->Skip[flips % 5]->trigger();
    ++flips;
    if (flips % 64 == 0) QApplication::processEvents();
  }
  EXPECT_GT(flips, 100);
  EXPECT_EQ(form->emulationStarts(), starts);  // nothing stopped the thread
  ASSERT_TRUE(form->running());
  for (int k = 0; k < SoundSwitchCount; ++k) {
    EXPECT_EQ(m->settings.sound(static_cast<SoundSwitch>(k)), form->SoundItems[k]->isChecked());
  }
  EXPECT_EQ(m->settings.frameSkip(), (flips - 1) % 5);
  EXPECT_TRUE(form->close());
  EXPECT_TRUE(messages.messages.empty());
}

// With Verbose on, a cartridge that writes a port without meaning raises a
// warning at almost every moment, so most stops are requested while the
// emulation thread waits for a box that only the UI thread can show.
TEST_F(ThreadingTest, WarningsRaisedWhileStoppingAreServed) {
  SetVerbose();
  std::atomic<int> boxes{0};
  std::atomic<bool> offUiThread{false};
  const Qt::HANDLE ui = QThread::currentThreadId();
  QtMessages boxesOnUi([&](const std::string&, const std::string&, MessageIcon) {
    if (QThread::currentThreadId() != ui) offUiThread = true;
    ++boxes;
  });
  Create(&boxesOnUi);
  // l: out 0x95, al; jmp l
  cartridge = ImageWithCode("noisy.ws", {0xE6, 0x95, 0xEB, 0xFC});
  form->OpenFile(cartridge);
  for (int i = 0; i < 150; ++i) {
    const int before = boxes;
    QElapsedTimer timer;
    timer.start();
    while (boxes == before && timer.elapsed() < 5000) QApplication::processEvents();
    ASSERT_GT(boxes, before) << i;
    Restart(i);
    ASSERT_TRUE(form->running()) << i;
  }
  EXPECT_TRUE(form->close());
  EXPECT_FALSE(form->running());
  EXPECT_FALSE(offUiThread);
}

// The menu's switches read the sound control port while the game writes it;
// without a sound device no lock orders the two threads.
TEST(SoundControlPort, MenuReadsWhileTheGameWrites) {
  std::unique_ptr<Machine> machine = CreateMachine();
  Machine& m = *machine;
  std::atomic<bool> stop{false};
  std::thread game([&] {
    for (uint32_t i = 0; !stop.load(std::memory_order_relaxed); ++i) {
      WritePort(m, 0x90, static_cast<uint8_t>(i));
    }
  });
  for (int i = 0; i < 20000; ++i) SwitchChannel(m, static_cast<SoundSwitch>(i % 5), (i / 5) & 1);
  stop = true;
  game.join();
  EXPECT_EQ(SoundControl(m), m.io.IoPorts[0x90]);
  for (int k = 0; k < 5; ++k) EXPECT_TRUE(m.settings.sound(static_cast<SoundSwitch>(k)));
}

}  // namespace
}  // namespace kestra
