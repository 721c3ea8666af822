#include "app/key_dialog.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/key_codes.h"

namespace kestra {

namespace {

constexpr int kListMax = 63;  // the reader keeps 63 characters of a list
constexpr int kPollMs = 20;

const char* NameOfKey(int code) {
  for (const KeyName& k : KeyNameTable) {
    if (k.code == code) return k.name;
  }
  return nullptr;
}

const char* NameOfSlot(int slot) {
  for (const JoyName& j : JoyNameTable) {
    if (j.slot == slot) return j.name;
  }
  return nullptr;
}

// "HYUp" -> "Y Up", "HAButton" -> "A".
QString ConsoleKeyLabel(const char* keyName) {
  QString name = QString::fromLatin1(keyName + 1);
  if (name.endsWith("Button")) return name.left(name.size() - 6);
  if (name.startsWith('X') || name.startsWith('Y')) name.insert(1, ' ');
  return name;
}

}  // namespace

KeySetupDialog::KeySetupDialog(const Lists& lists, JoystickDevice* joystick,
                               const JoystickState& state, QWidget* parent)
    : QDialog(parent), joystick_(joystick), state_(state) {
  setWindowTitle("Input");
  auto* top = new QVBoxLayout(this);
  tabs_ = new QTabWidget(this);
  top->addWidget(tabs_);
  const auto* noSpaces = new QRegularExpressionValidator(QRegularExpression("\\S*"), this);
  const bool haveJoystick = joystick_ && state_.present;
  for (int v = 0; v < 2; ++v) {
    auto* page = new QWidget(tabs_);
    auto* grid = new QGridLayout(page);
    grid->addWidget(new QLabel("Keyboard", page), 0, 1, 1, 2);
    grid->addWidget(new QLabel("Joystick", page), 0, 3, 1, 2);
    for (int key = 0; key < 12; ++key) {
      grid->addWidget(new QLabel(ConsoleKeyLabel(kBindingKeyNames[v * 12 + key]), page), key + 1,
                      0);
      for (int j = 0; j < 2; ++j) {
        const int list = ListIndex(v == 1, key, j == 1);
        fields_[list] = new QLineEdit(page);
        fields_[list]->setMaxLength(kListMax);
        fields_[list]->setValidator(noSpaces);
        fields_[list]->setToolTip("Names separated by commas");
        captures_[list] = new QPushButton(j ? "Add button" : "Add key", page);
        captures_[list]->setAutoDefault(false);
        if (j == 1 && !haveJoystick) captures_[list]->setEnabled(false);
        connect(captures_[list], &QPushButton::clicked, this, [this, list] { StartCapture(list); });
        grid->addWidget(fields_[list], key + 1, 1 + 2 * j);
        grid->addWidget(captures_[list], key + 1, 2 + 2 * j);
      }
    }
    tabs_->addTab(page, v ? "&Vertical" : "&Horizontal");
  }
  hint_ = new QLabel(
      "Add, then press the key or joystick button; a console key may have several.", this);
  top->addWidget(hint_);

  auto* buttons = new QHBoxLayout;
  defaultsButton = new QPushButton("&Defaults", this);
  okButton = new QPushButton("OK", this);
  cancelButton = new QPushButton("Cancel", this);
  defaultsButton->setAutoDefault(false);
  cancelButton->setAutoDefault(false);
  okButton->setDefault(true);
  buttons->addWidget(defaultsButton);
  buttons->addStretch(1);
  buttons->addWidget(okButton);
  buttons->addWidget(cancelButton);
  top->addLayout(buttons);
  connect(defaultsButton, &QPushButton::clicked, this, &KeySetupDialog::RestoreDefaults);
  connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

  poll_ = new QTimer(this);
  poll_->setInterval(kPollMs);
  connect(poll_, &QTimer::timeout, this, &KeySetupDialog::PollJoystick);
  connect(this, &QDialog::finished, this, &KeySetupDialog::StopCapture);

  SetLists(lists);
}

KeySetupDialog::Lists KeySetupDialog::lists() const {
  Lists out;
  for (int i = 0; i < kBindingListCount; ++i) {
    out[i] = fields_[i]->text().toStdString();
    if (out[i].empty()) out[i] = kUnbound;
  }
  return out;
}

void KeySetupDialog::SetLists(const Lists& lists) {
  for (int i = 0; i < kBindingListCount; ++i) {
    fields_[i]->setText(lists[i] == kUnbound ? QString() : QString::fromStdString(lists[i]));
  }
}

void KeySetupDialog::RestoreDefaults() {
  StopCapture();
  Lists defaults;
  for (int i = 0; i < kBindingKeyCount; ++i) {
    defaults[i] = kKeyboardDefaults[i];
    defaults[kBindingKeyCount + i] = kJoypadDefaults[i];
  }
  SetLists(defaults);
}

void KeySetupDialog::StartCapture(int list) {
  StopCapture();
  capturing_ = list;
  const bool joystick = list >= kBindingKeyCount;
  captureCaption_ = captures_[list]->text();
  captures_[list]->setText(joystick ? "press a button" : "press a key");
  hint_->setText(joystick ? "Press a joystick button or push the stick (Esc: cancel)."
                          : "Press a key (Esc: cancel).");
  // Every key goes to the capture, whichever widget has the focus.
  qApp->installEventFilter(this);
  if (joystick) {
    heldAtStart_ = JoystickSlots();
    poll_->start();
  }
}

void KeySetupDialog::StopCapture() {
  if (capturing_ < 0) return;
  poll_->stop();
  qApp->removeEventFilter(this);
  captures_[capturing_]->setText(captureCaption_);
  capturing_ = -1;
}

void KeySetupDialog::Append(int list, const std::string& name) {
  QStringList names = fields_[list]->text().split(',', Qt::SkipEmptyParts);
  const QString added = QString::fromStdString(name);
  if (!names.contains(added)) names.append(added);
  const QString text = names.join(',');
  if (text.size() > kListMax) {
    hint_->setText("That list is full.");
    return;
  }
  fields_[list]->setText(text);
  hint_->setText(QString("%1 added.").arg(added));
}

bool KeySetupDialog::eventFilter(QObject* watched, QEvent* event) {
  if (capturing_ < 0 || (event->type() != QEvent::KeyPress &&
                         event->type() != QEvent::ShortcutOverride)) {
    return QDialog::eventFilter(watched, event);
  }
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || widget->window() != this) return QDialog::eventFilter(watched, event);
  if (event->type() == QEvent::ShortcutOverride) {
    event->accept();  // no shortcut or mnemonic takes the key meanwhile
    return true;
  }
  const auto* key = static_cast<QKeyEvent*>(event);
  if (key->isAutoRepeat()) return true;
  if (key->key() == Qt::Key_Escape) {
    StopCapture();
    return true;
  }
  if (capturing_ >= kBindingKeyCount) return true;  // waiting for the joystick
  const char* name = NameOfKey(VirtualKeyForQtKey(key->key()));
  if (!name) {
    hint_->setText("That key cannot be bound; press another (Esc: cancel).");
    return true;
  }
  const int list = capturing_;
  StopCapture();
  Append(list, name);
  return true;
}

uint32_t KeySetupDialog::JoystickSlots() {
  JoystickPosition p;
  if (!joystick_ || !state_.present || !joystick_->ReadPosition(state_.deviceId, p)) return 0;
  uint32_t held = 0;
  if (p.x <= state_.left) held |= 1u << kJoyLeft;
  if (p.x >= state_.right) held |= 1u << kJoyRight;
  if (p.y <= state_.up) held |= 1u << kJoyUp;
  if (p.y >= state_.down) held |= 1u << kJoyDown;
  for (int n = 1; n <= kJoyButtonCount; ++n) {
    if (p.buttons & (1u << (n - 1))) held |= 1u << (kJoyButton1 + n - 1);
  }
  return held;
}

void KeySetupDialog::PollJoystick() {
  if (capturing_ < kBindingKeyCount) return;
  const uint32_t held = JoystickSlots();
  const uint32_t fresh = held & ~heldAtStart_;
  heldAtStart_ &= held;  // let go of, it counts when pressed again
  if (!fresh) return;
  const int slot = __builtin_ctz(fresh);
  const int list = capturing_;
  StopCapture();
  if (const char* name = NameOfSlot(slot)) Append(list, name);
}

}  // namespace kestra
