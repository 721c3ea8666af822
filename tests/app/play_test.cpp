// The Emulation menu and its hotkeys driven by key events to the window:
// pause between frames, frame advance, reset, fast-forward, rewind, state
// slots and screenshots; and what closing by signal, an exception in the
// event loop and a stop of the emulation do to the program.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QMenuBar>
#include <QThread>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <atomic>

#include "app/application.h"
#include "app/key_codes.h"
#include "app/ini.h"
#include "app/main_form.h"
#include "app/qt_display.h"
#include "core/machine.h"
#include "emulator/emulator.h"
#include "emulator/snapshot.h"
#include "sound/host_audio.h"
#include "support/test_support.h"
#include "qt_wait.h"
#include "system/console.h"

extern char** environ;

namespace kestra {

void EnsureApplication();  // window_test.cpp

// States are kept every 20 frames: the oldest frames may go with one.
constexpr size_t kRewindIntervalForTest = 20;

namespace {

using test::WaitFor;

struct PlayTest : ::testing::Test {
  PlayTest() { EnsureApplication(); }
  ~PlayTest() override { form.reset(); }

  void Create(const std::string& ini = {}) {
    if (!ini.empty()) test::WriteFile(dir.file("Kestra.INI"), {ini.begin(), ini.end()});
    MainFormOptions options;
    options.configPath = dir.file("Kestra.INI");
    options.audio = &audio;
    options.messages = &messages;
    options.openDialog = [this](const std::string&) -> std::optional<std::string> {
      return chosen;
    };
    form = std::make_unique<TMainForm>(*m, options);
  }

  // A copy of one of our cartridges, so its save file lands here.
  std::string Copy(const std::string& rom) {
    const std::string path = dir.file(rom);
    std::filesystem::copy_file(test::RomPath(rom), path);
    return path;
  }

  void Open(const std::string& path) {
    chosen = path;
    form->Open1Click();
  }

  void Press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier, bool repeat = false) {
    QKeyEvent event(QEvent::KeyPress, key, mods, 0, 0, 0, QString(), repeat);
    QApplication::sendEvent(form.get(), &event);
  }
  void Release(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyRelease, key, mods, 0, 0, 0);
    QApplication::sendEvent(form.get(), &event);
  }
  void Click(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    Press(key, mods);
    Release(key, mods);
  }


  QString Status() {
    QApplication::processEvents();
    return form->statusText();
  }

  std::vector<uint8_t> Raw() {
    std::vector<uint8_t> raw(form->emulator().StateSize());
    EXPECT_TRUE(form->emulator().SaveStateRaw(raw));
    return raw;
  }

  // Runs until `frames` frames have gone by, then pauses with the Pause key.
  void RunThenPause(uint64_t frames) {
    ASSERT_TRUE(form->running());
    ASSERT_TRUE(WaitFor([&] { return form->emulator().playFrames() >= frames; }));
    Click(Qt::Key_Pause);
    ASSERT_TRUE(form->paused());
  }

  test::TempDir dir;
  test::CapturedMessages messages;
  OfflineAudio audio;
  std::unique_ptr<Machine> m = CreateMachine();
  std::unique_ptr<TMainForm> form;
  std::string chosen;
};

TEST_F(PlayTest, MenuSitsBetweenOptionsAndHelpWithTheKeysShown) {
  Create();
  const QList<QAction*> top = form->menuBar()->actions();
  ASSERT_EQ(top.size(), 4);
  EXPECT_EQ(top[0]->text(), "&File");
  EXPECT_EQ(top[1]->text(), "&Options");
  EXPECT_EQ(top[2]->text(), "&Emulation");
  EXPECT_EQ(top[3]->text(), "&Help");
  EXPECT_EQ(form->EmulationItems[kHotkeySaveState]->text(), "&Save state\tF5");
  EXPECT_EQ(form->EmulationItems[kHotkeyPreviousSlot]->text(), "Pre&vious slot\tShift+F6");
  // Shown, never a shortcut: a console key bound to it must reach the game.
  for (QAction* item : form->EmulationItems) EXPECT_TRUE(item->shortcut().isEmpty());
}

// The frame the window shows after a pause and one frame advance is the one
// kestra-headless draws after as many frames, and F12 writes it. (The bench
// cartridge moves every frame and reads nothing of the host's clock.)
TEST_F(PlayTest, PauseFrameAdvanceAndScreenshotMatchTheHeadlessRun) {
  Create();
  form->Skip[0]->trigger();  // every frame drawn, as kestra-headless draws them
  const std::string game = Copy("bench.wsc");
  Open(game);
  RunThenPause(30);
  EXPECT_EQ(Status(), "Paused");
  EXPECT_FALSE(form->running());
  EXPECT_EQ(form->emulator().slicesIntoFrame(), 0);
  const uint64_t frames = form->emulator().playFrames();
  const uint64_t slices = form->emulator().slicesRun();
  // Paused, nothing runs.
  QThread::msleep(50);
  QApplication::processEvents();
  EXPECT_EQ(form->emulator().slicesRun(), slices);

  Click(Qt::Key_F8);
  EXPECT_TRUE(form->paused());
  EXPECT_EQ(form->emulator().playFrames(), frames + 1);
  EXPECT_EQ(form->emulator().slicesRun(), slices + kSlicesPerFrame);

  Click(Qt::Key_F12);
  const std::string shot = form->lastScreenshot();
  ASSERT_FALSE(shot.empty());
  EXPECT_EQ(std::filesystem::path(shot).parent_path().string(),
            (dir.path() / "screenshots").string());
  EXPECT_EQ(std::filesystem::path(shot).filename().string().rfind("bench-", 0), 0u);
  EXPECT_TRUE(Status().contains(QString::fromStdString(shot)));

  // A copy of its own: no save file from another run.
  std::filesystem::create_directories(dir.path() / "headless");
  const std::string fresh = (dir.path() / "headless" / "bench.wsc").string();
  std::filesystem::copy_file(test::RomPath("bench.wsc"), fresh);
  const std::string reference = dir.file("headless.png");
  const test::ProgramRun run = test::RunHeadless(
      {"-n", std::to_string(frames + 1), "--frameskip", "0", "--screenshot", reference, fresh});
  ASSERT_EQ(run.status, 0) << run.err;
  const QImage ours(QString::fromStdString(shot));
  const QImage theirs(QString::fromStdString(reference));
  ASSERT_EQ(ours.size(), QSize(224, 144));
  EXPECT_EQ(ours.convertToFormat(QImage::Format_RGB32), theirs.convertToFormat(QImage::Format_RGB32));

  // Resume: running again, the status no longer says so.
  Click(Qt::Key_Pause);
  EXPECT_FALSE(form->paused());
  EXPECT_TRUE(form->running());
  EXPECT_NE(Status(), "Paused");
}

// With frames skipped, a frame advanced by hand is still drawn and shown.
TEST_F(PlayTest, FrameAdvanceShowsEveryFrameWhateverTheSkip) {
  Create();
  form->Skip[4]->trigger();  // four of every five frames not drawn
  Open(Copy("bench.wsc"));
  RunThenPause(10);
  for (int i = 0; i < 5; ++i) {
    const QImage before = form->ImageArea->LastFrame();
    Click(Qt::Key_F8);
    EXPECT_NE(form->ImageArea->LastFrame(), before) << "frame " << i;
  }
  EXPECT_EQ(m->settings.frameSkip(), 4);
  EXPECT_TRUE(form->Skip[4]->isChecked());
}

TEST_F(PlayTest, VerticalScreenshotIsUpright) {
  Create();
  Open(Copy("demo-vertical.wsc"));
  RunThenPause(10);
  Click(Qt::Key_F12);
  ASSERT_FALSE(form->lastScreenshot().empty());
  EXPECT_EQ(QImage(QString::fromStdString(form->lastScreenshot())).size(), QSize(144, 224));
}

TEST_F(PlayTest, StatesSaveAndLoadBackThroughSlots) {
  Create();
  const std::string game = Copy("demo.wsc");
  Open(game);
  RunThenPause(20);
  Click(Qt::Key_F5);
  EXPECT_EQ(Status(), "State 0 saved");
  const std::string slot0 = (dir.path() / "states" / "demo.wsc.0.kst").string();
  ASSERT_TRUE(std::filesystem::is_regular_file(slot0));
  EXPECT_EQ(form->StatePath(0), slot0);
  const std::vector<uint8_t> saved = Raw();

  for (int i = 0; i < 5; ++i) Click(Qt::Key_F8);
  EXPECT_NE(Raw(), saved);
  Click(Qt::Key_F7);
  EXPECT_EQ(Status(), "State 0 loaded");
  EXPECT_EQ(Raw(), saved);
  EXPECT_TRUE(form->paused());

  // The slot menus: the date and the thumbnail of a held slot, "empty" else.
  Click(Qt::Key_F6);
  EXPECT_EQ(form->slot(), 1);
  EXPECT_EQ(Status(), "Slot 1: empty");
  Click(Qt::Key_F6, Qt::ShiftModifier);
  EXPECT_EQ(form->slot(), 0);
  EXPECT_EQ(Status(), "Slot 0: saved state");
  Click(Qt::Key_F6, Qt::ShiftModifier);
  EXPECT_EQ(form->slot(), 9);
  form->RefreshSlotMenus();
  EXPECT_TRUE(form->LoadSlotItems[0]->text().startsWith(QString("Slot &0 \u2014 20")));
  EXPECT_FALSE(form->LoadSlotItems[0]->icon().isNull());
  EXPECT_TRUE(form->LoadSlotItems[0]->isEnabled());
  EXPECT_EQ(form->LoadSlotItems[3]->text(), QString("Slot &3 \u2014 empty"));
  EXPECT_FALSE(form->LoadSlotItems[3]->isEnabled());
  EXPECT_TRUE(form->SaveSlotItems[3]->isEnabled());
  const std::vector<uint8_t> thumbnail = StateThumbnail(test::ReadFile(slot0));
  QImage image;
  ASSERT_TRUE(image.loadFromData(thumbnail.data(), static_cast<int>(thumbnail.size()), "PNG"));
  EXPECT_EQ(image.size(), QSize(224, 144));

  // Through the menu, while running: slot 4 saved and loaded.
  Click(Qt::Key_Pause);
  ASSERT_TRUE(form->running());
  form->SaveSlotItems[4]->trigger();
  EXPECT_TRUE(form->running());
  EXPECT_EQ(form->slot(), 4);
  // The message stays over the restarted thread's load figure for a while.
  WaitFor([] { return false; }, 300);
  EXPECT_EQ(Status(), "State 4 saved");
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.path() / "states" / "demo.wsc.4.kst"));
  form->LoadSlotItems[4]->trigger();
  EXPECT_TRUE(form->running());
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(PlayTest, RefusedStateIsShownAndTheGameGoesOn) {
  Create();
  Open(Copy("demo.wsc"));
  std::filesystem::create_directories(dir.path() / "states");
  test::WriteFile((dir.path() / "states" / "demo.wsc.2.kst").string(), {'n', 'o', 'p', 'e'});
  RunThenPause(10);
  const std::vector<uint8_t> before = Raw();
  form->LoadSlotItems[2]->trigger();
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0].text, kStateTruncated);
  EXPECT_EQ(Raw(), before);
  // A missing slot says so too; running, the game runs on.
  Click(Qt::Key_Pause);
  form->LoadSlotItems[7]->trigger();
  ASSERT_EQ(messages.messages.size(), 2u);
  EXPECT_NE(messages.messages[1].text.find("no state file"), std::string::npos);
  EXPECT_TRUE(form->running());
}

TEST_F(PlayTest, ResetReturnsToTheStartWithSaveMemoryKept) {
  Create();
  const std::string game = Copy("demo.wsc");
  Open(game);
  RunThenPause(40);
  std::span<uint8_t> save = form->emulator().saveMemory();
  ASSERT_FALSE(save.empty());
  save[100] = 0x5A;
  save[101] = 0xA5;
  Click(Qt::Key_F10);
  EXPECT_TRUE(form->paused());
  EXPECT_EQ(form->emulator().saveMemory()[100], 0x5A);
  EXPECT_EQ(form->emulator().saveMemory()[101], 0xA5);

  // The machine as a fresh load leaves it.
  Emulator fresh;
  fresh.OpenSound();
  fresh.OpenDisplay();
  ASSERT_EQ(fresh.Load(test::RomPath("demo.wsc")), 0);
  EXPECT_EQ(std::memcmp(&m->cpu.regs, &fresh.machine().cpu.regs, sizeof m->cpu.regs), 0);
  EXPECT_EQ(std::memcmp(m->mem.Iram, fresh.machine().mem.Iram, sizeof m->mem.Iram), 0);
  EXPECT_EQ(std::memcmp(m->io.IoPorts, fresh.machine().io.IoPorts, sizeof m->io.IoPorts), 0);

  // Running, reset keeps it running.
  Click(Qt::Key_Pause);
  Click(Qt::Key_F10);
  EXPECT_TRUE(form->running());
}

TEST_F(PlayTest, FastForwardWhileHeldOrLatchedWithTheSoundMuted) {
  Create("[CONFIG]\nFastForwardSpeed=6\n");
  Open(Copy("demo.wsc"));
  ASSERT_TRUE(form->running());
  EXPECT_EQ(form->fastForward(), -1);
  Press(Qt::Key_Tab);
  EXPECT_EQ(form->fastForward(), 6);
  EXPECT_TRUE(audio.muted());
  Press(Qt::Key_Tab, Qt::NoModifier, true);  // auto-repeat changes nothing
  Release(Qt::Key_Tab);
  EXPECT_EQ(form->fastForward(), -1);
  EXPECT_FALSE(audio.muted());

  // Shift+Tab comes as Backtab: latched until pressed again.
  Click(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(form->fastForward(), 6);
  EXPECT_TRUE(form->EmulationItems[kHotkeyFastForwardToggle]->isChecked());
  const uint64_t start = form->emulator().playFrames();
  ASSERT_TRUE(WaitFor([&] { return form->emulator().playFrames() > start + 10; }));
  Click(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(form->fastForward(), -1);
  EXPECT_FALSE(audio.muted());
  EXPECT_TRUE(form->running());
}

TEST_F(PlayTest, RewindStepsBackWhileHeldAndPlayGoesOnFromThere) {
  Create();
  Open(Copy("demo.wsc"));
  ASSERT_TRUE(WaitFor([&] { return form->emulator().playFrames() >= 90; }));
  Press(Qt::Key_Backspace);
  EXPECT_TRUE(form->rewinding());
  EXPECT_TRUE(audio.muted());
  const uint64_t held = form->emulator().playFrames();
  // The thread steps back one frame per frame period.
  EXPECT_TRUE(WaitFor([&] { return form->emulator().playFrames() + 20 < held; }));
  Press(Qt::Key_Backspace, Qt::NoModifier, true);  // auto-repeat changes nothing
  EXPECT_TRUE(form->rewinding());
  Release(Qt::Key_Backspace);
  EXPECT_FALSE(form->rewinding());
  EXPECT_FALSE(audio.muted());
  EXPECT_TRUE(form->running());
  // Play goes on from there.
  const uint64_t back = form->emulator().playFrames();
  EXPECT_TRUE(WaitFor([&] { return form->emulator().playFrames() > back + 5; }));

  // Paused, each press is one step back: one frame forward and back again
  // is where it was.
  Click(Qt::Key_Pause);
  ASSERT_TRUE(form->paused());
  const uint64_t frames = form->emulator().playFrames();
  const std::vector<uint8_t> before = Raw();
  Click(Qt::Key_F8);
  EXPECT_EQ(form->emulator().playFrames(), frames + 1);
  Click(Qt::Key_Backspace);
  EXPECT_EQ(form->emulator().playFrames(), frames);
  const std::vector<uint8_t> after = Raw();
  // The sections before the sound's: its voice rate measurement follows the
  // host's clock, which no replay repeats.
  size_t machine = 0;
  while (machine + 8 <= before.size() && std::memcmp(before.data() + machine, "SND ", 4) != 0) {
    uint32_t length;
    std::memcpy(&length, before.data() + machine + 4, 4);
    machine += 8 + length;
  }
  ASSERT_LT(machine, before.size());
  ASSERT_EQ(after.size(), before.size());
  size_t diff = 0;
  while (diff < machine && before[diff] == after[diff]) ++diff;
  EXPECT_EQ(diff, machine) << "first difference at byte " << diff;
}

TEST_F(PlayTest, HotkeyYieldsToAConsoleKeyBoundToIt) {
  Create("[KEYBOARD]\nHAButton=BS\n[HOTKEYS]\nSaveState=W\nLoadState=Ctrl+Nonsense\n");
  EXPECT_EQ(form->hotkey(kHotkeySaveState), QKeyCombination(Qt::Key_W));
  // A bad entry falls back to its default.
  EXPECT_EQ(form->hotkey(kHotkeyLoadState), QKeyCombination(Qt::Key_F7));
  Open(Copy("demo.wsc"));
  ASSERT_TRUE(form->running());

  Press(Qt::Key_Backspace);
  EXPECT_FALSE(form->rewinding());
  EXPECT_EQ(form->input().keyboardMask(), 1u << 10);  // HAButton
  Release(Qt::Key_Backspace);
  EXPECT_EQ(form->input().keyboardMask(), 0u);

  Press(Qt::Key_W);
  EXPECT_EQ(form->input().keyboardMask(), 1u << 0);  // HYUp
  Release(Qt::Key_W);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "states"));

  // The default keys still act.
  Click(Qt::Key_Pause);
  EXPECT_TRUE(form->paused());
}

TEST_F(PlayTest, HotkeySectionIsWrittenBackWithDefaults) {
  Create("[HOTKEYS]\nScreenshot=Ctrl+P\n");
  form->close();
  IniFile ini(dir.file("Kestra.INI"));
  EXPECT_EQ(ini.ReadString("HOTKEYS", "Screenshot", "", 64), "Ctrl+P");
  EXPECT_EQ(ini.ReadString("HOTKEYS", "FrameAdvance", "", 64), "F8");
  EXPECT_EQ(ini.ReadString("CONFIG", "FastForwardSpeed", "", 64), "4");
  EXPECT_EQ(ini.ReadString("CONFIG", "RewindSeconds", "", 64), "60");
}

// Stops and starts of the emulation (F1 turns the console, the size menu,
// pause and resume) fade the output out and in while the device plays on: no sample-to-sample
// step near the one of the cleared voice ring's off-centre silence level.
TEST_F(PlayTest, StopAndStartDoNotClick) {
  Create();
  const std::string game = dir.file("quiet.ws");
  test::WriteFile(game, test::MakeImage(1, {}));
  Open(game);
  ASSERT_TRUE(form->running());
  // The device's callback, in real time on a thread of its own.
  std::atomic<bool> done{false}, measuring{false};
  std::atomic<int> largest{0};
  std::thread device([&] {
    std::vector<int16_t> out(2 * 240);
    int previous[2] = {0, 0};
    bool first = true;
    while (!done) {
      audio.Render(out.data(), 240);
      for (size_t k = 0; k < out.size(); ++k) {
        if (!first && measuring) {
          largest = std::max<int>(largest, std::abs(out[k] - previous[k & 1]));
        }
        previous[k & 1] = out[k];
      }
      first = false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  // The filter takes the idle level away within a second or so.
  QThread::msleep(1500);
  measuring = true;
  for (int i = 0; i < 9; ++i) {
    if (i % 3 == 2) {
      Click(Qt::Key_Pause);  // paused a while, then resumed
      WaitFor([] { return false; }, 100);
      Click(Qt::Key_Pause);
    } else if (i % 3 == 1) {
      form->FormKeyDown(kVkF1);
    } else {
      form->ScaleBy[i % 2]->trigger();
    }
    ASSERT_TRUE(form->running());
    WaitFor([] { return false; }, 100);
  }
  done = true;
  device.join();
  EXPECT_LT(largest.load(), 300) << "a step of " << largest.load();
}

}  // namespace

// A host clock that moves on a little with every look at it.
struct CountingTicks final : TickSource {
  uint32_t Ticks() override { return ++calls / 8; }
  uint32_t calls = 0;
};

// The window's run loop.
struct RunPlayTest : ::testing::Test {
  void Start(Emulator& e) {
    e.OpenSound();
    e.OpenDisplay();
    const std::string game = dir.file("bench.wsc");
    if (!std::filesystem::exists(game)) std::filesystem::copy_file(test::RomPath("bench.wsc"), game);
    ASSERT_EQ(e.Load(game), 0);
    e.StartVoice();
  }
  // Stops once `jobs` jobs have run.
  static std::function<bool()> After(int jobs) {
    return [asked = 0, jobs]() mutable { return asked++ >= jobs; };
  }
  test::TempDir dir;
  std::vector<std::string> texts;
  std::function<void(const std::string&)> record = [this](const std::string& t) {
    texts.push_back(t);
  };
};

TEST_F(RunPlayTest, RealTimeRunsAndReportsAsTheJobLoop) {
  CountingTicks pacedClock, playClock;
  EmulatorHost pacedHost, playHost;
  pacedHost.ticks = &pacedClock;
  playHost.ticks = &playClock;
  Emulator paced(pacedHost), play(playHost);
  Start(paced);
  Start(play);
  paced.RunPaced(After(450), record);
  const std::vector<std::string> pacedTexts = texts;
  texts.clear();
  PlayControl control;
  play.RunPlay(control, After(450), record);
  EXPECT_EQ(texts, pacedTexts);
  EXPECT_GE(texts.size(), 2u);
  EXPECT_EQ(playClock.calls, pacedClock.calls);  // waited alike
  EXPECT_EQ(play.slicesRun(), 450u * kSlicesPerJob);
  EXPECT_EQ(std::memcmp(play.machine().mem.Iram, paced.machine().mem.Iram,
                        sizeof play.machine().mem.Iram), 0);
  EXPECT_EQ(play.playFrames(), 450u * kSlicesPerJob / kSlicesPerFrame);
  EXPECT_EQ(play.slicesIntoFrame(), static_cast<int>(450u * kSlicesPerJob % kSlicesPerFrame));
}

TEST_F(RunPlayTest, AStopThatFinishesTheFrameEndsOnItsBoundary) {
  Emulator e;
  Start(e);
  PlayControl control;
  control.finishFrame = true;
  e.RunPlay(control, After(5), record);  // 2,400 slices: inside the second frame
  EXPECT_EQ(e.slicesRun(), 2u * kSlicesPerFrame);
  EXPECT_EQ(e.slicesIntoFrame(), 0);
  EXPECT_EQ(e.playFrames(), 2u);
  e.AdvanceFrame();
  EXPECT_EQ(e.slicesRun(), 3u * kSlicesPerFrame);
  EXPECT_EQ(e.playFrames(), 3u);
}

TEST_F(RunPlayTest, FramesAreRecordedForRewindAndSteppedBackOnePerFramePeriod) {
  // A step back puts the emulated clock back too: a host clock paces it.
  CountingTicks clock;
  EmulatorHost host;
  host.ticks = &clock;
  Emulator e(host);
  e.SetRewind(16u << 20);
  Start(e);
  PlayControl control;
  e.RunPlay(control, After(800), record);
  const size_t held = e.rewindFrames();
  EXPECT_GE(held, 800u * kSlicesPerJob / kSlicesPerFrame - kRewindIntervalForTest);
  const uint64_t frames = e.playFrames();
  control.rewinding = true;
  e.RunPlay(control, After(53), record);  // 53 jobs: 25,440 slices, 20 frame periods
  EXPECT_EQ(e.rewindFrames(), held - 20);
  EXPECT_EQ(e.playFrames(), frames - 20);
  // Fast-forward: four jobs each time.
  control.rewinding = false;
  control.fastForward = 4;
  const uint64_t before = e.slicesRun();
  e.RunPlay(control, After(10), record);
  EXPECT_EQ(e.slicesRun() - before, 40u * kSlicesPerJob);
}

// The mixer alone: a buffer idling off-centre, stopped and started again.
TEST(HostAudioFade, StartAndStopFadeInsteadOfStepping) {
  for (const uint32_t fade : {0u, 240u}) {
    OfflineAudio audio;
    ASSERT_TRUE(audio.CreateDevice());
    ASSERT_TRUE(audio.CreateBuffer(0, 64));
    LockedRange range;
    ASSERT_TRUE(audio.Lock(0, 0, 64, range));
    std::memset(range.first, 107, range.firstBytes);
    audio.Unlock(0, range);
    audio.SetFadeFrames(fade);
    std::vector<int16_t> out(2 * 48000);
    audio.Play(0);
    audio.Render(out.data(), 48000);  // settled
    const auto largestStep = [&] {
      const int16_t last[2] = {out[out.size() - 2], out[out.size() - 1]};
      audio.Render(out.data(), 4800);
      int largest = std::max(std::abs(out[0] - last[0]), std::abs(out[1] - last[1]));
      for (size_t k = 2; k < 2 * 4800; ++k) largest = std::max(largest, std::abs(out[k] - out[k - 2]));
      std::fill(out.begin() + 2 * 4800, out.end(), 0);
      out[out.size() - 2] = out[2 * 4800 - 2];
      out[out.size() - 1] = out[2 * 4800 - 1];
      return largest;
    };
    audio.Stop(0);
    const uint32_t position = audio.Status(0).position;
    const int stop = largestStep();
    EXPECT_EQ(audio.Status(0).position, position);  // a stopped buffer keeps its place
    audio.Play(0);
    const int start = largestStep();
    if (fade == 0) {
      EXPECT_GT(stop, 4000);  // what an unfaded stop does
      EXPECT_GT(start, 4000);
    } else {
      EXPECT_LT(stop, 40);
      EXPECT_LT(start, 40);
    }
    // Muted: fades to silence and back.
    audio.SetMuted(true);
    const int mute = largestStep();
    EXPECT_EQ(out[2 * 4800 - 1], 0);
    audio.SetMuted(false);
    if (fade != 0) EXPECT_LT(mute, 40);
  }
}

TEST(ApplicationTest, ExceptionInTheEventLoopIsShownAndTheLoopGoesOn) {
  EnsureApplication();
  auto* app = dynamic_cast<KestraApplication*>(QApplication::instance());
  ASSERT_NE(app, nullptr);
  test::CapturedMessages messages;
  app->SetMessages(&messages);
  struct Thrower final : QObject {
    bool event(QEvent* e) override {
      if (e->type() == QEvent::User) throw std::runtime_error("the disk went away");
      return QObject::event(e);
    }
  } thrower;
  QApplication::postEvent(&thrower, new QEvent(QEvent::User));
  QApplication::processEvents();
  app->SetMessages(nullptr);
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_NE(messages.messages[0].text.find("the disk went away"), std::string::npos);
  // Later events are delivered as ever.
  bool delivered = false;
  QMetaObject::invokeMethod(&thrower, [&] { delivered = true; }, Qt::QueuedConnection);
  QApplication::processEvents();
  EXPECT_TRUE(delivered);
}

// kestra itself, closed by a signal: the save file and Kestra.INI (with what
// only closing writes) are there afterwards.
TEST(SignalTest, TermIntAndHupCloseTheWindowAsItsCloseBoxDoes) {
  for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
    test::TempDir dir;
    const std::filesystem::path program = dir.path() / "kestra";
    std::filesystem::copy_file(KESTRA_PROGRAM, program);
    const std::filesystem::path game = dir.path() / "games" / "demo.wsc";
    std::filesystem::create_directories(game.parent_path());
    std::filesystem::copy_file(test::RomPath("demo.wsc"), game);
    std::string programArg = program.string(), gameArg = game.string();
    char* argv[] = {programArg.data(), gameArg.data(), nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, programArg.c_str(), nullptr, nullptr, argv, environ), 0);
    // Running once Kestra.INI names the game in its recent list... which only
    // closing writes; so wait for the start's defaults, then a little more.
    const auto ini = dir.path() / "Kestra.INI";
    for (int i = 0; i < 500 && !std::filesystem::exists(ini); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    kill(pid, sig);
    int status = 0;
    for (int i = 0; i < 1000 && waitpid(pid, &status, WNOHANG) == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (waitpid(pid, &status, WNOHANG) == 0 && !WIFEXITED(status)) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
    }
    EXPECT_TRUE(WIFEXITED(status)) << "signal " << sig;
    EXPECT_TRUE(std::filesystem::is_regular_file(game.parent_path() / "demo.sav")) << sig;
    IniFile written(ini.string());
    EXPECT_EQ(written.ReadString("CONFIG", "DefaultDir", "", 512), game.parent_path().string())
        << "signal " << sig;
    EXPECT_EQ(written.ReadString("RECENT", "File0", "", 512), game.string()) << sig;
  }
}

}  // namespace kestra
