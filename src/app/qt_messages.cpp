#include "app/qt_messages.h"

#include <QMessageBox>
#include <QThread>
#include <atomic>
#include <cstdio>

namespace kestra {

void ShowMessageBox(const std::string& caption, const std::string& text, MessageIcon icon) {
  QMessageBox box(icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon,
                  QString::fromStdString(caption), QString::fromStdString(text),
                  QMessageBox::Ok);
  box.exec();
}

QtMessages::QtMessages(BoxFunction showBox)
    : showBox_(showBox ? std::move(showBox) : BoxFunction(ShowMessageBox)) {}

void QtMessages::ShowMessage(const std::string& caption, const std::string& text,
                             MessageIcon icon) {
  if (QThread::currentThread() == thread()) {
    showBox_(caption, text, icon);
    return;
  }
  // The UI thread serves this even while it waits for the emulation thread to
  // stop, because that wait runs a local event loop. The box reads its texts
  // from this thread's stack: the two atomics order that hand-over and the
  // return in the language's terms, not only through Qt's wait.
  std::atomic<bool> posted{false}, shown{false};
  posted.store(true, std::memory_order_release);
  const bool delivered = QMetaObject::invokeMethod(
      this,
      [&] {
        if (posted.load(std::memory_order_acquire)) showBox_(caption, text, icon);
        shown.store(true, std::memory_order_release);
      },
      Qt::BlockingQueuedConnection);
  if (delivered && !shown.load(std::memory_order_acquire)) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());  // never: the call waited
  }
}

}  // namespace kestra
