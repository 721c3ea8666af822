// The main window: menu, image area, status bar, and the life of the
// emulation thread. Every command that touches the machine, the window's
// size or the bindings stops the thread first and starts a new one after.
#pragma once

#include <QKeyCombination>
#include <QElapsedTimer>
#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/config.h"
#include "app/input.h"
#include "app/key_codes.h"
#include "base/host.h"
#include "emulator/emulator.h"

class QAction;
class QMimeData;
class QFileDialog;
class QLabel;
class QMenu;
class QStatusBar;

namespace kestra {

struct Machine;
class Emulator;
class HostAudio;
class Job5ms;
class QtDisplay;
class QtMessages;
class TForm1;
class TImageArea;

// The open dialog: the chosen path, or nothing when cancelled.
using OpenDialogFunction = std::function<std::optional<std::string>(const std::string& startDir)>;

class KeySetupDialog;
// Runs the input dialog; true for OK.
using KeyDialogFunction = std::function<bool(KeySetupDialog& dialog)>;

struct MainFormOptions {
  std::string configPath;            // empty: ConfigPath()
  HostAudio* audio = nullptr;        // null: no sound device
  JoystickDevice* joystick = nullptr;  // null: no joystick
  MessageService* messages = nullptr;  // null: Qt message boxes
  OpenDialogFunction openDialog;     // null: OpenDialog1
  KeyDialogFunction keyDialog;       // null: shown modally
};

inline constexpr const char* kOpenFilter = "WSﾌｧｲﾙ(*ws;*wsc)";

// The local image file (.ws or .wsc, any case) a drop carries, or empty:
// the first URL only.
QString DroppedImage(const QMimeData* data);

// OpenDialog1: a file dialog whose one filter shows "WSﾌｧｲﾙ(*ws;*wsc)" and
// lists files ending in "ws" or "wsc" (any case).
QFileDialog* CreateOpenDialog(QWidget* parent, const QString& startDir);

class TMainForm final : public QMainWindow, public ConfigWindow, public FrontEnd {
 public:
  TMainForm(Machine& m, MainFormOptions options = {});
  ~TMainForm() override;

  // Commands.
  void Open1Click();
  void OpenFile(const std::string& path);  // Open with the dialog's answer given
  void Exit1Click();
  void HelpClick();
  void InputClick();  // Options > Input...
  void SetChannelSwitch(SoundSwitch k, bool on);
  void FormKeyDown(int code);
  void FormKeyUp(int code);
  void SetFullScreen(bool on);  // F11, Options > Video > Full screen; Esc leaves
  bool fullScreen() const { return fullScreen_; }
  void RefreshRecentMenu();

  // The Emulation menu's commands.
  void TogglePause();
  void FrameAdvance();  // while paused; pauses first when running
  void ResetClick();
  void SetFastForward(bool held, bool latched);
  void SetRewinding(bool on);
  void SaveStateClick();  // to the current slot
  void LoadStateClick();
  void SelectSlot(int slot);
  void ScreenshotClick();
  void RefreshSlotMenus();
  bool paused() const { return paused_; }
  bool rewinding() const { return rewinding_; }
  int fastForward() const { return play_.fastForward.load(std::memory_order_relaxed); }
  int slot() const { return slot_; }
  std::string StatePath(int slot) const;  // empty without a cartridge
  std::string ScreenshotDir() const;
  const std::string& lastScreenshot() const { return lastScreenshot_; }
  QKeyCombination hotkey(Hotkey h) const { return hotkeys_[h]; }
  Emulator& emulator() { return *emulator_; }     // entries of File > Open Recent, missing files disabled

  // ConfigWindow
  void SetScale(int scale, bool vertical) override;
  int Scale() const override { return scale_; }
  void SetFrameSkipMenu(int setting) override;
  void SetSoundCheck(SoundSwitch k, bool on) override;
  int WindowTop() const override;
  int WindowLeft() const override;
  void SetWindowTop(int top) override;
  void SetWindowLeft(int left) override;

  // FrontEnd: a loaded cartridge lays the window out for its orientation.
  void LayoutForCartridge(bool vertical) override { SetScale(scale_, vertical); }

  bool Vertical() const { return vertical_; }
  bool running() const;
  int emulationStarts() const { return emulationStarts_; }  // threads started so far
  const std::string& cartridgeName() const { return cartridgeName_; }
  const Config& config() const { return config_; }
  Input& input() { return input_; }
  TImageArea* imageArea() const { return ImageArea; }
  QSize clientSize() const;  // image area plus status bar
  QString statusText() const;

  // Components, named as the menu table names them.
  QMenu *File, *Options, *Frame, *Video, *Sound, *Help;
  QMenu *Emulation, *SaveSlots, *LoadSlots;
  std::array<QAction*, kHotkeyCount> EmulationItems;  // by Hotkey
  std::array<QAction*, 10> SaveSlotItems, LoadSlotItems;
  QAction *Open1, *Exit1;
  QMenu* OpenRecent;
  std::array<QAction*, RecentFiles::kLimit> RecentItems;
  QAction* ClearRecent;
  QAction* FullScreen;
  QAction* InputSetup;
  std::array<QAction*, 5> Skip;           // Skip0 ... Skip4
  std::array<QAction*, 3> ScaleBy;        // ScaleBy1 ... ScaleBy3
  std::array<QAction*, SoundSwitchCount> SoundItems;  // Channel1-4, Noise, PCM, DMA
  QAction* About;
  TImageArea* ImageArea;
  QStatusBar* StatusBar1;
  TForm1* Form1;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildMenu();
  void RunOpen(const OpenDialogFunction& choose);
  void FormClose();
  void FormPaint();
  bool StopEmulation(bool atFrameEnd = false);
  void BuildEmulationMenu();
  void ReadHotkeys();
  int HotkeyFor(const QKeyEvent* event) const;  // -1: none, or its key is a console key
  bool HotkeyPress(QKeyEvent* event);
  bool HotkeyRelease(QKeyEvent* event);
  // Runs `command` on a machine stopped between frames with its own sound
  // control in the port, then lets it run (or stay paused) again.
  void WithMachine(const std::function<void()>& command);
  void ShowPausedFrame();
  void DrawingEveryFrame(const std::function<void()>& run);  // thread stopped
  void StartEmulation(uint8_t soundControl);
  void SilenceVoice();  // clears and stops the voice stream
  void ResetOutputs();
  void ShowStatus(const std::string& text);  // any thread
  // UI thread: a command's message, kept over the load figure for a while.
  void ShowMessageStatus(const std::string& text);
  static constexpr qint64 kMessageMilliseconds = 2500;
  void ApplyWindowSize();  // the fixed size for Scale and Vertical

  Machine& m_;
  MainFormOptions options_;
  Config config_;
  Input input_;
  std::unique_ptr<QtMessages> qtMessages_;
  std::unique_ptr<Emulator> emulator_;  // every command reaches the machine through it
  std::unique_ptr<QtDisplay> display_;
  std::unique_ptr<Job5ms> job_;
  QLabel* statusLabel_;
  KeyCodeTracker keys_;
  std::string cartridgeName_;
  int scale_ = 1;
  bool vertical_ = false;
  bool stopping_ = false;
  bool closed_ = false;
  bool fullScreen_ = false;
  int emulationStarts_ = 0;
  PlayControl play_;
  bool paused_ = false;
  uint8_t pausedSound_ = 0;  // the port's value while paused holds it at 0
  bool fastHeld_ = false, fastLatched_ = false, rewinding_ = false;
  int slot_ = 0;
  std::array<QKeyCombination, kHotkeyCount> hotkeys_{};
  std::string lastScreenshot_;
  QElapsedTimer statusClock_;
  qint64 messageUntil_ = 0;
};

}  // namespace kestra
