#include "app/main_form.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QScreen>
#include <QUrl>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QStatusBar>
#include <QWindow>
#include <QDateTime>
#include <QDir>
#include <QKeySequence>
#include <QPixmap>
#include <fstream>
#include <iterator>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/about_form.h"
#include "app/job5ms.h"
#include "emulator/emulator.h"
#include "app/key_dialog.h"
#include "app/qt_display.h"
#include "app/qt_messages.h"
#include "core/cartridge.h"
#include "system/loader.h"
#include "core/machine.h"
#include "core/ports.h"
#include "sound/sound.h"
#include "sound/voice.h"
#include "video/display.h"
#include "video/png.h"
#include "emulator/snapshot.h"
#include "sound/host_audio.h"

namespace kestra {

namespace {


// Files our filter lists: the name ends in "ws" or "wsc", any case.
constexpr const char* kCartridgePatterns[] = {"*ws", "*wsc"};

}  // namespace

QFileDialog* CreateOpenDialog(QWidget* parent, const QString& startDir) {
  auto* dialog = new QFileDialog(parent, QString(), startDir);
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setFileMode(QFileDialog::ExistingFile);
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  dialog->setNameFilter(QString::fromUtf8(kOpenFilter));
  // Qt reads the patterns of a filter as separated by spaces, so it would take
  // "*ws;*wsc" as one pattern: give the list model both patterns ourselves.
  if (auto* model = dialog->findChild<QFileSystemModel*>()) {
    model->setNameFilters({kCartridgePatterns[0], kCartridgePatterns[1]});
    model->setNameFilterDisables(false);
  }
  return dialog;
}

QString DroppedImage(const QMimeData* data) {
  if (!data || !data->hasUrls() || data->urls().isEmpty()) return {};
  const QUrl url = data->urls().first();
  if (!url.isLocalFile()) return {};
  const QString path = url.toLocalFile();
  const QString suffix = QFileInfo(path).suffix().toLower();
  return suffix == "ws" || suffix == "wsc" ? path : QString();
}

TMainForm::TMainForm(Machine& m, MainFormOptions options)
    : m_(m), options_(std::move(options)), input_(config_.BindingText) {
  setWindowTitle("Kestra");
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFocusPolicy(Qt::StrongFocus);
  setAcceptDrops(true);

  BuildMenu();
  ImageArea = new TImageArea(this);
  ImageArea->setFixedSize(224, 144);
  setCentralWidget(ImageArea);
  StatusBar1 = new QStatusBar(this);
  StatusBar1->setSizeGripEnabled(false);
  StatusBar1->setFixedHeight(kStatusBarHeight);
  statusLabel_ = new QLabel(StatusBar1);
  StatusBar1->addWidget(statusLabel_, 1);
  setStatusBar(StatusBar1);
  layout()->setSizeConstraint(QLayout::SetFixedSize);  // not resizable
  move(0, 1);

  Form1 = new TForm1(nullptr);

  if (!options_.messages) {
    qtMessages_ = std::make_unique<QtMessages>();
    options_.messages = qtMessages_.get();
  }
  display_ = std::make_unique<QtDisplay>(ImageArea);
  EmulatorHost host;
  host.messages = options_.messages;
  host.ticks = m_.host.ticks;
  host.input = &input_;
  host.display = display_.get();
  host.audio = options_.audio;
  host.frontEnd = this;
  emulator_ = std::make_unique<Emulator>(m_, host);
  // Stops and starts of the emulation fade rather than click.
  if (options_.audio) options_.audio->SetFadeFrames(kOutputRate / 200);

  // No emulation thread exists yet.
  emulator_->OpenSound();
  config_.path = options_.configPath.empty() ? ConfigPath() : options_.configPath;
  LoadConfig(config_, emulator_->settings(), *this);
  emulator_->OpenDisplay();
  input_.OpenJoystick(options_.joystick);
  RefreshRecentMenu();
  ReadHotkeys();
  // Rewind keeps about 67 KB a second of play (measured on the bench
  // cartridge: 4.0 MB after 60 s; the demo needs 24 KB), capped at 64 MB.
  constexpr size_t kRewindBytesPerSecond = 68 * 1024;
  constexpr size_t kRewindCap = 64u << 20;
  emulator_->SetRewind(
      std::min(kRewindCap, static_cast<size_t>(config_.RewindSeconds) * kRewindBytesPerSecond));
}

TMainForm::~TMainForm() {
  if (!closed_) FormClose();
  delete Form1;
  emulator_.reset();  // the machine's own services back
}

void TMainForm::BuildMenu() {
  QMenuBar* bar = menuBar();
  File = bar->addMenu("&File");
  Open1 = File->addAction("&Open...", this, &TMainForm::Open1Click);
  OpenRecent = File->addMenu("Open &Recent");
  for (int i = 0; i < RecentFiles::kLimit; ++i) {
    RecentItems[i] = OpenRecent->addAction(QString());
    connect(RecentItems[i], &QAction::triggered, this, [this, i] {
      const auto& paths = config_.Recent.paths();
      if (i < static_cast<int>(paths.size())) OpenFile(std::string(paths[i]));
    });
  }
  OpenRecent->addSeparator();
  ClearRecent = OpenRecent->addAction("&Clear", this, [this] {
    config_.Recent.Clear();
    RefreshRecentMenu();
  });
  // A file may have gone since the list was last shown.
  connect(OpenRecent, &QMenu::aboutToShow, this, &TMainForm::RefreshRecentMenu);
  Exit1 = File->addAction("E&xit", this, &TMainForm::Exit1Click);

  Options = bar->addMenu("&Options");
  Frame = Options->addMenu("&Frame skip");
  for (int i = 0; i < 5; ++i) {
    Skip[i] = Frame->addAction(QString("Skip &%1/5").arg(i));
    Skip[i]->setCheckable(true);
    Skip[i]->setChecked(i == 1);
    connect(Skip[i], &QAction::triggered, this, [this, i] { SetFrameSkipMenu(i); });
  }
  Video = Options->addMenu("&Video");
  for (int i = 0; i < 3; ++i) {
    ScaleBy[i] = Video->addAction(QString("Size x&%1").arg(i + 1));
    ScaleBy[i]->setCheckable(true);
    ScaleBy[i]->setChecked(i == 0);
    connect(ScaleBy[i], &QAction::triggered, this, [this, i] { SetScale(i + 1, vertical_); });
  }
  FullScreen = Video->addAction("&Full screen");
  FullScreen->setCheckable(true);
  FullScreen->setShortcut(Qt::Key_F11);
  // Also the window's own action, so F11 works while the menu bar is hidden.
  addAction(FullScreen);
  connect(FullScreen, &QAction::triggered, this, [this](bool on) { SetFullScreen(on); });
  Sound = Options->addMenu("&Sound");
  const char* captions[SoundSwitchCount] = {"Channel &1", "Channel &2", "Channel &3",
                                            "Channel &4", "&Noise",     "&PCM",
                                            "&DMA"};
  for (int k = 0; k < SoundSwitchCount; ++k) {
    SoundItems[k] = Sound->addAction(captions[k]);
    SoundItems[k]->setCheckable(true);
    SoundItems[k]->setChecked(true);
    // Qt has already flipped the mark: `checked` is the opposite of the old one.
    connect(SoundItems[k], &QAction::triggered, this,
            [this, k](bool checked) { SetChannelSwitch(static_cast<SoundSwitch>(k), checked); });
  }

  InputSetup = Options->addAction("&Input...", this, &TMainForm::InputClick);

  BuildEmulationMenu();

  Help = bar->addMenu("&Help");
  About = Help->addAction("&About...", this, &TMainForm::HelpClick);
}

bool TMainForm::running() const { return job_ && job_->isRunning(); }

QSize TMainForm::clientSize() const {
  return QSize(ImageArea->width(), ImageArea->height() + StatusBar1->height());
}

QString TMainForm::statusText() const { return statusLabel_->text(); }

void TMainForm::ShowStatus(const std::string& text) {
  QMetaObject::invokeMethod(
      statusLabel_,
      [this, t = QString::fromStdString(text)] {
        // A command's message stays a while before the load figure's next update.
        if (!statusClock_.isValid() || statusClock_.elapsed() >= messageUntil_) {
          statusLabel_->setText(t);
        }
      },
      Qt::QueuedConnection);
}

void TMainForm::ShowMessageStatus(const std::string& text) {
  if (!statusClock_.isValid()) statusClock_.start();
  messageUntil_ = text.empty() ? 0 : statusClock_.elapsed() + kMessageMilliseconds;
  statusLabel_->setText(QString::fromStdString(text));
}

bool TMainForm::StopEmulation(bool atFrameEnd) {
  if (!job_) return false;
  stopping_ = true;
  play_.finishFrame.store(atFrameEnd, std::memory_order_release);
  job_->requestInterruption();
  // Wait in a local event loop: the thread may be waiting for a message box
  // that only this thread can show.
  if (!job_->isFinished()) {
    QEventLoop loop;
    connect(job_.get(), &QThread::finished, &loop, &QEventLoop::quit);
    if (!job_->isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
  }
  job_->Join();
  job_.reset();
  stopping_ = false;
  return true;
}

void TMainForm::StartEmulation(uint8_t soundControl) {
  emulator_->SetSoundControl(soundControl);
  // The cleared ring and stage idle at the silence level, off the centre
  // the running voice output idles at: they start from that centre, so the
  // first block of samples (completing one collected before the stop) makes
  // no step.
  emulator_->CentreVoice();
  emulator_->StartVoice();
  job_ = std::make_unique<Job5ms>(
      *emulator_, [this](const std::string& s) { ShowStatus(s); }, play_);
  job_->start();
  ++emulationStarts_;
}

// After the thread has stopped: the voice stage is the emulation thread's
// while it runs.
void TMainForm::SilenceVoice() { emulator_->SilenceVoice(); }

void TMainForm::ResetOutputs() { emulator_->ClearOutputs(); }

void TMainForm::Open1Click() {
  RunOpen(options_.openDialog ? options_.openDialog : [this](const std::string& dir) {
    std::unique_ptr<QFileDialog> dialog(CreateOpenDialog(this, QString::fromStdString(dir)));
    std::optional<std::string> chosen;
    if (dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty()) {
      chosen = dialog->selectedFiles().first().toStdString();
    }
    return chosen;
  });
}

void TMainForm::OpenFile(const std::string& path) {
  // The dialog answers with full paths; a relative one would become a
  // DefaultDir that means nothing from another working directory.
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(path, ec);
  const std::string chosen = ec ? path : full.lexically_normal().string();
  RunOpen([chosen](const std::string&) { return std::optional<std::string>(chosen); });
}

void TMainForm::RunOpen(const OpenDialogFunction& choose) {
  StopEmulation();
  SilenceVoice();
  uint8_t saved = emulator_->soundControl();
  emulator_->SetSoundControl(0);

  if (const std::optional<std::string> chosen = choose(config_.DefaultDir)) {
    emulator_->Unload();
    paused_ = false;
    cartridgeName_ = *chosen;
    if (emulator_->Load(cartridgeName_) != 0) {
      cartridgeName_.clear();
    } else {
      config_.Recent.Add(*chosen);
      RefreshRecentMenu();
    }
    ResetOutputs();
    const size_t slash = chosen->rfind('/');
    // A file in the root keeps "/": an empty DefaultDir means the working directory.
    config_.DefaultDir =
        slash == std::string::npos ? std::string() : chosen->substr(0, std::max<size_t>(slash, 1));
    const std::string name = slash == std::string::npos ? *chosen : chosen->substr(slash + 1);
    setWindowTitle(QString::fromStdString("Kestra " + name));
    saved = 0;
  }
  if (cartridgeName_.empty() || job_ || paused_) return;
  StartEmulation(saved);
}

void TMainForm::Exit1Click() { close(); }

void TMainForm::HelpClick() { Form1->exec(); }

void TMainForm::InputClick() {
  // The bindings change only while the emulation thread is stopped.
  const bool wasRunning = StopEmulation();
  SilenceVoice();
  const uint8_t saved = emulator_->soundControl();
  emulator_->SetSoundControl(0);

  KeySetupDialog dialog(config_.BindingText, options_.joystick, input_.joystick(), this);
  const bool accepted =
      options_.keyDialog ? options_.keyDialog(dialog) : dialog.exec() == QDialog::Accepted;
  if (accepted) {
    // As if edited by hand: the lists go to the file and are taken as read.
    config_.BindingText = dialog.lists();
    SaveBindings(config_.path, config_.BindingText);
    input_.ReleaseKeys();
    input_.ApplyBindings(vertical_);
  }

  if (!cartridgeName_.empty() && wasRunning && !job_) StartEmulation(saved);
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (stopping_) {  // a close that arrives while a command waits for the thread
    event->ignore();
    return;
  }
  if (!closed_) FormClose();
  event->accept();
}

void TMainForm::FormClose() {
  closed_ = true;
  StopEmulation();
  emulator_->Unload();
  cartridgeName_.clear();
  emulator_->CloseOutputs();
  SaveConfig(config_, emulator_->settings(), *this);
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // Exposures arrive at the native window, not as the widget's paints (Qt
  // also paints for its own updates).
  if (QWindow* window = windowHandle()) window->installEventFilter(this);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Expose && watched == windowHandle()) FormPaint();
  return QMainWindow::eventFilter(watched, event);
}

void TMainForm::FormPaint() {
  // The window system asked for a paint: black until the next frame. Only
  // the shown image is blanked; the FrameBuffer belongs to the emulation.
  ImageArea->Blank();
}

void TMainForm::RefreshRecentMenu() {
  const auto& paths = config_.Recent.paths();
  for (int i = 0; i < RecentFiles::kLimit; ++i) {
    QAction* item = RecentItems[i];
    if (i >= static_cast<int>(paths.size())) {
      item->setVisible(false);
      continue;
    }
    const QString path = QString::fromStdString(paths[i]);
    // "&1" ... "1&0"; an ampersand in the path is shown, not a mnemonic.
    const QString number = i < 9 ? QString("&%1").arg(i + 1) : QString("1&0");
    item->setText(number + "  " + QString(path).replace("&", "&&"));
    item->setEnabled(QFileInfo(path).isFile());
    item->setVisible(true);
  }
  ClearRecent->setEnabled(!paths.empty());
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedImage(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TMainForm::dragMoveEvent(QDragMoveEvent* event) {
  if (!DroppedImage(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event) {
  const QString path = DroppedImage(event->mimeData());
  if (path.isEmpty()) return;
  event->acceptProposedAction();
  // Opened once the drop has returned to the window system: Open waits for
  // the emulation thread in an event loop of its own.
  QMetaObject::invokeMethod(
      this, [this, p = path.toStdString()] { OpenFile(p); }, Qt::QueuedConnection);
}

void TMainForm::SetFullScreen(bool on) {
  FullScreen->setChecked(on);
  if (on == fullScreen_) return;
  fullScreen_ = on;
  if (on) {
    menuBar()->hide();
    StatusBar1->hide();
    layout()->setSizeConstraint(QLayout::SetDefaultConstraint);
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    ImageArea->setMinimumSize(0, 0);
    ImageArea->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    ImageArea->SetFullScreen(true);
    showFullScreen();
    // Under X with no window manager nothing else gives the window the
    // screen; with one this asks for what it sets anyway.
    if (QScreen* where = screen()) setGeometry(where->geometry());
  } else {
    ImageArea->SetFullScreen(false);
    showNormal();
    menuBar()->show();
    StatusBar1->show();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    ApplyWindowSize();
  }
}

void TMainForm::ApplyWindowSize() {
  // Full screen keeps the screen; the size for the new scale or orientation
  // is applied when it is left.
  if (fullScreen_) return;
  const DisplayGeometry g = GeometryFor(scale_, vertical_ ? 1 : 0);
  ImageArea->setFixedSize(g.imageWidth, g.imageHeight);
  adjustSize();
}

void TMainForm::keyPressEvent(QKeyEvent* event) {
  if (fullScreen_ && event->key() == Qt::Key_Escape) {
    SetFullScreen(false);
    return;
  }
  if (HotkeyPress(event)) return;
  const int code = keys_.Press(event->key(), event->nativeScanCode());
  if (code >= 0) FormKeyDown(code);
}

void TMainForm::keyReleaseEvent(QKeyEvent* event) {
  // The window system reports a held key as release-press pairs; only the
  // presses are repeats of the key.
  if (event->isAutoRepeat()) return;
  if (HotkeyRelease(event)) return;
  const int code = keys_.Release(event->key(), event->nativeScanCode());
  if (code >= 0) FormKeyUp(code);
}

void TMainForm::FormKeyDown(int code) {
  if (code == kVkF1) SetScale(scale_, !vertical_);
  input_.KeyDown(code);
}

void TMainForm::FormKeyUp(int code) { input_.KeyUp(code); }

void TMainForm::SetScale(int scale, bool vertical) {
  const bool wasRunning = StopEmulation();
  SilenceVoice();
  const uint8_t saved = emulator_->soundControl();
  emulator_->SetSoundControl(0);

  if (vertical != vertical_) input_.ReleaseKeys();
  scale_ = scale;
  vertical_ = vertical;
  for (int i = 0; i < 3; ++i) ScaleBy[i]->setChecked(i + 1 == scale_);
  ApplyWindowSize();

  emulator_->SetDisplayGeometry(scale_, vertical_);
  input_.ApplyBindings(vertical_);

  if (!cartridgeName_.empty() && wasRunning && !job_) StartEmulation(saved);
}

void TMainForm::SetFrameSkipMenu(int setting) {
  for (int i = 0; i < 5; ++i) Skip[i]->setChecked(i == setting);
  emulator_->settings().FrameSkip.store(setting, std::memory_order_relaxed);
}

void TMainForm::SetSoundCheck(SoundSwitch k, bool on) { SoundItems[k]->setChecked(on); }

// Runs while the emulation thread runs: SwitchChannel reads the sound
// control port as the emulation thread writes it.
void TMainForm::SetChannelSwitch(SoundSwitch k, bool on) {
  SoundItems[k]->setChecked(on);
  emulator_->SwitchChannel(k, on);
}

int TMainForm::WindowTop() const { return pos().y(); }
int TMainForm::WindowLeft() const { return pos().x(); }
void TMainForm::SetWindowTop(int top) { move(pos().x(), top); }
void TMainForm::SetWindowLeft(int left) { move(left, pos().y()); }

// ---- Emulation menu and hotkeys ----

namespace {

constexpr const char* kEmulationCaptions[kHotkeyCount] = {
    "&Pause",          "&Frame advance",  "&Reset",         "Fast-forward (&hold)",
    "Fast-forward (&toggle)", "Re&wind (hold)", "&Save state",  "&Load state",
    "&Next slot",      "Pre&vious slot",  "S&creenshot"};

// The image's file name without its folder.
std::string BaseName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

QKeyCombination ParseHotkey(const std::string& text, const char* fallback) {
  const QKeySequence seq = QKeySequence::fromString(QString::fromStdString(text),
                                                    QKeySequence::PortableText);
  if (seq.count() == 1 && seq[0].key() != Qt::Key_unknown && seq[0].key() != 0) return seq[0];
  return QKeySequence::fromString(fallback, QKeySequence::PortableText)[0];
}

}  // namespace

void TMainForm::BuildEmulationMenu() {
  Emulation = menuBar()->addMenu("&Emulation");
  for (int h = 0; h < kHotkeyCount; ++h) {
    EmulationItems[h] = new QAction(kEmulationCaptions[h], this);
    if (h == kHotkeySaveState) {
      SaveSlots = Emulation->addMenu("Save to sl&ot");
      LoadSlots = Emulation->addMenu("Load from slo&t");
      for (int n = 0; n < 10; ++n) {
        SaveSlotItems[n] = SaveSlots->addAction(QString());
        connect(SaveSlotItems[n], &QAction::triggered, this, [this, n] {
          slot_ = n;
          SaveStateClick();
        });
        LoadSlotItems[n] = LoadSlots->addAction(QString());
        connect(LoadSlotItems[n], &QAction::triggered, this, [this, n] {
          slot_ = n;
          LoadStateClick();
        });
      }
      connect(SaveSlots, &QMenu::aboutToShow, this, &TMainForm::RefreshSlotMenus);
      connect(LoadSlots, &QMenu::aboutToShow, this, &TMainForm::RefreshSlotMenus);
    }
    if (h == kHotkeyFastForward || h == kHotkeyRewind) continue;  // held keys only
    Emulation->addAction(EmulationItems[h]);
    if (h == kHotkeyReset || h == kHotkeyRewind || h == kHotkeyPreviousSlot) Emulation->addSeparator();
  }
  EmulationItems[kHotkeyPause]->setCheckable(true);
  EmulationItems[kHotkeyFastForwardToggle]->setCheckable(true);
  connect(EmulationItems[kHotkeyPause], &QAction::triggered, this, [this] { TogglePause(); });
  connect(EmulationItems[kHotkeyFrameAdvance], &QAction::triggered, this, [this] { FrameAdvance(); });
  connect(EmulationItems[kHotkeyReset], &QAction::triggered, this, [this] { ResetClick(); });
  connect(EmulationItems[kHotkeyFastForwardToggle], &QAction::triggered, this,
          [this] { SetFastForward(fastHeld_, !fastLatched_); });
  connect(EmulationItems[kHotkeySaveState], &QAction::triggered, this, [this] { SaveStateClick(); });
  connect(EmulationItems[kHotkeyLoadState], &QAction::triggered, this, [this] { LoadStateClick(); });
  connect(EmulationItems[kHotkeyNextSlot], &QAction::triggered, this, [this] { SelectSlot(slot_ + 1); });
  connect(EmulationItems[kHotkeyPreviousSlot], &QAction::triggered, this,
          [this] { SelectSlot(slot_ + 9); });
  connect(EmulationItems[kHotkeyScreenshot], &QAction::triggered, this, [this] { ScreenshotClick(); });
}

void TMainForm::ReadHotkeys() {
  for (int h = 0; h < kHotkeyCount; ++h) {
    hotkeys_[h] = ParseHotkey(config_.Hotkeys[h], kHotkeyDefaults[h]);
    // The key shows in the menu without being a shortcut: a console key
    // bound to it must still reach the game.
    const QString key = QKeySequence(hotkeys_[h]).toString(QKeySequence::NativeText);
    EmulationItems[h]->setText(QString(kEmulationCaptions[h]) + "\t" + key);
  }
}

int TMainForm::HotkeyFor(const QKeyEvent* event) const {
  int key = event->key();
  Qt::KeyboardModifiers mods =
      event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
  if (key == Qt::Key_Backtab) {
    key = Qt::Key_Tab;
    mods |= Qt::ShiftModifier;
  }
  for (int h = 0; h < kHotkeyCount; ++h) {
    if (hotkeys_[h].key() != key || hotkeys_[h].keyboardModifiers() != mods) continue;
    // The console key wins.
    const int code = VirtualKeyForQtKey(key);
    if (code >= 0 && code < 256 && input_.KeyBindings[code] != 0) return -1;
    return h;
  }
  return -1;
}

bool TMainForm::HotkeyPress(QKeyEvent* event) {
  const int h = HotkeyFor(event);
  if (h < 0) return false;
  const bool repeat = event->isAutoRepeat();
  switch (h) {
    case kHotkeyFrameAdvance: FrameAdvance(); break;
    case kHotkeyFastForward: if (!repeat) SetFastForward(true, fastLatched_); break;
    case kHotkeyRewind:
      if (paused_) {
        // Paused: a step back for each press.
        WithMachine([this] { DrawingEveryFrame([this] { emulator_->StepBack(); }); });
        ShowPausedFrame();
      } else if (!repeat) {
        SetRewinding(true);
      }
      break;
    default:
      if (!repeat) EmulationItems[h]->trigger();
  }
  return true;
}

bool TMainForm::HotkeyRelease(QKeyEvent* event) {
  int key = event->key() == Qt::Key_Backtab ? Qt::Key_Tab : event->key();
  bool handled = false;
  if (fastHeld_ && key == hotkeys_[kHotkeyFastForward].key()) {
    SetFastForward(false, fastLatched_);
    handled = true;
  }
  if (rewinding_ && key == hotkeys_[kHotkeyRewind].key()) {
    SetRewinding(false);
    handled = true;
  }
  return handled;
}

bool TMainForm::event(QEvent* event) {
  // Tab would move the focus before the window saw it as a key.
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
      keyPressEvent(key);
      return true;
    }
  }
  return QMainWindow::event(event);
}

void TMainForm::WithMachine(const std::function<void()>& command) {
  const bool wasRunning = StopEmulation(true);
  if (paused_) emulator_->SetSoundControl(pausedSound_);
  command();
  if (paused_) {
    pausedSound_ = emulator_->soundControl();
    SilenceVoice();
    emulator_->SetSoundControl(0);
  } else if (wasRunning && !job_ && !cartridgeName_.empty()) {
    StartEmulation(emulator_->soundControl());
  }
}

void TMainForm::DrawingEveryFrame(const std::function<void()>& run) {
  // A frame run by hand is shown whatever the frame skip; the skip's counter
  // goes on as ever, so the game sees no difference.
  Settings& settings = emulator_->settings();
  const int skip = settings.FrameSkip.load(std::memory_order_relaxed);
  settings.FrameSkip.store(0, std::memory_order_relaxed);
  run();
  settings.FrameSkip.store(skip, std::memory_order_relaxed);
}

void TMainForm::ShowPausedFrame() {
  // A state or a step back brings its frame's picture with it.
  const DisplayState& d = emulator_->display();
  if (d.FrameBuffer && ImageArea->HasImage()) {
    ImageArea->Publish(d.FrameBuffer, d.FramePitch);
  }
}

void TMainForm::TogglePause() {
  if (cartridgeName_.empty()) {
    EmulationItems[kHotkeyPause]->setChecked(false);
    return;
  }
  if (paused_) {
    paused_ = false;
    EmulationItems[kHotkeyPause]->setChecked(false);
    if (!job_) StartEmulation(pausedSound_);
    ShowMessageStatus("");
    return;
  }
  StopEmulation(true);
  SilenceVoice();
  pausedSound_ = emulator_->soundControl();
  emulator_->SetSoundControl(0);
  paused_ = true;
  EmulationItems[kHotkeyPause]->setChecked(true);
  ShowMessageStatus("Paused");
}

void TMainForm::FrameAdvance() {
  if (cartridgeName_.empty()) return;
  if (!paused_) {
    TogglePause();
    return;
  }
  WithMachine([this] { DrawingEveryFrame([this] { emulator_->AdvanceFrame(); }); });
  ShowMessageStatus("Paused");
}

void TMainForm::ResetClick() {
  if (cartridgeName_.empty()) return;
  WithMachine([this] {
    emulator_->Reset();
    ResetOutputs();
  });
  ShowMessageStatus("Reset");
}

void TMainForm::SetFastForward(bool held, bool latched) {
  fastHeld_ = held;
  fastLatched_ = latched;
  EmulationItems[kHotkeyFastForwardToggle]->setChecked(latched);
  const bool on = held || latched;
  play_.fastForward.store(on ? config_.FastForwardSpeed : -1, std::memory_order_relaxed);
  // Sound made faster than it plays would only crackle: it is muted and
  // fades back in afterwards.
  if (options_.audio) options_.audio->SetMuted(on || rewinding_);
}

void TMainForm::SetRewinding(bool on) {
  rewinding_ = on;
  play_.rewinding.store(on, std::memory_order_relaxed);
  if (options_.audio) options_.audio->SetMuted(on || fastHeld_ || fastLatched_);
}

std::string TMainForm::StatePath(int slot) const {
  if (cartridgeName_.empty()) return {};
  const std::filesystem::path dir = std::filesystem::path(config_.path).parent_path() / "states";
  return (dir / (BaseName(cartridgeName_) + "." + std::to_string(slot) + ".kst")).string();
}

std::string TMainForm::ScreenshotDir() const {
  return (std::filesystem::path(config_.path).parent_path() / "screenshots").string();
}

void TMainForm::SaveStateClick() {
  if (cartridgeName_.empty()) return;
  const std::string path = StatePath(slot_);
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  std::string error;
  bool saved = false;
  WithMachine([&] {
    const QImage picture = ImageArea->LastFrame();
    Emulator::Frame frame;
    if (!picture.isNull()) {
      frame.pixels = reinterpret_cast<const uint32_t*>(picture.constBits());
      frame.width = picture.width();
      frame.height = picture.height();
      frame.pitch = static_cast<int>(picture.bytesPerLine() / 4);
    }
    saved = emulator_->SaveStateFile(path, error, frame);
  });
  if (!saved) {
    options_.messages->ShowMessage("Kestra", error, MessageIcon::Warning);
    return;
  }
  ShowMessageStatus("State " + std::to_string(slot_) + " saved");
}

void TMainForm::LoadStateClick() {
  if (cartridgeName_.empty()) return;
  const std::string path = StatePath(slot_);
  std::string error;
  bool loaded = false;
  WithMachine([&] { loaded = emulator_->LoadStateFile(path, error); });
  if (!loaded) {
    // A refused state changes nothing: the game goes on.
    options_.messages->ShowMessage("Kestra", error, MessageIcon::Warning);
    return;
  }
  if (paused_) ShowPausedFrame();
  ShowMessageStatus("State " + std::to_string(slot_) + " loaded");
}

void TMainForm::SelectSlot(int slot) {
  slot_ = ((slot % 10) + 10) % 10;
  std::error_code ec;
  const std::string path = StatePath(slot_);
  const bool held = !path.empty() && std::filesystem::is_regular_file(path, ec);
  ShowMessageStatus("Slot " + std::to_string(slot_) + (held ? ": saved state" : ": empty"));
}

void TMainForm::RefreshSlotMenus() {
  for (int n = 0; n < 10; ++n) {
    const std::string path = StatePath(n);
    const QFileInfo info(QString::fromStdString(path));
    QString text = QString("Slot &%1 \u2014 ").arg(n);
    QIcon icon;
    const bool held = !path.empty() && info.isFile();
    if (held) {
      text += info.lastModified().toString("yyyy-MM-dd HH:mm:ss");
      std::ifstream in(path, std::ios::binary);
      const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
      const std::vector<uint8_t> png = StateThumbnail(bytes);
      QPixmap pixmap;
      if (!png.empty() && pixmap.loadFromData(png.data(), static_cast<uint>(png.size()), "PNG")) {
        icon = QIcon(pixmap);
      }
    } else {
      text += "empty";
    }
    SaveSlotItems[n]->setText(text);
    SaveSlotItems[n]->setIcon(icon);
    SaveSlotItems[n]->setEnabled(!cartridgeName_.empty());
    LoadSlotItems[n]->setText(text);
    LoadSlotItems[n]->setIcon(icon);
    LoadSlotItems[n]->setEnabled(held);
  }
}

void TMainForm::ScreenshotClick() {
  const QImage frame = ImageArea->LastFrame();
  if (cartridgeName_.empty() || frame.isNull()) return;
  std::error_code ec;
  std::filesystem::create_directories(ScreenshotDir(), ec);
  const std::string stem = std::filesystem::path(cartridgeName_).stem().string();
  const std::string stamp =
      QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss-zzz").toStdString();
  const std::string path =
      (std::filesystem::path(ScreenshotDir()) / (stem + "-" + stamp + ".png")).string();
  std::vector<uint8_t> rgb;
  rgb.reserve(static_cast<size_t>(frame.width()) * frame.height() * 3);
  for (int y = 0; y < frame.height(); ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(frame.constScanLine(y));
    for (int x = 0; x < frame.width(); ++x) {
      rgb.push_back(static_cast<uint8_t>(row[x] >> 16));
      rgb.push_back(static_cast<uint8_t>(row[x] >> 8));
      rgb.push_back(static_cast<uint8_t>(row[x]));
    }
  }
  if (!WritePngFile(path, frame.width(), frame.height(), rgb)) {
    options_.messages->ShowMessage("Kestra", "cannot write " + path, MessageIcon::Warning);
    return;
  }
  lastScreenshot_ = path;
  ShowMessageStatus("Screenshot " + path);
}

}  // namespace kestra
