// The Qt pieces around the window: key codes, message boxes across threads,
// the open dialog's filter, the image area and the About box.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <gtest/gtest.h>

#include <thread>

#include "app/about_form.h"
#include "app/key_codes.h"
#include "app/main_form.h"
#include "app/qt_display.h"
#include "app/qt_messages.h"
#include "core/machine.h"
#include "sound/host_audio.h"
#include "support/test_support.h"

namespace kestra {

void EnsureApplication();  // window_test.cpp

namespace {

TEST(KeyCodes, QtKeysBecomeWindowsCodes) {
  EXPECT_EQ(VirtualKeyForQtKey(Qt::Key_Return), 13);
  EXPECT_EQ(VirtualKeyForQtKey(Qt::Key_Enter), 13);
  EXPECT_EQ(VirtualKeyForQtKey(Qt::Key_Backspace), 8);
  EXPECT_EQ(VirtualKeyForQtKey(Qt::Key_Shift), 16);
  EXPECT_EQ(VirtualKeyForQtKey(Qt::Key_Control), 17);
  EXPECT_EQ(VirtualKeyForQtKey(Qt::Key_Space), 32);
  EXPECT_EQ(VirtualKeyForQtKey(Qt::Key_Left), 37);
  EXPECT_EQ(VirtualKeyForQtKey(Qt::Key_Down), 40);
  EXPECT_EQ(VirtualKeyForQtKey(Qt::Key_0), 48);
  EXPECT_EQ(VirtualKeyForQtKey(Qt::Key_9), 57);
  EXPECT_EQ(VirtualKeyForQtKey(Qt::Key_A), 65);
  EXPECT_EQ(VirtualKeyForQtKey(Qt::Key_Z), 90);
  EXPECT_EQ(VirtualKeyForQtKey(Qt::Key_F1), 0x70);
  EXPECT_EQ(VirtualKeyForQtKey(Qt::Key_Colon), 186);
  EXPECT_EQ(VirtualKeyForQtKey(Qt::Key_Semicolon), 187);
  EXPECT_EQ(VirtualKeyForQtKey(Qt::Key_Minus), 189);
  EXPECT_EQ(VirtualKeyForQtKey(Qt::Key_Period), 190);
  EXPECT_EQ(VirtualKeyForQtKey(Qt::Key_Slash), 191);
  EXPECT_EQ(VirtualKeyForQtKey(Qt::Key_At), 192);
  EXPECT_EQ(VirtualKeyForQtKey(Qt::Key_BracketLeft), 219);
  EXPECT_EQ(VirtualKeyForQtKey(Qt::Key_Backslash), 220);
  EXPECT_EQ(VirtualKeyForQtKey(Qt::Key_BracketRight), 221);
  EXPECT_EQ(VirtualKeyForQtKey(Qt::Key_AsciiCircum), 222);
  EXPECT_EQ(VirtualKeyForQtKey(Qt::Key_F2), -1);
  EXPECT_EQ(VirtualKeyForQtKey(Qt::Key_Escape), -1);
}

TEST(KeyCodes, ReleaseReportsTheCodeOfThePress) {
  KeyCodeTracker keys;
  // ";" goes down, Shift turns its release into "+": still 187 goes up.
  EXPECT_EQ(keys.Press(Qt::Key_Semicolon, 47), 187);
  EXPECT_EQ(keys.Release(Qt::Key_Plus, 47), 187);
  // Without a scan code the key itself decides.
  EXPECT_EQ(keys.Press(Qt::Key_W, 0), 'W');
  EXPECT_EQ(keys.Release(Qt::Key_W, 0), 'W');
  EXPECT_EQ(keys.Release(Qt::Key_Plus, 47), -1);
  // "2" held, then Shift: its repeats come as "@" and still mean "2".
  EXPECT_EQ(keys.Press(Qt::Key_2, 11), '2');
  EXPECT_EQ(keys.Press(Qt::Key_At, 11), '2');
  EXPECT_EQ(keys.Release(Qt::Key_At, 11), '2');
  // Shift held first: "1" goes down as "!", which names nothing, and the
  // key's first nameable repeat decides.
  EXPECT_EQ(keys.Press(Qt::Key_Exclam, 10), -1);
  EXPECT_EQ(keys.Press(Qt::Key_1, 10), '1');
  EXPECT_EQ(keys.Release(Qt::Key_Exclam, 10), '1');
}

TEST(QtMessagesTest, EmulationThreadWaitsForTheBoxOnTheUiThread) {
  EnsureApplication();
  std::vector<std::string> shown;
  Qt::HANDLE boxThread = nullptr;
  QtMessages messages([&](const std::string& caption, const std::string& text, MessageIcon) {
    boxThread = QThread::currentThreadId();
    shown.push_back(caption + ":" + text);
  });
  messages.ShowMessage("a", "ui", MessageIcon::Warning);
  ASSERT_EQ(shown.size(), 1u);

  bool returned = false;
  std::thread worker([&] {
    messages.ShowMessage("b", "worker", MessageIcon::None);
    returned = shown.size() == 2;  // the box was done before the call returned
  });
  QElapsedTimer timer;
  timer.start();
  while (shown.size() < 2 && timer.elapsed() < 5000) QApplication::processEvents();
  worker.join();
  EXPECT_TRUE(returned);
  EXPECT_EQ(shown.back(), "b:worker");
  EXPECT_EQ(boxThread, QThread::currentThreadId());
}

TEST(OpenDialogTest, OneFilterShowingBothExtensions) {
  EnsureApplication();
  test::TempDir dir;
  for (const char* name : {"a.ws", "b.wsc", "C.WSC", "d.txt", "e.sav"}) {
    test::WriteFile(dir.file(name), {0});
  }
  std::unique_ptr<QFileDialog> dialog(
      CreateOpenDialog(nullptr, QString::fromStdString(dir.path().string())));
  EXPECT_EQ(dialog->nameFilters(), QStringList{QString::fromUtf8("WSﾌｧｲﾙ(*ws;*wsc)")});
  auto* combo = dialog->findChild<QComboBox*>("fileTypeCombo");
  ASSERT_NE(combo, nullptr);
  EXPECT_EQ(combo->currentText(), QString::fromUtf8("WSﾌｧｲﾙ(*ws;*wsc)"));

  auto* model = dialog->findChild<QFileSystemModel*>();
  ASSERT_NE(model, nullptr);
  const QModelIndex root = model->index(QString::fromStdString(dir.path().string()));
  QElapsedTimer timer;
  timer.start();
  while (model->rowCount(root) < 3 && timer.elapsed() < 5000) QApplication::processEvents();
  QStringList listed;
  for (int r = 0; r < model->rowCount(root); ++r) listed << model->index(r, 0, root).data().toString();
  listed.sort();
  EXPECT_EQ(listed, (QStringList{"C.WSC", "a.ws", "b.wsc"}));
}

TEST(ImageArea, PresentsScaledAndBlanks) {
  EnsureApplication();
  TImageArea area;
  QtDisplay display(&area);
  ASSERT_TRUE(display.Open());
  ASSERT_TRUE(display.CreatePrimary(224, 144, 2));
  Surface frame;
  ASSERT_TRUE(display.CreateFrameBuffer(224, 144, 4, frame));
  area.setFixedSize(448, 288);
  // A pattern: each pixel its own colour.
  for (int y = 0; y < 144; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(frame.pixels + y * frame.pitch);
    for (int x = 0; x < 224; ++x) row[x] = (x << 16) | (y << 8) | ((x + y) & 0xFF);
  }
  ASSERT_TRUE(display.Present(frame));
  const QImage grabbed = area.grab().toImage();
  ASSERT_EQ(grabbed.size(), QSize(448, 288));
  bool blocks = true;
  for (int y = 0; y < 288 && blocks; ++y) {
    for (int x = 0; x < 448 && blocks; ++x) {
      const QRgb want = 0xFF000000u | ((x / 2) << 16) | ((y / 2) << 8) | ((x / 2 + y / 2) & 0xFF);
      blocks = grabbed.pixel(x, y) == want;
    }
  }
  EXPECT_TRUE(blocks);
  ASSERT_TRUE(display.ClearPrimary());
  EXPECT_EQ(area.grab().toImage().pixel(300, 200), qRgb(0, 0, 0));
  display.Close();
  EXPECT_FALSE(display.Present(frame));
}

TEST(AboutBox, LayoutAndOk) {
  EnsureApplication();
  TForm1 about;
  EXPECT_EQ(about.windowTitle(), "About");
  EXPECT_EQ(about.size(), QSize(244, 144));
  EXPECT_EQ(about.Label1->text(), "Kestra 0.20");
  EXPECT_EQ(about.Button1->text(), "OK");
  EXPECT_EQ(about.Button1->geometry(), QRect(88, 112, 57, 25));
  about.show();
  about.Button1->click();
  EXPECT_EQ(about.result(), QDialog::Accepted);
  EXPECT_FALSE(about.isVisible());
}

}  // namespace
}  // namespace kestra
