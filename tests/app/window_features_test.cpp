// What the window adds for a desktop: recent files, drops, full screen, and
// keys let go when the console turns.
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QUrl>
#include <deque>
#include <filesystem>
#include <gtest/gtest.h>

#include "app/full_screen.h"
#include "app/ini.h"
#include "app/key_codes.h"
#include "app/main_form.h"
#include "app/qt_display.h"
#include "core/machine.h"
#include "system/console.h"
#include "sound/host_audio.h"
#include "support/test_support.h"
#include "qt_wait.h"

namespace kestra {

void EnsureApplication();  // window_test.cpp

namespace {

using test::WaitFor;

struct FeatureTest : ::testing::Test {
  FeatureTest() { EnsureApplication(); }

  void Create() {
    MainFormOptions options;
    options.configPath = dir.file("Kestra.INI");
    options.audio = &audio;
    options.messages = &messages;
    options.openDialog = [this](const std::string&) -> std::optional<std::string> {
      ++dialogs;
      const std::string answer = answers.front();
      answers.pop_front();
      if (answer.empty()) return std::nullopt;
      return answer;
    };
    form = std::make_unique<TMainForm>(*m, options);
  }

  void Open(const std::string& path) {
    answers.push_back(path);
    form->Open1Click();
  }

  std::string Image(const std::string& name, test::Footer footer = {}) {
    const std::string path = dir.file(name);
    test::WriteFile(path, test::MakeImage(1, footer));
    return path;
  }

  // The entries of File > Open Recent as the user sees them.
  std::vector<std::pair<QString, bool>> RecentMenu() {
    form->RefreshRecentMenu();
    std::vector<std::pair<QString, bool>> items;
    for (QAction* a : form->RecentItems) {
      if (a->isVisible()) items.push_back({a->text(), a->isEnabled()});
    }
    return items;
  }


  void Key(QEvent::Type type, int qtKey, uint32_t scanCode) {
    QKeyEvent event(type, qtKey, Qt::NoModifier, scanCode, 0, 0);
    QApplication::sendEvent(form.get(), &event);
  }

  test::TempDir dir;
  test::CapturedMessages messages;
  OfflineAudio audio;
  std::unique_ptr<Machine> m = CreateMachine();
  std::unique_ptr<TMainForm> form;
  std::deque<std::string> answers;
  int dialogs = 0;
};

TEST_F(FeatureTest, TurningTheConsoleLetsGoOfHeldKeys) {
  Create();
  Open(Image("turn.ws"));
  ASSERT_TRUE(form->running());
  Key(QEvent::KeyPress, Qt::Key_W, 25);
  EXPECT_EQ(form->input().keyboardMask(), 1u << 0);  // HYUp
  Key(QEvent::KeyPress, Qt::Key_F1, 67);
  ASSERT_TRUE(form->Vertical());
  // W went down as Y1 and comes up under the vertical lists, where it is Y2.
  Key(QEvent::KeyRelease, Qt::Key_W, 25);
  EXPECT_EQ(form->input().keyboardMask(), 0u);
  Key(QEvent::KeyRelease, Qt::Key_F1, 67);
  // The keys work as before afterwards.
  Key(QEvent::KeyPress, Qt::Key_W, 25);
  EXPECT_EQ(form->input().keyboardMask(), 1u << 1);  // VYUp
  Key(QEvent::KeyRelease, Qt::Key_W, 25);
  EXPECT_EQ(form->input().keyboardMask(), 0u);
  EXPECT_TRUE(form->running());
}

TEST_F(FeatureTest, RecentFilesNewestFirstLimitedAndMissingOnesDisabled) {
  Create();
  std::vector<std::string> images;
  for (int i = 0; i < 12; ++i) images.push_back(Image("game" + std::to_string(i) + ".ws"));
  EXPECT_TRUE(RecentMenu().empty());
  EXPECT_FALSE(form->ClearRecent->isEnabled());
  for (const std::string& image : images) Open(image);
  // A file that does not load is not kept.
  Open(dir.file("nothing.ws"));
  ASSERT_EQ(form->config().Recent.paths().size(), 10u);
  EXPECT_EQ(form->config().Recent.paths().front(), images[11]);
  EXPECT_EQ(form->config().Recent.paths().back(), images[2]);

  // Opening one again moves it to the top without repeating it.
  Open(images[5]);
  const auto& paths = form->config().Recent.paths();
  ASSERT_EQ(paths.size(), 10u);
  EXPECT_EQ(paths[0], images[5]);
  EXPECT_EQ(paths[1], images[11]);
  EXPECT_EQ(std::count(paths.begin(), paths.end(), images[5]), 1);

  std::filesystem::remove(images[11]);
  const auto items = RecentMenu();
  ASSERT_EQ(items.size(), 10u);
  EXPECT_EQ(items[0].first, "&1  " + QString::fromStdString(images[5]));
  EXPECT_EQ(items[9].first, "1&0  " + QString::fromStdString(images[2]));
  EXPECT_TRUE(items[0].second);
  EXPECT_FALSE(items[1].second);  // gone from the disk
  EXPECT_TRUE(items[2].second);

  // An entry opens its file the way Open does.
  const int before = dialogs;
  form->RecentItems[2]->trigger();
  EXPECT_EQ(dialogs, before);
  EXPECT_EQ(form->cartridgeName(), images[10]);
  EXPECT_EQ(form->config().Recent.paths().front(), images[10]);
  EXPECT_TRUE(form->running());

  form->ClearRecent->trigger();
  EXPECT_TRUE(RecentMenu().empty());
  EXPECT_TRUE(form->config().Recent.paths().empty());
}

TEST_F(FeatureTest, RecentFilesSurviveARestart) {
  std::filesystem::create_directories(dir.path() / "a & b");
  const std::string first = Image("first.ws");
  const std::string second = (dir.path() / "a & b" / "second.wsc").string();
  test::WriteFile(second, test::MakeImage(1, {}));
  Create();
  // A fresh file lists the section with every key.
  {
    IniFile ini(dir.file("Kestra.INI"));
    for (int i = 0; i < 10; ++i) {
      EXPECT_EQ(ini.ReadString("RECENT", "File" + std::to_string(i), "missing", 512), "") << i;
    }
  }
  Open(first);
  Open(second);
  form->close();
  form.reset();
  {
    IniFile ini(dir.file("Kestra.INI"));
    EXPECT_EQ(ini.ReadString("RECENT", "File0", "", 512), second);
    EXPECT_EQ(ini.ReadString("RECENT", "File1", "", 512), first);
    EXPECT_EQ(ini.ReadString("RECENT", "File2", "missing", 512), "");
    // A hand edit: a gap, a repeat and a file that is gone.
    ini.WriteString("RECENT", "File1", "");
    ini.WriteString("RECENT", "File3", second);
    ini.WriteString("RECENT", "File4", dir.file("gone.ws"));
    ini.WriteString("RECENT", "File5", first);
    ASSERT_TRUE(ini.Flush());
  }
  m = CreateMachine();
  Create();
  EXPECT_EQ(form->config().Recent.paths(),
            (std::vector<std::string>{second, dir.file("gone.ws"), first}));
  const auto items = RecentMenu();
  ASSERT_EQ(items.size(), 3u);
  EXPECT_TRUE(items[0].second);
  EXPECT_EQ(items[0].first, "&1  " + QString::fromStdString(second).replace("&", "&&"));
  EXPECT_FALSE(items[1].second);
  EXPECT_TRUE(items[2].second);
}

TEST_F(FeatureTest, DroppedImageOpensLikeOpen) {
  Create();
  test::Footer footer;
  footer.saveTypeCode = 0x01;
  const std::string running = Image("running.ws", footer);
  Open(running);
  ASSERT_TRUE(form->running());
  std::filesystem::remove(dir.file("running.sav"));
  const int starts = form->emulationStarts();

  const auto sub = dir.path() / "drops";
  std::filesystem::create_directories(sub);
  const std::string dropped = (sub / "Dropped.WSC").string();
  test::WriteFile(dropped, test::MakeImage(1, {}));

  auto drop = [&](const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &enter);
    QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &event);
    QApplication::processEvents();
    return enter.isAccepted();
  };

  // Other drops are refused and change nothing.
  EXPECT_FALSE(drop({QUrl::fromLocalFile(QString::fromStdString(dir.file("notes.txt")))}));
  EXPECT_FALSE(drop({QUrl("https://example.org/game.ws")}));
  EXPECT_EQ(form->cartridgeName(), running);
  EXPECT_EQ(form->emulationStarts(), starts);

  EXPECT_TRUE(drop({QUrl::fromLocalFile(QString::fromStdString(dropped))}));
  ASSERT_TRUE(WaitFor([&] { return form->cartridgeName() == dropped; }));
  EXPECT_EQ(dialogs, 1);  // the first Open only
  EXPECT_TRUE(std::filesystem::exists(dir.file("running.sav")));  // the unload wrote it
  EXPECT_EQ(form->windowTitle(), "Kestra Dropped.WSC");
  EXPECT_EQ(form->config().DefaultDir, sub.string());
  EXPECT_EQ(form->config().Recent.paths().front(), dropped);
  EXPECT_TRUE(form->running());
  EXPECT_EQ(form->emulationStarts(), starts + 1);
}

TEST(FullScreenGeometry, LargestWholeScaleCentred) {
  struct Case {
    int w, h;
    bool vertical;
    int scale;
    ScreenRect rect;
  };
  const Case cases[] = {
      {1920, 1080, false, 7, {176, 36, 1568, 1008}},
      {1920, 1080, true, 4, {672, 92, 576, 896}},
      {1280, 1024, false, 5, {80, 152, 1120, 720}},
      {1280, 1024, true, 4, {352, 64, 576, 896}},
      {800, 600, false, 3, {64, 84, 672, 432}},
      {800, 600, true, 2, {256, 76, 288, 448}},
      {448, 288, false, 2, {0, 0, 448, 288}},  // exactly two
      {447, 288, false, 1, {111, 72, 224, 144}},
      {200, 100, false, 1, {-12, -22, 224, 144}},  // smaller than the picture
  };
  for (const Case& c : cases) {
    const FullScreenLayout l = FullScreenGeometry(c.w, c.h, c.vertical);
    EXPECT_EQ(l.scale, c.scale) << c.w << "x" << c.h << " " << c.vertical;
    EXPECT_EQ(l.image, c.rect) << c.w << "x" << c.h << " " << c.vertical;
  }
}

TEST_F(FeatureTest, FullScreenHidesTheBarsAndEscapeLeaves) {
  Create();
  form->show();
  QApplication::processEvents();
  Open(Image("full.ws"));
  ASSERT_TRUE(form->running());
  const QSize windowed = form->clientSize();

  // F11 and Esc hold no console key.
  EXPECT_EQ(VirtualKeyForQtKey(Qt::Key_F11), -1);
  EXPECT_EQ(VirtualKeyForQtKey(Qt::Key_Escape), -1);

  form->FullScreen->trigger();
  ASSERT_TRUE(WaitFor([&] { return form->isFullScreen(); }));
  EXPECT_TRUE(form->FullScreen->isChecked());
  EXPECT_FALSE(form->menuBar()->isVisible());
  EXPECT_FALSE(form->StatusBar1->isVisible());
  ASSERT_TRUE(WaitFor([&] { return form->imageArea()->size() == form->size(); }));
  const QSize area = form->imageArea()->size();
  FullScreenLayout l = FullScreenGeometry(area.width(), area.height(), false);
  EXPECT_EQ(form->imageArea()->PictureRect(),
            QRect(l.image.x, l.image.y, l.image.width, l.image.height));
  EXPECT_TRUE(form->running());

  // Turning the console keeps the screen and turns the picture.
  form->FormKeyDown(kVkF1);
  ASSERT_TRUE(form->Vertical());
  EXPECT_EQ(form->imageArea()->size(), area);
  ASSERT_TRUE(WaitFor([&] {
    const QRect r = form->imageArea()->PictureRect();
    return r.height() > r.width();
  }));
  l = FullScreenGeometry(area.width(), area.height(), true);
  EXPECT_EQ(form->imageArea()->PictureRect(),
            QRect(l.image.x, l.image.y, l.image.width, l.image.height));
  const QImage shot = form->imageArea()->grab().toImage();
  EXPECT_EQ(shot.pixel(0, 0), QColor(Qt::black).rgb());

  // Console keys still reach the game; Esc leaves.
  Key(QEvent::KeyPress, Qt::Key_W, 25);
  EXPECT_EQ(form->input().keyboardMask(), 1u << 1);
  Key(QEvent::KeyRelease, Qt::Key_W, 25);
  Key(QEvent::KeyPress, Qt::Key_Escape, 9);
  EXPECT_EQ(form->input().keyboardMask(), 0u);
  ASSERT_TRUE(WaitFor([&] { return !form->isFullScreen(); }));
  EXPECT_FALSE(form->FullScreen->isChecked());
  EXPECT_TRUE(form->menuBar()->isVisible());
  EXPECT_TRUE(form->StatusBar1->isVisible());
  EXPECT_EQ(form->clientSize(), QSize(windowed.height() - 20, windowed.width() + 20));
  EXPECT_EQ(form->imageArea()->PictureRect(), QRect(0, 0, 144, 224));

  // F11 goes in and out.
  form->activateWindow();
  Key(QEvent::KeyPress, Qt::Key_F11, 95);
  ASSERT_TRUE(WaitFor([&] { return form->isFullScreen(); }));
  Key(QEvent::KeyPress, Qt::Key_F11, 95);
  ASSERT_TRUE(WaitFor([&] { return !form->isFullScreen(); }));
  EXPECT_EQ(form->input().keyboardMask(), 0u);
}

}  // namespace
}  // namespace kestra
