// Options > Input...: captures from the keyboard and a joystick, and lists
// that the window writes and reads back as the configuration reader does.
#include "app/key_dialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <deque>
#include <gtest/gtest.h>

#include "app/ini.h"
#include "app/main_form.h"
#include "core/machine.h"
#include "system/console.h"
#include "sound/host_audio.h"
#include "support/test_support.h"
#include "qt_wait.h"

namespace kestra {

void EnsureApplication();  // window_test.cpp

namespace {

using test::WaitFor;

struct FakePad final : JoystickDevice {
  int DeviceCount() override { return 1; }
  bool ReadCaps(int id, JoystickCaps& caps) override {
    if (id != 0) return false;
    caps = {0, 65535, 0, 65535};
    return true;
  }
  bool ReadPosition(int id, JoystickPosition& p) override {
    if (id != 0) return false;
    p = position;
    ++reads;
    return true;
  }
  JoystickPosition position{32768, 32768, 0};
  int reads = 0;
};

constexpr int kHA = 10, kHB = 11, kStart = 9;

int Kb(bool vertical, int key) { return KeySetupDialog::ListIndex(vertical, key, false); }
int Joy(bool vertical, int key) { return KeySetupDialog::ListIndex(vertical, key, true); }

void Press(QWidget* to, int qtKey) {
  QKeyEvent event(QEvent::KeyPress, qtKey, Qt::NoModifier);
  QApplication::sendEvent(to, &event);
}


struct KeyDialogTest : ::testing::Test {
  KeyDialogTest() { EnsureApplication(); }

  void Create() {
    MainFormOptions options;
    options.configPath = dir.file("Kestra.INI");
    options.audio = &audio;
    options.messages = &messages;
    options.joystick = &pad;
    options.openDialog = [this](const std::string&) { return std::optional<std::string>(image); };
    options.keyDialog = [this](KeySetupDialog& d) { return onDialog(d); };
    form = std::make_unique<TMainForm>(*m, options);
  }

  test::TempDir dir;
  test::CapturedMessages messages;
  OfflineAudio audio;
  FakePad pad;
  std::unique_ptr<Machine> m = CreateMachine();
  std::unique_ptr<TMainForm> form;
  std::string image;
  std::function<bool(KeySetupDialog&)> onDialog;
};

TEST_F(KeyDialogTest, CapturesKeysAndButtonsAndTheFileReadsBackTheSame) {
  image = dir.file("pad.ws");
  test::WriteFile(image, test::MakeImage(1, {}));
  Create();
  form->Open1Click();
  ASSERT_TRUE(form->running());
  const int starts = form->emulationStarts();

  KeySetupDialog::Lists shown;
  onDialog = [&](KeySetupDialog& d) {
    EXPECT_FALSE(form->running());  // the bindings change with the thread stopped
    for (int i = 0; i < kBindingListCount; ++i) shown[i] = d.field(i)->text().toStdString();

    // A key adds its name to the list; a key without a name does not, Esc cancels.
    d.captureButton(Kb(false, kHA))->click();
    EXPECT_EQ(d.capturing(), Kb(false, kHA));
    EXPECT_EQ(d.captureButton(Kb(false, kHA))->text(), "press a key");
    Press(&d, Qt::Key_F1);
    EXPECT_EQ(d.capturing(), Kb(false, kHA));
    Press(&d, Qt::Key_Q);
    EXPECT_EQ(d.capturing(), -1);
    EXPECT_EQ(d.field(Kb(false, kHA))->text(), "X,Q");
    // Return is a console key's name, not the dialog's OK, while capturing;
    // the focus may be anywhere in the dialog.
    d.captureButton(Kb(true, kStart))->click();
    d.field(0)->setFocus();
    Press(d.field(0), Qt::Key_Space);
    EXPECT_EQ(d.field(Kb(true, kStart))->text(), "RETURN,SPACE");
    EXPECT_EQ(d.field(0)->text(), "W");
    d.captureButton(Kb(false, kHB))->click();
    Press(&d, Qt::Key_Escape);
    EXPECT_EQ(d.capturing(), -1);
    EXPECT_EQ(d.result(), 0);  // Esc cancelled the capture, not the dialog
    EXPECT_EQ(d.field(Kb(false, kHB))->text(), "Z");

    // A button pressed during the capture is added ...
    d.captureButton(Joy(false, kHB))->click();
    EXPECT_EQ(d.captureButton(Joy(false, kHB))->text(), "press a button");
    pad.position.buttons = 1u << 9;  // button 10
    EXPECT_TRUE(WaitFor([&] { return d.capturing() == -1; }));
    EXPECT_EQ(d.field(Joy(false, kHB))->text(), "1,10");
    // ... but one already held when it began counts only once pressed again.
    d.captureButton(Joy(false, kHA))->click();
    const int reads = pad.reads;
    EXPECT_TRUE(WaitFor([&] { return pad.reads > reads + 2; }));
    EXPECT_EQ(d.capturing(), Joy(false, kHA));
    pad.position.buttons = 0;
    pad.position.x = 65535;  // the stick pushed right
    EXPECT_TRUE(WaitFor([&] { return d.capturing() == -1; }));
    EXPECT_EQ(d.field(Joy(false, kHA))->text(), "2,RIGHT");
    pad.position.x = 32768;

    // An emptied list binds nothing and is kept so.
    d.field(Kb(true, 0))->setText("");
    return true;
  };
  form->InputSetup->trigger();
  EXPECT_TRUE(form->running());
  EXPECT_EQ(form->emulationStarts(), starts + 1);
  for (int i = 0; i < kBindingKeyCount; ++i) {
    EXPECT_EQ(shown[i], kKeyboardDefaults[i]) << i;
    EXPECT_EQ(shown[kBindingKeyCount + i], kJoypadDefaults[i]) << i;
  }

  // In effect at once.
  form->FormKeyDown('Q');
  EXPECT_EQ(form->input().keyboardMask(), 1u << kHA);
  form->FormKeyUp('Q');
  pad.position.buttons = 1u << 9;
  EXPECT_EQ(form->input().PollInput(), 1u << kHB);
  pad.position.buttons = 0;
  pad.position.x = 65535;
  EXPECT_EQ(form->input().PollInput(), (1u << kHA) | (1u << 5));  // RIGHT is also HXRight
  pad.position.x = 32768;

  // In the file in the reader's syntax.
  {
    IniFile ini(dir.file("Kestra.INI"));
    EXPECT_EQ(ini.ReadString("KEYBOARD", "HAButton", "", 64), "X,Q");
    EXPECT_EQ(ini.ReadString("KEYBOARD", "VStart", "", 64), "RETURN,SPACE");
    EXPECT_EQ(ini.ReadString("KEYBOARD", "VYLeft", "", 64), KeySetupDialog::kUnbound);
    EXPECT_EQ(ini.ReadString("JOYPAD", "HBButton", "", 64), "1,10");
    EXPECT_EQ(ini.ReadString("JOYPAD", "HAButton", "", 64), "2,RIGHT");
  }

  // A restart reads the same lists and builds the same tables in both orientations.
  const Config before = form->config();
  std::array<std::array<uint32_t, 256>, 2> keys;
  std::array<std::array<uint32_t, 16>, 2> joy;
  for (int v = 0; v < 2; ++v) {
    form->SetScale(1, v == 1);
    keys[v] = form->input().KeyBindings;
    joy[v] = form->input().JoyBindings;
  }
  EXPECT_EQ(keys[1][13], 1u << kStart);
  EXPECT_EQ(keys[1][' '], 1u << kStart);
  EXPECT_EQ(keys[1]['A'], 0u);  // VYLeft unbound
  form.reset();
  m = CreateMachine();
  Create();
  EXPECT_EQ(form->config().BindingText, before.BindingText);
  for (int v = 0; v < 2; ++v) {
    form->SetScale(1, v == 1);
    EXPECT_EQ(form->input().KeyBindings, keys[v]) << v;
    EXPECT_EQ(form->input().JoyBindings, joy[v]) << v;
  }
}

TEST_F(KeyDialogTest, DefaultsAndCancel) {
  Create();
  const std::string file = dir.file("Kestra.INI");
  onDialog = [&](KeySetupDialog& d) {
    d.field(Kb(false, 0))->setText("Q");
    d.field(Joy(true, 11))->setText("");
    d.defaultsButton->click();
    EXPECT_EQ(d.field(Kb(false, 0))->text(), "W");
    EXPECT_EQ(d.field(Joy(true, 11))->text(), "7");
    d.field(Kb(false, 0))->setText("Q");
    return false;  // Cancel
  };
  form->InputSetup->trigger();
  EXPECT_EQ(form->config().BindingText[0], "W");
  EXPECT_EQ(IniFile(file).ReadString("KEYBOARD", "HYUp", "", 64), "W");
  form->FormKeyDown('Q');
  EXPECT_EQ(form->input().keyboardMask(), 0u);

  // OK through the dialog's own button.
  onDialog = [&](KeySetupDialog& d) {
    d.field(Kb(false, 0))->setText("Q,W");
    d.okButton->click();
    return d.result() == QDialog::Accepted;
  };
  form->InputSetup->trigger();
  EXPECT_EQ(IniFile(file).ReadString("KEYBOARD", "HYUp", "", 64), "Q,W");
  form->FormKeyDown('Q');
  EXPECT_EQ(form->input().keyboardMask(), 1u << 0);
  EXPECT_FALSE(form->running());  // nothing was loaded, nothing starts
}

}  // namespace
}  // namespace kestra
