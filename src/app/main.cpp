// kestra [IMAGE]: the emulator's window; IMAGE is opened at start as if it
// had been chosen in the Open dialog.
#include "app/application.h"
#include "app/config.h"
#include "app/main_form.h"
#include "core/machine.h"
#include "system/console.h"
#include "host/sdl_audio.h"
#include "host/sdl_joystick.h"

int main(int argc, char** argv) {
  kestra::KestraApplication app(argc, argv);
  QApplication::setApplicationName("Kestra");
  // Wayland links the window to its desktop entry (the icon and name in the
  // dock) only through this.
  QGuiApplication::setDesktopFileName(QString::fromLatin1(kestra::kAppId));

  auto machine = kestra::CreateMachine();
  kestra::SdlAudio audio;
  kestra::SdlJoystick joystick;
  kestra::MainFormOptions options;
  options.audio = &audio;
  options.joystick = joystick.available() ? &joystick : nullptr;

  // A signal closes the window as its close box does: the save and Kestra.INI
  // are written. One that comes before the event loop runs waits for it.
  kestra::TMainForm* window = nullptr;
  app.CloseOnSignals([&window] { return !window || window->close(); });
  kestra::TMainForm form(*machine, options);
  window = &form;
  form.show();
  const QStringList args = QApplication::arguments();
  if (args.size() > 1) form.OpenFile(args.at(1).toStdString());
  return app.exec();
}
