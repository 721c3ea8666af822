// The program's QApplication: an exception that reaches the event loop is
// shown in a message box and the program runs on; SIGTERM, SIGINT and SIGHUP
// close the main window as its close box would (save and Kestra.INI written).
#pragma once

#include <QApplication>
#include <functional>

namespace kestra {

class MessageService;

class KestraApplication final : public QApplication {
 public:
  KestraApplication(int& argc, char** argv);
  ~KestraApplication() override;

  bool notify(QObject* receiver, QEvent* event) override;

  // Where a caught exception goes (null: a Qt message box).
  void SetMessages(MessageService* messages) { messages_ = messages; }

  // From then on the signals call `close` on the UI thread; a close that is
  // refused (the window busy) is tried again shortly.
  void CloseOnSignals(std::function<bool()> close);

 private:
  MessageService* messages_ = nullptr;
  std::function<bool()> close_;
};

}  // namespace kestra
