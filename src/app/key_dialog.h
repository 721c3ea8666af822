// Options > Input...: the [KEYBOARD] and [JOYPAD] binding lists of both
// orientations, edited as text or by pressing the key or joystick button to
// add. OK hands back the 48 lists; the window writes them to Kestra.INI and
// applies them as the configuration reader would.
#pragma once

#include <QDialog>
#include <array>
#include <string>

#include "app/config.h"
#include "app/input.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTimer;

namespace kestra {

class KeySetupDialog final : public QDialog {
 public:
  using Lists = std::array<std::string, kBindingListCount>;

  // `joystick` (may be null) is read only while a button is being captured,
  // through the device and thresholds of `state`.
  KeySetupDialog(const Lists& lists, JoystickDevice* joystick, const JoystickState& state,
                 QWidget* parent = nullptr);

  // The lists as they stand; a list left empty binds nothing and is handed
  // back as kUnbound, so the next start does not put the default back.
  Lists lists() const;
  void SetLists(const Lists& lists);
  void RestoreDefaults();

  // List index: [KEYBOARD] 0-23, [JOYPAD] 24-47, each H 0-11 then V 12-23.
  static int ListIndex(bool vertical, int key, bool joystick) {
    return (joystick ? kBindingKeyCount : 0) + (vertical ? 12 : 0) + key;
  }
  QLineEdit* field(int list) const { return fields_[list]; }
  QPushButton* captureButton(int list) const { return captures_[list]; }
  QTabWidget* tabs() const { return tabs_; }
  int capturing() const { return capturing_; }  // the list being captured, or -1
  QPushButton *defaultsButton, *okButton, *cancelButton;

  // A name in neither table: binds nothing and is not empty.
  static constexpr const char* kUnbound = "NONE";

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void StartCapture(int list);
  void StopCapture();
  void Append(int list, const std::string& name);
  void PollJoystick();
  // The names the joystick holds now: directions and buttons.
  uint32_t JoystickSlots();

  std::array<QLineEdit*, kBindingListCount> fields_{};
  std::array<QPushButton*, kBindingListCount> captures_{};
  QTabWidget* tabs_;
  QLabel* hint_;
  QString captureCaption_;  // the button's caption before "press a key"
  QTimer* poll_;
  JoystickDevice* joystick_;
  JoystickState state_;
  int capturing_ = -1;
  uint32_t heldAtStart_ = 0;  // slots already held when the capture began
};

}  // namespace kestra
