// The main window driven offscreen: geometry, commands around the emulation
// thread, sound switches and what closing leaves on disk.
#include <QApplication>
#include <QElapsedTimer>
#include <QMenuBar>
#include <QStatusBar>
#include <QThread>
#include <algorithm>
#include <deque>
#include <gtest/gtest.h>

#include "app/application.h"
#include "app/ini.h"
#include "app/main_form.h"
#include "app/qt_display.h"
#include "app/qt_messages.h"
#include "core/machine.h"
#include "system/console.h"
#include "core/ports.h"
#include "sound/host_audio.h"
#include "support/test_support.h"
#include "qt_wait.h"
#include "video/display.h"

namespace kestra {

void EnsureApplication() {
  static int argc = 1;
  static char name[] = "app_tests";
  static char* argv[] = {name, nullptr};
  if (!QApplication::instance()) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    new KestraApplication(argc, argv);
  }
}

namespace {

using test::WaitFor;

// Forwards to the window's display and notes whether an emulation thread
// ran while the output was being re-created.
struct DisplaySpy final : DisplayHost {
  bool Open() override { return inner->Open(); }
  bool QueryDisplayMode(DisplayMode& mode) override { return inner->QueryDisplayMode(mode); }
  bool CreatePrimary(int w, int h, int scale) override {
    runningAtCreate.push_back(form->running());
    if (onCreate) onCreate();
    return inner->CreatePrimary(w, h, scale);
  }
  bool CreateFrameBuffer(int w, int h, int bpp, Surface& out) override {
    return inner->CreateFrameBuffer(w, h, bpp, out);
  }
  bool Present(Surface& frame) override { return inner->Present(frame); }
  bool ClearFrameBuffer() override { return inner->ClearFrameBuffer(); }
  bool ClearPrimary() override { return inner->ClearPrimary(); }
  void Close() override { inner->Close(); }

  DisplayHost* inner = nullptr;
  TMainForm* form = nullptr;
  std::vector<bool> runningAtCreate;
  std::function<void()> onCreate;
};

struct WindowTest : ::testing::Test {
  WindowTest() { EnsureApplication(); }
  ~WindowTest() override {
    form.reset();
  }

  void Create() {
    MainFormOptions options;
    options.configPath = dir.file("Kestra.INI");
    options.audio = &audio;
    options.messages = messageService ? messageService : &messages;
    options.openDialog = [this](const std::string& startDir) -> std::optional<std::string> {
      runningInDialog.push_back(form->running());
      if (onDialog) onDialog();
      startDirs.push_back(startDir);
      const std::string answer = answers.front();
      answers.pop_front();
      if (answer.empty()) return std::nullopt;
      return answer;
    };
    form = std::make_unique<TMainForm>(*m, options);
    spy.inner = m->host.display;
    spy.form = form.get();
    m->host.display = &spy;
  }

  // Opens `path` through the dialog ("" cancels it).
  void Open(const std::string& path) {
    answers.push_back(path);
    form->Open1Click();
  }

  std::string Image(const std::string& name, test::Footer footer = {}) {
    const std::string path = dir.file(name);
    test::WriteFile(path, test::MakeImage(1, footer));
    return path;
  }

  // A one-bank image whose code at 0xF000:0000 is `code`.
  std::string ImageWithCode(const std::string& name, const std::vector<uint8_t>& code) {
    std::vector<uint8_t> image = test::MakeImage(1, {});
    std::copy(code.begin(), code.end(), image.begin());
    uint16_t sum = 0;
    for (size_t i = 0; i + 2 < image.size(); ++i) sum += image[i];
    image[image.size() - 2] = sum & 0xFF;
    image[image.size() - 1] = sum >> 8;
    const std::string path = dir.file(name);
    test::WriteFile(path, image);
    return path;
  }


  test::TempDir dir;
  test::CapturedMessages messages;
  OfflineAudio audio;
  std::unique_ptr<Machine> m = CreateMachine();
  std::unique_ptr<TMainForm> form;
  DisplaySpy spy;
  std::deque<std::string> answers;
  std::vector<bool> runningInDialog;
  std::vector<std::string> startDirs;
  std::function<void()> onDialog;
  MessageService* messageService = nullptr;  // null: captured
};

TEST_F(WindowTest, ClientAreaFollowsScaleAndOrientation) {
  Create();
  form->show();
  QApplication::processEvents();
  EXPECT_EQ(form->windowTitle(), "Kestra");
  EXPECT_EQ(form->clientSize(), QSize(224, 164));
  EXPECT_EQ(form->height() - form->menuBar()->height(), 164);
  EXPECT_EQ(form->width(), 224);
  EXPECT_EQ(form->StatusBar1->height(), 20);
  EXPECT_TRUE(form->ScaleBy[0]->isChecked());

  form->ScaleBy[1]->trigger();
  QApplication::processEvents();
  EXPECT_EQ(form->clientSize(), QSize(448, 308));
  EXPECT_EQ(form->height() - form->menuBar()->height(), 308);
  EXPECT_EQ(form->minimumSize(), form->maximumSize());  // the user cannot resize it
  EXPECT_FALSE(form->ScaleBy[0]->isChecked());
  EXPECT_TRUE(form->ScaleBy[1]->isChecked());
  EXPECT_FALSE(form->ScaleBy[2]->isChecked());

  form->FormKeyDown(kVkF1);
  EXPECT_TRUE(form->Vertical());
  EXPECT_EQ(form->clientSize(), QSize(288, 468));
  EXPECT_EQ(m->display.DisplayVertical, 1);
  EXPECT_EQ(m->display.DisplayScale, 2);

  form->ScaleBy[2]->trigger();
  EXPECT_EQ(form->clientSize(), QSize(432, 692));
  EXPECT_TRUE(form->Vertical());
  EXPECT_TRUE(form->ScaleBy[2]->isChecked());
  EXPECT_FALSE(form->ScaleBy[1]->isChecked());

  // A click on the checked item keeps it checked.
  form->ScaleBy[2]->trigger();
  EXPECT_TRUE(form->ScaleBy[2]->isChecked());
}

TEST_F(WindowTest, MenuCaptionsAndStartMarks) {
  Create();
  EXPECT_EQ(form->Open1->text(), "&Open...");
  EXPECT_EQ(form->Exit1->text(), "E&xit");
  EXPECT_EQ(form->Skip[3]->text(), "Skip &3/5");
  EXPECT_EQ(form->ScaleBy[2]->text(), "Size x&3");
  EXPECT_EQ(form->SoundItems[SoundNoise]->text(), "&Noise");
  EXPECT_EQ(form->About->text(), "&About...");
  EXPECT_EQ(form->Frame->title(), "&Frame skip");
  // After a first start without a file: frame skip 1, every sound switch on.
  for (int i = 0; i < 5; ++i) EXPECT_EQ(form->Skip[i]->isChecked(), i == 1);
  for (QAction* item : form->SoundItems) EXPECT_TRUE(item->isChecked());
  form->Skip[4]->trigger();
  EXPECT_EQ(m->settings.frameSkip(), 4);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(form->Skip[i]->isChecked(), i == 4);
}

TEST_F(WindowTest, CancelWithoutCartridgeRunsNothing) {
  Create();
  Open("");
  EXPECT_FALSE(form->running());
  EXPECT_EQ(form->windowTitle(), "Kestra");
  EXPECT_EQ(form->cartridgeName(), "");
}

TEST_F(WindowTest, OpenRunsAndEveryCommandStopsAndRestartsTheThread) {
  Create();
  const std::string image = Image("game.ws");
  Open(image);
  EXPECT_EQ(form->windowTitle(), "Kestra game.ws");
  EXPECT_EQ(form->config().DefaultDir, dir.path().string());
  ASSERT_TRUE(form->running());
  EXPECT_EQ(runningInDialog, std::vector<bool>{false});

  // Size, orientation: the output is re-created with no thread running, and a
  // new thread runs afterwards.
  int before = form->emulationStarts();
  spy.runningAtCreate.clear();
  form->ScaleBy[1]->trigger();
  form->FormKeyDown(kVkF1);
  EXPECT_EQ(spy.runningAtCreate, (std::vector<bool>{false, false}));
  EXPECT_TRUE(form->running());
  EXPECT_GT(form->emulationStarts(), before);

  // Frame skip and sound switches work while the thread runs.
  before = form->emulationStarts();
  form->Skip[0]->trigger();
  form->SoundItems[SoundPCM]->trigger();
  EXPECT_EQ(form->emulationStarts(), before);
  EXPECT_FALSE(m->settings.sound(SoundPCM));

  // A second cartridge: the thread is stopped while the dialog shows.
  Open(Image("other.wsc"));
  EXPECT_EQ(runningInDialog, (std::vector<bool>{false, false}));
  EXPECT_EQ(form->windowTitle(), "Kestra other.wsc");
  EXPECT_TRUE(form->running());
  EXPECT_GT(form->emulationStarts(), before);
}

// A path given on the command line is taken as the dialog would give it: in
// full, so DefaultDir still means the same place after a start elsewhere.
TEST_F(WindowTest, RelativePathOpensAsAFullOne) {
  Create();
  const std::string image = Image("near.ws");
  const std::filesystem::path relative =
      std::filesystem::relative(image, std::filesystem::current_path());
  ASSERT_TRUE(relative.is_relative());
  form->OpenFile(relative.string());
  EXPECT_TRUE(form->running());
  EXPECT_EQ(form->windowTitle(), "Kestra near.ws");
  EXPECT_EQ(form->config().DefaultDir, dir.path().lexically_normal().string());
  EXPECT_EQ(form->cartridgeName(), std::filesystem::path(image).lexically_normal().string());
}

TEST_F(WindowTest, VerticalCartridgeTurnsTheWindow) {
  Create();
  test::Footer footer;
  footer.flags = 1;
  Open(Image("tall.ws", footer));
  EXPECT_TRUE(form->Vertical());
  EXPECT_EQ(form->clientSize(), QSize(144, 244));
  EXPECT_TRUE(form->running());
  // F1 turns it back.
  form->FormKeyDown(kVkF1);
  EXPECT_FALSE(form->Vertical());
  EXPECT_EQ(form->clientSize(), QSize(224, 164));
  EXPECT_TRUE(form->running());
}

TEST_F(WindowTest, FailedLoadShowsTheNameUnloadsAndRunsNothing) {
  Create();
  test::Footer footer;
  footer.saveTypeCode = 0x01;
  const std::string game = Image("saved.ws", footer);
  Open(game);
  ASSERT_TRUE(form->running());
  std::filesystem::remove(dir.file("saved.sav"));

  const auto elsewhere = dir.path() / "elsewhere";
  std::filesystem::create_directories(elsewhere);
  Open((elsewhere / "missing.wsc").string());
  EXPECT_EQ(form->windowTitle(), "Kestra missing.wsc");
  EXPECT_EQ(form->config().DefaultDir, elsewhere.string());
  EXPECT_FALSE(form->running());
  EXPECT_EQ(form->cartridgeName(), "");
  EXPECT_TRUE(std::filesystem::exists(dir.file("saved.sav")));  // written by the unload
  ASSERT_FALSE(messages.messages.empty());
  EXPECT_EQ(messages.messages.back().text, kMsgFileNotFound);
  // The next dialog starts where the failed file was.
  Open("");
  EXPECT_EQ(startDirs.back(), elsewhere.string());
  EXPECT_FALSE(form->running());
  EXPECT_EQ(form->windowTitle(), "Kestra missing.wsc");
  // A file in the root directory leaves the dialog there.
  Open("/kestra-missing.wsc");
  EXPECT_EQ(form->config().DefaultDir, "/");
  EXPECT_EQ(form->windowTitle(), "Kestra kestra-missing.wsc");
}

TEST_F(WindowTest, CancelWhileRunningResumesWithTheChannelsAsTheyWere) {
  Create();
  // mov al, 0x0F; out 0x90, al; jmp $: channels 1-4 enabled.
  Open(ImageWithCode("channels.ws", {0xB0, 0x0F, 0xE6, 0x90, 0xEB, 0xFE}));
  ASSERT_TRUE(form->running());
  ASSERT_TRUE(WaitFor([&] { return audio.Status(0).playing && audio.Status(3).playing; }));
  int before = form->emulationStarts();
  bool silentInDialog = false;
  answers.push_back("");
  auto chooser = [&] {
    silentInDialog = true;
    for (int b = 0; b < 6; ++b) silentInDialog &= !audio.Status(b).playing;
  };
  onDialog = chooser;
  form->Open1Click();
  EXPECT_TRUE(silentInDialog);
  EXPECT_TRUE(form->running());
  EXPECT_GT(form->emulationStarts(), before);
  for (int b = 0; b < 4; ++b) EXPECT_TRUE(audio.Status(b).playing) << b;
  EXPECT_TRUE(audio.Status(4).playing);  // the voice stream
  EXPECT_EQ(form->windowTitle(), "Kestra channels.ws");
}

// The voice stream is cleared once the thread has stopped, not while it still
// runs: no sample of the running thread is left in the stage or the ring.
TEST_F(WindowTest, VoiceIsSilentWhileTheThreadIsStopped) {
  Create();
  auto isSilence = [](uint8_t b) { return b == kSilenceLevel; };
  // Under the mixer's lock: safe while the thread runs.
  auto ringSilent = [&] {
    LockedRange range;
    if (!audio.Lock(kVoiceBuffer, 0, kVoiceRingSize, range)) return false;
    const bool silent = std::all_of(range.first, range.first + range.firstBytes, isSilence);
    audio.Unlock(kVoiceBuffer, range);
    return silent;
  };
  // Only while the thread is stopped.
  auto voiceSilent = [&] {
    const VoiceState& v = m->sound.voice;
    return std::all_of(std::begin(v.VoiceStage), std::end(v.VoiceStage), isSilence) &&
           ringSilent();
  };
  Open(Image("quiet.ws"));
  ASSERT_TRUE(form->running());
  std::vector<bool> silent;
  spy.onCreate = [&] { silent.push_back(voiceSilent()); };
  onDialog = [&] { silent.push_back(voiceSilent()); };
  for (int i = 0; i < 4; ++i) {
    // Samples arrive with every line the thread runs: wait for a block of them.
    ASSERT_TRUE(WaitFor([&] { return !ringSilent(); }));
    if (i % 2) {
      form->FormKeyDown(kVkF1);
    } else {
      Open("");
    }
    ASSERT_TRUE(form->running());
  }
  EXPECT_EQ(silent, std::vector<bool>(4, true));
}

TEST_F(WindowTest, WarningsRaisedWhileStoppingDoNotDeadlock) {
  test::WriteFile(dir.file("Kestra.INI"), {});
  {
    IniFile ini(dir.file("Kestra.INI"));
    ini.WriteString("CONFIG", "Verbose", "1");
    ini.Flush();
  }
  std::atomic<int> boxes{0};
  std::atomic<bool> offUiThread{false};
  const Qt::HANDLE ui = QThread::currentThreadId();
  QtMessages boxesOnUi([&](const std::string&, const std::string& text, MessageIcon) {
    if (QThread::currentThreadId() != ui) offUiThread = true;
    ++boxes;
  });
  messageService = &boxesOnUi;
  Create();
  // out 0x95, al; jmp short back: a port without meaning, warned about each time.
  Open(ImageWithCode("noisy.ws", {0xE6, 0x95, 0xEB, 0xFC}));
  ASSERT_TRUE(form->running());
  ASSERT_TRUE(WaitFor([&] { return boxes >= 3; }));
  // The thread is waiting for a box at almost any moment: each stop must
  // serve it rather than wait forever.
  for (int i = 0; i < 5; ++i) {
    form->ScaleBy[i % 2]->trigger();
    EXPECT_TRUE(form->running());
  }
  EXPECT_TRUE(form->close());
  EXPECT_FALSE(form->running());
  EXPECT_FALSE(offUiThread);
}

TEST_F(WindowTest, ClosingWritesTheSaveFileAndTheConfiguration) {
  Create();
  test::Footer footer;
  footer.saveTypeCode = 0x01;  // 8 KB SRAM
  const std::string game = Image("keep.ws", footer);
  std::vector<uint8_t> save(0x2000);
  for (size_t i = 0; i < save.size(); ++i) save[i] = static_cast<uint8_t>(i * 7);
  test::WriteFile(dir.file("keep.sav"), save);
  Open(game);
  ASSERT_TRUE(form->running());
  std::filesystem::remove(dir.file("keep.sav"));
  form->ScaleBy[2]->trigger();
  form->Skip[3]->trigger();
  form->SetChannelSwitch(Sound2, false);
  form->move(40, 50);

  EXPECT_TRUE(form->close());
  EXPECT_FALSE(form->running());
  EXPECT_EQ(test::ReadFile(dir.file("keep.sav")), save);
  IniFile ini(dir.file("Kestra.INI"));
  EXPECT_EQ(ini.ReadString("CONFIG", "DefaultDir", "-", 512), dir.path().string());
  EXPECT_EQ(ini.ReadInt("CONFIG", "DrawSize", -1), 3);
  EXPECT_EQ(ini.ReadInt("CONFIG", "FrameSkip", -1), 3);
  EXPECT_EQ(ini.ReadInt("CONFIG", "Sound1", -1), 1);
  EXPECT_EQ(ini.ReadInt("CONFIG", "Sound2", -1), 0);
  EXPECT_EQ(ini.ReadInt("CONFIG", "DrawTop", -1), 50);
  EXPECT_EQ(ini.ReadInt("CONFIG", "DrawLeft", -1), 40);
  EXPECT_EQ(ini.ReadString("KEYBOARD", "HStart", "", 64), "RETURN");
}

TEST_F(WindowTest, ConfiguredScaleAndSwitchesApplyAtStart) {
  test::WriteFile(dir.file("Kestra.INI"), {});
  {
    IniFile ini(dir.file("Kestra.INI"));
    ini.WriteString("CONFIG", "DrawSize", "2");
    ini.WriteString("CONFIG", "FrameSkip", "0");
    ini.WriteString("CONFIG", "SoundNoise", "0");
    ini.Flush();
  }
  Create();
  EXPECT_EQ(form->clientSize(), QSize(448, 308));
  EXPECT_TRUE(form->ScaleBy[1]->isChecked());
  EXPECT_TRUE(form->Skip[0]->isChecked());
  EXPECT_FALSE(form->Skip[1]->isChecked());
  EXPECT_FALSE(form->SoundItems[SoundNoise]->isChecked());
  EXPECT_FALSE(m->settings.sound(SoundNoise));
  EXPECT_EQ(m->display.DisplayScale, 2);
  ASSERT_NE(m->display.FrameBuffer, nullptr);
}

// SetChannelSwitch acts on a buffer only when the channel is enabled.
TEST_F(WindowTest, ChannelSwitchesFollowTheEnables) {
  Create();
  struct Row {
    SoundSwitch k;
    uint8_t control;
    int buffer;  // -1: no buffer is touched
  };
  const Row rows[] = {
      {Sound1, 0x01, 0},     {Sound1, 0xFE, -1},    {Sound2, 0x02, 1},
      {Sound2, 0x22, -1},    {Sound3, 0x04, 2},     {Sound3, 0x00, -1},
      {Sound4, 0x08, 3},     {Sound4, 0x88, -1},    {SoundNoise, 0x88, 5},
      {SoundNoise, 0x08, -1}, {SoundPCM, 0xFF, -1}, {SoundDMA, 0xFF, -1},
  };
  for (const Row& row : rows) {
    WritePort(*m, 0x90, row.control);
    for (int b = 0; b < 6; ++b) audio.Stop(b);
    form->SetChannelSwitch(row.k, true);
    for (int b = 0; b < 6; ++b) {
      EXPECT_EQ(audio.Status(b).playing, b == row.buffer) << int(row.k) << " on, buffer " << b;
    }
    EXPECT_TRUE(form->SoundItems[row.k]->isChecked());
    EXPECT_TRUE(m->settings.sound(row.k));

    for (int b = 0; b < 6; ++b) audio.Play(b);
    form->SoundItems[row.k]->trigger();  // the menu flips the mark: off
    for (int b = 0; b < 6; ++b) {
      EXPECT_EQ(audio.Status(b).playing, b != row.buffer) << int(row.k) << " off, buffer " << b;
    }
    EXPECT_FALSE(form->SoundItems[row.k]->isChecked());
    EXPECT_FALSE(m->settings.sound(row.k));
  }
}

TEST_F(WindowTest, FramesReachTheImageAreaScaled) {
  Create();
  form->ScaleBy[2]->trigger();
  Open(test::RomPath("still.wsc"));
  ASSERT_TRUE(form->running());
  // The cartridge's first tile is colour 0 of palette 0: red 1, green 0, blue 15.
  const QRgb corner = qRgb(0x11, 0x00, 0xFF);
  ASSERT_TRUE(WaitFor([&] { return form->imageArea()->CurrentImage().pixel(0, 0) == corner; }))
      << std::hex << form->imageArea()->CurrentImage().pixel(0, 0);
  // The cartridge is still drawing its first frames: compare a paint with the
  // frame it painted, taken while no newer frame came in.
  QImage shown, frame;
  for (int attempt = 0; attempt < 20; ++attempt) {
    frame = form->imageArea()->CurrentImage();
    shown = form->imageArea()->grab().toImage();
    if (form->imageArea()->CurrentImage() == frame) break;
  }
  ASSERT_EQ(shown.size(), QSize(672, 432));
  bool blocks = true;
  for (int y = 0; y < 432 && blocks; ++y) {
    for (int x = 0; x < 672 && blocks; ++x) blocks = shown.pixel(x, y) == frame.pixel(x / 3, y / 3);
  }
  EXPECT_TRUE(blocks);
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(WindowTest, KeysReachTheBindingsOfTheOrientation) {
  Create();
  Open(Image("keys.ws"));
  form->FormKeyDown(38);  // Up arrow
  EXPECT_EQ(form->input().keyboardMask(), 1u << 4);
  form->FormKeyUp(38);
  form->FormKeyDown(kVkF1);
  form->FormKeyDown(38);
  EXPECT_EQ(form->input().keyboardMask(), 1u << 5);
}

}  // namespace
}  // namespace kestra
