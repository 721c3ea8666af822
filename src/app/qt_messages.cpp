#include "app/qt_messages.h"

#include <QMessageBox>
#include <QThread>

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
  // stop, because that wait runs a local event loop.
  QMetaObject::invokeMethod(
      this, [&] { showBox_(caption, text, icon); }, Qt::BlockingQueuedConnection);
}

}  // namespace kestra
