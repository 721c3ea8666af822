// Message boxes for the machine. On the UI thread a box is shown at once;
// from the emulation thread the request is handed to the UI thread and the
// emulation waits until the box has been closed.
#pragma once

#include <QObject>
#include <functional>

#include "base/host.h"

namespace kestra {

class QtMessages final : public QObject, public MessageService {
 public:
  using BoxFunction = std::function<void(const std::string& caption, const std::string& text,
                                         MessageIcon icon)>;

  // Must be created on the UI thread. `showBox` replaces the modal
  // QMessageBox (tests).
  explicit QtMessages(BoxFunction showBox = {});

  void ShowMessage(const std::string& caption, const std::string& text,
                   MessageIcon icon) override;

 private:
  BoxFunction showBox_;
};

// A modal QMessageBox with an OK button and no owner window.
void ShowMessageBox(const std::string& caption, const std::string& text, MessageIcon icon);

}  // namespace kestra
