#include "app/application.h"

#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <exception>
#include <memory>
#include <fcntl.h>
#include <unistd.h>

#include "app/qt_messages.h"
#include "base/host.h"

namespace kestra {

namespace {

// The signal handler can do no more than write a byte; the event loop reads it.
int signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

}  // namespace

KestraApplication::KestraApplication(int& argc, char** argv) : QApplication(argc, argv) {}

KestraApplication::~KestraApplication() {
  if (signalPipe[0] >= 0) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) std::signal(sig, SIG_DFL);
  }
}

bool KestraApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    const std::string text = std::string("Unexpected error: ") + e.what();
    if (messages_) messages_->ShowMessage("Kestra", text, MessageIcon::Warning);
    else ShowMessageBox("Kestra", text, MessageIcon::Warning);
  } catch (...) {
    const std::string text = "Unexpected error";
    if (messages_) messages_->ShowMessage("Kestra", text, MessageIcon::Warning);
    else ShowMessageBox("Kestra", text, MessageIcon::Warning);
  }
  return false;
}

void KestraApplication::CloseOnSignals(std::function<bool()> close) {
  close_ = std::move(close);
  if (signalPipe[0] < 0) {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
      char buffer[16];
      while (::read(signalPipe[0], buffer, sizeof buffer) > 0) {
      }
      // Tried again while the window is busy waiting for the emulation.
      auto tryClose = std::make_shared<std::function<void()>>();
      *tryClose = [this, tryClose] {
        if (close_ && !close_()) QTimer::singleShot(50, this, [tryClose] { (*tryClose)(); });
      };
      (*tryClose)();
    });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
  }
}

}  // namespace kestra
